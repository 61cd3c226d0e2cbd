// Pen colours, dash patterns and widths of the preview.
#include "styles.h"

#include "../drawing/jwtype.h"

#include <algorithm>
#include <array>

namespace quellmark::render {

namespace {

// Pen colours 0 to 9. The CAD program shows them on a dark screen (cyan, white, green, yellow,
// pink, blue, white, red, grey); on white paper white becomes black and the light ones darker.
constexpr std::array<std::uint32_t, 10> kPenColors = {
    0x000000,  // 0: background colour, drawn black
    0x0090A8,  // 1: cyan
    0x000000,  // 2: white on screen, black on paper
    0x008A00,  // 3: green
    0xA08000,  // 4: yellow
    0xD0007A,  // 5: pink
    0x0000E0,  // 6: blue
    0x404040,  // 7: white (a second one), dark grey on paper
    0xD00000,  // 8: red
    0x9A9A9A,  // 9: auxiliary-line grey
};

// Pen styles 1 to 9: solid, three dotted lines, two one-dot chains, two two-dot chains, and the
// auxiliary line (drawn dotted, as the screen shows it; it is not printed).
constexpr double kDotted1[] = {3.0, 1.5};
constexpr double kDotted2[] = {1.5, 1.0};
constexpr double kDotted3[] = {0.5, 0.75};
constexpr double kChain1[] = {6.0, 1.0, 1.0, 1.0};
constexpr double kChain2[] = {12.0, 1.5, 1.5, 1.5};
constexpr double kDoubleChain1[] = {6.0, 1.0, 1.0, 1.0, 1.0, 1.0};
constexpr double kDoubleChain2[] = {12.0, 1.5, 1.5, 1.5, 1.5, 1.5};
constexpr double kAuxiliary[] = {0.3, 0.9};

}  // namespace

std::uint32_t FromColorRef(std::int32_t colorRef) {
    const auto v = static_cast<std::uint32_t>(colorRef);
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

std::uint32_t PenColor(std::uint16_t pen, const std::vector<TColorExNo>* extended) {
    if (pen < kPenColors.size()) return kPenColors[pen];
    if (pen >= 100 && extended && static_cast<std::size_t>(pen - 100) < extended->size()) {
        return FromColorRef((*extended)[pen - 100].ScreenColor);
    }
    return 0x000000;
}

std::span<const double> DashPattern(std::uint8_t lineType) {
    switch (lineType) {
        case 2: return kDotted1;
        case 3: return kDotted2;
        case 4: return kDotted3;
        case 5: return kChain1;
        case 6: return kChain2;
        case 7: return kDoubleChain1;
        case 8: return kDoubleChain2;
        case 9: return kAuxiliary;
        default: return {};
    }
}

float StrokeWidth(std::uint16_t penWidth) {
    if (penWidth == 0) return 0.18f;
    return std::clamp(static_cast<float>(penWidth) / 100.0f, 0.05f, 2.0f);
}

std::uint32_t MarkColor(DimensionMark mark) {
    switch (mark) {
        case DimensionMark::ToMark: return 0xF76707;    // orange
        case DimensionMark::Marked: return 0x1C7ED6;    // blue
        case DimensionMark::Unmarked: return 0xAE3EC9;  // purple
        case DimensionMark::None: break;
    }
    return 0x000000;
}

StrokeLook LookOf(const Primitive& p) {
    if (p.mark == DimensionMark::None) return {p.color, p.width};
    return {MarkColor(p.mark), std::max(p.width, kMarkedStrokeWidth)};
}

}  // namespace quellmark::render
