// Paper sizes, and the walk that hands a display list's primitives to a painter.
#include "display_list.h"

namespace quellmark::render {

PaperSize PaperOfCode(std::int32_t code) {
    switch (code) {
        case 0: return {1189, 841, "A0"};
        case 1: return {841, 594, "A1"};
        case 2: return {594, 420, "A2"};
        case 3: return {420, 297, "A3"};
        case 4: return {297, 210, "A4"};
        default: return {};
    }
}

void DisplayList::clear() { *this = DisplayList{}; }

void Paint(const DisplayList& list, Painter& painter, PaintPass pass, const Rect* visible) {
    for (const Primitive& p : list.primitives) {
        const bool dimension = p.mark != DimensionMark::None;
        if ((pass == PaintPass::Plain && dimension) || (pass == PaintPass::Dimensions && !dimension)) continue;
        if (visible && !visible->intersects(p.bounds)) continue;
        switch (p.kind) {
            case PrimitiveKind::Polyline: painter.polyline(p, list.pointsOf(p)); break;
            case PrimitiveKind::Polygon: painter.polygon(p, list.pointsOf(p)); break;
            case PrimitiveKind::Arc: painter.arc(p, list.arcs[p.first]); break;
            case PrimitiveKind::PointMark: painter.pointMark(p, list.points[p.first]); break;
            case PrimitiveKind::Text: painter.text(p, list.texts[p.first]); break;
        }
    }
}

}  // namespace quellmark::render
