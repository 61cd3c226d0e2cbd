// The display list's builder: walks a drawing's entities in stream order, block inserts into
// their definitions, and turns each entity into primitives on the paper.
#include "build.h"

#include "../drawing/dimensions.h"
#include "../drawing/images.h"
#include "../drawing/jwtype.h"
#include "../jws/jwsunit.h"
#include "../jww/jwwunit.h"
#include "styles.h"

#include <algorithm>
#include <charconv>
#include <new>
#include <cmath>
#include <numbers>
#include <unordered_map>

namespace quellmark::render {

namespace {

constexpr double kDegree = std::numbers::pi / 180;
constexpr double kTwoPi = 2 * std::numbers::pi;
// Coordinates farther from the paper's centre than this (10 km of paper) are taken for damage:
// the entity is left out rather than shrinking everything else to nothing.
constexpr double kFarthest = 1e7;
// The character height of a text that gives none, and the frame of an image that gives no size.
constexpr double kDefaultTextHeight = 2.5;
constexpr double kDefaultImageSize = 10;

double ScaleOf(double scale) { return std::isfinite(scale) && scale > 0 && scale < 1e9 ? scale : 1.0; }

bool Usable(Point p) { return Finite(p) && std::abs(p.x) <= kFarthest && std::abs(p.y) <= kFarthest; }

// Where a walk is: what places the entities on the paper, and how much texts grow with it.
struct Frame {
    Affine map;
    double textScale = 1;
};

struct TooMuch {
    std::string why;
};

// Shift-JIS lead bytes start a full-width character.
bool LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// The baseline length of a text that records no end: full-width characters one width each,
// others half, and the spacing between them.
double EstimatedAdvance(const std::string& text, double charWidth, double spacing) {
    double advance = 0;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i, ++characters) {
        if (LeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
            advance += charWidth;
            ++i;
        } else {
            advance += charWidth / 2;
        }
    }
    if (characters > 1 && std::isfinite(spacing) && spacing > 0)
        advance += spacing * static_cast<double>(characters - 1);
    return advance;
}

// The width and height after "NAME," in an image reference "^@BM%temp%NAME,W,H,...", when both
// are numbers above 0.
bool ImageSize(std::string_view text, std::string_view name, double& width, double& height) {
    const std::size_t comma = text.find(',', static_cast<std::size_t>(name.data() - text.data()) + name.size());
    if (comma == std::string_view::npos) return false;
    const char* p = text.data() + comma + 1;
    const char* end = text.data() + text.size();
    auto [afterW, ew] = std::from_chars(p, end, width);
    if (ew != std::errc() || afterW == end || *afterW != ',') return false;
    auto [afterH, eh] = std::from_chars(afterW + 1, end, height);
    (void)afterH;
    return eh == std::errc() && std::isfinite(width) && std::isfinite(height) && width > 0 && height > 0;
}

class Builder {
public:
    Builder(const DrawingView& view, const RenderSettings& settings, DisplayList& out)
        : view_(view), settings_(settings), out_(out) {
        if (view.blocks) {
            onStack_.assign(view.blocks->size(), false);
            for (std::size_t i = 0; i < view.blocks->size(); ++i) defByNumber_.try_emplace((*view.blocks)[i].Number, i);
        }
    }

    void run() {
        if (view_.entities) collection(*view_.entities, nullptr, 0);
    }

private:
    bool shown(const TEntBase& base) const {
        if (base.LayerGroup >= kLayerGroups || base.Layer >= kLayersPerGroup) return true;
        return view_.groupShown[base.LayerGroup] && view_.layerShown[base.LayerGroup * kLayersPerGroup + base.Layer];
    }

    // A top-level entity lies on the paper at its layer group's scale.
    Frame topFrame(const TEntBase& base) const {
        const double scale = base.LayerGroup < kLayerGroups ? ScaleOf(view_.groupScales[base.LayerGroup]) : 1.0;
        return {Affine::Scale(1 / scale, 1 / scale), 1};
    }

    void visit() {
        if (++visits_ > settings_.limits.entityVisits) {
            throw TooMuch{"too much to draw: more than " + std::to_string(settings_.limits.entityVisits) +
                          " entities through block inserts"};
        }
    }

    Primitive styled(const TEntBase& base, PrimitiveKind kind, EntityKind entity, DimensionMark mark) const {
        Primitive p;
        p.kind = kind;
        p.entity = entity;
        p.mark = mark;
        p.lineType = base.PenStyle;
        p.color = PenColor(base.PenColor, view_.colorsEx);
        p.width = StrokeWidth(base.PenWidth);
        return p;
    }

    void add(Primitive p) {
        if (out_.primitives.size() >= settings_.limits.primitives) {
            throw TooMuch{"too much to draw: more than " + std::to_string(settings_.limits.primitives) + " primitives"};
        }
        out_.bounds.unite(p.bounds);
        out_.primitives.push_back(p);
    }

    // A polyline or polygon through the points mapped by the frame; left out when one of them
    // cannot be drawn.
    void path(Primitive p, std::initializer_list<Point> points, const Frame& frame) {
        const std::size_t first = out_.points.size();
        for (const Point& point : points) {
            const Point mapped = frame.map.apply(point);
            if (!Usable(mapped)) {
                out_.points.resize(first);
                ++out_.dropped;
                return;
            }
            out_.points.push_back(mapped);
            p.bounds.add(mapped);
        }
        p.first = static_cast<std::uint32_t>(first);
        p.count = static_cast<std::uint32_t>(points.size());
        add(p);
    }

    void line(const TEntSen& l, const Frame& frame, DimensionMark mark, EntityKind entity) {
        path(styled(l.Base, PrimitiveKind::Polyline, entity, mark), {{l.StartX, l.StartY}, {l.EndX, l.EndY}}, frame);
    }

    void arc(const TEntEnko& a, const Frame& frame) {
        const bool fullCircle = a.FullCircle != 0 && (a.ArcAngle == 0 || std::abs(a.ArcAngle) >= kTwoPi);
        const double sweep = fullCircle ? kTwoPi : std::clamp(a.ArcAngle, -kTwoPi, kTwoPi);
        const double flatness = std::abs(a.Flatness);
        if (!std::isfinite(a.Radius) || a.Radius <= 0 || !std::isfinite(flatness) || !std::isfinite(a.TiltAngle) ||
            !std::isfinite(a.StartAngle) || !std::isfinite(sweep)) {
            ++out_.dropped;
            return;
        }
        if (sweep == 0) return;
        const double ct = std::cos(a.TiltAngle);
        const double st = std::sin(a.TiltAngle);
        const double r = a.Radius;
        const EllipseArc mapped = MapArc(frame.map, {a.CenterX, a.CenterY}, {r * ct, r * st},
                                         {-r * flatness * st, r * flatness * ct}, a.StartAngle, sweep);
        Primitive p = styled(a.Base, PrimitiveKind::Arc, EntityKind::Arc, DimensionMark::None);
        p.bounds = ArcBounds(mapped);
        if (!Usable({p.bounds.minX, p.bounds.minY}) || !Usable({p.bounds.maxX, p.bounds.maxY}) ||
            !std::isfinite(mapped.rotation) || !std::isfinite(mapped.start)) {
            ++out_.dropped;
            return;
        }
        p.first = static_cast<std::uint32_t>(out_.arcs.size());
        add(p);
        out_.arcs.push_back(mapped);
    }

    void point(const TEntTen& t, const Frame& frame, DimensionMark mark, EntityKind entity) {
        const Point at = frame.map.apply({t.X, t.Y});
        if (!Usable(at)) {
            ++out_.dropped;
            return;
        }
        Primitive p = styled(t.Base, PrimitiveKind::PointMark, entity, mark);
        p.temporary = t.Temporary != 0;
        p.bounds.add({at.x - kPointMarkSize / 2, at.y - kPointMarkSize / 2});
        p.bounds.add({at.x + kPointMarkSize / 2, at.y + kPointMarkSize / 2});
        p.first = static_cast<std::uint32_t>(out_.points.size());
        add(p);
        out_.points.push_back(at);
    }

    // The unit vector of a text's baseline on the paper, and the angle it makes.
    static Point Baseline(const TEntMoji& t, const Frame& frame, double& degrees) {
        const double radians = std::isfinite(t.Angle) ? t.Angle * kDegree : 0;
        Point d = frame.map.applyVector({std::cos(radians), std::sin(radians)});
        const double length = std::hypot(d.x, d.y);
        d = length > 0 && std::isfinite(length) ? Point{d.x / length, d.y / length} : Point{1, 0};
        degrees = std::atan2(d.y, d.x) / kDegree;
        return d;
    }

    void text(const TEntMoji& t, const Frame& frame, DimensionMark mark, EntityKind entity) {
        if (entity == EntityKind::Text && !ImageReferenceName(t.Text).empty()) {
            image(t, frame);
            return;
        }
        const Point start = frame.map.apply({t.StartX, t.StartY});
        const Point end = frame.map.apply({t.EndX, t.EndY});
        if (!Usable(start)) {
            ++out_.dropped;
            return;
        }
        TextRun run;
        run.at = start;
        const Point d = Baseline(t, frame, run.angle);
        const double height = std::isfinite(t.SizeY) && t.SizeY > 0 ? t.SizeY : kDefaultTextHeight;
        run.height = height * frame.textScale;
        run.charWidth = (std::isfinite(t.SizeX) && t.SizeX > 0 ? t.SizeX : height) * frame.textScale;
        run.advance = Usable(end) ? std::hypot(end.x - start.x, end.y - start.y) : 0;
        if (run.advance == 0) run.advance = EstimatedAdvance(t.Text, run.charWidth, t.Spacing * frame.textScale);
        run.bytes = t.Text;
        const Point n{-d.y, d.x};
        Primitive p = styled(t.Base, PrimitiveKind::Text, entity, mark);
        for (const double along : {0.0, run.advance}) {
            for (const double up : {0.0, run.height}) {
                p.bounds.add({start.x + d.x * along + n.x * up, start.y + d.y * along + n.y * up});
            }
        }
        if (!Usable({p.bounds.minX, p.bounds.minY}) || !Usable({p.bounds.maxX, p.bounds.maxY})) {
            ++out_.dropped;
            return;
        }
        p.first = static_cast<std::uint32_t>(out_.texts.size());
        add(p);
        out_.texts.push_back(std::move(run));
    }

    // An embedded image as its frame with the diagonals, its name inside: its size (paper mm)
    // from the reference, "^@BM%temp%NAME,WIDTH,HEIGHT,...", placed at the text's start.
    void image(const TEntMoji& t, const Frame& frame) {
        const std::string_view name = ImageReferenceName(t.Text);
        double width = kDefaultImageSize;
        double height = kDefaultImageSize;
        if (!ImageSize(t.Text, name, width, height)) width = height = kDefaultImageSize;
        const Point start = frame.map.apply({t.StartX, t.StartY});
        double degrees = 0;
        const Point d = Baseline(t, frame, degrees);
        const Point n{-d.y, d.x};
        const double w = width * frame.textScale;
        const double h = height * frame.textScale;
        const Point corner[4] = {start,
                                 {start.x + d.x * w, start.y + d.y * w},
                                 {start.x + d.x * w + n.x * h, start.y + d.y * w + n.y * h},
                                 {start.x + n.x * h, start.y + n.y * h}};
        const Frame onPaper{};
        Primitive outline = styled(t.Base, PrimitiveKind::Polyline, EntityKind::Image, DimensionMark::None);
        outline.closed = true;
        path(outline, {corner[0], corner[1], corner[2], corner[3]}, onPaper);
        path(styled(t.Base, PrimitiveKind::Polyline, EntityKind::Image, DimensionMark::None), {corner[0], corner[2]},
             onPaper);
        path(styled(t.Base, PrimitiveKind::Polyline, EntityKind::Image, DimensionMark::None), {corner[1], corner[3]},
             onPaper);
    }

    void dimension(const TEntSunpo& s, const TEntSunpoExt* ext, const Frame& frame) {
        const DimensionMark mark = DimensionFullyMarked(s, ext, view_.version) ? DimensionMark::Marked
                                   : settings_.convertible                     ? DimensionMark::ToMark
                                                                               : DimensionMark::Unmarked;
        ++out_.dimensions[static_cast<std::size_t>(mark)];
        line(s.Line, frame, mark, EntityKind::Dimension);
        text(s.Text, frame, mark, EntityKind::Dimension);
        if (ext == nullptr) return;
        for (const TEntSen* aux : {&ext->Aux1, &ext->Aux2}) {
            if (aux->StartX != aux->EndX || aux->StartY != aux->EndY) line(*aux, frame, mark, EntityKind::Dimension);
        }
        // A point of pen style 0 stands for no point.
        for (const TEntTen& p : ext->Points) {
            if (p.Base.PenStyle != 0) point(p, frame, mark, EntityKind::Dimension);
        }
    }

    void solid(const TEntSolid& s, const Frame& frame) {
        Primitive p = styled(s.Base, PrimitiveKind::Polygon, EntityKind::Solid, DimensionMark::None);
        if (s.Base.PenColor == kPenColorSolidRgb) p.color = FromColorRef(s.Color);
        const auto& c = s.Corners;
        path(p, {{c[0], c[1]}, {c[2], c[3]}, {c[4], c[5]}, {c[6], c[7]}}, frame);
    }

    // The definition's members placed at the reference point, scaled, then turned.
    void insert(const TEntBlock& b, const Frame& frame, int depth) {
        const auto found = defByNumber_.find(b.DefNumber);
        if (found == defByNumber_.end() || onStack_[found->second] || depth >= settings_.limits.blockDepth) {
            ++out_.insertsLeftOut;
            return;
        }
        const double sx = b.ScaleX == 0 ? 1 : b.ScaleX;
        const double sy = b.ScaleY == 0 ? 1 : b.ScaleY;
        if (!std::isfinite(sx) || !std::isfinite(sy) || !std::isfinite(b.Angle) || !std::isfinite(b.RefX) ||
            !std::isfinite(b.RefY)) {
            ++out_.dropped;
            return;
        }
        Frame inner;
        inner.map = frame.map.after(
            Affine::Translate(b.RefX, b.RefY).after(Affine::Rotate(b.Angle)).after(Affine::Scale(sx, sy)));
        inner.textScale = frame.textScale * std::sqrt(std::abs(sx * sy));
        onStack_[found->second] = true;
        collection((*view_.blocks)[found->second].Members, &inner, depth + 1);
        onStack_[found->second] = false;
    }

    // A collection in stream order; `frame` is null at the top level, where each entity takes
    // its own layer group's scale.
    void collection(const TEntityCollection& c, const Frame* frame, int depth) {
        for (const TEntRef& ref : c.Refs) {
            visit();
            const auto at = static_cast<std::size_t>(ref.Index);
            const auto place = [&](const TEntBase& base) { return frame ? *frame : topFrame(base); };
            switch (ref.ClassNo) {
                case kClassSen:
                    if (at < c.Sen.size() && shown(c.Sen[at].Base))
                        line(c.Sen[at], place(c.Sen[at].Base), DimensionMark::None, EntityKind::Line);
                    break;
                case kClassEnko:
                    if (at < c.Enko.size() && shown(c.Enko[at].Base)) arc(c.Enko[at], place(c.Enko[at].Base));
                    break;
                case kClassTen:
                    if (at < c.Ten.size() && shown(c.Ten[at].Base))
                        point(c.Ten[at], place(c.Ten[at].Base), DimensionMark::None, EntityKind::Point);
                    break;
                case kClassMoji:
                    if (at < c.Moji.size() && shown(c.Moji[at].Base))
                        text(c.Moji[at], place(c.Moji[at].Base), DimensionMark::None, EntityKind::Text);
                    break;
                case kClassSunpou:
                    if (at < c.Sunpo.size() && shown(c.Sunpo[at].Base))
                        dimension(c.Sunpo[at], at < c.SunpoExt.size() ? &c.SunpoExt[at] : nullptr,
                                  place(c.Sunpo[at].Base));
                    break;
                case kClassSolid:
                    if (at < c.Solid.size() && shown(c.Solid[at].Base)) solid(c.Solid[at], place(c.Solid[at].Base));
                    break;
                case kClassBlock:
                    if (at < c.Block.size() && shown(c.Block[at].Base))
                        insert(c.Block[at], place(c.Block[at].Base), depth);
                    break;
                default: break;
            }
        }
    }

    const DrawingView& view_;
    const RenderSettings& settings_;
    DisplayList& out_;
    std::unordered_map<std::int32_t, std::size_t> defByNumber_;  // the first definition of each number
    std::vector<bool> onStack_;                                  // definitions being drawn
    std::size_t visits_ = 0;
};

// Scales of the 16 layer groups, 1 where the table has none.
std::array<double, kLayerGroups> ScalesOf(const std::vector<TLayerGroup>& groups) {
    std::array<double, kLayerGroups> scales{};
    for (std::size_t g = 0; g < kLayerGroups; ++g) scales[g] = g < groups.size() ? ScaleOf(groups[g].Scale) : 1.0;
    return scales;
}

}  // namespace

DrawingView ViewOf(const JwwDocument& doc) {
    DrawingView view;
    view.entities = &doc.Entities;
    view.blocks = &doc.BlockDefs;
    view.version = doc.Header.Version;
    view.groupScales = ScalesOf(doc.LayerGroups);
    view.colorsEx = &doc.ColorsEx;
    view.paper = PaperOfCode(doc.Header.PaperSize);
    bool anyState = false;
    for (const TLayerGroup& g : doc.LayerGroups) anyState |= g.State != 0;
    for (const TLayer& l : doc.Layers) anyState |= l.State != 0;
    for (std::size_t g = 0; g < kLayerGroups; ++g) {
        view.groupShown[g] = !anyState || (g < doc.LayerGroups.size() && doc.LayerGroups[g].State != 0);
    }
    for (std::size_t i = 0; i < view.layerShown.size(); ++i) {
        view.layerShown[i] = !anyState || (i < doc.Layers.size() && doc.Layers[i].State != 0);
    }
    return view;
}

DrawingView ViewOf(const JwsDocument& doc) {
    DrawingView view;
    view.entities = &doc.Entities;
    view.blocks = &doc.BlockDefs;
    view.version = doc.Header.Version;
    view.groupScales = ScalesOf(doc.JwsLayerGroups);
    view.groupShown.fill(true);
    view.layerShown.fill(true);
    return view;
}

bool BuildDisplayList(const DrawingView& view, const RenderSettings& settings, DisplayList& out, std::string& why) {
    out.clear();
    out.paper.add({-view.paper.width / 2, -view.paper.height / 2});
    out.paper.add({view.paper.width / 2, view.paper.height / 2});
    out.paperName = view.paper.name;
    try {
        Builder(view, settings, out).run();
    } catch (const TooMuch& e) {
        why = e.why;
        out.clear();
        return false;
    } catch (const std::bad_alloc&) {
        why = "too much to draw: out of memory";
        out.clear();
        return false;
    }
    return true;
}

}  // namespace quellmark::render
