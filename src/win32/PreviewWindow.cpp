// The Win32 preview pane's painting with GDI: every primitive mapped through the form's
// transform, strokes and dashes in screen millimetres as the SVG and the Qt pane have them, texts
// decoded from Shift-JIS and set along their rotated baseline, dimensions over everything in
// their mark's colour; painted into a bitmap first, so it does not flicker.
#include "PreviewWindow.h"

#include "../platform/cp932.h"
#include "../render/styles.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace quellmark {

namespace {

constexpr const wchar_t* kClassName = L"QuellmarkPreview";

COLORREF ColorRefOf(std::uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// A pane coordinate GDI takes: far-off points are held where 32-bit arithmetic stays exact.
LONG Pixel(double v) { return static_cast<LONG>(std::lround(std::clamp(v, -1.0e7, 1.0e7))); }

// Selects a GDI object into the DC for a scope, and deletes it afterwards.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), object_(object), old_(::SelectObject(dc, object)) {}
    ~Selected() {
        ::SelectObject(dc_, old_);
        ::DeleteObject(object_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ object_;
    HGDIOBJ old_;
};

class GdiPanePainter final : public render::Painter {
public:
    GdiPanePainter(HDC dc, const PaneTransform& transform) : dc_(dc), transform_(transform) {}

    void polyline(const render::Primitive& p, std::span<const render::Point> points) override {
        Map(points);
        if (p.closed && !mapped_.empty()) mapped_.push_back(mapped_.front());
        if (mapped_.size() < 2) return;
        const Selected pen(dc_, PenOf(p));
        ::Polyline(dc_, mapped_.data(), static_cast<int>(mapped_.size()));
    }

    void polygon(const render::Primitive& p, std::span<const render::Point> points) override {
        Map(points);
        if (mapped_.size() < 3) return;
        const COLORREF color = ColorRefOf(render::LookOf(p).color);
        const Selected pen(dc_, ::CreatePen(PS_SOLID, 1, color));
        const Selected brush(dc_, ::CreateSolidBrush(color));
        ::Polygon(dc_, mapped_.data(), static_cast<int>(mapped_.size()));
    }

    void arc(const render::Primitive& p, const render::EllipseArc& arc) override {
        // A quarter of a pixel from the true curve, in paper millimetres.
        arcPoints_.clear();
        render::FlattenArc(arc, 0.25 / transform_.scale, arcPoints_);
        polyline(p, arcPoints_);
    }

    void pointMark(const render::Primitive& p, render::Point at) override {
        const render::Point c = transform_.toPane(at);
        const int h = std::max(2, static_cast<int>(std::lround(render::kPointMarkSize * render::kPixelsPerMm / 2)));
        const LONG x = Pixel(c.x);
        const LONG y = Pixel(c.y);
        if (p.temporary) {
            const Selected pen(dc_, ::CreatePen(PS_SOLID, 1, ColorRefOf(render::kTemporaryPointColor)));
            ::MoveToEx(dc_, x - h - 1, y - h - 1, nullptr);
            ::LineTo(dc_, x + h + 2, y + h + 2);
            ::MoveToEx(dc_, x - h - 1, y + h + 1, nullptr);
            ::LineTo(dc_, x + h + 2, y - h - 2);
            return;
        }
        const COLORREF color = ColorRefOf(render::LookOf(p).color);
        const Selected pen(dc_, ::CreatePen(PS_SOLID, 1, color));
        const Selected brush(dc_, ::CreateSolidBrush(color));
        ::Ellipse(dc_, x - h, y - h, x + h + 1, y + h + 1);
    }

    void text(const render::Primitive& p, const render::TextRun& run) override {
        const double pixels = run.height * transform_.scale;
        if (pixels < 1.5) return;  // less than a glyph can show
        const std::wstring text = Wide(Cp932ToUtf8(run.bytes));
        if (text.empty()) return;
        LOGFONTW face{};
        face.lfHeight = -static_cast<LONG>(std::lround(std::min(pixels, 4000.0)));
        // Tenths of a degree, counter-clockwise: the baseline's angle.
        face.lfEscapement = face.lfOrientation = static_cast<LONG>(std::lround(std::fmod(run.angle, 360.0) * 10));
        face.lfCharSet = SHIFTJIS_CHARSET;
        face.lfQuality = ANTIALIASED_QUALITY;
        wcscpy_s(face.lfFaceName, L"MS Gothic");
        const Selected font(dc_, ::CreateFontIndirectW(&face));
        ::SetTextColor(dc_, ColorRefOf(render::LookOf(p).color));
        const render::Point at = transform_.toPane(run.at);
        // Stretched along the baseline to its recorded end, as the CAD program sets it: each
        // character an equal share.
        std::vector<INT> advances;
        if (run.advance > 0) {
            const double each = run.advance * transform_.scale / static_cast<double>(text.size());
            double reached = 0;
            for (std::size_t i = 0; i < text.size(); ++i) {
                const double next = each * static_cast<double>(i + 1);
                advances.push_back(static_cast<INT>(std::lround(next) - std::lround(reached)));
                reached = next;
            }
        }
        ::ExtTextOutW(dc_, Pixel(at.x), Pixel(at.y), 0, nullptr, text.c_str(), static_cast<UINT>(text.size()),
                      advances.empty() ? nullptr : advances.data());
    }

private:
    void Map(std::span<const render::Point> points) {
        mapped_.clear();
        for (const render::Point& point : points) {
            const render::Point at = transform_.toPane(point);
            mapped_.push_back({Pixel(at.x), Pixel(at.y)});
        }
    }
    static HPEN PenOf(const render::Primitive& p) {
        const render::StrokeLook look = render::LookOf(p);
        const DWORD width = static_cast<DWORD>(std::max(1L, std::lround(look.width * render::kPixelsPerMm)));
        LOGBRUSH brush{BS_SOLID, ColorRefOf(look.color), 0};
        const auto dashes = render::DashPattern(p.lineType);
        if (dashes.empty()) {
            return ::ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER, width, &brush, 0, nullptr);
        }
        std::vector<DWORD> style;
        for (double dash : dashes)
            style.push_back(static_cast<DWORD>(std::max(1L, std::lround(dash * render::kPixelsPerMm))));
        return ::ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_FLAT | PS_JOIN_MITER, width, &brush,
                              static_cast<DWORD>(style.size()), style.data());
    }

    HDC dc_;
    const PaneTransform& transform_;
    std::vector<POINT> mapped_;
    std::vector<render::Point> arcPoints_;
};

}  // namespace

bool PreviewWindow::Create(HWND parent, int id) {
    static const bool registered = [] {
        WNDCLASSEXW type{};
        type.cbSize = sizeof type;
        type.lpfnWndProc = &PreviewWindow::Procedure;
        type.hInstance = ::GetModuleHandleW(nullptr);
        type.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        type.lpszClassName = kClassName;
        return ::RegisterClassExW(&type) != 0;
    }();
    if (!registered) return false;
    hwnd_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, kClassName, L"", WS_CHILD | WS_TABSTOP, 0, 0, 0, 0, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), this);
    return hwnd_ != nullptr;
}

void PreviewWindow::Repaint() const {
    if (hwnd_) ::InvalidateRect(hwnd_, nullptr, FALSE);
}

LRESULT CALLBACK PreviewWindow::Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* window = static_cast<PreviewWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
        window->hwnd_ = hwnd;
    }
    auto* window = reinterpret_cast<PreviewWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!window) return ::DefWindowProcW(hwnd, message, wparam, lparam);
    return window->Handle(message, wparam, lparam);
}

LRESULT PreviewWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_SIZE:
            pane_.Resized(LOWORD(lparam), std::max(0, static_cast<int>(HIWORD(lparam)) - legendHeight_));
            return 0;
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            const HDC dc = ::BeginPaint(hwnd_, &paint);
            RECT client;
            ::GetClientRect(hwnd_, &client);
            const HDC memory = ::CreateCompatibleDC(dc);
            const HBITMAP bitmap =
                ::CreateCompatibleBitmap(dc, std::max(1L, client.right), std::max(1L, client.bottom));
            const HGDIOBJ old = ::SelectObject(memory, bitmap);
            PaintInto(memory, client.right, client.bottom);
            ::BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
            ::SelectObject(memory, old);
            ::DeleteObject(bitmap);
            ::DeleteDC(memory);
            ::EndPaint(hwnd_, &paint);
            return 0;
        }
        case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_SETFOCUS:
        case WM_KILLFOCUS: Repaint(); return 0;
        case WM_MOUSEWHEEL: {
            POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};  // on the screen
            ::ScreenToClient(hwnd_, &at);
            pane_.Wheel(at.x, at.y, GET_WHEEL_DELTA_WPARAM(wparam));
            return 0;
        }
        case WM_LBUTTONDOWN:
            ::SetFocus(hwnd_);
            ::SetCapture(hwnd_);
            dragging_ = true;
            dragFrom_ = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
            return 0;
        case WM_MOUSEMOVE:
            if (dragging_) {
                const POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
                pane_.Drag(at.x - dragFrom_.x, at.y - dragFrom_.y);
                dragFrom_ = at;
            }
            return 0;
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
            if (dragging_) {
                dragging_ = false;
                if (message == WM_LBUTTONUP) ::ReleaseCapture();
            }
            return 0;
        case WM_KEYDOWN:
            if (::GetKeyState(VK_CONTROL) & 0x8000 || ::GetKeyState(VK_MENU) & 0x8000) break;
            switch (wparam) {
                case VK_ADD:
                case VK_OEM_PLUS: pane_.Key(PaneKey::ZoomIn); return 0;
                case VK_SUBTRACT:
                case VK_OEM_MINUS: pane_.Key(PaneKey::ZoomOut); return 0;
                case VK_LEFT: pane_.Key(PaneKey::Left); return 0;
                case VK_RIGHT: pane_.Key(PaneKey::Right); return 0;
                case VK_UP: pane_.Key(PaneKey::Up); return 0;
                case VK_DOWN: pane_.Key(PaneKey::Down); return 0;
                case VK_HOME: pane_.Key(PaneKey::Fit); return 0;
                default: break;
            }
            break;
        default: break;
    }
    return ::DefWindowProcW(hwnd_, message, wparam, lparam);
}

void PreviewWindow::PaintInto(HDC dc, int width, int height) const {
    const RECT whole{0, 0, width, height};
    ::FillRect(dc, &whole, ::GetSysColorBrush(COLOR_BTNFACE));
    const RECT area{0, 0, width, std::max(0, height - legendHeight_)};
    const HGDIOBJ oldFont = font_ ? ::SelectObject(dc, font_) : nullptr;
    ::SetBkMode(dc, TRANSPARENT);
    const render::Preview* picture = pane_.Picture();
    if (!picture) {
        RECT text = area;
        ::InflateRect(&text, -8, -8);
        const std::wstring message = Wide(pane_.Message());
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
        ::DrawTextW(dc, message.c_str(), static_cast<int>(message.size()), &text, DT_CENTER | DT_WORDBREAK);
    } else {
        const int saved = ::SaveDC(dc);
        ::IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
        const PaneTransform& t = pane_.Transform();
        const render::Rect& paper = picture->list.paper;
        const render::Point top = t.toPane({paper.minX, paper.maxY});
        const render::Point bottom = t.toPane({paper.maxX, paper.minY});
        {
            const Selected edge(dc, ::CreatePen(PS_SOLID, 1, ColorRefOf(render::kPaperEdgeColor)));
            const HGDIOBJ oldBrush = ::SelectObject(dc, ::GetStockObject(WHITE_BRUSH));
            ::Rectangle(dc, Pixel(top.x), Pixel(top.y), Pixel(bottom.x) + 1, Pixel(bottom.y) + 1);
            ::SelectObject(dc, oldBrush);
        }
        ::SetTextAlign(dc, TA_BASELINE | TA_LEFT);
        GdiPanePainter drawer(dc, t);
        const render::Rect visible = t.visible(area.right, area.bottom);
        render::Paint(picture->list, drawer, render::PaintPass::Plain, &visible);
        render::Paint(picture->list, drawer, render::PaintPass::Dimensions, &visible);
        ::RestoreDC(dc, saved);
    }
    PaintLegend(dc, RECT{0, area.bottom, width, height});
    if (hwnd_ && ::GetFocus() == hwnd_) {
        // Where the keys go, for those who drive the pane with them.
        RECT focus = whole;
        ::InflateRect(&focus, -2, -2);
        ::DrawFocusRect(dc, &focus);
    }
    if (oldFont) ::SelectObject(dc, oldFont);
}

void PreviewWindow::PaintLegend(HDC dc, const RECT& band) const {
    // The entries in a row, going on in a second line where the pane is narrow.
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    ::SetTextAlign(dc, TA_LEFT | TA_TOP);
    const int swatch = std::max(6, legendHeight_ / 4);
    const int line = std::max(1, static_cast<int>(band.bottom - band.top) / 2);
    int x = band.left + 6;
    int top = band.top;
    for (const LegendEntry& entry : pane_.Legend()) {
        const std::wstring text = Wide(entry.text);
        SIZE size{};
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        const int wide = swatch + 4 + size.cx;
        if (x > band.left + 6 && x + wide > band.right && top == band.top) {
            x = band.left + 6;
            top += line;
        }
        const RECT square{x, top + (line - swatch) / 2, x + swatch, top + (line - swatch) / 2 + swatch};
        const HBRUSH brush = ::CreateSolidBrush(ColorRefOf(entry.color));
        ::FillRect(dc, &square, brush);
        ::DeleteObject(brush);
        ::TextOutW(dc, x + swatch + 4, top + (line - size.cy) / 2, text.c_str(), static_cast<int>(text.size()));
        x += wide + 12;
    }
}

}  // namespace quellmark
