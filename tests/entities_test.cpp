// Entity bodies and entity lists as the reader takes them.
#include "testkit.h"

using namespace quellmark;
using namespace qmtest;

namespace {

// Bytes of one entity's body at a version, through the builder.
std::size_t BodySize(const Entity& e, std::int32_t version) {
    Out o;
    ArchiveOut archive(o, version);
    archive.body(e);
    return o.size();
}

Bytes JwwWith(std::vector<Entity> entities, std::int32_t version = 600) {
    JwwPlan plan;
    plan.version = version;
    plan.entities = std::move(entities);
    return BuildJww(plan);
}

}  // namespace

TEST(EntityBodies, SizesOfEveryClass) {
    EXPECT_EQ(BodySize(Line{}, 350), 13u + 32);
    EXPECT_EQ(BodySize(Line{}, 351), 15u + 32);
    Point marked;
    marked.a.style = 100;
    EXPECT_EQ(BodySize(marked, 351), 15u + 40);
    EXPECT_EQ(BodySize(Point{}, 351), 15u + 20);
    Solid coloured;
    coloured.a.color = 10;
    EXPECT_EQ(BodySize(coloured, 351), 15u + 68);
    EXPECT_EQ(BodySize(Solid{}, 351), 15u + 64);
    EXPECT_EQ(BodySize(Arc{}, 351), 15u + 60);
    EXPECT_EQ(BodySize(Insert{}, 351), 15u + 44);
    EXPECT_EQ(BodySize(Text{}, 351), 15u + 68 + 2);
    EXPECT_EQ(BodySize(Dimension{}, 419), 15u + 47 + 85);
    EXPECT_EQ(BodySize(Dimension{}, 420), 15u + 47 + 85 + 2 + 2 * 47 + 4 * 35);

    // The reader takes exactly these bytes: a second entity after each reads as well.
    for (const Entity& e : std::vector<Entity>{Line{}, marked, Point{}, coloured, Solid{}, Arc{},
                                               Insert{}, Text{}, Dimension{}}) {
        for (std::int32_t v : {350, 351, 419, 420}) {
            JwwDocument doc = MustReadJww(JwwWith({e, e, Line{}}, v));
            EXPECT_EQ(doc.Entities.Refs.size(), 3u);
        }
    }
}

TEST(EntityList, FillsClassArraysInOrderAndTheIndexListInStreamOrder) {
    Line l1, l2;
    l1.x1 = 1;
    l2.x1 = 2;
    Text t;
    t.font = kSjisGothic;
    t.text = kSjisZumen + "A";
    Point p;
    p.a.style = 100;
    p.code = 9;
    p.angle = 0.5;
    p.scale = 2;
    Solid s;
    s.a.color = 10;
    s.color = 0x123456;
    Insert b;
    b.def = 4;
    Arc a;
    a.fullCircle = 1;
    JwwDocument doc = MustReadJww(JwwWith({l1, t, l2, p, s, b, a, Dimension{}}));
    const TEntityCollection& c = doc.Entities;
    EXPECT_EQ(doc.Header.EntityCount, 8);
    const std::vector<std::pair<int, int>> expected = {{1, 0}, {4, 0}, {1, 1}, {3, 0},
                                                       {6, 0}, {7, 0}, {2, 0}, {5, 0}};
    ASSERT_EQ(c.Refs.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(c.Refs[i].ClassNo, expected[i].first);
        EXPECT_EQ(c.Refs[i].Index, expected[i].second);
    }
    EXPECT_EQ(c.Sen[0].StartX, 1);
    EXPECT_EQ(c.Sen[1].StartX, 2);
    EXPECT_EQ(c.Moji[0].FontName, kSjisGothic);
    EXPECT_EQ(c.Moji[0].Text, kSjisZumen + "A");
    EXPECT_EQ(c.Ten[0].Code, 9);
    EXPECT_EQ(c.Ten[0].Scale, 2);
    EXPECT_EQ(c.Solid[0].Color, 0x123456);
    EXPECT_EQ(c.Block[0].DefNumber, 4);
    EXPECT_EQ(c.Enko[0].FullCircle, 1);
}

TEST(EntityList, OptionalFieldsAreZeroWhenTheirMarkIsAbsent) {
    Point p;
    p.a.style = 1;
    p.code = 9;  // not in the stream
    Solid s;
    s.a.color = 3;
    s.color = 7;  // not in the stream
    JwwDocument doc = MustReadJww(JwwWith({p, s}));
    EXPECT_EQ(doc.Entities.Ten[0].Code, 0);
    EXPECT_EQ(doc.Entities.Solid[0].Color, 0);
}

TEST(EntityList, LongCountOf70000Entities) {
    std::vector<Entity> points(70000, Entity{Point{}});
    Bytes bytes = JwwWith(points);
    JwwDocument doc = MustReadJww(bytes);
    EXPECT_EQ(doc.Header.EntityCount, 70000);
    EXPECT_EQ(doc.Entities.Ten.size(), 70000u);
    // Past index 32767 the class references use the long form; the last one still reads.
    EXPECT_EQ(doc.Entities.Refs.back().Index, 69999);
}

TEST(EntityList, EmptyListGoesStraightToTheBlockDefinitions) {
    JwwPlan plan;
    plan.blocks = {BlockDef{{}, 1, 0, 0, "only", {}}};
    JwwDocument doc = MustReadJww(BuildJww(plan));
    EXPECT_EQ(doc.Header.EntityCount, 0);
    EXPECT_TRUE(doc.Entities.Refs.empty());
    EXPECT_EQ(doc.BlockDefs.size(), 1u);
}

TEST(Dimensions, BelowVersion420TheSecondHalfIsFilledFromTheDimension) {
    Dimension d;
    d.a = Attr{77, 5, 3, 0, 4, 6, 0x0101};
    d.line.x2 = 10;
    d.text.text = "100";
    Bytes bytes = JwwWith({d, Line{}}, 419);
    JwwDocument doc = MustReadJww(bytes);
    ASSERT_EQ(doc.Entities.Sunpo.size(), 1u);
    const TEntSunpo& s = doc.Entities.Sunpo[0];
    EXPECT_EQ(s.Line.EndX, 10);
    EXPECT_EQ(s.Text.Text, "100");
    EXPECT_TRUE(doc.Entities.SunpoExt.empty());  // no room taken for parts the file does not have
    const TEntSunpoExt ext = doc.Entities.SunpoExtOf(0);
    EXPECT_EQ(ext.Mode, 0);
    for (const TEntSen* aux : {&ext.Aux1, &ext.Aux2}) {
        EXPECT_EQ(aux->Base.Group, 77);
        EXPECT_EQ(aux->Base.PenStyle, 5);
        EXPECT_EQ(aux->Base.Flags, 0x0101);
        EXPECT_EQ(aux->StartX, 0);
        EXPECT_EQ(aux->EndY, 0);
    }
    for (const TEntTen& p : ext.Points) {
        EXPECT_EQ(p.Base.Group, 77);
        EXPECT_EQ(p.Base.PenStyle, 0);
        EXPECT_EQ(p.Base.PenColor, 3);
        EXPECT_EQ(p.Base.Layer, 4);
        EXPECT_EQ(p.X, 0);
        EXPECT_EQ(p.Code, 0);
    }
    EXPECT_EQ(doc.Entities.Sen.size(), 1u);  // the line after it was read in step
}

TEST(Dimensions, FromVersion420EachPointDecidesItsOwnOptionalFields) {
    Dimension d;
    d.mode = 3;
    for (Point& p : d.points) p.a.style = 1;
    d.points[2].a.style = 100;
    d.points[2].code = 42;
    d.points[2].scale = 1.5;
    d.aux2.y2 = 9;
    EXPECT_EQ(BodySize(d, 420), 15u + 47 + 85 + 2 + 2 * 47 + 4 * 35 + 20);
    JwwDocument doc = MustReadJww(JwwWith({d, Line{}}, 420));
    const TEntSunpoExt& s = doc.Entities.SunpoExt.at(0);
    EXPECT_EQ(s.Mode, 3);
    EXPECT_EQ(s.Aux2.EndY, 9);
    EXPECT_EQ(s.Points[2].Code, 42);
    EXPECT_EQ(s.Points[2].Scale, 1.5);
    EXPECT_EQ(s.Points[3].Code, 0);
}

TEST(EntityList, HostileCountsFailBeforeAnythingOfTheirSizeIsMade) {
    JwwPlan plan;
    plan.version = 600;
    JwwLayout l;
    Bytes bytes = BuildJwwHeader(plan, &l);
    Out tail;
    tail.u16(0xFFFF);
    tail.i32(0x7FFFFFFF);
    bytes.insert(bytes.end(), tail.b.begin(), tail.b.end());
    Failure failure = JwwFailure(bytes);
    EXPECT_EQ(failure.message(),
              "entity count 2147483647 is more than the 0 bytes left can hold at "
              "offset " +
                  std::to_string(l.entityList + 6) + " in the entity list");

    // A block definition claiming millions of members.
    plan.blocks = {BlockDef{{}, 1, 0, 0, "b", {}}};
    Bytes withBlock = BuildJww(plan);
    PatchU16(withBlock, withBlock.size() - 2, 0xFFFF);
    Out members;
    members.i32(50000000);
    withBlock.insert(withBlock.end(), members.b.begin(), members.b.end());
    EXPECT_NE(JwwFailure(withBlock).message().find("entity count 50000000 is more than"), std::string::npos);
}

TEST(EntityList, NegativeLongCountIsAnEmptyList) {
    JwwPlan plan;
    Bytes bytes = BuildJwwHeader(plan);
    Out tail;
    tail.u16(0xFFFF);
    tail.i32(-5);
    tail.count(0);  // no block definitions
    bytes.insert(bytes.end(), tail.b.begin(), tail.b.end());
    JwwDocument doc = MustReadJww(bytes);
    EXPECT_TRUE(doc.Entities.Refs.empty());
}

TEST(EntityList, AnUnknownClassEndsTheReadAtItsTag) {
    JwwPlan plan;
    JwwLayout l;
    Bytes bytes = BuildJwwHeader(plan, &l);
    Out tail;
    ArchiveOut archive(tail, plan.version);
    tail.count(2);
    archive.entity(Line{});
    archive.newClass("CDataFoo");
    Bytes withUnknown = bytes;
    withUnknown.insert(withUnknown.end(), tail.b.begin(), tail.b.end());
    const std::size_t tagOffset = l.entityList + 2 + 14 + 47;
    EXPECT_EQ(JwwFailure(withUnknown).message(),
              "unknown class 'CDataFoo' at offset " + std::to_string(tagOffset) + " in the entity list");
}

TEST(EntityList, BlockMembersMayReferToClassesOfTheTopLevel) {
    JwwPlan plan;
    plan.entities = {Line{}, Text{}};
    plan.blocks = {BlockDef{{}, 1, 0, 0, "first", {Line{}, Solid{}}},
                   BlockDef{{}, 2, 0, 0, "second", {Text{}, Solid{}}}};
    JwwDocument doc = MustReadJww(BuildJww(plan));
    ASSERT_EQ(doc.BlockDefs.size(), 2u);
    EXPECT_EQ(doc.Header.BlockDefCount, 2);
    EXPECT_EQ(doc.BlockDefs[0].Members.Sen.size(), 1u);
    EXPECT_EQ(doc.BlockDefs[1].Members.Moji.size(), 1u);
    EXPECT_EQ(doc.BlockDefs[1].Members.Solid.size(), 1u);

    // A member tag that refers to CDataList's own index is refused. Indices: CDataSen 1, line 2,
    // CDataMoji 3, text 4, CDataList 5.
    JwwPlan broken = plan;
    broken.blocks = {BlockDef{{}, 1, 0, 0, "a", {}}};
    Bytes b2 = BuildJww(broken);
    PatchU16(b2, b2.size() - 2, 1);  // the block's member count
    Out tail;
    tail.u16(0x8005);
    tail.zeros(64);
    b2.insert(b2.end(), tail.b.begin(), tail.b.end());
    EXPECT_NE(JwwFailure(b2).message().find("a block definition where an entity belongs"), std::string::npos);
}

TEST(EntityList, ALongListReadsTheSameWhetherOrNotItCanBeCountedAhead) {
    // Long lists of small entities (over 8 MB) are counted before they are read; whatever that
    // first pass cannot read must still be reported by the reading itself, with its offset.
    constexpr std::size_t kPoints = 250000;
    std::vector<Entity> points(kPoints, Entity{Point{}});
    Point marked;
    marked.a.style = 100;
    points[kPoints / 2] = marked;
    Solid coloured;
    coloured.a.color = 10;
    points[kPoints / 2 + 100] = coloured;
    points[kPoints - 1] = Dimension{};
    const Bytes whole = JwwWith(points, 420);
    JwwDocument doc = MustReadJww(whole);
    EXPECT_EQ(doc.Entities.Ten.size(), kPoints - 2);
    EXPECT_EQ(doc.Entities.Ten.capacity(), kPoints - 2);  // sized once
    EXPECT_EQ(doc.Entities.Solid.size(), 1u);
    EXPECT_EQ(doc.Entities.Sunpo.size(), 1u);

    Bytes cut = whole;
    cut.resize(whole.size() - 100);
    EXPECT_NE(JwwFailure(cut).message().find("truncated at offset"), std::string::npos);

    JwwPlan plan;
    plan.version = 420;
    JwwLayout l;
    Bytes unknown = BuildJwwHeader(plan, &l);
    Out tail;
    ArchiveOut archive(tail, 420);
    tail.count(kPoints);
    for (std::size_t i = 0; i < kPoints / 2; ++i) archive.entity(Point{});
    const std::size_t tagOffset = unknown.size() + tail.size();
    archive.newClass("CDataFoo");
    tail.zeros(kPoints / 2 * 40);
    unknown.insert(unknown.end(), tail.b.begin(), tail.b.end());
    EXPECT_EQ(JwwFailure(unknown).message(),
              "unknown class 'CDataFoo' at offset " + std::to_string(tagOffset) + " in the entity list");
}
