// JWS drawings: the fixed header, the shared entity lists, the version adjustment on writing and
// the rewrite of image references in texts.
#include "testkit.h"

#include "drawing/dimensions.h"

#include <cstring>

using namespace quellmark;
using namespace qmtest;

namespace {

JwsPlan Plain(std::int32_t version) {
    JwsPlan plan;
    plan.version = version;
    return plan;
}

Bytes Convert(const Bytes& input) {
    JwsDocument doc = MustReadJws(input);
    AddDimensionAttributes(doc, doc.Header.Version);
    return WriteJws(doc, doc.Header.Version);
}

}  // namespace

TEST(IsJwsFile, SevenBytesOfSignature) {
    TempDir dir;
    WriteFile(dir / "six.jws", {'J', 'w', 's', 'D', 'a', 't'});
    WriteFile(dir / "jww.jws", {'J', 'w', 'w', 'D', 'a', 't', 'a', '.'});
    WriteFile(dir / "lower.jws", {'j', 'w', 's', 'd', 'a', 't', 'a'});
    WriteFile(dir / "ok.jws", {'J', 'w', 's', 'D', 'a', 't', 'a'});
    WriteFile(dir / "more.jws", {'J', 'w', 's', 'D', 'a', 't', 'a', 0, 1, 2});
    EXPECT_FALSE(IsJwsFile(RealFileSystem(), dir / "six.jws"));
    EXPECT_FALSE(IsJwsFile(RealFileSystem(), dir / "jww.jws"));
    EXPECT_FALSE(IsJwsFile(RealFileSystem(), dir / "lower.jws"));
    EXPECT_TRUE(IsJwsFile(RealFileSystem(), dir / "ok.jws"));
    EXPECT_TRUE(IsJwsFile(RealFileSystem(), dir / "more.jws"));
    EXPECT_FALSE(IsJwsFile(RealFileSystem(), dir / "missing.jws"));
    EXPECT_FALSE(IsJwsFile(RealFileSystem(), dir.path()));
}

TEST(JwsRead, TheSmallestDrawingIs456Bytes) {
    const Bytes input = BuildJws(Plain(420));
    ASSERT_EQ(input.size(), 456u);
    JwsDocument doc = MustReadJws(input);
    EXPECT_EQ(doc.Header.Signature, "JwsData");
    EXPECT_EQ(doc.Header.EntityCount, 0);
    EXPECT_EQ(doc.Header.BlockDefCount, 0);
    EXPECT_EQ(doc.JwsLayerGroups.size(), 16u);
    double scale15;
    std::memcpy(&scale15, input.data() + 340, 8);
    EXPECT_EQ(std::memcmp(&doc.JwsLayerGroups[15].Scale, &scale15, 8), 0);
    EXPECT_TRUE(WriteJws(doc, 420) == input);
}

TEST(JwsRead, OneLineAtVersion420Is517Bytes) {
    JwsPlan plan = Plain(420);
    plan.fill = Fill::Zero;
    Line line;
    line.x2 = 1;
    plan.entities = {line};
    const Bytes input = BuildJws(plan);
    ASSERT_EQ(input.size(), 517u);
    EXPECT_EQ(ReadU16(input, 452), 1);
    EXPECT_EQ(ReadU16(input, 454), 0xFFFF);
    EXPECT_EQ(ReadU16(input, 456), 420);
    EXPECT_EQ(ReadU16(input, 458), 8);
    EXPECT_EQ(std::string(input.begin() + 460, input.begin() + 468), "CDataSen");
    JwsDocument doc = MustReadJws(input);
    EXPECT_EQ(doc.Header.EntityCount, 1);
    ASSERT_EQ(doc.Entities.Sen.size(), 1u);
    EXPECT_EQ(doc.Entities.Refs[0].ClassNo, 1);
    EXPECT_EQ(doc.Entities.Refs[0].Index, 0);
    EXPECT_TRUE(WriteJws(doc, 420) == input);
}

TEST(JwsRead, FillerIsNotReadAndAlwaysWrittenAsDots) {
    JwsPlan plan = Plain(420);
    plan.filler = 0x00;
    Bytes zeros = BuildJws(plan);
    plan.filler = 0xA5;
    Bytes other = BuildJws(plan);
    const Bytes written = WriteJws(MustReadJws(zeros), 420);
    EXPECT_TRUE(written == WriteJws(MustReadJws(other), 420));
    for (std::size_t i = 7; i < 200; ++i) ASSERT_EQ(written[i], 0x2E) << i;
}

TEST(JwsRead, AnyVersionIsReadAndOnlyItsStreamThresholdsMatter) {
    for (std::int32_t v : {0, 100, 350, 351, 419, 420, 700, 9999}) {
        JwsPlan plan = Plain(v);
        plan.entities = {Dimension{}, Text{}, Line{}};
        plan.entities.push_back(Text{{}, {}, 0, {}, "", "^@BM%temp%x.bmp,1"});
        JwsDocument doc = MustReadJws(BuildJws(plan));
        EXPECT_EQ(doc.Header.Version, v);
        EXPECT_EQ(doc.Entities.Refs.size(), 4u);
    }
}

TEST(JwsWrite, VersionIsAdjusted) {
    const std::pair<std::int32_t, std::int32_t> table[] = {
        {0, 230}, {229, 230}, {230, 230}, {231, 231}, {299, 299},
        {300, 351}, {301, 301}, {351, 351}, {420, 420}, {-5, 230}};
    for (auto [read, written] : table) {
        EXPECT_EQ(AdjustJwsVersion(read), written) << read;
        const Bytes output = Convert(BuildJws(Plain(read)));
        EXPECT_EQ(ReadI32(output, 200), written) << read;
    }
}

TEST(JwsWrite, AVersion300DrawingComesOutAsVersion351) {
    JwsPlan plan = Plain(300);
    Line line;
    line.a.width = 9;  // not in a version-300 stream
    plan.entities = {line, Dimension{}};
    const Bytes output = Convert(BuildJws(plan));

    JwsPlan expected = Plain(351);
    expected.entities = plan.entities;
    std::get<Line>(expected.entities[0]).a.width = 0;
    Dimension& d = std::get<Dimension>(expected.entities[1]);
    d.a.flags = 0x2000;
    d.line.a.flags = 0x2000;
    d.text.a.flags = 0x4000;
    EXPECT_TRUE(output == BuildJws(expected));  // 15-byte attributes, schema words 351
    EXPECT_EQ(ReadU16(output, 452 + 2 + 2), 351);
}

TEST(JwsWrite, ReadingAndWritingGivesTheInputBack) {
    for (std::int32_t v : {230, 231, 299, 351, 419, 420, 600, 700}) {
        RandomDrawing random(static_cast<std::uint64_t>(v));
        JwsPlan plan = Plain(v);
        plan.seed = static_cast<std::uint64_t>(v);
        plan.entities = random.entities(150);
        plan.blocks = {random.block(1, 10), random.block(2, 0)};
        const Bytes input = BuildJws(plan);
        EXPECT_TRUE(WriteJws(MustReadJws(input), v) == input) << v;
    }
}

TEST(JwsWrite, DimensionsAreMarkedForTheVersionRead) {
    for (std::int32_t v : {351, 420}) {
        JwsPlan plan = Plain(v);
        plan.entities = {Dimension{}};
        plan.blocks = {BlockDef{{}, 1, 0, 0, "b", {Dimension{}}}};
        JwsDocument doc = MustReadJws(Convert(BuildJws(plan)));
        for (const TEntityCollection* c : {&doc.Entities, &doc.BlockDefs[0].Members}) {
            const TEntSunpo& d = c->Sunpo.at(0);
            EXPECT_EQ(d.Base.Flags, 0x2000);
            EXPECT_EQ(d.Line.Base.Flags, 0x2000);
            EXPECT_EQ(d.Text.Base.Flags, 0x4000);
            if (v >= 420) {
                const TEntSunpoExt& ext = c->SunpoExt.at(0);
                EXPECT_EQ(ext.Aux1.Base.Flags, 0x2000);
                EXPECT_EQ(ext.Aux2.Base.Flags, 0x2000);
                for (const TEntTen& p : ext.Points) EXPECT_EQ(p.Base.Flags, 0x0040);
            }
        }
    }
}

TEST(JwsWrite, ImageReferencesInTextsLoseTheirTempFolder) {
    const std::pair<std::string, std::string> cases[] = {
        {"^@BM%temp%logo.bmp,10,20", "^@BMlogo.bmp,10,20"},
        {"^@BM%temp%", "^@BM"},
        {"^@BM%temp", "^@BM%temp"},
        {"^@BMx%temp%a", "^@BMx%temp%a"},
        {"^@BM%TEMP%a,1", "^@BM%TEMP%a,1"},
        {"^@BM%temp%a\r\n,b", "^@BMa,b"},  // cleaned first
        {"plain", "plain"},
    };
    JwsPlan plan = Plain(420);
    for (const auto& c : cases) plan.entities.push_back(Text{{}, {}, 0, {}, "", c.first});
    BlockDef block{{}, 1, 0, 0, "b", {Text{{}, {}, 0, {}, "", cases[0].first}}};
    plan.blocks = {block};
    Dimension d;
    d.text.text = cases[0].first;
    plan.entities.push_back(d);

    JwsDocument doc = MustReadJws(Convert(BuildJws(plan)));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(doc.Entities.Moji[i].Text, cases[i].second) << cases[i].first;
    }
    EXPECT_EQ(doc.BlockDefs[0].Members.Moji[0].Text, cases[0].second);
    EXPECT_EQ(doc.Entities.Sunpo[0].Text.Text, cases[0].first);  // a dimension's text is kept
}

TEST(JwsWrite, NoImageSectionAtAnyVersion) {
    JwsPlan plan = Plain(700);
    plan.entities = {Line{}};
    const Bytes input = BuildJws(plan);
    EXPECT_TRUE(Convert(input) == input);
}

TEST(JwsRead, BytesAfterTheBlockListAreIgnored) {
    JwsPlan plan = Plain(420);
    plan.entities = {Line{}};
    plan.trailing = {1, 2, 3, 4, 5};
    const Bytes input = BuildJws(plan);
    plan.trailing.clear();
    EXPECT_TRUE(Convert(input) == BuildJws(plan));
}

TEST(JwsRead, EveryCutFails) {
    RandomDrawing random(3);
    JwsPlan plan = Plain(420);
    plan.entities = random.entities(10);
    plan.blocks = {random.block(1, 3)};
    const Bytes whole = BuildJws(plan);
    for (std::size_t length = 0; length < whole.size(); ++length) {
        Failure failure = JwsFailure(Bytes(whole.begin(), whole.begin() + static_cast<long>(length)));
        ASSERT_LE(static_cast<std::size_t>(failure.offset), length) << failure.message();
        ASSERT_NE(failure.message().find(" at offset "), std::string::npos) << failure.message();
    }
}

TEST(JwsRead, ClassNamesLongerThan200BytesFail) {
    for (std::size_t length : {200u, 201u}) {
        Out o;
        o.b = BuildJws(Plain(420));
        o.b.resize(454);  // keep the empty entity list, replace the block list
        o.count(1);
        o.u16(0xFFFF);
        o.u16(420);
        o.u16(static_cast<std::uint16_t>(length));
        o.raw(std::string(length, 'X'));
        ArchiveOut archive(o, 420);
        archive.attr(Attr{});
        o.i32(1);
        o.i32(0);
        o.i32(0);
        o.str("b");
        o.count(0);
        JwsDocument doc;
        Failure failure;
        const bool ok = ReadJwsBytes(doc, o.b, &failure);
        EXPECT_EQ(ok, length == 200) << failure.message();
        if (!ok) {
            EXPECT_EQ(failure.message(),
                      "class name of 201 bytes (at most 200) at offset 456 in the block definition list");
        }
    }
}

TEST(JwsFile, WritesFailCleanly) {
    TempDir dir;
    JwsPlan plan = Plain(420);
    plan.entities = {Line{}, Dimension{}};
    WriteFile(dir / "a.jws", BuildJws(plan));
    JwsDocument loaded;
    Failure failure;
    ASSERT_TRUE(ReadJwsFile(loaded, RealFileSystem(), dir / "a.jws", &failure)) << failure.message();
    AddDimensionAttributes(loaded, loaded.Header.Version);
    EXPECT_FALSE(
        WriteJwsFile(loaded, RealFileSystem(), dir / "no-such-folder" / "a.jws", loaded.Header.Version, &failure));
    EXPECT_EQ(failure.kind, FailureKind::CannotWrite);
    EXPECT_EQ(failure.error, std::errc::no_such_file_or_directory);

    FaultyFileSystem faulty;
    faulty.failWritesAfter = 100;
    EXPECT_FALSE(WriteJwsFile(loaded, faulty, dir / "b.jws", 420, &failure));
    EXPECT_EQ(failure.kind, FailureKind::CannotWrite);
    EXPECT_FALSE(fs::exists(dir / "b.jws"));
    EXPECT_TRUE(WriteJwsFile(loaded, RealFileSystem(), dir / "c.jws", loaded.Header.Version));
    FreeJwsDocument(loaded);
    EXPECT_TRUE(loaded.JwsLayerGroups.empty());
    JwsDocument doc = MustReadJws(ReadFile(dir / "c.jws"));
    EXPECT_EQ(doc.Entities.Sunpo[0].Base.Flags, 0x2000);
}
