// The preview's display list from builder drawings of known geometry: where arcs end, how block
// inserts, nested blocks and layer group scales place entities, what hidden layers leave out,
// the marks of dimensions of each version, and the limits that keep hostile drawings bounded;
// and its SVG, well-formed whatever the texts hold.
#include "render/build.h"
#include "render/preview.h"
#include "render/svg.h"
#include "drawing/dimensions.h"
#include "testkit.h"

#include <cmath>
#include <numbers>

using namespace qmtest;
using namespace quellmark;
using namespace quellmark::render;

namespace {

constexpr double kPi = std::numbers::pi;

JwwPlan Plan(std::int32_t version, std::vector<Entity> entities, std::vector<BlockDef> blocks = {}) {
    JwwPlan plan;
    plan.version = version;
    plan.fill = Fill::Zero;  // no layer states recorded: everything shows; every scale 0, taken as 1
    plan.entities = std::move(entities);
    plan.blocks = std::move(blocks);
    return plan;
}

DisplayList Build(const DrawingView& view, RenderSettings settings = {}) {
    DisplayList list;
    std::string why;
    EXPECT_TRUE(BuildDisplayList(view, settings, list, why)) << why;
    return list;
}

Line LineOf(double x1, double y1, double x2, double y2, std::uint16_t layer = 0, std::uint16_t group = 0) {
    Line l;
    l.a.layer = layer;
    l.a.layerGroup = group;
    l.x1 = x1;
    l.y1 = y1;
    l.x2 = x2;
    l.y2 = y2;
    return l;
}

Insert InsertOf(std::int32_t def, double x, double y, double sx, double sy, double angle) {
    Insert i;
    i.v = {x, y, sx, sy, angle};
    i.def = def;
    return i;
}

BlockDef Block(std::int32_t number, std::vector<Entity> members) {
    BlockDef b;
    b.number = number;
    b.name = "B" + std::to_string(number);
    b.members = std::move(members);
    return b;
}

// The two points of every polyline of the list, in order.
std::vector<std::pair<render::Point, render::Point>> Segments(const DisplayList& list) {
    std::vector<std::pair<render::Point, render::Point>> out;
    for (const Primitive& p : list.primitives) {
        if (p.kind == PrimitiveKind::Polyline && p.count == 2)
            out.emplace_back(list.points[p.first], list.points[p.first + 1]);
    }
    return out;
}

void ExpectNear(render::Point actual, render::Point expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9);
    EXPECT_NEAR(actual.y, expected.y, 1e-9);
}

Dimension DimensionOf(double x1, double x2, bool marked) {
    Dimension d;
    d.line = LineOf(x1, 0, x2, 0);
    d.text.corners = {x1, 1, x2, 1};
    d.text.size = {3, 3, 0, 0};
    d.text.text = "100";
    d.aux1 = LineOf(x1, -5, x1, 0);
    d.aux2 = LineOf(x2, -5, x2, 0);
    for (int i = 0; i < 4; ++i) d.points[i].x = i % 2 ? x2 : x1;
    if (marked) {
        d.a.flags = d.line.a.flags = d.aux1.a.flags = d.aux2.a.flags = kDimensionBit;
        d.text.a.flags = kDimensionTextBit;
        for (qmtest::Point& p : d.points) p.a.flags = kDimensionPointBit;
    }
    return d;
}

std::size_t CountMark(const DisplayList& list, DimensionMark mark) {
    std::size_t n = 0;
    for (const Primitive& p : list.primitives) n += p.mark == mark;
    return n;
}

}  // namespace

TEST(RenderGeometry, ArcsEndWhereTheirAnglesSayUnderEveryInsert) {
    // An elliptic arc: centre (10, 20), radius 5, flatness 0.5, tilted 45 degrees, from 30 degrees
    // over a quarter turn; and a block inserted twice, at two scales and rotations, holding a
    // line and a circle of radius 2.
    Arc arc;
    arc.v = {10, 20, 5, kPi / 6, kPi / 2, kPi / 4, 0.5};
    Arc circle;
    circle.v = {0, 0, 2, 0, 0, 0, 1};
    circle.fullCircle = 1;
    const JwwDocument doc =
        MustReadJww(BuildJww(Plan(600, {arc, InsertOf(1, 100, 0, 1, 1, 0), InsertOf(1, 0, 100, 2, 3, kPi / 2)},
                                  {Block(1, {LineOf(0, 0, 10, 0), circle})})));
    const DisplayList list = Build(ViewOf(doc));

    ASSERT_EQ(list.arcs.size(), 3u);
    const auto onEllipse = [](double t) {
        const render::Point local{5 * std::cos(t), 2.5 * std::sin(t)};
        return render::Point{10 + (local.x - local.y) / std::sqrt(2.0), 20 + (local.x + local.y) / std::sqrt(2.0)};
    };
    ExpectNear(list.arcs[0].startPoint(), onEllipse(kPi / 6));
    ExpectNear(list.arcs[0].endPoint(), onEllipse(kPi / 6 + kPi / 2));
    const Rect box = ArcBounds(list.arcs[0]);
    EXPECT_TRUE(box.contains(list.primitives[0].bounds) && list.primitives[0].bounds.contains(box));

    const auto segments = Segments(list);
    ASSERT_EQ(segments.size(), 2u);
    ExpectNear(segments[0].first, {100, 0});
    ExpectNear(segments[0].second, {110, 0});
    ExpectNear(segments[1].first, {0, 100});
    ExpectNear(segments[1].second, {0, 120});  // scaled by 2 along x, then turned a quarter
    // The second circle became an ellipse of half axes 4 and 6: each of its points, put back
    // through the insert, lies 2 from the block's origin.
    const EllipseArc& ellipse = list.arcs[2];
    EXPECT_TRUE(ellipse.full());
    EXPECT_NEAR(std::max(ellipse.rx, ellipse.ry), 6, 1e-9);
    EXPECT_NEAR(std::min(ellipse.rx, ellipse.ry), 4, 1e-9);
    for (double t = 0; t < 2 * kPi; t += 0.4) {
        const render::Point p = ellipse.at(t);
        const render::Point turnedBack{p.y - 100, -p.x};  // undo the quarter turn and the move to (0, 100)
        EXPECT_NEAR(std::hypot(turnedBack.x / 2, turnedBack.y / 3), 2, 1e-9);
    }
    const Rect ellipseBox = ArcBounds(ellipse);
    EXPECT_NEAR(ellipseBox.minX, -6, 1e-9);
    EXPECT_NEAR(ellipseBox.maxX, 6, 1e-9);
    EXPECT_NEAR(ellipseBox.minY, 96, 1e-9);
    EXPECT_NEAR(ellipseBox.maxY, 104, 1e-9);
}

TEST(RenderGeometry, NestedBlocksScalesAndHiddenLayers) {
    // Block 2 places block 1 at (5, 5); the drawing places block 2 at (1000, 0) turned half a
    // turn. Block 3 inserts itself; block 5 does not exist.
    std::vector<Entity> top = {InsertOf(2, 1000, 0, 1, 1, kPi), InsertOf(3, 0, 0, 1, 1, 0), InsertOf(5, 0, 0, 1, 1, 0),
                               LineOf(0, 0, 1000, 0, 0, 2),  // group 2, scale 50: 20 mm of paper
                               LineOf(0, 0, 1, 1, 3, 0),     // a hidden layer
                               LineOf(0, 0, 2, 2, 0, 5)};    // a hidden group
    Text label;
    label.a.layerGroup = 2;
    label.corners = {500, 500, 1500, 500};
    label.size = {4, 5, 0, 0};
    label.text = kSjisZumen;
    top.push_back(label);
    JwwDocument doc =
        MustReadJww(BuildJww(Plan(420, top,
                                  {Block(1, {LineOf(0, 0, 10, 0)}), Block(2, {InsertOf(1, 5, 5, 1, 1, 0)}),
                                   Block(3, {InsertOf(3, 1, 1, 1, 1, 0)})})));
    doc.LayerGroups[2].Scale = 50;
    for (TLayerGroup& g : doc.LayerGroups) g.State = 2;
    for (TLayer& l : doc.Layers) l.State = 2;
    doc.LayerGroups[5].State = 0;
    doc.Layers[3].State = 0;  // group 0, layer 3
    const DisplayList list = Build(ViewOf(doc));

    const auto segments = Segments(list);
    ASSERT_EQ(segments.size(), 2u);
    ExpectNear(segments[0].first, {995, -5});
    ExpectNear(segments[0].second, {985, -5});
    ExpectNear(segments[1].first, {0, 0});
    ExpectNear(segments[1].second, {20, 0});
    EXPECT_EQ(list.insertsLeftOut, 2);  // block 3 inside itself, block 5
    // A text's place follows the scale; its size is paper millimetres already.
    ASSERT_EQ(list.texts.size(), 1u);
    ExpectNear(list.texts[0].at, {10, 10});
    EXPECT_DOUBLE_EQ(list.texts[0].height, 5);
    EXPECT_DOUBLE_EQ(list.texts[0].advance, 20);
    EXPECT_EQ(list.texts[0].bytes, kSjisZumen);

    // With every state 0 the header recorded none: everything shows.
    for (TLayerGroup& g : doc.LayerGroups) g.State = 0;
    for (TLayer& l : doc.Layers) l.State = 0;
    EXPECT_EQ(Segments(Build(ViewOf(doc))).size(), 4u);
}

TEST(RenderMarks, DimensionsOfEveryVersionCarryTheirMarks) {
    const std::vector<Entity> entities = {DimensionOf(0, 100, false), DimensionOf(0, 50, true)};
    const auto check = [](const DrawingView& view, std::size_t partsEach, const std::string& what) {
        SCOPED_TRACE(what);
        DisplayList list = Build(view);
        EXPECT_EQ(list.dimensions[static_cast<std::size_t>(DimensionMark::ToMark)], 1);
        EXPECT_EQ(list.dimensions[static_cast<std::size_t>(DimensionMark::Marked)], 1);
        EXPECT_EQ(CountMark(list, DimensionMark::ToMark), partsEach);
        EXPECT_EQ(CountMark(list, DimensionMark::Marked), partsEach);
        list = Build(view, {false, {}});
        EXPECT_EQ(CountMark(list, DimensionMark::Unmarked), partsEach);
        EXPECT_EQ(CountMark(list, DimensionMark::Marked), partsEach);
    };
    // Below 420 a dimension is its line and text; from 420 its auxiliary lines and points too.
    for (const std::int32_t version : {230, 351, 420, 600, 700}) {
        JwwDocument jww = MustReadJww(BuildJww(Plan(version, entities)));
        check(ViewOf(jww), version < 420 ? 2 : 8, "JWW " + std::to_string(version));
        (void)AddDimensionAttributes(jww, version);
        EXPECT_EQ(Build(ViewOf(jww)).dimensions[static_cast<std::size_t>(DimensionMark::Marked)], 2);
    }
    for (const std::int32_t version : {300, 420}) {
        JwsPlan plan;
        plan.version = version;
        plan.entities = entities;
        check(ViewOf(MustReadJws(BuildJws(plan))), version < 420 ? 2 : 8, "JWS " + std::to_string(version));
    }
}

TEST(RenderLimits, HostileBlocksStayBounded) {
    // Ten inserts of the block below, eight levels deep: 10^8 lines.
    std::vector<BlockDef> blocks = {Block(1, {LineOf(0, 0, 1, 0)})};
    for (std::int32_t n = 2; n <= 9; ++n) {
        std::vector<Entity> inserts;
        for (int i = 0; i < 10; ++i) inserts.push_back(InsertOf(n - 1, i, 0, 1, 1, 0));
        blocks.push_back(Block(n, inserts));
    }
    const JwwDocument doc = MustReadJww(BuildJww(Plan(600, {InsertOf(9, 0, 0, 1, 1, 0)}, blocks)));
    DisplayList list;
    std::string why;
    RenderSettings settings;
    settings.limits.primitives = 5000;
    EXPECT_FALSE(BuildDisplayList(ViewOf(doc), settings, list, why));
    EXPECT_EQ(why, "too much to draw: more than 5000 primitives");
    EXPECT_TRUE(list.primitives.empty());
    settings.limits.primitives = 1'000'000;
    settings.limits.entityVisits = 100'000;
    EXPECT_FALSE(BuildDisplayList(ViewOf(doc), settings, list, why));
    EXPECT_EQ(why, "too much to draw: more than 100000 entities through block inserts");

    // Twenty blocks each inside the next: the deepest are left out.
    std::vector<BlockDef> chain = {Block(1, {LineOf(0, 0, 1, 0)})};
    for (std::int32_t n = 2; n <= 20; ++n)
        chain.push_back(Block(n, {InsertOf(n - 1, 0, 0, 1, 1, 0), LineOf(0, 0, 1, 0)}));
    Line huge = LineOf(0, 0, 1e300, 0);
    const JwwDocument deep = MustReadJww(BuildJww(Plan(600, {InsertOf(20, 0, 0, 1, 1, 0), huge}, chain)));
    const DisplayList drawn = Build(ViewOf(deep));
    EXPECT_EQ(drawn.primitives.size(), 16u);
    EXPECT_EQ(drawn.insertsLeftOut, 1);
    EXPECT_EQ(drawn.dropped, 1);  // the line that leaves the paper by 10^300 millimetres
}

TEST(RenderSvg, SolidsImagesAndAnyTextMakeWellFormedSvg) {
    Solid solid;
    solid.a.color = kPenColorSolidRgb;
    solid.corners = {0, 0, 10, 0, 10, 10, 0, 10};
    solid.color = 0x00336699;  // a Windows colour value: blue 0x33, green 0x66, red 0x99
    Text image;
    image.text = "^@BM%temp%logo.bmp,40,30";
    Text hostile;
    hostile.corners = {0, 50, 0, 50};
    hostile.text = std::string("a&b<c>\"d\x01\x1F\x7F\xFF\x82", 11);
    qmtest::Point temporary;
    temporary.temporary = 1;
    Arc arc;
    arc.v = {0, 0, 30, 0, -3 * kPi / 2, 0, 1};
    const JwwDocument doc = MustReadJww(BuildJww(Plan(700, {solid, image, hostile, temporary, arc})));
    const DisplayList list = Build(ViewOf(doc));
    ASSERT_EQ(list.primitives[0].kind, PrimitiveKind::Polygon);
    EXPECT_EQ(list.primitives[0].color, 0x996633u);
    // The image as its frame, 40 x 30 at the text's start, and its diagonals.
    EXPECT_TRUE(list.primitives[1].closed);
    EXPECT_DOUBLE_EQ(list.primitives[1].bounds.width(), 40);
    EXPECT_DOUBLE_EQ(list.primitives[1].bounds.height(), 30);
    EXPECT_EQ(list.primitives[3].entity, EntityKind::Image);

    const TempDir dir;
    const std::string svg = WriteSvg(list, {"a & <b> \x01", false});
    WriteFile(dir / "drawing.svg", Bytes(svg.begin(), svg.end()));
#ifndef _WIN32  // xmllint is a Linux tool; the writer's bytes are the same everywhere
    EXPECT_EQ(RunCommand("xmllint --noout " + ShellWord(dir / "drawing.svg") + " 2>&1").out, "");
#endif
    EXPECT_NE(svg.find("a&amp;b&lt;c&gt;&quot;d"), std::string::npos);
}
