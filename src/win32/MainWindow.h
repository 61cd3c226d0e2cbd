// The Win32 main window, a view of the main form: the search folder field and the folder tree on
// the left, the file type box, the destination field with 参照, 変換 and the file list (a virtual
// report-view list) on the right, the status bar with the progress bar and 中止 below. Standard
// controls only, so screen readers and test tools see them; it draws what the form says and
// hands it what the user did.
#pragma once

#include "../form/MainForm.h"
#include "PreviewWindow.h"
#include "Win32Desktop.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <filesystem>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace quellmark {

class MainWindow final : private FormView {
public:
    // appDir: the program's folder with a trailing separator.
    MainWindow(FormDesktop& desktop, const std::filesystem::path& appDir, FileSystem& files);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Makes the window and shows it as showCommand says; false when Windows would not make it.
    bool Create(int showCommand);
    // Whether the message belongs to the window's keyboard handling (Tab, access keys, Escape);
    // the message loop hands it on only when not.
    bool TranslateKeys(MSG& message);
    bool Closed() const { return hwnd_ == nullptr; }

    MainForm& Form() { return form_; }
    HWND Handle() const { return hwnd_; }
    // The controls, for the window's tests.
    HWND SearchField() const { return edit1_; }
    HWND Tree() const { return tree_; }
    HWND TypeBox() const { return combo_; }
    HWND DestField() const { return edit2_; }
    HWND BrowseButton() const { return browse_; }
    HWND ConvertButton() const { return convert_; }
    HWND StopButton() const { return stop_; }
    HWND List() const { return list_; }
    HWND StatusBar() const { return status_; }
    PreviewWindow& Preview() { return preview_; }
    // The text the status bar shows.
    std::wstring StatusText() const;

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    // The list's own messages first: a scroll bar that comes or goes changes the width to fill.
    static LRESULT CALLBACK ListProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                          DWORD_PTR window);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    void CreateControls();
    void CreateMenus();
    void ApplyFonts();
    void Layout();
    void Command(int id, int code);
    LRESULT Notify(const NMHDR& header, LPARAM lparam);
    LRESULT ListNotify(const NMHDR& header, LPARAM lparam);
    LRESULT TreeNotify(const NMHDR& header, LPARAM lparam);
    // Puts the form's node into the control below parent, with a button when it holds folders.
    HTREEITEM InsertNode(int node, HTREEITEM parent, bool hasFolders);
    // Puts the node's folders into the control, once: when its branch first opens.
    void FillBranch(int node);
    void Dropped(HDROP drop);
    // The list's context menu as the form gives it, at a point of the screen (-1: the keyboard's).
    void ShowListMenu(LPARAM at);
    void Splitting(int x);
    // Pixels at 96 dots per inch (the design's, the form's and the settings') at this window's,
    // and back.
    int Dpi() const;
    int Scaled(int pixels) const;
    int Unscaled(int pixels) const;
    ScreenRect Scaled(const ScreenRect& r) const;
    ScreenRect Unscaled(const ScreenRect& r) const;
    void FillSpareWidth();
    // Runs the calls other threads posted; false when there were none.
    bool RunPosted();
    void SizeColumnChanged();
    int CharWidth() const;
    // Gives the control the focus, or the window when it takes none now.
    void FocusOn(HWND control);
    HWND Control(FormControl control) const;
    // The list's item count, after the form's rows changed.
    void CountRows(DWORD flags);

    // ---- FormView ----
    void Breathe() override;
    void Post(std::function<void()> call) override;
    std::vector<ScreenRect> Screens() override;
    FrameMargins Frame() override;
    void ShowStatus(const std::string& text, bool announce) override;
    void ShowSearchFolder(const std::string& folder) override;
    void ShowDestFolder(const std::string& folder) override;
    std::string DestFieldText() override;
    void ShowFileType(int type) override;
    void ShowActivity(FormActivity activity) override;
    FormControl FocusedControl() override;
    void Focus(FormControl control) override;
    void ShowProgress(int done, int total) override;
    void ApplyLayout(const FormLayout& layout) override;
    FormLayout CurrentLayout() override;
    void ClearTree() override;
    void AddFolder(int node, int parent, const std::string& name) override;
    void ShowTree(const std::vector<FolderNode>& tree) override;
    void ClearList() override;
    void AddRows(std::size_t first) override;
    void ShowRows() override;
    void ShowColumn(int column) override;
    int SizeColumnPixels() override;
    std::vector<int> SelectedRows() override;
    int CurrentRow() override;
    void SelectRows(const std::vector<int>& rows, int current) override;
    void ShowSortOrder(int column, bool descending) override;
    // The preview pane below the list; its height is the one the settings keep.
    void ShowPreviewPane(bool shown) override;
    void ShowPreview() override { preview_.Repaint(); }
    void CloseWindow() override;

    MainForm form_;
    PreviewWindow preview_{form_.Pane()};
    int previewHeight_ = 200;  // at 96 dots per inch
    HWND hwnd_ = nullptr;
    HWND edit1_ = nullptr;
    HWND tree_ = nullptr;
    HWND label1_ = nullptr;
    HWND combo_ = nullptr;
    HWND label2_ = nullptr;
    HWND edit2_ = nullptr;
    HWND browse_ = nullptr;
    HWND convert_ = nullptr;
    HWND list_ = nullptr;
    HWND status_ = nullptr;
    HWND progress_ = nullptr;
    HWND stop_ = nullptr;
    HMENU menu_ = nullptr;
    HMENU typeMenu_ = nullptr;
    HFONT font_ = nullptr;
    HFONT bigFont_ = nullptr;
    HFONT listFont_ = nullptr;
    int panelWidth_ = 160;  // the folder pane, at 96 dots per inch
    int dpi_ = 96;          // the window's dots per inch
    bool splitting_ = false;
    bool fillingTree_ = false;  // the tree changes because the window fills it, not because of the user
    HWND focused_ = nullptr;    // the control with the focus when the window last went inactive
    bool shown_ = false;
    int memoFloor_ = 0;
    bool fillingMemo_ = false;
    std::vector<HTREEITEM> items_;  // by the form's node; none for a node in a branch never opened
    std::vector<bool> filled_;      // by the form's node: its folders are in the control
    std::wstring cellText_;         // the text handed to the list for its last request
    std::wstring statusText_;
    std::mutex postMutex_;  // guards the three below, which other threads' Post reaches
    HWND postTarget_ = nullptr;
    std::deque<std::function<void()>> posted_;
    bool wakePosted_ = false;  // a message or the timer will run them
};

}  // namespace quellmark
