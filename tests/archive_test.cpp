// Archive strings, counts and class tags at the edges of their encodings, and the buffered
// writer they go through.
#include "testkit.h"

#include "drawing/archive.h"

using namespace quellmark;
using qmtest::Bytes;

namespace {

template <typename Write>
Bytes Written(Write write) {
    MemorySink sink;
    ByteWriter out(sink, 64);  // small buffer: fields cross buffer boundaries
    write(out);
    out.flush();
    return sink.data;
}

std::string Repeat(std::size_t n) {
    std::string s(n, 'x');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
    return s;
}

}  // namespace

TEST(ByteWriter, APieceLargerThanTheBufferIsPlacedWhole) {
    const Bytes bytes = Written([](ByteWriter& out) {
        out.u8(0xAA);  // still buffered when the piece comes
        FieldWriter piece(out.place(100));
        for (std::int32_t i = 0; i < 25; ++i) piece.i32(i);
        out.u8(0xBB);
    });
    ASSERT_EQ(bytes.size(), 102u);
    ByteReader in(bytes);
    EXPECT_EQ(in.u8(), 0xAA);
    for (std::int32_t i = 0; i < 25; ++i) EXPECT_EQ(in.i32(), i);
    EXPECT_EQ(in.u8(), 0xBB);
}

TEST(ArchiveString, EncodingAtEveryLengthBoundary) {
    struct Case {
        std::size_t length;
        Bytes prefix;
    };
    for (const Case& c : {Case{0, {0x00}}, Case{254, {0xFE}}, Case{255, {0xFF, 0xFF, 0x00}},
                          Case{300, {0xFF, 0x2C, 0x01}}, Case{65535, {0xFF, 0xFF, 0xFF}}}) {
        const std::string s = Repeat(c.length);
        Bytes bytes = Written([&](ByteWriter& out) { WriteArchiveString(out, s); });
        ASSERT_EQ(bytes.size(), c.prefix.size() + c.length) << c.length;
        EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), bytes.begin())) << c.length;
        EXPECT_TRUE(std::equal(s.begin(), s.end(), bytes.begin() + static_cast<long>(c.prefix.size())));

        ByteReader in(bytes);
        EXPECT_EQ(ReadArchiveString(in), s);
        EXPECT_TRUE(in.atEnd());
    }
}

TEST(ArchiveString, LongerThanTheEncodingCarriesIsRefused) {
    const std::string s(65536, 'x');
    EXPECT_THROW(Written([&](ByteWriter& out) { WriteArchiveString(out, s); }), DrawingError);
}

TEST(ArchiveString, LengthBeyondTheBytesLeftFailsWithItsOffset) {
    Bytes bytes = {0xFF, 0xFF, 0xFF, 'a', 'b'};  // claims 65535 bytes
    ByteReader in(bytes);
    in.setSection(Section::Header);
    try {
        ReadArchiveString(in);
        FAIL();
    } catch (const DrawingError& e) {
        EXPECT_EQ(e.failure().offset, 3);
        EXPECT_EQ(e.failure().message(), "truncated at offset 3 in the header");
    }
}

TEST(ArchiveCount, ShortFormBelow65535LongFormFromIt) {
    EXPECT_EQ(Written([](ByteWriter& out) { WriteArchiveCount(out, 0); }), (Bytes{0, 0}));
    EXPECT_EQ(Written([](ByteWriter& out) { WriteArchiveCount(out, 65534); }), (Bytes{0xFE, 0xFF}));
    EXPECT_EQ(Written([](ByteWriter& out) { WriteArchiveCount(out, 65535); }),
              (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0}));
    EXPECT_EQ(Written([](ByteWriter& out) { WriteArchiveCount(out, 70000); }),
              (Bytes{0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}));
    for (std::int32_t n : {0, 1, 65534, 65535, 70000}) {
        Bytes bytes = Written([&](ByteWriter& out) { WriteArchiveCount(out, n); });
        ByteReader in(bytes);
        EXPECT_EQ(ReadArchiveCount(in), n);
    }
    Bytes negative = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    ByteReader in(negative);
    EXPECT_EQ(ReadArchiveCount(in), -1);
}

TEST(ClassTags, WriterNumbersClassesAndObjectsFromOne) {
    ArchiveWriterState state;
    Bytes bytes = Written([&](ByteWriter& out) {
        WriteClassTag(out, state, kClassSen, 600);  // class index 1
        ++state.Counter;                            // the line: 2
        WriteClassTag(out, state, kClassSen, 600);  // reference 0x8001
        ++state.Counter;                            // the second line: 3
        WriteClassTag(out, state, kClassMoji, 600);  // class index 4
        ++state.Counter;                             // the text: 5
    });
    EXPECT_EQ(state.Counter, 6);
    EXPECT_EQ(state.ClassIndex[kClassSen], 1);
    EXPECT_EQ(state.ClassIndex[kClassMoji], 4);
    Bytes expected = {0xFF, 0xFF, 0x58, 0x02, 8, 0, 'C', 'D', 'a', 't', 'a', 'S', 'e', 'n',
                      0x01, 0x80,
                      0xFF, 0xFF, 0x58, 0x02, 9, 0, 'C', 'D', 'a', 't', 'a', 'M', 'o', 'j', 'i'};
    EXPECT_EQ(bytes, expected);
}

TEST(ClassTags, ReferencesUseTheLongFormFromIndex32767) {
    EXPECT_EQ(Written([](ByteWriter& out) { WriteClassReference(out, 32766); }), (Bytes{0xFE, 0xFF}));
    EXPECT_EQ(Written([](ByteWriter& out) { WriteClassReference(out, 32767); }),
              (Bytes{0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x80}));

    for (std::int32_t index : {1, 32766, 32767, 100000}) {
        ArchiveReaderState state;
        state.ClassIndex[kClassTen] = index;
        Bytes bytes = Written([&](ByteWriter& out) { WriteClassReference(out, index); });
        ByteReader in(bytes);
        EXPECT_EQ(ReadClassTag(in, state, TagPlace::EntityList), kClassTen) << index;
    }
    // The long form's bit 31 is cleared before the lookup.
    ArchiveReaderState state;
    state.ClassIndex[kClassSolid] = 5;
    Bytes longForm = {0xFF, 0x7F, 0x05, 0x00, 0x00, 0x80};
    ByteReader in(longForm);
    EXPECT_EQ(ReadClassTag(in, state, TagPlace::EntityList), kClassSolid);
}

namespace {

Bytes NewClassTag(const std::string& name) {
    qmtest::Out o;
    o.u16(0xFFFF);
    o.u16(600);
    o.u16(static_cast<std::uint16_t>(name.size()));
    o.raw(name);
    return o.b;
}

std::string TagFailure(const Bytes& bytes, TagPlace place, ArchiveReaderState state = {}) {
    ByteReader in(bytes);
    in.setSection(Section::EntityList);
    try {
        ReadClassTag(in, state, place);
    } catch (const DrawingError& e) {
        return e.failure().message();
    }
    return "no failure";
}

}  // namespace

TEST(ClassTags, NewClassTagRecordsTheCurrentIndex) {
    ArchiveReaderState state;
    state.Counter = 7;
    Bytes bytes = NewClassTag("CDataSunpou");
    ByteReader in(bytes);
    EXPECT_EQ(ReadClassTag(in, state, TagPlace::EntityList), kClassSunpou);
    EXPECT_EQ(state.ClassIndex[kClassSunpou], 7);
    EXPECT_EQ(state.Counter, 8);
}

TEST(ClassTags, AnythingThatNamesNoEntityClassEndsTheRead) {
    EXPECT_EQ(TagFailure(NewClassTag("CDataFoo"), TagPlace::EntityList),
              "unknown class 'CDataFoo' at offset 0 in the entity list");
    EXPECT_EQ(TagFailure(NewClassTag("cdatasen"), TagPlace::EntityList),
              "unknown class 'cdatasen' at offset 0 in the entity list");
    EXPECT_EQ(TagFailure(NewClassTag("CDataList"), TagPlace::EntityList),
              "unknown class 'CDataList' at offset 0 in the entity list");
    EXPECT_EQ(TagFailure({0x00, 0x80}, TagPlace::EntityList),
              "invalid class tag 0x8000 at offset 0 in the entity list");
    EXPECT_EQ(TagFailure({0x05, 0x00}, TagPlace::EntityList),
              "invalid class tag 0x0005 at offset 0 in the entity list");
    EXPECT_EQ(TagFailure({0x03, 0x80}, TagPlace::EntityList),
              "reference to class index 3 that no class holds at offset 0 in the entity list");
    EXPECT_EQ(TagFailure({0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80}, TagPlace::EntityList),
              "reference to class index 0 at offset 0 in the entity list");

    ArchiveReaderState withList;
    withList.ClassIndex[kClassList] = 4;
    EXPECT_EQ(TagFailure({0x04, 0x80}, TagPlace::EntityList, withList),
              "a block definition where an entity belongs at offset 0 in the entity list");
}

TEST(ClassTags, ClassNameLengthIsLimitedByTheReadersBuffer) {
    ArchiveReaderState jww;  // 2048
    ArchiveReaderState jws;
    jws.MaxClassName = 200;
    // Exactly the buffer: read (and then refused as unknown in an entity list, accepted in the
    // block definition list).
    EXPECT_EQ(TagFailure(NewClassTag(std::string(200, 'C')), TagPlace::BlockDefinitionList, jws),
              "no failure");
    EXPECT_EQ(TagFailure(NewClassTag(std::string(201, 'C')), TagPlace::BlockDefinitionList, jws),
              "class name of 201 bytes (at most 200) at offset 0 in the entity list");
    EXPECT_EQ(TagFailure(NewClassTag(std::string(2048, 'C')), TagPlace::BlockDefinitionList, jww),
              "no failure");
    EXPECT_EQ(TagFailure(NewClassTag(std::string(2049, 'C')), TagPlace::BlockDefinitionList, jww),
              "class name of 2049 bytes (at most 2048) at offset 0 in the entity list");
}

TEST(ClassTags, BlockDefinitionListRecordsClassEightWhateverTheName) {
    ArchiveReaderState state;
    Bytes bytes = NewClassTag("CDataWhatever");
    ByteReader in(bytes);
    EXPECT_EQ(ReadClassTag(in, state, TagPlace::BlockDefinitionList), kClassList);
    EXPECT_EQ(state.ClassIndex[kClassList], 1);
    EXPECT_EQ(state.Counter, 2);
}
