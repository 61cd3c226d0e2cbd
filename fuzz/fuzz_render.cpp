// Fuzz target: the preview. The first byte picks the format (even: JWW, odd: JWS) and whether
// the drawing is seen as converted; the rest is the drawing. Whatever the reader accepts must
// draw or fail with a reason, within the limits, with every coordinate finite, and its SVG must
// stay in proportion to what it draws. Any violation aborts.
#include "fuzz_support.h"
#include "render/preview.h"
#include "render/svg.h"

#include <cmath>
#include <cstdint>
#include <span>

using namespace quellmark;
using namespace quellmark::render;
using namespace quellmark::fuzz;

namespace {

// Small limits keep each input quick; the limits themselves are what is checked.
RenderLimits Limits() {
    RenderLimits limits;
    limits.primitives = 20'000;
    limits.entityVisits = 100'000;
    return limits;
}

void CheckFinite(const DisplayList& list) {
    if (!Finite(list.paper)) Violated("the paper is not finite");
    if (!list.primitives.empty() && !Finite(list.bounds)) Violated("the bounds are not finite");
    for (const Point& p : list.points) {
        if (!Finite(p)) Violated("a point is not finite");
    }
    for (const EllipseArc& a : list.arcs) {
        if (!Finite(a.center) || !std::isfinite(a.rx) || !std::isfinite(a.ry) || !std::isfinite(a.rotation) ||
            !std::isfinite(a.start) || !std::isfinite(a.sweep)) {
            Violated("an arc is not finite");
        }
    }
    for (const TextRun& t : list.texts) {
        if (!Finite(t.at) || !std::isfinite(t.height) || !std::isfinite(t.advance) || !std::isfinite(t.angle)) {
            Violated("a text is not finite");
        }
    }
    for (const Primitive& p : list.primitives) {
        if (!Finite(p.bounds) || !list.bounds.contains(p.bounds))
            Violated("a primitive's box is not finite or not in the bounds");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const DrawingFormat format = (data[0] & 1) ? DrawingFormat::Jws : DrawingFormat::Jww;
    PreviewRequest request;
    request.converted = (data[0] & 2) != 0;
    request.dropTrailingBytes = true;
    request.limits = Limits();
    Preview preview;
    Problem problem;
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    if (!BuildPreviewOfBytes(bytes, format, (data[0] & 4) == 0, request, preview, problem)) {
        if (problem.message().empty()) Violated("a preview failed without a reason");
        if (!preview.list.primitives.empty()) Violated("a failed preview kept a partial picture");
        return 0;
    }
    const DisplayList& list = preview.list;
    if (list.primitives.size() > request.limits.primitives) Violated("more primitives than the limit");
    CheckFinite(list);
    std::size_t textBytes = 0;
    for (const TextRun& t : list.texts) textBytes += t.bytes.size();
    const std::string svg = WriteSvg(list, {"fuzz", request.converted});
    // Each primitive is a line of SVG of bounded length, and a text byte becomes at most a
    // replacement character's three bytes or an escape's six.
    if (svg.size() > 8192 + list.primitives.size() * 400 + textBytes * 6) Violated("the SVG is out of proportion");
    return 0;
}
