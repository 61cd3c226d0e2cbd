// The preview of a drawing as a display list: a few kinds of primitive in paper millimetres
// (y up, the origin at the centre of the paper), each with its colour, line type, box and what
// it came from. A list is built once (off a window's UI thread if need be), never changes after,
// and any painter draws it: the SVG writer here, a window's painter through Paint.
#pragma once

#include "geometry.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quellmark::render {

enum class PrimitiveKind : std::uint8_t {
    Polyline,   // points[first, first + count); closed when `closed`
    Polygon,    // filled, points[first, first + count)
    Arc,        // arcs[first]
    PointMark,  // points[first]
    Text,       // texts[first]
};

// For a primitive of a dimension: whether the conversion sets the dimension attributes on it.
enum class DimensionMark : std::uint8_t {
    None,      // not part of a dimension
    ToMark,    // a dimension this conversion would mark
    Marked,    // a dimension that carries every mark already
    Unmarked,  // a dimension without its marks that stays so (the file is not one convert takes)
};
inline constexpr std::size_t kDimensionMarkCount = 4;

// The kind of entity a primitive was drawn for.
enum class EntityKind : std::uint8_t { Line, Arc, Point, Text, Dimension, Solid, Image };

struct TextRun {
    Point at;              // the start of the baseline
    double height = 0;     // of a character, paper mm
    double charWidth = 0;  // of a full-width character, paper mm
    double advance = 0;    // baseline length from `at` to the text's end, paper mm
    double angle = 0;      // of the baseline, degrees counter-clockwise
    std::string bytes;     // Shift-JIS, as stored in the drawing
};

struct Primitive {
    PrimitiveKind kind = PrimitiveKind::Polyline;
    DimensionMark mark = DimensionMark::None;
    EntityKind entity = EntityKind::Line;
    std::uint8_t lineType = 1;  // the pen style: see DashPattern
    std::uint32_t color = 0;    // 0xRRGGBB, the pen colour drawn as on white paper
    float width = 0;            // stroke width, paper mm
    bool closed = false;        // a polyline that returns to its first point
    bool temporary = false;     // a point mark of a temporary point
    std::uint32_t first = 0;    // into points, arcs or texts (see kind)
    std::uint32_t count = 0;    // points of a polyline or polygon
    Rect bounds;
};

// Paper sizes in millimetres, landscape, by the JWW header's paper size code 0 to 4 (A0 to A4);
// any other code, and every JWS drawing, is given A3.
struct PaperSize {
    double width = 420;
    double height = 297;
    const char* name = "A3";
};
PaperSize PaperOfCode(std::int32_t code);

struct DisplayList {
    std::vector<Primitive> primitives;  // in drawing order
    std::vector<Point> points;
    std::vector<EllipseArc> arcs;
    std::vector<TextRun> texts;
    Rect bounds;  // of every primitive; empty for a drawing with nothing to draw
    Rect paper;   // the paper, centred on the origin
    std::string paperName;
    // Dimensions drawn, by mark (a dimension in a block inserted twice counts twice).
    std::array<std::int64_t, kDimensionMarkCount> dimensions{};
    std::int64_t dropped = 0;         // entities left out for coordinates that cannot be drawn
    std::int64_t insertsLeftOut = 0;  // block inserts of no definition, into themselves or too deep

    std::span<const Point> pointsOf(const Primitive& p) const { return {points.data() + p.first, p.count}; }
    void clear();
};

// What draws a display list. Each call gets the primitive (colour, line type, mark, box) and its
// geometry; a painter that draws no elliptic arcs can use FlattenArc.
class Painter {
public:
    virtual ~Painter() = default;
    virtual void polyline(const Primitive& p, std::span<const Point> points) = 0;
    virtual void polygon(const Primitive& p, std::span<const Point> points) = 0;
    virtual void arc(const Primitive& p, const EllipseArc& arc) = 0;
    virtual void pointMark(const Primitive& p, Point at) = 0;
    virtual void text(const Primitive& p, const TextRun& run) = 0;
};

// Which primitives a pass of Paint draws.
enum class PaintPass : std::uint8_t { All, Plain, Dimensions };

// Draws the primitives of the pass in list order; with `visible`, only those whose box meets it.
void Paint(const DisplayList& list, Painter& painter, PaintPass pass = PaintPass::All, const Rect* visible = nullptr);

}  // namespace quellmark::render
