// How pens look on the preview's white paper: the colours of the pen colour numbers, the dash
// patterns of the pen styles (line types), stroke widths, and the colours of the dimension marks.
// docs/rendering.md lists them; every backend takes them from here.
#pragma once

#include "display_list.h"

#include <cstdint>
#include <span>
#include <vector>

namespace quellmark {
struct TColorExNo;
}

namespace quellmark::render {

// The colour of pen colour `pen` (0xRRGGBB): 1 to 9 the CAD program's screen colours made dark
// enough for white paper; 100 and above the screen colour of the drawing's extended colour
// `pen - 100` where the drawing has it; anything else black.
std::uint32_t PenColor(std::uint16_t pen, const std::vector<TColorExNo>* extended);

// A Windows colour value (0x00BBGGRR) as 0xRRGGBB.
std::uint32_t FromColorRef(std::int32_t colorRef);

// The dash pattern of a pen style, in paper millimetres (dash, gap, dash, gap, ...); empty for
// a solid line.
std::span<const double> DashPattern(std::uint8_t lineType);

// The stroke width of a pen width (hundredths of a millimetre; 0 when the drawing has none).
float StrokeWidth(std::uint16_t penWidth);

// The colour a dimension of the mark is drawn in, and the least stroke width of its lines.
std::uint32_t MarkColor(DimensionMark mark);
inline constexpr float kMarkedStrokeWidth = 0.35f;

// How a primitive is drawn: its pen's colour and width, or a dimension's mark colour at least
// kMarkedStrokeWidth wide.
struct StrokeLook {
    std::uint32_t color = 0;
    float width = 0;
};
StrokeLook LookOf(const Primitive& p);

// Strokes keep their width on the screen whatever the zoom (a preview is looked at, not
// printed): a millimetre of pen width or dash is drawn as a millimetre of a screen at 96 dots
// per inch, and no line is thinner than one pixel.
inline constexpr double kPixelsPerMm = 96 / 25.4;

// The paper's edge, and a temporary point's cross (the CAD program does not print it).
inline constexpr std::uint32_t kPaperEdgeColor = 0xC8C8C8;
inline constexpr std::uint32_t kTemporaryPointColor = 0x9A9A9A;

// The diameter of a point mark, paper mm.
inline constexpr double kPointMarkSize = 0.8;

}  // namespace quellmark::render
