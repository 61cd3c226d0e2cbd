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

// The diameter of a point mark, paper mm.
inline constexpr double kPointMarkSize = 0.8;

}  // namespace quellmark::render
