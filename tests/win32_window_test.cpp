// The Win32 window's own wiring, driven with real input (SendInput) as a user drives it: a click
// is handled once, moving in the tree lists the folder, the keyboard alone converts, 中止 stops a
// batch, a folder typed into its field is searched, a dropped drawing is listed, Shift+F10 brings
// the list's menu, and a box is taken away unanswered. What the window decides is the form's, tested in its own suite.
#include "testkit.h"

#include "form/WindowTexts.h"
#include "render/styles.h"
#include "win32/MainWindow.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <initializer_list>
#include <memory>

namespace qmtest {
namespace {

using namespace quellmark;

// Records what the window asked of the desktop; folder pickers answer from a queue.
class RecordingDesktop final : public FormDesktop {
public:
    Answer MessageBox(const std::string& title, const std::string& text, BoxKind, Buttons buttons) override {
        boxes.push_back(title + "\n" + text);
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    void Beep() override { ++beeps; }
    void DismissBox() override {}
    std::string ChooseFolder(const std::string&, const std::string&) override {
        ++pickers;
        if (folders.empty()) return {};
        std::wstring folder = folders.front();
        folders.pop_front();
        return Utf8(folder);
    }
    void OpenWithShell(const std::filesystem::path& file, std::function<void(OpenProblem)>) override {
        opened.push_back(file.native());
    }
    bool EscapeDown() override { return false; }

    std::vector<std::string> boxes;
    int beeps = 0;
    int pickers = 0;
    std::deque<std::wstring> folders;
    std::vector<std::wstring> opened;
};

// Counts the listings of each folder, and holds the batch's writes until opened.
class WatchedFiles final : public GatedFileSystem {
public:
    std::error_code listFolder(const fs::path& folder, std::vector<FolderEntry>& entries) override {
        ++listings;
        return GatedFileSystem::listFolder(folder, entries);
    }
    int listings = 0;
};

void Send(std::initializer_list<INPUT> inputs) {
    std::vector<INPUT> all(inputs);
    ASSERT_EQ(::SendInput(static_cast<UINT>(all.size()), all.data(), sizeof(INPUT)), all.size());
}

INPUT Mouse(DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    return input;
}

INPUT Key(WORD key, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

// Types the text into the control with the focus, character by character.
void Type(const std::wstring& text) {
    std::vector<INPUT> inputs;
    for (wchar_t c : text) {
        for (bool up : {false, true}) {
            INPUT input{};
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = c;
            input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
            inputs.push_back(input);
        }
    }
    ASSERT_EQ(::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)), inputs.size());
}

// What the shell hands a window that takes dropped files: the path, wide, ended by two nulls.
HDROP DropOf(const std::wstring& path) {
    const HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::copy(path.begin(), path.end(), reinterpret_cast<wchar_t*>(drop + 1));
    ::GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

class Win32Window : public ::testing::Test {
protected:
    void SetUp() override {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                           ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&controls);
        fs::create_directories(dir / "app");
        fs::create_directories(dir / "out");
        fs::create_directories(data());
        WriteFile(data() / "a.jww", JwwWithMemo("\x95\xbd\x96\xca\x90\x7d"));  // 平面図
        WriteFile(data() / "b.jws", JwsDrawing());
        WriteFile(data() / "c.jww", BrokenJww("broken"));
        WriteFile(data() / "d.jww", JwwWithMemo("", 230));
    }
    void TearDown() override {
        files.Open();
        window.reset();
        ::CoUninitialize();
    }

    fs::path data() const { return dir / "data"; }
    static std::wstring Folder(const fs::path& path) { return (path / L"").wstring(); }

    // Shows the window, in front, and waits for its first search to end.
    MainWindow& Start() {
        window = std::make_unique<MainWindow>(desktop, dir / "app" / "", files);
        EXPECT_TRUE(window->Create(SW_SHOWNORMAL));
        ::SetForegroundWindow(window->Handle());
        Settle();
        return *window;
    }

    // Runs the window's messages until the condition holds, for at most ten seconds.
    bool PumpUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (!window->TranslateKeys(message)) {
                    ::TranslateMessage(&message);
                    ::DispatchMessageW(&message);
                }
            }
            if (done()) return true;
            ::Sleep(5);
        }
        return done();
    }
    // Lets the input sent so far arrive, and whatever it started end.
    void Settle() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
        EXPECT_TRUE(PumpUntil([&] { return std::chrono::steady_clock::now() > until && !window->Form().Busy(); }));
    }

    // A click, then the window's messages until it is idle again (unless told not to wait).
    void ClickAt(HWND control, POINT at, bool settle = true) {
        ::ClientToScreen(control, &at);
        // Where the press lands, in the 0 to 65535 of the whole screen that input takes.
        INPUT move = Mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE);
        move.mi.dx = ::MulDiv(at.x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
        move.mi.dy = ::MulDiv(at.y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
        Send({move, Mouse(MOUSEEVENTF_LEFTDOWN), Mouse(MOUSEEVENTF_LEFTUP)});
        if (settle) Settle();
    }
    void Click(HWND control, bool settle = true) {
        RECT r;
        ::GetClientRect(control, &r);
        ClickAt(control, {r.right / 2, r.bottom / 2}, settle);
    }
    // Presses the keys in turn, holding each until the last is pressed: a chord.
    void Press(std::initializer_list<WORD> chord) {
        std::vector<INPUT> inputs;
        for (WORD key : chord) inputs.push_back(Key(key, false));
        for (auto key = std::rbegin(chord); key != std::rend(chord); ++key) inputs.push_back(Key(*key, true));
        ASSERT_EQ(::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)), inputs.size());
        Settle();
    }
    void ClickRoot() {
        RECT r{};
        const HTREEITEM root = TreeView_GetRoot(window->Tree());
        ASSERT_TRUE(root);
        ASSERT_TRUE(TreeView_GetItemRect(window->Tree(), root, &r, TRUE));
        // On the start of its name: a long name runs past the pane.
        ClickAt(window->Tree(), {r.left + 8, (r.top + r.bottom) / 2});
    }
    void ClickRow(int row, WORD held = 0) {
        RECT r{};
        ASSERT_TRUE(ListView_GetItemRect(window->List(), row, &r, LVIR_LABEL));
        if (held) Send({Key(held, false)});
        ClickAt(window->List(), {r.left + 4, (r.top + r.bottom) / 2});
        if (held) Send({Key(held, true)});
        Settle();
    }
    std::vector<int> Selected() {
        std::vector<int> rows;
        for (int r = ListView_GetNextItem(window->List(), -1, LVNI_SELECTED); r >= 0;
             r = ListView_GetNextItem(window->List(), r, LVNI_SELECTED)) {
            rows.push_back(r);
        }
        return rows;
    }

    TempDir dir;
    RecordingDesktop desktop;
    WatchedFiles files;
    std::unique_ptr<MainWindow> window;
};

TEST_F(Win32Window, EachClickIsHandledOnce) {
    files.Open();
    MainWindow& w = Start();
    desktop.folders = {Folder(data()), Folder(dir / "out")};

    Click(w.SearchField());
    EXPECT_EQ(desktop.pickers, 1);
    ASSERT_TRUE(w.Form().FSearchReady);

    // A click on a folder lists it once; a click on the folder already listed lists it again.
    files.listings = 0;
    ClickRoot();
    EXPECT_EQ(files.listings, 1);
    ASSERT_EQ(ListView_GetItemCount(w.List()), 4)
        << w.Form().Status() << " rows " << w.Form().Rows().size() << " beeps " << desktop.beeps << " listed "
        << w.Form().ListedFolder();
    ::Sleep(::GetDoubleClickTime() + 50);  // not a double click
    ClickRoot();
    EXPECT_EQ(files.listings, 2);

    Click(w.BrowseButton());
    EXPECT_EQ(desktop.pickers, 2);
    EXPECT_EQ(w.Form().FDestFolder, Utf8(Folder(dir / "out")));

    // One click on a header sorts one way: a second handling would turn the order back.
    RECT header{};
    Header_GetItemRect(ListView_GetHeader(w.List()), kSizeColumn, &header);
    ClickAt(ListView_GetHeader(w.List()), {(header.left + header.right) / 2, (header.top + header.bottom) / 2});
    const auto& rows = w.Form().Rows();
    ASSERT_EQ(rows.size(), 4u);
    for (std::size_t i = 1; i < rows.size(); ++i) EXPECT_LE(rows[i - 1].size, rows[i].size);

    // Ctrl+click adds a row, Shift+click selects the rows from the last one clicked.
    ClickRow(0);
    ClickRow(2, VK_CONTROL);
    EXPECT_EQ(Selected(), (std::vector<int>{0, 2}));
    ClickRow(3, VK_SHIFT);
    EXPECT_EQ(Selected(), (std::vector<int>{2, 3}));
    EXPECT_EQ(desktop.beeps, 0);
}

TEST_F(Win32Window, TheKeyboardAloneConverts) {
    files.Open();
    MainWindow& w = Start();
    desktop.folders = {Folder(data()), Folder(dir / "out")};

    // ファイル → 検索フォルダの指定 by its access keys (sent at once: the menu's own loop reads
    // them), then Enter in the tree, which has the focus: the folder lists.
    Send({Key(VK_MENU, false), Key('F', false), Key('F', true), Key(VK_MENU, true), Key('S', false), Key('S', true)});
    Settle();
    ASSERT_TRUE(w.Form().FSearchReady);
    ASSERT_EQ(::GetFocus(), w.Tree());
    EXPECT_EQ(ListView_GetItemCount(w.List()), 0);  // the focus alone lists nothing
    // The search leaves its folder current and its own word on the status bar; Enter lists it.
    EXPECT_EQ(w.Form().Status(), "フォルダ検索を完了しました。（1 フォルダ）");
    Press({VK_RETURN});
    EXPECT_EQ(ListView_GetItemCount(w.List()), 4);

    // 参照 by its access key, Tab to the list, every file, Ctrl+Enter.
    Press({VK_MENU, 'B'});
    EXPECT_EQ(desktop.pickers, 2);
    for (int i = 0; i < 6 && ::GetFocus() != w.List(); ++i) Press({VK_TAB});
    ASSERT_EQ(::GetFocus(), w.List());
    Press({VK_CONTROL, 'A'});
    EXPECT_EQ(Selected().size(), 4u);
    desktop.boxes.clear();
    Press({VK_CONTROL, VK_RETURN});
    ASSERT_TRUE(PumpUntil([&] { return !w.Form().Busy() && desktop.boxes.size() >= 2; }));
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(dir / "out")) written.push_back(entry.path().filename().string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"a.jww", "b.jws", "d.jww"}));
    // The confirmation, then the list of what could not be converted, with its reason.
    EXPECT_NE(desktop.boxes.back().find("c.jww"), std::string::npos) << desktop.boxes.back();
}

TEST_F(Win32Window, StopEndsTheBatchAfterTheDrawingsUnderWay) {
    for (int i = 0; i < 40; ++i) WriteFile(data() / ("m" + std::to_string(100 + i) + ".jww"), JwwWithMemo(""));
    MainWindow& w = Start();
    desktop.folders = {Folder(data()), Folder(dir / "out")};
    Click(w.SearchField());
    ClickRoot();
    Click(w.BrowseButton());
    ClickRow(0);
    Press({VK_CONTROL, 'A'});

    Click(w.ConvertButton(), false);
    ASSERT_TRUE(PumpUntil([&] { return files.Waiting(); }));
    EXPECT_TRUE(::IsWindowVisible(w.StopButton()));
    EXPECT_EQ(::GetFocus(), w.StopButton());
    Click(w.StopButton(), false);
    ASSERT_TRUE(PumpUntil([&] { return w.Form().Status() == texts::kStopping; }));
    files.Open();
    ASSERT_TRUE(PumpUntil([&] { return !w.Form().Busy(); }));
    EXPECT_FALSE(::IsWindowVisible(w.StopButton()));
    std::size_t written = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir / "out")) ++written;
    EXPECT_LT(written, 20u);
    ASSERT_FALSE(desktop.boxes.empty());
    EXPECT_NE(w.Form().Status().find(texts::kStopped), std::string::npos) << w.Form().Status();
}

}  // namespace
}  // namespace qmtest

namespace qmtest {
namespace {

TEST_F(Win32Window, AFolderIsTypedAFileDroppedAndTheListHasAMenu) {
    files.Open();
    MainWindow& w = Start();
    // The empty search folder field: a click opens the picker (cancelled); a folder typed there
    // is searched with Enter.
    Click(w.SearchField());
    EXPECT_EQ(desktop.pickers, 1);
    Type(Folder(data()));
    Press({VK_RETURN});
    ASSERT_TRUE(PumpUntil([&] { return w.Form().FSearchReady && !w.Form().Busy(); }));
    EXPECT_EQ(desktop.pickers, 1);

    // A drawing dropped on the window: its folder listed, the drawing selected.
    ::SendMessageW(w.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf((data() / "b.jws").wstring())), 0);
    Settle();
    EXPECT_EQ(ListView_GetItemCount(w.List()), 4);
    EXPECT_EQ(Selected(), (std::vector<int>{1}));

    // Shift+F10 in the list brings its menu (sent at once: the menu's own loop reads the rest);
    // フォルダを開く opens the listed folder.
    ASSERT_EQ(::GetFocus(), w.List());
    Send({Key(VK_SHIFT, false), Key(VK_F10, false), Key(VK_F10, true), Key(VK_SHIFT, true), Key('F', false),
          Key('F', true)});
    Settle();
    EXPECT_EQ(desktop.opened, (std::vector<std::wstring>{Folder(data())}));
}

SystemDesktop* dismissing = nullptr;

// The close question during a batch is ended from the window's thread when the batch ends.
TEST_F(Win32Window, ABoxIsTakenAwayAsUnanswered) {
    files.Open();
    MainWindow& w = Start();
    SystemDesktop system;
    system.SetOwner([&w] { return w.Handle(); });
    dismissing = &system;
    ::SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR timer, DWORD) {
        ::KillTimer(nullptr, timer);
        dismissing->DismissBox();
    });
    EXPECT_EQ(system.MessageBox({}, texts::kCloseDuringBatch, BoxKind::Confirmation, Buttons::YesNo), Answer::Closed);
}

// The preview pane below the list paints the current row's drawing with GDI, its dimension in
// the mark's colour; F3 hides it.
TEST_F(Win32Window, ThePanePaintsTheCurrentDrawingWithItsMark) {
    JwwPlan plan;
    Dimension dimension;
    dimension.line = {{}, -150, 0, 150, 0};
    plan.entities = {dimension};
    WriteFile(data() / "e.jww", BuildJww(plan));
    files.Open();
    MainWindow& w = Start();
    desktop.folders = {Folder(data())};
    w.Form().ChooseSearchFolder();
    ASSERT_TRUE(PumpUntil([&] { return w.Form().FSearchReady && !w.Form().Busy(); }));
    ClickRoot();
    ClickRow(4);  // e.jww
    const PreviewPane& pane = w.Form().Pane();
    ASSERT_TRUE(PumpUntil([&] { return pane.State() == PaneState::Picture; }));
    ASSERT_TRUE(::IsWindowVisible(w.Preview().Handle()));

    RECT client{};
    ::GetClientRect(w.Preview().Handle(), &client);
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HDC dc = ::CreateCompatibleDC(nullptr);
    const HBITMAP bitmap = ::CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_TRUE(bitmap);
    const HGDIOBJ old = ::SelectObject(dc, bitmap);
    w.Preview().PaintInto(dc, client.right, client.bottom);
    ::GdiFlush();
    const std::uint32_t mark = render::MarkColor(render::DimensionMark::ToMark);
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    long marked = 0;
    for (long i = 0; i < client.right * client.bottom; ++i) marked += (pixels[i] & 0xFFFFFF) == mark;
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    EXPECT_GT(marked, 20);

    Press({VK_F3});
    EXPECT_FALSE(::IsWindowVisible(w.Preview().Handle()));
    EXPECT_EQ(pane.State(), PaneState::Hidden);
}

}  // namespace
}  // namespace qmtest
