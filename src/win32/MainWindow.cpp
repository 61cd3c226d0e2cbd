// The Win32 main window's making and layout, its messages, and the form's view of the desktop,
// the status bar and the window's placement. The tree and the list are in MainWindowLists.cpp.
#include "MainWindow.h"

#include "../form/WindowDesign.h"
#include "../form/WindowTexts.h"
#include "../platform/system.h"
#include "ControlIds.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

namespace quellmark {

namespace {

constexpr wchar_t kClassName[] = L"QuellmarkMainWindow";
// Calls are waiting for the window's thread (see Post), and the timer that runs them while they
// keep coming.
constexpr UINT kCallMessage = WM_APP + 1;
constexpr UINT_PTR kPostedTimer = 1;
constexpr UINT kPostedEveryMs = 30;
constexpr int kSplitterWidth = design::kSplitterWidth;
constexpr int kStopWidth = design::kStopWidth;
constexpr int kProgressWidth = design::kProgressWidth;
// The paths of a drop the window looks at: enough for a selection of drawings.
constexpr UINT kDroppedPathsTaken = 10000;

HWND MakeControl(const wchar_t* type, const wchar_t* text, DWORD style, HWND parent, int id, DWORD extended = 0) {
    return ::CreateWindowExW(extended, type, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
}

void SetFont(HWND control, HFONT font) { ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); }

// The pixels the text takes in the font, across and down.
SIZE TextSize(HWND control, HFONT font, const std::wstring& text) {
    SIZE size{};
    if (HDC dc = ::GetDC(control)) {
        const HGDIOBJ old = ::SelectObject(dc, font);
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        ::SelectObject(dc, old);
        ::ReleaseDC(control, dc);
    }
    return size;
}

int TextWidth(HWND control, HFONT font, const std::wstring& text) {
    return static_cast<int>(TextSize(control, font, text).cx);
}

std::string FieldText(HWND field) {
    std::wstring text(static_cast<std::size_t>(std::max(0, ::GetWindowTextLengthW(field))) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(std::max(0, ::GetWindowTextW(field, text.data(), static_cast<int>(text.size())))));
    return Utf8(text);
}

// The two folder fields, told apart by their subclass's number.
constexpr UINT_PTR kSearchFieldSubclass = 1;
constexpr UINT_PTR kDestFieldSubclass = 2;

// The folder fields are edits: a folder typed or pasted is taken with Enter, and a click on the
// search folder field hands the form what it shows.
LRESULT CALLBACK FolderFieldProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR which,
                                      DWORD_PTR data) {
    auto* form = reinterpret_cast<MainForm*>(data);
    switch (message) {
        case WM_LBUTTONUP: {
            if (which != kSearchFieldSubclass) break;
            // The field lets the mouse go first: it holds it from the press on.
            const LRESULT result = ::DefSubclassProc(hwnd, message, wparam, lparam);
            form->SearchFieldClicked(FieldText(hwnd));
            return result;
        }
        case WM_CHAR:
            if (wparam == L'\r' || wparam == L'\n') return 0;  // Enter is the form's, without the edit's beep
            break;
        case WM_GETDLGCODE:
            // Enter belongs to the field, not to the window's default button.
            if (lparam && reinterpret_cast<const MSG*>(lparam)->message == WM_KEYDOWN &&
                reinterpret_cast<const MSG*>(lparam)->wParam == VK_RETURN) {
                return DLGC_WANTMESSAGE | ::DefSubclassProc(hwnd, message, wparam, lparam);
            }
            break;
        case WM_KEYDOWN:
            if (wparam == VK_RETURN && !(::GetKeyState(VK_CONTROL) & 0x8000) && !(::GetKeyState(VK_MENU) & 0x8000)) {
                if (which == kSearchFieldSubclass) {
                    form->SearchFolderEntered(FieldText(hwnd));
                } else {
                    form->DestFolderEntered(FieldText(hwnd));
                }
                return 0;
            }
            break;
        default: break;
    }
    return ::DefSubclassProc(hwnd, message, wparam, lparam);
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (::GetMonitorInfoW(monitor, &info)) {
        const RECT& r = info.rcWork;
        reinterpret_cast<std::vector<ScreenRect>*>(data)->push_back(
            {r.left, r.top, r.right - r.left, r.bottom - r.top});
    }
    return TRUE;
}

}  // namespace

MainWindow::MainWindow(FormDesktop& desktop, const std::filesystem::path& appDir, FileSystem& files)
    : form_(*this, desktop, files, appDir) {}

MainWindow::~MainWindow() {
    if (hwnd_) ::DestroyWindow(hwnd_);
    for (HFONT font : {font_, bigFont_, listFont_}) {
        if (font) ::DeleteObject(font);
    }
}

bool MainWindow::Create(int showCommand) {
    static const bool registered = [] {
        WNDCLASSEXW type{};
        type.cbSize = sizeof type;
        type.lpfnWndProc = &MainWindow::Procedure;
        type.hInstance = ::GetModuleHandleW(nullptr);
        type.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        type.hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), L"APPICON");
        type.lpszClassName = kClassName;
        return ::RegisterClassExW(&type) != 0;
    }();
    if (!registered) return false;
    const FormSettings design;
    hwnd_ = ::CreateWindowExW(0, kClassName, Wide(texts::kCaption).c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                              design.left, design.top, design.width, design.height, nullptr, nullptr,
                              ::GetModuleHandleW(nullptr), this);
    if (!hwnd_) return false;
    dpi_ = static_cast<int>(::GetDpiForWindow(hwnd_));
    {
        std::lock_guard lock(postMutex_);
        postTarget_ = hwnd_;
    }
    CreateMenus();
    CreateControls();
    ApplyFonts();
    ::DragAcceptFiles(hwnd_, TRUE);
    ::ShowWindow(hwnd_, showCommand);
    ::UpdateWindow(hwnd_);
    shown_ = true;
    FocusOn(tree_);
    form_.Shown();
    Layout();
    return true;
}

LRESULT CALLBACK MainWindow::Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* window = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
        window->hwnd_ = hwnd;
    }
    auto* window = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!window) return ::DefWindowProcW(hwnd, message, wparam, lparam);
    return window->Handle(message, wparam, lparam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_SIZE: Layout(); return 0;
        case WM_ACTIVATE:
            // The focus comes back to the control that had it when the window went inactive.
            if (LOWORD(wparam) == WA_INACTIVE) {
                const HWND focused = ::GetFocus();
                if (focused && ::IsChild(hwnd_, focused)) focused_ = focused;
            } else {
                FocusOn(focused_);
            }
            return 0;
        case WM_COMMAND: Command(LOWORD(wparam), HIWORD(wparam)); return 0;
        case WM_NOTIFY: return Notify(*reinterpret_cast<const NMHDR*>(lparam), lparam);
        case WM_DROPFILES: Dropped(reinterpret_cast<HDROP>(wparam)); return 0;
        case WM_CONTEXTMENU:
            // The list's, by a right click, Shift+F10 or the menu key (the header's is its own).
            if (reinterpret_cast<HWND>(wparam) != list_) break;
            ShowListMenu(lparam);
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(lparam) == HTCLIENT && reinterpret_cast<HWND>(wparam) == hwnd_) {
                POINT at;
                ::GetCursorPos(&at);
                ::ScreenToClient(hwnd_, &at);
                if (at.x >= Scaled(panelWidth_) && at.x < Scaled(panelWidth_) + Scaled(kSplitterWidth)) {
                    ::SetCursor(::LoadCursorW(nullptr, IDC_SIZEWE));
                    return TRUE;
                }
            }
            break;
        case WM_LBUTTONDOWN: {
            // The bar between the panes drags the folder pane's width.
            const int x = static_cast<short>(LOWORD(lparam));
            if (x >= Scaled(panelWidth_) - 1 && x <= Scaled(panelWidth_) + Scaled(kSplitterWidth)) {
                splitting_ = true;
                ::SetCapture(hwnd_);
            }
            return 0;
        }
        case WM_MOUSEMOVE:
            if (splitting_) Splitting(static_cast<short>(LOWORD(lparam)));
            return 0;
        case WM_LBUTTONUP:
            if (splitting_) {
                splitting_ = false;
                ::ReleaseCapture();
            }
            return 0;
        case WM_DPICHANGED: {
            // Moved to a screen of another scale: the columns keep their size to the eye.
            const int dpi = HIWORD(wparam);
            for (int c = 0; c < kListColumns; ++c) {
                fillingMemo_ = true;
                ListView_SetColumnWidth(list_, c, ::MulDiv(ListView_GetColumnWidth(list_, c), dpi, dpi_));
                fillingMemo_ = false;
            }
            memoFloor_ = ::MulDiv(memoFloor_, dpi, dpi_);
            dpi_ = dpi;
            const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
            ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                           suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            ApplyFonts();
            Layout();
            return 0;
        }
        case kCallMessage:
            RunPosted();
            ::SetTimer(hwnd_, kPostedTimer, kPostedEveryMs, nullptr);
            return 0;
        case WM_TIMER:
            if (wparam == kPostedTimer && !RunPosted()) {
                std::lock_guard lock(postMutex_);
                if (posted_.empty()) {
                    ::KillTimer(hwnd_, kPostedTimer);
                    wakePosted_ = false;
                }
            }
            return 0;
        case WM_CLOSE:
            // The close box and Alt+F4 ask as ファイル → 終了 does.
            if (form_.CloseRequested()) ::DestroyWindow(hwnd_);
            return 0;
        case WM_ENDSESSION:
            // Windows is shutting down: the settings are written without a question.
            if (wparam && form_.CloseForced()) ::DestroyWindow(hwnd_);
            return 0;
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
            limits->ptMinTrackSize = {Scaled(design::kSmallestWidth), Scaled(design::kSmallestHeight)};
            return 0;
        }
        case WM_DESTROY: {
            std::lock_guard lock(postMutex_);
            postTarget_ = nullptr;
            posted_.clear();
            hwnd_ = nullptr;
            ::PostQuitMessage(0);
            return 0;
        }
        default: break;
    }
    return ::DefWindowProcW(hwnd_, message, wparam, lparam);
}

bool MainWindow::TranslateKeys(MSG& message) {
    if (!hwnd_ || (message.hwnd != hwnd_ && !::IsChild(hwnd_, message.hwnd))) return false;
    if (message.message == WM_KEYDOWN) {
        const bool control = (::GetKeyState(VK_CONTROL) & 0x8000) != 0;
        if (message.wParam == VK_ESCAPE) form_.EscapePressed();
        if (message.wParam == VK_F1) {
            form_.About();
            return true;
        }
        if (message.wParam == VK_F5) {
            form_.Refresh();
            return true;
        }
        if (message.wParam == VK_F3) {
            form_.TogglePreview();
            return true;
        }
        // Ctrl+Enter converts, wherever the focus is.
        if (message.wParam == VK_RETURN && control) {
            form_.Convert();
            return true;
        }
        // Enter on a file opens it, as a double click does; on a folder it lists it, as a click.
        if (message.wParam == VK_RETURN && message.hwnd == list_) {
            form_.RowOpened(CurrentRow());
            return true;
        }
        if (message.wParam == VK_RETURN && message.hwnd == tree_) {
            TVITEMW item{};
            item.mask = TVIF_PARAM;
            item.hItem = TreeView_GetSelection(tree_);
            form_.TreeClicked(item.hItem && TreeView_GetItem(tree_, &item) ? static_cast<int>(item.lParam) : -1);
            return true;
        }
    }
    return ::IsDialogMessageW(hwnd_, &message) != 0;
}

void MainWindow::CreateMenus() {
    menu_ = ::CreateMenu();
    HMENU file = ::CreatePopupMenu();
    typeMenu_ = ::CreatePopupMenu();
    ::AppendMenuW(file, MF_STRING, kMenuSearchFolder, Wide(texts::kMenuSearchFolder).c_str());
    const char* types[] = {texts::kMenuFileType0, texts::kMenuFileType1, texts::kMenuFileType2, texts::kMenuFileType3};
    for (int i = 0; i < 4; ++i) ::AppendMenuW(typeMenu_, MF_STRING, kMenuFileType0 + i, Wide(types[i]).c_str());
    ::AppendMenuW(file, MF_POPUP, reinterpret_cast<UINT_PTR>(typeMenu_), Wide(texts::kMenuFileType).c_str());
    ::AppendMenuW(file, MF_STRING, kMenuDestFolder, Wide(texts::kMenuDestFolder).c_str());
    ::AppendMenuW(file, MF_STRING, kMenuConvert, (Wide(texts::kMenuConvert) + L"\tCtrl+Enter").c_str());
    ::AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(file, MF_STRING, kMenuExit, Wide(texts::kMenuExit).c_str());
    ::AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(file), Wide(texts::kMenuFile).c_str());
    HMENU view = ::CreatePopupMenu();
    ::AppendMenuW(view, MF_STRING, kMenuPreview, (Wide(texts::kMenuPreview) + L"\tF3").c_str());
    ::AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(view), Wide(texts::kMenuView).c_str());
    HMENU help = ::CreatePopupMenu();
    ::AppendMenuW(help, MF_STRING, kMenuAbout, (Wide(texts::kMenuAbout) + L"\tF1").c_str());
    ::AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(help), Wide(texts::kMenuHelp).c_str());
    ::SetMenu(hwnd_, menu_);
}

void MainWindow::CreateControls() {
    // Tab goes in the order the controls are made: the search folder, the tree, the type box,
    // the destination, 参照, 変換, the list, the preview, 中止. A label names the control made after it.
    MakeControl(L"STATIC", Wide(texts::kSearchFolderName).c_str(), 0, hwnd_, kSearchLabelId);
    edit1_ = MakeControl(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, hwnd_, kSearchFieldId, WS_EX_CLIENTEDGE);
    ::SetWindowSubclass(edit1_, FolderFieldProcedure, kSearchFieldSubclass, reinterpret_cast<DWORD_PTR>(&form_));
    MakeControl(L"STATIC", Wide(texts::kTreeName).c_str(), 0, hwnd_, kTreeLabelId);
    tree_ = MakeControl(WC_TREEVIEWW, Wide(texts::kTreeName).c_str(),
                        WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS, hwnd_,
                        kTreeId, WS_EX_CLIENTEDGE);
    label1_ = MakeControl(L"STATIC", Wide(texts::kFileTypeLabel).c_str(), SS_LEFTNOWORDWRAP | SS_NOPREFIX, hwnd_,
                          kTypeLabelId);
    combo_ = MakeControl(WC_COMBOBOXW, L"", WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL, hwnd_, kTypeBoxId);
    for (const char* item : texts::kFileTypeItems) {
        ::SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    }
    label2_ = MakeControl(L"STATIC", Wide(texts::kDestFolderLabel).c_str(), SS_LEFTNOWORDWRAP | SS_NOPREFIX, hwnd_,
                          kDestLabelId);
    edit2_ = MakeControl(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, hwnd_, kDestFieldId, WS_EX_CLIENTEDGE);
    ::SetWindowSubclass(edit2_, FolderFieldProcedure, kDestFieldSubclass, reinterpret_cast<DWORD_PTR>(&form_));
    browse_ = MakeControl(L"BUTTON", Wide(texts::kBrowseButton).c_str(), WS_TABSTOP | BS_PUSHBUTTON, hwnd_, kBrowseId);
    convert_ =
        MakeControl(L"BUTTON", Wide(texts::kConvertButton).c_str(), WS_TABSTOP | BS_PUSHBUTTON, hwnd_, kConvertId);
    MakeControl(L"STATIC", Wide(texts::kListName).c_str(), 0, hwnd_, kListLabelId);
    list_ = MakeControl(WC_LISTVIEWW, Wide(texts::kListName).c_str(),
                        WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, hwnd_, kListId, WS_EX_CLIENTEDGE);
    ::SetWindowSubclass(list_, ListProcedure, 1, reinterpret_cast<DWORD_PTR>(this));
    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
    for (int c = 0; c < kListColumns; ++c) {
        const std::wstring header = Wide(texts::kColumnHeaders[c]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = c == kSizeColumn ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = 64;
        column.pszText = const_cast<wchar_t*>(header.c_str());
        ListView_InsertColumn(list_, c, &column);
    }
    preview_.Create(hwnd_, kPreviewId);
    status_ = MakeControl(STATUSCLASSNAMEW, L"", SBARS_SIZEGRIP | WS_CLIPSIBLINGS, hwnd_, kStatusId);
    progress_ = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 0, 0, hwnd_,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressId)),
                                  ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowTextW(progress_, Wide(texts::kProgressName).c_str());
    stop_ = ::CreateWindowExW(0, L"BUTTON", Wide(texts::kStopButton).c_str(), WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON, 0,
                              0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStopId)),
                              ::GetModuleHandleW(nullptr), nullptr);
    // 参照 and 変換 say what they do when the pointer rests on them.
    const HWND tips = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                        hwnd_, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    for (const auto& [control, text] :
         {std::pair{browse_, texts::kBrowseTip}, std::pair{convert_, texts::kConvertTip}}) {
        const std::wstring tip = Wide(text);
        TOOLINFOW info{};
        info.cbSize = sizeof info;
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = hwnd_;
        info.uId = reinterpret_cast<UINT_PTR>(control);
        info.lpszText = const_cast<wchar_t*>(tip.c_str());
        ::SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
    for (HWND label :
         {::GetDlgItem(hwnd_, kSearchLabelId), ::GetDlgItem(hwnd_, kTreeLabelId), ::GetDlgItem(hwnd_, kListLabelId)}) {
        // Names for screen readers only: the controls they name show what they are.
        ::SetWindowPos(label, nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

int MainWindow::Dpi() const { return dpi_; }
int MainWindow::Scaled(int pixels) const { return ::MulDiv(pixels, Dpi(), 96); }
int MainWindow::Unscaled(int pixels) const { return ::MulDiv(pixels, 96, Dpi()); }
ScreenRect MainWindow::Scaled(const ScreenRect& r) const {
    return {Scaled(r.left), Scaled(r.top), Scaled(r.width), Scaled(r.height)};
}
ScreenRect MainWindow::Unscaled(const ScreenRect& r) const {
    return {Unscaled(r.left), Unscaled(r.top), Unscaled(r.width), Unscaled(r.height)};
}

void MainWindow::ApplyFonts() {
    // The system's UI font (Yu Gothic UI or Meiryo UI on a Japanese Windows), at this window's
    // dots per inch.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW base = metrics.lfMessageFont;
    base.lfHeight = -Scaled(12);
    for (HFONT font : {font_, bigFont_, listFont_}) {
        if (font) ::DeleteObject(font);
    }
    font_ = ::CreateFontIndirectW(&base);
    LOGFONTW big = base;
    big.lfHeight = -Scaled(19);
    bigFont_ = ::CreateFontIndirectW(&big);
    LOGFONTW listed = base;
    listed.lfHeight = -Scaled(13);
    listFont_ = ::CreateFontIndirectW(&listed);
    for (HWND control : {edit1_, tree_, label1_, combo_, label2_, edit2_, browse_, status_, stop_})
        SetFont(control, font_);
    SetFont(convert_, bigFont_);
    SetFont(list_, listFont_);
    preview_.SetFont(font_);
    preview_.SetLegendHeight(Scaled(design::kPreviewLegendHeight));
}

void MainWindow::Layout() {
    if (!hwnd_ || !list_) return;
    RECT client;
    ::GetClientRect(hwnd_, &client);
    ::SendMessageW(status_, WM_SIZE, 0, 0);
    RECT bar;
    ::GetWindowRect(status_, &bar);
    const int barHeight = bar.bottom - bar.top;
    const int height = std::max(0L, client.bottom - barHeight);
    const int width = client.right;
    const int pane = std::clamp(Scaled(panelWidth_), Scaled(16), std::max(Scaled(16), width - Scaled(100)));
    const int fieldHeight = Scaled(design::kSearchFieldHeight);
    ::MoveWindow(edit1_, 0, 0, pane, fieldHeight, TRUE);
    ::MoveWindow(tree_, 0, fieldHeight, pane, std::max(0, height - fieldHeight), TRUE);
    const int x0 = pane + Scaled(kSplitterWidth);
    // The top of the right pane as the form lays it out, from this machine's fonts.
    design::TopPaneMeasures measures;
    measures.label1 = Unscaled(TextWidth(label1_, font_, Wide(texts::kFileTypeLabel)));
    measures.label2 = Unscaled(TextWidth(label2_, font_, Wide(texts::kDestFolderLabel)));
    measures.labelHeight = std::max(16, Unscaled(static_cast<int>(TextSize(label1_, font_, L"ファ").cy)));
    int longestItem = 0;
    for (const char* item : texts::kFileTypeItems)
        longestItem = std::max(longestItem, TextWidth(combo_, font_, Wide(item)));
    measures.typeBox = Unscaled(longestItem + ::GetSystemMetrics(SM_CXVSCROLL)) + 10;
    measures.browse = Unscaled(TextWidth(browse_, font_, Wide(texts::kBrowseButton))) + 16;
    const design::TopPane top = design::LayOutTopPane(measures);
    const auto place = [&](HWND control, const design::Rect& r, int height) {
        ::MoveWindow(control, x0 + Scaled(r.left), Scaled(r.top), Scaled(r.width), Scaled(height), TRUE);
    };
    place(label1_, top.label1, top.label1.height);
    place(label2_, top.label2, top.label2.height);
    place(combo_, top.typeBox, 200);  // with room for its drop-down list
    place(edit2_, top.destField, top.destField.height);
    place(browse_, top.browse, top.browse.height);
    place(convert_, top.convert, top.convert.height);
    const int listTop = Scaled(design::kTopPaneHeight);
    // The preview below the list, at its height while the list keeps a few rows.
    const int listArea = std::max(0, height - listTop);
    const bool previewShown = ::IsWindowVisible(preview_.Handle()) != FALSE;
    const int preview = previewShown ? std::clamp(Scaled(previewHeight_), 0, std::max(0, listArea - Scaled(80))) : 0;
    const int gap = previewShown ? Scaled(kSplitterWidth) : 0;
    ::MoveWindow(list_, x0, listTop, std::max(0, width - x0), std::max(0, listArea - preview - gap), TRUE);
    if (previewShown) ::MoveWindow(preview_.Handle(), x0, height - preview, std::max(0, width - x0), preview, TRUE);
    // The progress bar and 中止 sit on the right of the status bar.
    const int stopWidth = Scaled(kStopWidth);
    const int progressWidth = Scaled(kProgressWidth);
    const int grip = ::GetSystemMetrics(SM_CXVSCROLL);
    // The status text's part ends where the bar and 中止 begin while a batch runs.
    const bool batch = ::IsWindowVisible(progress_) != FALSE;
    const int parts[2] = {batch ? std::max(0, width - grip - stopWidth - progressWidth - 4) : -1, -1};
    ::SendMessageW(status_, SB_SETPARTS, batch ? 2 : 1, reinterpret_cast<LPARAM>(parts));
    ::MoveWindow(stop_, width - grip - stopWidth, height + 1, stopWidth, barHeight - 2, TRUE);
    ::MoveWindow(progress_, width - grip - stopWidth - progressWidth - 2, height + 2, progressWidth, barHeight - 4,
                 TRUE);
    ::SetWindowPos(progress_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::SetWindowPos(stop_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    FillSpareWidth();
    ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void MainWindow::Splitting(int x) {
    panelWidth_ = std::max(16, Unscaled(x));
    Layout();
}

void MainWindow::Command(int id, int code) {
    switch (id) {
        case kMenuSearchFolder: form_.ChooseSearchFolder(); break;
        case kMenuFileType0:
        case kMenuFileType0 + 1:
        case kMenuFileType0 + 2:
        case kMenuFileType0 + 3: form_.FileTypeChosen(id - kMenuFileType0); break;
        case kMenuDestFolder:
        case kBrowseId:
            if (id == kMenuDestFolder || code == BN_CLICKED) form_.ChooseDestFolder();
            break;
        case kMenuConvert:
        case kConvertId:
            if (id == kMenuConvert || code == BN_CLICKED) form_.Convert();
            break;
        case kStopId:
            if (code == BN_CLICKED) {
                ::EnableWindow(stop_, FALSE);
                form_.Stop();
            }
            break;
        case kMenuExit: form_.Exit(); break;
        case kMenuAbout: form_.About(); break;
        case kMenuPreview: form_.TogglePreview(); break;
        case kTypeBoxId:
            if (code == CBN_SELCHANGE) {
                form_.FileTypeChosen(static_cast<int>(::SendMessageW(combo_, CB_GETCURSEL, 0, 0)));
            }
            break;
        default: break;
    }
}

LRESULT MainWindow::Notify(const NMHDR& header, LPARAM lparam) {
    if (header.hwndFrom == tree_) return TreeNotify(header, lparam);
    if (header.hwndFrom == list_ || header.hwndFrom == ListView_GetHeader(list_)) return ListNotify(header, lparam);
    return 0;
}

void MainWindow::Dropped(HDROP drop) {
    POINT at{};
    ::DragQueryPoint(drop, &at);
    std::vector<std::string> paths;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count && i < kDroppedPathsTaken; ++i) {
        std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.push_back(Utf8(path));
    }
    ::DragFinish(drop);
    const std::string folder = form_.DroppedFolder(paths);
    if (folder.empty()) {
        // Files are taken wherever they land.
        if (form_.DropBringsFiles(paths)) form_.FilesDropped(paths);
        return;
    }
    // The tree and the search folder field take a search folder, the destination field and 参照
    // a destination.
    const HWND under = ::ChildWindowFromPointEx(hwnd_, at, CWP_SKIPINVISIBLE);
    if (under == tree_ || under == edit1_) form_.SearchFolderDropped(folder);
    if (under == edit2_ || under == browse_) form_.DestFolderDropped(folder);
}

void MainWindow::ShowListMenu(LPARAM at) {
    POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (at == -1) {
        // From the keyboard: under the current file, or at the list's top.
        RECT row{};
        const int current = CurrentRow();
        point = current >= 0 && ListView_GetItemRect(list_, current, &row, LVIR_LABEL) ? POINT{row.left, row.bottom}
                                                                                       : POINT{0, 0};
        ::ClientToScreen(list_, &point);
    }
    const std::vector<ListMenuItem> items = form_.ListMenu();
    HMENU menu = ::CreatePopupMenu();
    for (std::size_t i = 0; i < items.size(); ++i) {
        ::AppendMenuW(menu, MF_STRING | (items[i].enabled ? MF_ENABLED : MF_GRAYED), i + 1,
                      Wide(items[i].text).c_str());
    }
    const int chosen = static_cast<int>(
        ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, point.x, point.y, 0, hwnd_, nullptr));
    ::DestroyMenu(menu);
    if (chosen > 0 && chosen <= static_cast<int>(items.size())) form_.ListMenuChosen(items[chosen - 1].command);
}

std::wstring MainWindow::StatusText() const { return statusText_; }

// ---- FormView: the desktop ----

void MainWindow::Breathe() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that waits for it
            return;
        }
        if (!TranslateKeys(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

// A batch's workers report faster than a window paints, and Windows hands posted messages out
// before the user's input: a message per report would leave the keyboard and the mouse (中止
// among them) waiting behind the reports. So the calls queue here; the first of a quiet spell
// wakes the window with a message, and while more keep coming a timer runs them every
// kPostedEveryMs, as timers wait for input and painting.
void MainWindow::Post(std::function<void()> call) {
    std::lock_guard lock(postMutex_);
    if (!postTarget_) return;
    posted_.push_back(std::move(call));
    if (!wakePosted_) wakePosted_ = ::PostMessageW(postTarget_, kCallMessage, 0, 0) != 0;
}

bool MainWindow::RunPosted() {
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(postMutex_);
        calls.swap(posted_);
    }
    for (auto& call : calls) {
        if (call) call();
    }
    return !calls.empty();
}

// The form and the settings count in pixels at 96 dots per inch, as the Qt window's logical
// pixels do; the window turns them into this screen's pixels and back.
std::vector<ScreenRect> MainWindow::Screens() {
    std::vector<ScreenRect> screens;
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&screens));
    for (ScreenRect& screen : screens) screen = Unscaled(screen);
    return screens;
}

// The settings keep the window's outer rectangle, as Windows places windows by it.
FrameMargins MainWindow::Frame() { return {}; }

void MainWindow::CloseWindow() {
    if (hwnd_) ::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

// ---- FormView: what it shows ----

void MainWindow::ShowStatus(const std::string& text, bool announce) {
    statusText_ = Wide(text);
    // The text's own part, left of the progress bar and 中止, which never cover it.
    ::SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(statusText_.c_str()));
    // The bar's own text is its name for screen readers; an announcement tells them it changed.
    ::SetWindowTextW(status_, statusText_.c_str());
    if (announce) ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, status_, OBJID_CLIENT, CHILDID_SELF);
}

void MainWindow::ShowSearchFolder(const std::string& folder) { ::SetWindowTextW(edit1_, Wide(folder).c_str()); }

void MainWindow::ShowDestFolder(const std::string& folder) { ::SetWindowTextW(edit2_, Wide(folder).c_str()); }

std::string MainWindow::DestFieldText() { return FieldText(edit2_); }

void MainWindow::ShowFileType(int type) {
    ::SendMessageW(combo_, CB_SETCURSEL, type >= 0 && type < 4 ? type : -1, 0);
    // One of the four is the file type: a radio group.
    if (type >= 0 && type < 4) {
        ::CheckMenuRadioItem(typeMenu_, kMenuFileType0, kMenuFileType0 + 3, kMenuFileType0 + type, MF_BYCOMMAND);
    }
    ::NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, combo_, OBJID_CLIENT, CHILDID_SELF);
}

void MainWindow::ShowActivity(FormActivity activity) {
    const design::Commands on = design::CommandsOf(activity);
    for (HWND control : {edit1_, combo_, edit2_, browse_, convert_}) ::EnableWindow(control, on.commands);
    ::EnableWindow(tree_, on.tree);
    for (int id : std::initializer_list<int>{kMenuSearchFolder, kMenuFileType0, kMenuFileType0 + 1, kMenuFileType0 + 2,
                                             kMenuFileType0 + 3, kMenuDestFolder, kMenuConvert, kMenuExit}) {
        ::EnableMenuItem(menu_, id, MF_BYCOMMAND | (on.commands ? MF_ENABLED : MF_GRAYED));
    }
    ::ShowWindow(progress_, on.batch ? SW_SHOW : SW_HIDE);
    ::ShowWindow(stop_, on.stop ? SW_SHOW : SW_HIDE);
    ::EnableWindow(stop_, on.stop);
    Layout();
    // Windows drops the focus of a control it disables: the keys still reach the window.
    const HWND focused = ::GetFocus();
    if (!focused || !::IsWindowEnabled(focused) || !::IsWindowVisible(focused)) ::SetFocus(hwnd_);
    // The bar and the button leave no trace on the status bar.
    ::InvalidateRect(status_, nullptr, TRUE);
}

HWND MainWindow::Control(FormControl control) const {
    switch (control) {
        case FormControl::SearchField: return edit1_;
        case FormControl::Tree: return tree_;
        case FormControl::TypeBox: return combo_;
        case FormControl::DestField: return edit2_;
        case FormControl::Browse: return browse_;
        case FormControl::Convert: return convert_;
        case FormControl::List: return list_;
        case FormControl::Stop: return stop_;
        case FormControl::None: break;
    }
    return nullptr;
}

FormControl MainWindow::FocusedControl() {
    const HWND focused = ::GetFocus();
    for (FormControl control : kFormControls) {
        const HWND window = Control(control);
        if (focused && (focused == window || ::IsChild(window, focused))) return control;
    }
    return FormControl::None;
}

void MainWindow::Focus(FormControl control) { FocusOn(Control(control)); }

void MainWindow::FocusOn(HWND control) {
    if (control && ::IsWindow(control) && ::IsWindowEnabled(control) && ::IsWindowVisible(control)) {
        // A tree taking the focus selects its first folder: that lists nothing.
        fillingTree_ = control == tree_;
        ::SetFocus(control);
        fillingTree_ = false;
    } else {
        ::SetFocus(hwnd_);  // the window's keys (Escape, the menu) still work
    }
}

void MainWindow::ShowProgress(int done, int total) {
    ::SendMessageW(progress_, PBM_SETRANGE32, 0, std::max(total, 1));
    ::SendMessageW(progress_, PBM_SETPOS, done, 0);
}

void MainWindow::ApplyLayout(const FormLayout& layout) {
    panelWidth_ = layout.panel1Width;
    previewHeight_ = layout.previewHeight;
    const ScreenRect window = Scaled(layout.window);
    ::SetWindowPos(hwnd_, nullptr, window.left, window.top, window.width, window.height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (layout.maximized) ::ShowWindow(hwnd_, SW_MAXIMIZE);
    Layout();
    HDC dc = ::GetDC(list_);
    const HGDIOBJ old = ::SelectObject(dc, listFont_);
    const auto measure = [&](const std::wstring& text) {
        SIZE size{};
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        return Unscaled(static_cast<int>(size.cx)) + 16;  // the list's margins
    };
    design::ColumnMeasures measures;
    for (int c = 0; c < kListColumns; ++c) {
        measures.header[c] = measure(Wide(texts::kColumnHeaders[c]));
        measures.sample[c] = measure(Wide(design::kColumnSamples[c]));
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(list_, dc);
    // The width the rows have when the list scrolls, as a long listing makes it, and a pixel
    // short of that: columns that fill it exactly still bring a horizontal scroll bar. Less
    // a pixel for each column too, which scaling its width may round up.
    RECT client{};
    ::GetClientRect(list_, &client);
    const bool scrolls = (::GetWindowLongW(list_, GWL_STYLE) & WS_VSCROLL) != 0;
    const int bar = scrolls ? 0 : static_cast<int>(::GetSystemMetricsForDpi(SM_CXVSCROLL, static_cast<UINT>(dpi_)));
    const int rowsWidth = static_cast<int>(client.right) - bar - 1 - kListColumns;
    const std::array<int, kListColumns> widths =
        design::ColumnWidths(layout.columnWidths, measures, Unscaled(std::max(0, rowsWidth)));
    for (int c = 0; c < kListColumns; ++c) {
        fillingMemo_ = true;
        ListView_SetColumnWidth(list_, c, Scaled(widths[c]));
        fillingMemo_ = false;
    }
    memoFloor_ = Scaled(widths[kMemoColumn]);
    Layout();
}

FormLayout MainWindow::CurrentLayout() {
    FormLayout layout;
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    RECT r{};
    // A maximised or minimised window keeps the place it comes back to.
    if (::GetWindowPlacement(hwnd_, &placement) && placement.showCmd != SW_SHOWNORMAL) {
        r = placement.rcNormalPosition;
        layout.maximized = placement.showCmd == SW_SHOWMAXIMIZED;
    } else {
        ::GetWindowRect(hwnd_, &r);
    }
    layout.window = Unscaled(ScreenRect{r.left, r.top, r.right - r.left, r.bottom - r.top});
    layout.panel1Width = panelWidth_;
    for (int c = 0; c < kListColumns; ++c) layout.columnWidths[c] = Unscaled(ListView_GetColumnWidth(list_, c));
    layout.columnWidths[kMemoColumn] = Unscaled(memoFloor_);
    layout.previewHeight = previewHeight_;
    return layout;
}

void MainWindow::ShowPreviewPane(bool shown) {
    if (menu_) ::CheckMenuItem(menu_, kMenuPreview, MF_BYCOMMAND | (shown ? MF_CHECKED : MF_UNCHECKED));
    if (!shown && ::GetFocus() == preview_.Handle()) FocusOn(list_);
    ::ShowWindow(preview_.Handle(), shown ? SW_SHOWNA : SW_HIDE);
    Layout();
}

}  // namespace quellmark
