// Where the main window goes on the screens at hand: the place it was saved at when its frame
// lies on a screen there, otherwise moved, and shrunk where it must be, onto the screen that
// holds most of it. Keeps a window whose screen went away, or that is larger than the screen
// (a small screen, or a large scaling), within reach.
#pragma once

#include <vector>

namespace quellmark {

struct ScreenRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// What the window manager's frame adds around the window's own area on each side.
struct FrameMargins {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The window's own area (without its frame) for a window saved with that area, such that its
// frame lies wholly on one of the screens' available areas: the one it overlaps most, or the
// first when it overlaps none. The saved area when there are no screens.
ScreenRect PlaceOnScreen(ScreenRect saved, FrameMargins frame, const std::vector<ScreenRect>& screens);

}  // namespace quellmark
