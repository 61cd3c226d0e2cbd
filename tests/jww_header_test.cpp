// The JWW header: where every block starts and what lands in which field, at every version
// threshold, and how a bad header is refused.
#include "testkit.h"

#include <cstring>

using namespace quellmark;
using namespace qmtest;

namespace {

void PatchF64(Bytes& bytes, std::size_t offset, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    for (int i = 0; i < 8; ++i) bytes.at(offset + i) = static_cast<std::uint8_t>(bits >> (8 * i));
}

const std::int32_t kVersions[] = {220, 221, 222, 223, 224, 225, 226, 229, 230, 231, 299,
                                  300, 350, 351, 419, 420, 421, 599, 600, 699, 700, 701};

}  // namespace

TEST(JwwHeader, EntityListStartsWhereTheLayoutSays) {
    for (auto [version, offset] : {std::pair{230, 4137}, {300, 4337}, {600, 14095}}) {
        JwwPlan plan;
        plan.version = version;
        plan.entities = {Line{}};
        JwwLayout layout;
        Bytes bytes = BuildJww(plan, &layout);
        EXPECT_EQ(layout.entityList, static_cast<std::size_t>(offset)) << version;
        MustReadJww(bytes);
        // Cut one byte into the entity list: the reader says exactly where it stood.
        bytes.resize(layout.entityList + 1);
        EXPECT_EQ(JwwFailure(bytes).message(), "truncated at offset " + std::to_string(offset) + " in the entity list");
    }
}

TEST(JwwHeader, EveryBlockLandsInItsFieldsAtEveryVersion) {
    for (std::int32_t v : kVersions) {
        SCOPED_TRACE(v);
        JwwPlan plan;
        plan.version = v;
        plan.seed = static_cast<std::uint64_t>(v);
        plan.memo = "memo " + kSjisZumen;
        plan.layerNames[255] = "L255";
        plan.groupNames[15] = "G15";
        plan.colorExNames[256] = "C256";
        plan.lineTypeExNames[32] = "T32";
        JwwLayout l;
        Bytes bytes = BuildJww(plan, &l);
        const auto& b = l.block;
        PatchI32(bytes, b[4], 4004);
        PatchF64(bytes, b[5] + 3 * 148 + 8, 5.5);                 // LayerGroups[3].Scale
        PatchI32(bytes, b[5] + 2 * 148 + 24 + 8 * 5, 37);          // Layers[37].Protect
        PatchI32(bytes, b[7] + 24, -99);                           // MaxLineWidth
        PatchF64(bytes, b[8] + 64, 8.64);                          // GridOriginY
        PatchF64(bytes, b[10] + 20, 10.2);                         // WallShadowLevel
        if (v >= 300) PatchF64(bytes, b[10] + 36, 10.36);          // SkyChartSize
        PatchF64(bytes, b[11] + 44, 11.44);                        // RangeOriginY
        if (v > 230) {
            PatchI32(bytes, b[12] + 28 * 7 + 24, 88);              // MarkLayerGroup of slot 8
            PatchI32(bytes, b[12] + 252 + 24, 1224);               // ExtraSlotB's int
        } else {
            PatchF64(bytes, b[12] + 24 * 3 + 16, 12.4);            // MarkOriginY of slot 4
        }
        PatchI32(bytes, b[13] + 92 + 72, 1392);                    // LineColors[9] screen width
        PatchF64(bytes, b[14] + 16 * 9 + 8, 14.9);                 // LineColors[9] point radius
        PatchI32(bytes, b[15] + 16 * 7 + 12, 1507);                // LineTypes[7] print pitch
        PatchI32(bytes, b[16] + 20 * 4 + 16, 1644);                // RandomLines[4][4]
        PatchI32(bytes, b[16] + 100 + 48 + 12, 1633);              // DoubleLineTypes[3][3]
        PatchI32(bytes, b[17] + 40, 47);                           // split value
        if (v >= 223) PatchF64(bytes, b[17] + 64 + 32, 17.4);      // Ext223Doubles[4]
        if (v >= 225) PatchF64(bytes, b[17] + 104 + 24, 17.3);     // Ext225Doubles[3]
        if (v >= 230) PatchI32(bytes, b[17] + 140, 1701);          // Ext230Ints[1]
        if (v >= 420) {
            PatchI32(bytes, b[18] + 8 * 256 + 4, 18256);           // ColorsEx[256] screen width
            PatchI32(bytes, b[20] + 16 * 32 + 12, 2032);           // LineTypesEx[32] print pitch
        }
        PatchI32(bytes, b[22] + 28 * 9 + 24, 2209);                // TextStyles[9] colour
        PatchF64(bytes, b[23] + 92, 23.92);                        // TextSettings last double

        JwwDocument doc = MustReadJww(bytes);
        const THeader& h = doc.Header;
        EXPECT_EQ(h.Signature, "JwwData.");
        EXPECT_EQ(h.Version, v);
        EXPECT_EQ(h.Memo, plan.memo);
        EXPECT_EQ(h.PaperSize, 4004);
        EXPECT_EQ(doc.LayerGroups[3].Scale, 5.5);
        EXPECT_EQ(doc.Layers[37].Protect, 37);
        EXPECT_EQ(h.MaxLineWidth, -99);
        EXPECT_EQ(h.GridOriginY, 8.64);
        EXPECT_EQ(doc.Layers[255].Name, "L255");
        EXPECT_EQ(doc.LayerGroups[15].Name, "G15");
        EXPECT_EQ(h.WallShadowLevel, 10.2);
        EXPECT_EQ(h.SkyChartSize, v >= 300 ? 10.36 : 0.0);
        EXPECT_EQ(h.RangeOriginY, 11.44);
        if (v > 230) {
            EXPECT_EQ(h.MarkLayerGroup[7], 88);
            EXPECT_EQ(h.ExtraSlotB.Int, 1224);
        } else {
            EXPECT_EQ(h.MarkOriginY[3], 12.4);
            EXPECT_EQ(h.MarkScale[4], 1.0);  // slots 5 to 8 keep their reset values
            EXPECT_EQ(h.MarkOriginX[7], 0.0);
            EXPECT_EQ(h.MarkLayerGroup[7], -1);
            EXPECT_EQ(h.ExtraSlotA.Values[0], 0.0);
        }
        EXPECT_EQ(doc.LineColors[9].ScreenWidth, 1392);
        EXPECT_EQ(doc.LineColors[9].PrintPointRadius, 14.9);
        EXPECT_EQ(doc.LineTypes[7].PrintPitch, 1507);
        EXPECT_EQ(doc.RandomLines[4].Values[4], 1644);
        EXPECT_EQ(doc.DoubleLineTypes[3].Values[3], 1633);
        EXPECT_EQ(h.SplitTens, 4);
        EXPECT_EQ(h.SplitUnits, 7);
        EXPECT_EQ(h.Ext223Doubles[4], v >= 223 ? 17.4 : 0.0);
        EXPECT_EQ(h.Ext225Doubles[3], v >= 225 ? 17.3 : 0.0);
        EXPECT_EQ(h.Ext230Ints[1], v >= 230 ? 1701 : 0);
        ASSERT_EQ(doc.ColorsEx.size(), 257u);
        ASSERT_EQ(doc.LineTypesEx.size(), 33u);
        if (v >= 420) {
            EXPECT_EQ(doc.ColorsEx[256].ScreenWidth, 18256);
            EXPECT_EQ(doc.ColorsEx[256].Name, "C256");
            EXPECT_EQ(doc.LineTypesEx[32].PrintPitch, 2032);
            EXPECT_EQ(doc.LineTypesEx[32].Name, "T32");
        } else {
            EXPECT_EQ(doc.ColorsEx[256].ScreenWidth, 0);
            EXPECT_EQ(doc.ColorsEx[256].Name, "");
        }
        EXPECT_EQ(doc.TextStyles[9].Color, 2209);
        EXPECT_EQ(h.TextSettings.E[5], 23.92);
    }
}

TEST(JwwHeader, BlockSizesFollowTheVersion) {
    struct Case {
        std::int32_t v;
        std::size_t block10, block12, block17;
        bool extended;
    };
    for (const Case& c : {Case{220, 28, 96, 44, false}, Case{222, 28, 96, 44, false},
                          Case{223, 28, 96, 104, false}, Case{224, 28, 96, 104, false},
                          Case{225, 28, 96, 136, false}, Case{229, 28, 96, 136, false},
                          Case{230, 28, 96, 144, false}, Case{231, 28, 280, 144, false},
                          Case{299, 28, 280, 144, false}, Case{300, 44, 280, 144, false},
                          Case{419, 44, 280, 144, false}, Case{420, 44, 280, 144, true}}) {
        JwwPlan plan;
        plan.version = c.v;
        JwwLayout l;
        BuildJww(plan, &l);
        EXPECT_EQ(l.block[11] - l.block[10], c.block10) << c.v;
        EXPECT_EQ(l.block[13] - l.block[12], c.block12) << c.v;
        const std::size_t after17 = c.extended ? l.block[18] : l.block[22];
        EXPECT_EQ(after17 - l.block[17], c.block17) << c.v;
    }
}

TEST(JwwHeader, SplitValueKeepsTheSignOfItsRemainder) {
    JwwPlan plan;
    plan.version = 600;
    JwwLayout l;
    Bytes bytes = BuildJww(plan, &l);
    PatchI32(bytes, l.block[17] + 40, -7);
    JwwDocument doc = MustReadJww(bytes);
    EXPECT_EQ(doc.Header.SplitTens, 0);
    EXPECT_EQ(doc.Header.SplitUnits, -7);
    PatchI32(bytes, l.block[17] + 40, -47);
    doc = MustReadJww(bytes);
    EXPECT_EQ(doc.Header.SplitTens, -4);
    EXPECT_EQ(doc.Header.SplitUnits, -7);
}

TEST(JwwHeader, LongMemoUsesTheThreeByteLength) {
    JwwPlan plan;
    plan.memo = std::string(300, 'm');
    JwwLayout l;
    Bytes bytes = BuildJww(plan, &l);
    EXPECT_EQ(bytes[12], 0xFF);
    EXPECT_EQ(ReadU16(bytes, 13), 300);
    EXPECT_EQ(l.block[4], 12u + 3 + 300);
    EXPECT_EQ(MustReadJww(bytes).Header.Memo, plan.memo);
}

TEST(JwwHeader, ClearAndFreeEmptyTheDocument) {
    JwwPlan plan;
    plan.memo = "old drawing";
    plan.entities = {Line{}, Dimension{}};
    plan.blocks = {BlockDef{{}, 1, 0, 5, "B", {Line{}}}};
    JwwDocument doc = MustReadJww(BuildJww(plan));
    ASSERT_EQ(doc.BlockDefs.size(), 1u);
    FreeJwwDocument(doc);
    EXPECT_TRUE(doc.Layers.empty());
    EXPECT_TRUE(doc.ColorsEx.empty());
    EXPECT_TRUE(doc.Header.Memo.empty());
    EXPECT_EQ(doc.Header.Version, 0);
    EXPECT_EQ(doc.Header.PrintScale, 1.0);
    EXPECT_EQ(doc.Header.MarkLayerGroup[0], -1);
    EXPECT_TRUE(doc.Entities.Refs.empty());
    EXPECT_TRUE(doc.BlockDefs.empty());
}

TEST(IsJwwFile, OnlyTheExactSignatureCounts) {
    TempDir dir;
    struct Case {
        std::string name;
        Bytes bytes;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"ok.jww", {'J', 'w', 'w', 'D', 'a', 't', 'a', '.'}, true},
        {"seven.jww", {'J', 'w', 'w', 'D', 'a', 't', 'a'}, false},
        {"lower.jww", {'j', 'w', 'w', 'D', 'a', 't', 'a', '.', 0}, false},
        {"zero.jww", {'J', 'w', 'w', 'D', 'a', 't', 'a', 0, 0}, false},
        {"jws.jww", {'J', 'w', 's', 'D', 'a', 't', 'a', '.'}, false},
    };
    for (const Case& c : cases) {
        WriteFile(dir / c.name, c.bytes);
        EXPECT_EQ(IsJwwFile(RealFileSystem(), dir / c.name), c.expected) << c.name;
    }
    EXPECT_FALSE(IsJwwFile(RealFileSystem(), dir / "missing.jww"));
    EXPECT_FALSE(IsJwwFile(RealFileSystem(), dir.path()));
}

TEST(ReadJwwFile, RefusesWhatIsNoReadableDrawingWithAReason) {
    TempDir dir;
    ImageStore images(RealFileSystem());
    JwwDocument doc;
    Failure failure;

    EXPECT_FALSE(ReadJwwFile(doc, images, dir / "missing.jww", &failure));
    EXPECT_EQ(failure.message(), "cannot open: no such file or directory");

    EXPECT_FALSE(ReadJwwFile(doc, images, dir.path(), &failure));
    EXPECT_EQ(failure.message(), "is a folder, not a drawing");

    Out old;
    old.raw(std::string("JwwData."));
    old.i32(219);
    WriteFile(dir / "old.jww", old.b);
    EXPECT_FALSE(ReadJwwFile(doc, images, dir / "old.jww", &failure));
    EXPECT_EQ(failure.kind, FailureKind::Malformed);
    EXPECT_EQ(failure.section, Section::Header);
    EXPECT_EQ(failure.offset, 8);
    EXPECT_EQ(doc.Header.Version, 219);

    // A file that cannot be read (tests run as root, so the failure is injected).
    FaultyFileSystem unreadable;
    unreadable.failRead = [](const fs::path&) { return true; };
    ImageStore throughFaulty(unreadable);
    EXPECT_FALSE(ReadJwwFile(doc, throughFaulty, dir / "old.jww", &failure));
    EXPECT_EQ(failure.kind, FailureKind::CannotRead);
    EXPECT_EQ(failure.error, std::errc::io_error);
    EXPECT_FALSE(IsJwwFile(unreadable, dir / "old.jww"));
}

TEST(ReadJwwFile, EveryCutOfADrawingFailsWithTheOffsetWhereItEnds) {
    RandomDrawing random(7);
    JwwPlan plan;
    plan.version = 420;
    plan.memo = "m";
    plan.layerNames[3] = "layer";
    plan.colorExNames[1] = "c";
    plan.entities = random.entities(12);
    plan.blocks = {random.block(1, 3), random.block(2, 0)};
    const Bytes whole = BuildJww(plan);
    MustReadJww(whole);
    for (std::size_t length = 0; length < whole.size(); ++length) {
        Bytes cut(whole.begin(), whole.begin() + static_cast<long>(length));
        Failure failure = JwwFailure(cut);
        ASSERT_GE(failure.offset, 0) << length;
        ASSERT_LE(static_cast<std::size_t>(failure.offset), length) << failure.message();
        ASSERT_NE(failure.message().find("at offset"), std::string::npos) << failure.message();
    }
}

TEST(ReadJwwMemo, ReadsTheHeaderUpToBlock17Only) {
    TempDir dir;
    JwwPlan plan;
    plan.version = 600;
    plan.memo = kSjisZumen + "\r\n";
    plan.entities = {Line{}, Dimension{}};
    JwwLayout l;
    const Bytes whole = BuildJww(plan, &l);

    // The entity stream, and blocks 18 to 23, are not looked at.
    WriteFile(dir / "cut.jww", Bytes(whole.begin(), whole.begin() + static_cast<long>(l.block[18])));
    JwwDocument doc = MustReadJww(whole);
    EXPECT_TRUE(ReadJwwMemo(doc, RealFileSystem(), dir / "cut.jww"));
    EXPECT_EQ(doc.Header.Memo, plan.memo);
    EXPECT_TRUE(doc.Layers.empty());  // the drawing read before is gone

    // Cut inside the layer names: the memo was read, but the probe fails.
    WriteFile(dir / "names.jww", Bytes(whole.begin(), whole.begin() + static_cast<long>(l.block[9] + 100)));
    EXPECT_FALSE(ReadJwwMemo(doc, RealFileSystem(), dir / "names.jww"));

    // Below version 220 block 17 takes no bytes, and the probe still gives the memo.
    JwwPlan old = plan;
    old.version = 219;
    JwwLayout oldLayout;
    const Bytes oldBytes = BuildJww(old, &oldLayout);
    WriteFile(dir / "old.jww", oldBytes);
    EXPECT_TRUE(ReadJwwMemo(doc, RealFileSystem(), dir / "old.jww"));
    EXPECT_EQ(doc.Header.Version, 219);
    EXPECT_EQ(doc.Header.Memo, plan.memo);
    EXPECT_FALSE(JwwFailure(oldBytes).message().empty());

    // A header longer than the first read: a long memo and long layer names.
    JwwPlan longHeader = plan;
    longHeader.memo = std::string(60000, 'm');
    for (int i = 0; i < 5; ++i) longHeader.layerNames[i] = std::string(20000, 'n');
    WriteFile(dir / "long.jww", BuildJww(longHeader));
    EXPECT_TRUE(ReadJwwMemo(doc, RealFileSystem(), dir / "long.jww"));
    EXPECT_EQ(doc.Header.Memo.size(), 60000u);

    JwwPlan empty = plan;
    empty.memo.clear();
    WriteFile(dir / "empty.jww", BuildJww(empty));
    EXPECT_TRUE(ReadJwwMemo(doc, RealFileSystem(), dir / "empty.jww"));
    EXPECT_EQ(doc.Header.Memo, "");

    // Versions whose block sizes differ probe as far as block 17 of their own layout.
    for (std::int32_t v : {220, 221, 224, 226, 230, 231, 299, 300}) {
        JwwPlan at = plan;
        at.version = v;
        JwwLayout atLayout;
        const Bytes bytes = BuildJww(at, &atLayout);
        const std::size_t end17 = atLayout.block[22];  // below 420 block 22 follows block 17
        WriteFile(dir / "v.jww", Bytes(bytes.begin(), bytes.begin() + static_cast<long>(end17)));
        EXPECT_TRUE(ReadJwwMemo(doc, RealFileSystem(), dir / "v.jww")) << v;
        WriteFile(dir / "v.jww", Bytes(bytes.begin(), bytes.begin() + static_cast<long>(end17 - 1)));
        EXPECT_FALSE(ReadJwwMemo(doc, RealFileSystem(), dir / "v.jww")) << v;
    }
    EXPECT_FALSE(ReadJwwMemo(doc, RealFileSystem(), dir / "missing.jww"));
}
