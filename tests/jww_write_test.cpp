// Writing JWW drawings back: byte-for-byte round trips at every version, the normalisations the
// writer applies, dimension marking, block definitions, embedded images and failed writes.
#include "testkit.h"

#include "drawing/dimensions.h"
#include "drawing/entities.h"

using namespace quellmark;
using namespace qmtest;

namespace {

const std::int32_t kVersions[] = {220, 221, 223, 224, 225, 226, 230, 231, 299, 300,
                                  350, 351, 419, 420, 421, 599, 600, 699, 700, 701};

// A drawing of everything the format holds, with values a writer gives back unchanged.
JwwPlan EverythingAt(std::int32_t version, std::uint64_t seed) {
    RandomDrawing random(seed);
    JwwPlan plan;
    plan.version = version;
    plan.seed = seed;
    plan.memo = random.cleanText(30) + "\x01\r\n^m";  // the memo is written as it stands
    for (int i = 0; i < 256; i += 17) plan.layerNames[i] = random.cleanText(12);
    plan.groupNames[3] = kSjisZumen;
    plan.colorExNames[200] = random.cleanText(8);
    plan.lineTypeExNames[30] = random.cleanText(8);
    plan.entities = random.entities(200);
    plan.blocks = {random.block(1, 20), random.block(2, 0), random.block(3, 5)};
    if (version >= 700) {
        plan.images = {Image{"a.bmp", 300, {}}, Image{"B.JPG", 5000, {}}};
        Text refA, refB;
        refA.text = "^@BM%temp%A.BMP,1,2";
        refB.text = "^@BM%temp%b.jpg,3,4";
        plan.entities.push_back(refA);
        plan.blocks[2].members.push_back(refB);
    }
    return plan;
}

struct Converted {
    Bytes bytes;
    DimensionTally tally;
};

Converted Convert(const Bytes& input, ImageStore& images, bool mark = true) {
    JwwDocument doc = MustReadJww(input, &images);
    Converted out;
    if (mark) out.tally = AddDimensionAttributes(doc, doc.Header.Version);
    out.bytes = WriteJww(doc, doc.Header.Version, &images);
    DeleteTempImages(images);
    return out;
}

class JwwWrite : public ::testing::Test {
protected:
    void SetUp() override { images.TempFolder = temp.path(); }
    TempDir temp;
    ImageStore images{RealFileSystem()};
};

}  // namespace

TEST_F(JwwWrite, ReadingAndWritingGivesTheInputBackAtEveryVersion) {
    for (std::int32_t v : kVersions) {
        SCOPED_TRACE(v);
        const Bytes input = BuildJww(EverythingAt(v, static_cast<std::uint64_t>(v)));
        const Bytes output = Convert(input, images, false).bytes;
        ASSERT_EQ(output.size(), input.size());
        EXPECT_TRUE(output == input);
        EXPECT_TRUE(temp.files().empty());
    }
}

TEST_F(JwwWrite, ConvertingAConvertedDrawingChangesNothing) {
    for (std::int32_t v : {230, 419, 420, 600, 700}) {
        SCOPED_TRACE(v);
        const Bytes input = BuildJww(EverythingAt(v, 99));
        const Converted once = Convert(input, images);
        EXPECT_GT(once.tally.marked, 0);
        const Converted twice = Convert(once.bytes, images);
        EXPECT_EQ(twice.tally.marked, 0);
        EXPECT_EQ(twice.tally.dimensions, once.tally.dimensions);
        EXPECT_TRUE(twice.bytes == once.bytes);
    }
}

TEST_F(JwwWrite, ReservedHeaderValuesAreWrittenAsZero) {
    JwwPlan plan;
    JwwLayout l;
    Bytes input = BuildJww(plan, &l);
    for (int i = 0; i < 14; ++i) PatchI32(input, l.block[6] + 4 * i, 1000 + i);
    PatchI32(input, l.block[7] + 20, 77);
    const Bytes output = Convert(input, images, false).bytes;
    for (int i = 0; i < 14; ++i) EXPECT_EQ(ReadI32(output, l.block[6] + 4 * i), 0);
    EXPECT_EQ(ReadI32(output, l.block[7] + 20), 0);
    // Nothing else moved.
    Bytes expected = input;
    for (int i = 0; i < 14; ++i) PatchI32(expected, l.block[6] + 4 * i, 0);
    PatchI32(expected, l.block[7] + 20, 0);
    EXPECT_TRUE(output == expected);
}

TEST_F(JwwWrite, LineWidthCodesBelowMinus101AreClampedUpToVersion420) {
    struct Case {
        std::int32_t version, read, written;
    };
    for (const Case& c : {Case{420, -101, -101}, Case{420, -102, -101}, Case{420, -150, -101},
                          Case{230, -500, -101}, Case{421, -102, -102}, Case{600, -150, -150},
                          Case{600, -101, -101}, Case{420, 5, 5}}) {
        JwwPlan plan;
        plan.version = c.version;
        JwwLayout l;
        Bytes input = BuildJww(plan, &l);
        PatchI32(input, l.block[7] + 24, c.read);
        EXPECT_EQ(ReadI32(Convert(input, images).bytes, l.block[7] + 24), c.written)
            << c.version << " " << c.read;
    }
}

TEST_F(JwwWrite, SplitValueKeepsItsTensOnlyFromVersion600) {
    struct Case {
        std::int32_t read, below600, from600;
    };
    for (const Case& c : {Case{7, 7, 17}, Case{47, 7, 47}, Case{10, 0, 10}, Case{-7, -7, 3},
                          Case{0, 0, 10}, Case{9, 9, 19}}) {
        for (std::int32_t v : {599, 600}) {
            JwwPlan plan;
            plan.version = v;
            JwwLayout l;
            Bytes input = BuildJww(plan, &l);
            PatchI32(input, l.block[17] + 40, c.read);
            EXPECT_EQ(ReadI32(Convert(input, images).bytes, l.block[17] + 40),
                      v >= 600 ? c.from600 : c.below600)
                << c.read << " at " << v;
        }
    }
}

TEST_F(JwwWrite, NamesAreCleanedButTheMemoIsNot) {
    JwwPlan plan;
    plan.version = 420;
    plan.memo = "a\tb^mc";
    plan.layerNames[0] = "\x01\x02";
    plan.layerNames[1] = "A^mB\r\n";
    plan.groupNames[2] = std::string("\x90\x0A", 2);  // a double-byte character with a low trail
    plan.colorExNames[5] = "^m";
    plan.lineTypeExNames[6] = "x\x1F";
    JwwDocument doc = MustReadJww(Convert(BuildJww(plan), images).bytes);
    EXPECT_EQ(doc.Header.Memo, "a\tb^mc");
    EXPECT_EQ(doc.Layers[0].Name, " ");
    EXPECT_EQ(doc.Layers[1].Name, "AB");
    EXPECT_EQ(doc.Layers[2].Name, "");
    EXPECT_EQ(doc.LayerGroups[2].Name, std::string("\x90\x0A", 2));
    EXPECT_EQ(doc.ColorsEx[5].Name, " ");
    EXPECT_EQ(doc.LineTypesEx[6].Name, "x");
}

TEST_F(JwwWrite, OlderVersionsWriteNoExtendedTablesAndFewerMarkSlots) {
    JwwPlan plan;
    plan.version = 600;
    JwwDocument doc = MustReadJww(BuildJww(plan));
    JwwPlan expected;
    expected.fill = Fill::Zero;
    for (std::int32_t v : {230, 419, 420}) {
        expected.version = v;
        JwwLayout l;
        BuildJww(expected, &l);
        const Bytes written = WriteJww(doc, v);
        EXPECT_EQ(written.size(), l.entityList + 4) << v;  // two empty counts follow the header
        EXPECT_EQ(ReadI32(written, 8), v);
    }
}

TEST(CommonAttributes, ValuesOutsideTheirRangesAreReplaced) {
    struct Case {
        int classNo;
        std::int32_t version;
        std::uint8_t style;
        std::uint16_t color;
        std::uint8_t expectedStyle;
        std::uint16_t expectedColor;
    };
    const Case cases[] = {
        // lines and arcs: styles 1-9, 11-19, 31-62; colours 1-9, 101-356
        {1, 600, 9, 9, 9, 9},      {1, 600, 10, 10, 1, 2},   {2, 600, 11, 0, 11, 2},
        {1, 600, 19, 100, 19, 2},  {1, 600, 20, 101, 1, 101}, {1, 600, 30, 356, 1, 356},
        {2, 600, 31, 357, 31, 2},  {1, 600, 62, 1, 62, 1},    {1, 600, 63, 1, 1, 1},
        {1, 600, 0, 1, 1, 1},
        // below 420 the wide styles and colours of lines and arcs map to the old ones
        {1, 419, 44, 107, 17, 1},  {2, 419, 31, 101, 1, 2},   {1, 419, 46, 117, 1, 2},
        {1, 419, 62, 356, 1, 2},   {1, 420, 44, 107, 44, 107},
        // points: style 1 or 100
        {3, 600, 1, 1, 1, 1},      {3, 600, 100, 1, 100, 1},  {3, 600, 5, 1, 1, 1},
        {3, 419, 100, 105, 100, 4},
        // texts: styles 1-9
        {4, 600, 9, 1, 9, 1},      {4, 600, 10, 1, 1, 1},     {4, 600, 0, 10, 1, 2},
        // dimensions: any style
        {5, 600, 255, 1, 255, 1},  {5, 600, 0, 0, 0, 2},      {5, 419, 44, 110, 44, 8},
        // solids: colours 1-10
        {6, 600, 77, 10, 77, 10},  {6, 600, 77, 11, 77, 2},   {6, 419, 77, 102, 77, 8},
        // block inserts and definitions: anything
        {7, 600, 0, 0, 0, 0},      {8, 419, 200, 9999, 200, 9999},
    };
    for (const Case& c : cases) {
        TEntBase base;
        base.PenStyle = c.style;
        base.PenColor = c.color;
        TEntBase out = NormalizeCommonAttributes(base, c.version, c.classNo);
        EXPECT_EQ(out.PenStyle, c.expectedStyle) << "class " << c.classNo << " v" << c.version
                                                 << " style " << int(c.style);
        EXPECT_EQ(out.PenColor, c.expectedColor) << "class " << c.classNo << " v" << c.version
                                                 << " colour " << c.color;
    }
    for (int classNo = 1; classNo <= 8; ++classNo) {
        TEntBase edge{1, 1, 1, 30000, 15, 15, 0xFFFF};
        TEntBase out = NormalizeCommonAttributes(edge, 600, classNo);
        EXPECT_EQ(out.PenWidth, 30000);
        EXPECT_EQ(out.Layer, 15);
        EXPECT_EQ(out.LayerGroup, 15);
        EXPECT_EQ(out.Flags, 0xFFFF);
        TEntBase past{1, 1, 1, 30001, 16, 16, 0};
        out = NormalizeCommonAttributes(past, 600, classNo);
        EXPECT_EQ(out.PenWidth, 0);
        EXPECT_EQ(out.Layer, 0);
        EXPECT_EQ(out.LayerGroup, 0);
    }
}

TEST_F(JwwWrite, NormalisationKeepsOptionalFieldsInStepWithTheirMarks) {
    Line line;
    line.a = Attr{0, 1, 10, 30001, 16, 0, 0};
    Point plain;
    plain.a.style = 5;  // becomes 1: no optional fields follow
    plain.code = 3;
    Solid solid;
    solid.a.color = 10;
    solid.color = 0xABCDEF;
    JwwPlan plan;
    plan.version = 600;
    plan.entities = {line, plain, solid};
    JwwDocument doc = MustReadJww(Convert(BuildJww(plan), images).bytes);
    EXPECT_EQ(doc.Entities.Sen[0].Base.Layer, 0);
    EXPECT_EQ(doc.Entities.Sen[0].Base.PenWidth, 0);
    EXPECT_EQ(doc.Entities.Sen[0].Base.PenColor, 2);
    EXPECT_EQ(doc.Entities.Ten[0].Base.PenStyle, 1);
    EXPECT_EQ(doc.Entities.Ten[0].Code, 0);
    EXPECT_EQ(doc.Entities.Solid[0].Color, 0xABCDEF);
    // The document that was written from is never changed by the normalisation.
    JwwDocument source = MustReadJww(BuildJww(plan));
    WriteJww(source, 600);
    EXPECT_EQ(source.Entities.Sen[0].Base.Layer, 16);
}

TEST_F(JwwWrite, PenWidthIsWrittenFromVersion351Only) {
    Line line;
    line.a.width = 7;
    for (std::int32_t v : {350, 351}) {
        JwwPlan plan;
        plan.version = v;
        plan.entities = {line};
        JwwDocument doc = MustReadJww(BuildJww(plan));
        doc.Entities.Sen[0].Base.PenWidth = 7;
        JwwLayout l;
        BuildJww(plan, &l);
        const Bytes bytes = WriteJww(doc, v);
        EXPECT_EQ(bytes.size(), l.entityList + 2 + 14 + (v >= 351 ? 47 : 45) + 2);
    }
}

TEST_F(JwwWrite, TextsAreCleanedAndEmptyTextsStayEmpty) {
    Text t;
    t.font = "Font\x01";
    t.text = "^m";
    Text empty;
    Dimension d;
    d.text.text = "12\r\n";
    JwwPlan plan;
    plan.entities = {t, empty, d};
    JwwDocument doc = MustReadJww(Convert(BuildJww(plan), images).bytes);
    EXPECT_EQ(doc.Entities.Moji[0].FontName, "Font");
    EXPECT_EQ(doc.Entities.Moji[0].Text, " ");
    EXPECT_EQ(doc.Entities.Moji[1].Text, "");
    EXPECT_EQ(doc.Entities.Sunpo[0].Text.Text, "12");
}

namespace {

// Every flags word of a dimension, in the order the marking table lists them.
std::vector<std::uint16_t> Flags(const TEntityCollection& c, std::size_t index) {
    const TEntSunpo& d = c.Sunpo.at(index);
    const TEntSunpoExt ext = c.SunpoExtOf(index);
    std::vector<std::uint16_t> flags = {d.Base.Flags, d.Line.Base.Flags, d.Text.Base.Flags, ext.Aux1.Base.Flags,
                                        ext.Aux2.Base.Flags};
    for (const TEntTen& p : ext.Points) flags.push_back(p.Base.Flags);
    return flags;
}

}  // namespace

TEST_F(JwwWrite, DimensionsAreMarkedAtTopLevelAndInsideBlocks) {
    Dimension plain;
    Dimension flagged;
    flagged.a.flags = 0x0001;
    flagged.line.a.flags = 0x2001;
    flagged.points[0].a.flags = 0x8000;
    Line untouched;
    untouched.a.flags = 0x0003;
    for (std::int32_t v : {419, 420}) {
        SCOPED_TRACE(v);
        JwwPlan plan;
        plan.version = v;
        plan.entities = {plain, untouched, flagged};
        plan.blocks = {BlockDef{{}, 1, 0, 0, "b", {untouched, plain}}};
        const Converted converted = Convert(BuildJww(plan), images);
        EXPECT_EQ(converted.tally.dimensions, 3);
        EXPECT_EQ(converted.tally.marked, 3);
        JwwDocument doc = MustReadJww(converted.bytes);
        const bool full = v >= 420;
        const std::vector<std::uint16_t> markedPlain =
            full ? std::vector<std::uint16_t>{0x2000, 0x2000, 0x4000, 0x2000, 0x2000, 0x40, 0x40, 0x40, 0x40}
                 : std::vector<std::uint16_t>{0x2000, 0x2000, 0x4000, 0x2000, 0x2000, 0x2000, 0x2000, 0x2000, 0x2000};
        // Below 420 the second half is not in the file: it reads back as copies of the dimension.
        EXPECT_EQ(Flags(doc.Entities, 0), markedPlain);
        EXPECT_EQ(Flags(doc.BlockDefs[0].Members, 0), markedPlain);
        const TEntSunpo& f = doc.Entities.Sunpo[1];
        EXPECT_EQ(f.Base.Flags, 0x2001);
        EXPECT_EQ(f.Line.Base.Flags, 0x2001);
        if (full) {
            EXPECT_EQ(doc.Entities.SunpoExt.at(1).Points[0].Base.Flags, 0x8040);
        }
        EXPECT_EQ(doc.Entities.Sen[0].Base.Flags, 0x0003);
        EXPECT_EQ(doc.BlockDefs[0].Members.Sen[0].Base.Flags, 0x0003);
    }
}

TEST_F(JwwWrite, BlockDefinitionsKeepTheirOrderAndLoseTimeStampExtensions) {
    BlockDef first{{}, 1, 0, 11, "first", {Line{}}};
    BlockDef empty{{}, 2, 1, 22, "empty", {}};
    BlockDef stamped{{}, 3, 0, static_cast<std::int32_t>(0x80000000), "stamped", {Text{}}};
    JwwPlan plan;
    plan.entities = {Line{}};
    plan.blocks = {first, empty, stamped};
    const Bytes input = BuildJww(plan);
    JwwDocument doc = MustReadJww(input);
    ASSERT_EQ(doc.BlockDefs.size(), 3u);
    EXPECT_EQ(doc.BlockDefs[2].TimeStamp, 3);
    const Bytes output = WriteJww(doc, plan.version);
    EXPECT_EQ(output.size(), input.size() - 8);

    JwwPlan expected = plan;
    expected.blocks[2].timestamp = 3;
    EXPECT_TRUE(output == BuildJww(expected));  // also: CDataList introduced once, then referred to
}

TEST_F(JwwWrite, EntityCountsFrom65535UseTheLongForm) {
    JwwPlan plan;
    plan.entities.assign(65535, Point{});
    const Bytes input = BuildJww(plan);
    JwwLayout l;
    BuildJwwHeader(plan, &l);
    const Bytes output = Convert(input, images).bytes;
    EXPECT_EQ(ReadU16(output, l.entityList), 0xFFFF);
    EXPECT_EQ(ReadI32(output, l.entityList + 2), 65535);
    EXPECT_TRUE(output == input);
}

TEST_F(JwwWrite, AStringLongerThanTheFormatCarriesFailsTheWrite) {
    JwwDocument doc = MustReadJww(BuildJww(JwwPlan{}));
    doc.Layers[0].Name.assign(70000, 'x');
    EXPECT_THROW(WriteJww(doc, 600), DrawingError);
    Failure failure;
    EXPECT_FALSE(WriteJwwFile(doc, images, temp / "long.jww", 600, &failure));
    EXPECT_NE(failure.message().find("longer than a drawing can hold"), std::string::npos);
    EXPECT_TRUE(temp.files().empty());
}

// ---- embedded images ----

namespace {

Text Reference(const std::string& text) {
    Text t;
    t.text = text;
    return t;
}

}  // namespace

TEST_F(JwwWrite, OnlyImagesThatATextRefersToAreWritten) {
    JwwPlan plan;
    plan.version = 700;
    plan.images = {Image{"PHOTO.JPG", 5000, {}}, Image{"unused.bmp", 10, {}},
                   Image{"LONGNAME.PNG", 20, {}}, Image{"", 40, {}}, Image{"zero.bmp", 0, {}},
                   Image{"negative.bmp", -3, {}}, Image{"../../escape.bmp", 30, {}},
                   Image{"dir/sub.bmp", 30, {}}};
    plan.entities = {Reference("^@BM%temp%photo.jpg,1,1"),   // lower case
                     Reference("^@BM%temp%PHOTO.JPG,2,2"),   // the same image again
                     Reference("^@BM%temp%LONG,3,3"),        // a prefix of LONGNAME.PNG
                     Reference("^@BM%temp%zero.bmp,4"),      // has no bytes
                     Reference("^@BM%temp%,5"),              // an empty name matches nothing
                     Reference("^@BM%temp%"),                // exactly ten bytes
                     Reference("^@BM%temp%unused.bmp"),      // no comma
                     Reference("^@BMx%temp%unused.bmp,1"),   // another prefix
                     Reference("^@BM%TEMP%unused.bmp,1")};   // other letter case
    plan.blocks = {BlockDef{{}, 1, 0, 0, "b", {Reference("^@BM%temp%../../ESCAPE.BMP,1")}}};
    const Bytes input = BuildJww(plan);

    JwwDocument doc = MustReadJww(input, &images);
    ASSERT_EQ(images.Images.size(), 8u);
    EXPECT_EQ(temp.files().size(), 1u);  // the bytes of all five images with a name and bytes
    EXPECT_EQ(std::count_if(images.Images.begin(), images.Images.end(),
                            [](const TBindImageType& image) { return image.Offset >= 0; }),
              5);
    const Bytes output = WriteJww(doc, 700, &images);
    DeleteTempImages(images);
    EXPECT_TRUE(temp.files().empty());
    EXPECT_TRUE(fs::exists(temp.path()));

    JwwPlan expected = plan;
    expected.images = {plan.images[0], plan.images[2], plan.images[6]};
    EXPECT_TRUE(output == BuildJww(expected));
}

TEST_F(JwwWrite, ImageNamesNeverBecomePaths) {
    JwwPlan plan;
    plan.version = 700;
    plan.images = {Image{"../outside.bmp", 10, {}}, Image{"/tmp/absolute.bmp", 10, {}},
                   Image{"C:\\drive.bmp", 10, {}}};
    JwwDocument doc = MustReadJww(BuildJww(plan), &images);
    EXPECT_EQ(images.BytesFile.parent_path(), temp.path());
    EXPECT_EQ(temp.files().size(), 1u);
    EXPECT_FALSE(fs::exists(temp.path().parent_path() / "outside.bmp"));
    DeleteTempImages(images);
}

TEST_F(JwwWrite, BelowVersion700ThereIsNoImageSection) {
    JwwPlan plan;
    plan.version = 699;
    plan.entities = {Reference("^@BM%temp%A.BMP,1")};
    plan.images = {Image{"A.BMP", 10, {}}};  // not written by the builder below 700
    const Bytes input = BuildJww(plan);
    EXPECT_TRUE(Convert(input, images, false).bytes == input);
}

TEST_F(JwwWrite, AnImageThatCannotBeKeptFailsTheRead) {
    FaultyFileSystem faulty;
    faulty.failCreate = [](const fs::path&) { return true; };
    ImageStore store(faulty);
    store.TempFolder = temp.path();
    JwwPlan plan;
    plan.version = 700;
    plan.images = {Image{"A.BMP", 10, {}}};
    JwwDocument doc;
    Failure failure;
    EXPECT_FALSE(ReadJww(BuildJww(plan), doc, store, &failure));
    EXPECT_NE(failure.message().find("cannot keep image 'A.BMP' in the temporary folder"), std::string::npos)
        << failure.message();

    // A store without a temp folder cannot keep images either.
    ImageStore noFolder{RealFileSystem()};
    EXPECT_FALSE(ReadJww(BuildJww(plan), doc, noFolder, &failure));
}

TEST_F(JwwWrite, ATempImageThatVanishedFailsTheWrite) {
    JwwPlan plan;
    plan.version = 700;
    plan.images = {Image{"A.BMP", 10, {}}};
    plan.entities = {Reference("^@BM%temp%A.BMP,1")};
    JwwDocument doc = MustReadJww(BuildJww(plan), &images);
    fs::remove(images.BytesFile);
    Failure failure;
    EXPECT_FALSE(WriteJwwFile(doc, images, temp / "out.jww", 700, &failure));
    EXPECT_NE(failure.message().find("cannot write the images: their temporary file cannot be read"), std::string::npos)
        << failure.message();
    EXPECT_FALSE(fs::exists(temp / "out.jww"));
}

TEST_F(JwwWrite, AFailedReadLeavesNoTempImages) {
    JwwPlan plan;
    plan.version = 700;
    plan.images = {Image{"A.BMP", 10, {}}, Image{"B.BMP", 10, {}}};
    Bytes bytes = BuildJww(plan);
    bytes.resize(bytes.size() - 3);  // cut inside the second image
    JwwDocument doc;
    EXPECT_FALSE(ReadJww(bytes, doc, images));
    EXPECT_TRUE(temp.files().empty());
}

// ---- failed writes ----

TEST_F(JwwWrite, AWriteThatFailsAnywhereLeavesNoFile) {
    const Bytes input = BuildJww(EverythingAt(700, 5));
    JwwDocument doc = MustReadJww(input, &images);
    FaultyFileSystem faulty;
    ImageStore store(faulty);
    store.TempFolder = images.TempFolder;
    store.Images = images.Images;
    store.BytesFile = images.BytesFile;
    for (std::int64_t after : {std::int64_t{0}, std::int64_t{1}, std::int64_t{4096},
                               static_cast<std::int64_t>(input.size()) - 1}) {
        faulty.failWritesAfter = after;
        faulty.bytesWritten = 0;
        Failure failure;
        EXPECT_FALSE(WriteJwwFile(doc, store, temp / "out.jww", 700, &failure)) << after;
        EXPECT_NE(failure.message().find("no space left on device"), std::string::npos) << failure.message();
        EXPECT_FALSE(fs::exists(temp / "out.jww"));
    }
    faulty.failWritesAfter = -1;
    Failure failure;
    EXPECT_TRUE(WriteJwwFile(doc, store, temp / "out.jww", 700, &failure)) << failure.message();
    EXPECT_TRUE(ReadFile(temp / "out.jww") == input);

    EXPECT_FALSE(WriteJwwFile(doc, store, temp / "missing-folder" / "out.jww", 700, &failure));
    EXPECT_NE(failure.message().find("cannot create out.jww"), std::string::npos) << failure.message();
    DeleteTempImages(images);
}

TEST_F(JwwWrite, ThousandsOfTinyImagesShareOneTempFile) {
    JwwPlan plan;
    plan.version = 700;
    for (int i = 0; i < 5000; ++i) {
        plan.images.push_back(Image{"I" + std::to_string(i), 1 + i % 3, {}});
    }
    plan.entities = {Reference("^@BM%temp%I4999,1"), Reference("^@BM%temp%I7,1")};
    JwwDocument doc = MustReadJww(BuildJww(plan), &images);
    EXPECT_EQ(temp.files().size(), 1u);
    const Bytes output = WriteJww(doc, 700, &images);
    DeleteTempImages(images);
    EXPECT_TRUE(temp.files().empty());
    JwwPlan expected = plan;
    expected.images = {plan.images[7], plan.images[4999]};
    EXPECT_TRUE(output == BuildJww(expected));
}
