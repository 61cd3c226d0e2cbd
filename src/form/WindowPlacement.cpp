// Placing the main window on a screen.
#include "WindowPlacement.h"

#include <algorithm>
#include <cstdint>

namespace quellmark {

namespace {

std::int64_t Overlap(const ScreenRect& a, const ScreenRect& b) {
    const std::int64_t w = std::min<std::int64_t>(std::int64_t{a.left} + a.width, std::int64_t{b.left} + b.width) -
                           std::max(a.left, b.left);
    const std::int64_t h =
        std::min<std::int64_t>(std::int64_t{a.top} + a.height, std::int64_t{b.top} + b.height) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

// Where a span of the given length starts when it must lie within [start, start + room).
int Within(int at, int length, int start, int room) {
    return std::clamp(at, start, std::max(start, start + room - length));
}

}  // namespace

ScreenRect PlaceOnScreen(ScreenRect saved, FrameMargins frame, const std::vector<ScreenRect>& screens) {
    if (screens.empty()) return saved;
    const ScreenRect outer{saved.left - frame.left, saved.top - frame.top,
                           std::max(0, saved.width) + frame.left + frame.right,
                           std::max(0, saved.height) + frame.top + frame.bottom};
    const ScreenRect* screen = &screens.front();
    std::int64_t most = 0;
    for (const ScreenRect& s : screens) {
        if (const std::int64_t overlap = Overlap(outer, s); overlap > most) {
            most = overlap;
            screen = &s;
        }
    }
    const int width = std::min(outer.width, screen->width);
    const int height = std::min(outer.height, screen->height);
    const int left = Within(outer.left, width, screen->left, screen->width);
    const int top = Within(outer.top, height, screen->top, screen->height);
    return {left + frame.left, top + frame.top, std::max(0, width - frame.left - frame.right),
            std::max(0, height - frame.top - frame.bottom)};
}

}  // namespace quellmark
