// The Win32 window's preview pane, a view of the form's PreviewPane: a child window that paints
// the display list with GDI through the pane's transform (the legend in a band below, or the
// reason there is no picture), and hands the pane its size, the wheel, drags and the keys (+, -,
// arrows, Home). It takes the focus with Tab.
#pragma once

#include "../form/PreviewPane.h"
#include "Win32Desktop.h"  // windows.h, with the form's MessageBox kept its own

namespace quellmark {

class PreviewWindow {
public:
    explicit PreviewWindow(PreviewPane& pane) : pane_(pane) {}
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // Makes the pane a child of parent, hidden; false when Windows would not.
    bool Create(HWND parent, int id);
    HWND Handle() const { return hwnd_; }
    // The legend's band, in this window's pixels.
    void SetLegendHeight(int pixels) { legendHeight_ = pixels; }
    int LegendHeight() const { return legendHeight_; }
    void SetFont(HFONT font) { font_ = font; }
    void Repaint() const;
    // Paints the pane into dc, width x height pixels: the window's paint, and its tests.
    void PaintInto(HDC dc, int width, int height) const;

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    void PaintLegend(HDC dc, const RECT& band) const;

    PreviewPane& pane_;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    int legendHeight_ = 36;
    bool dragging_ = false;
    POINT dragFrom_{};
};

}  // namespace quellmark
