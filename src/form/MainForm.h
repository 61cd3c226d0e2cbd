// The main window's decisions, free of any toolkit: what it is doing (idle, searching, listing,
// converting), the folder tree and the folder the list belongs to, the search and the listing in
// steps that Escape or another command can stop, the rows and their texts, sorting and the
// selection kept by name, the commands and their refusals, the Convert batch with its progress,
// Stop and report, the settings with their checks and the placement on the screens there are.
// A window (Qt on Linux, Win32 on Windows) implements FormView: it draws what the form says and
// hands the form what the user did, so nothing is decided twice.
#pragma once

#include "../convert/session.h"
#include "../platform/files.h"
#include "Box.h"
#include "FormDesktop.h"
#include "FolderSearch.h"
#include "FormSettings.h"
#include "PreviewPane.h"
#include "WindowPlacement.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace quellmark {

enum class FormActivity { Idle, Searching, Listing, Converting };

inline constexpr int kListColumns = 6;
inline constexpr int kNameColumn = 0;
inline constexpr int kSizeColumn = 1;
inline constexpr int kMemoColumn = 3;
inline constexpr int kAttributeColumn = 5;

// A folder of the tree. Node 0 is the root, whose name is the search folder itself.
struct FolderNode {
    std::string name;
    int parent = -1;
    std::vector<int> children;  // in name order
};

// The controls the keyboard's focus can be on, as the form names them.
enum class FormControl { None, SearchField, Tree, TypeBox, DestField, Browse, Convert, List, Stop };
inline constexpr FormControl kFormControls[] = {FormControl::SearchField, FormControl::Tree,   FormControl::TypeBox,
                                                FormControl::DestField,   FormControl::Browse, FormControl::Convert,
                                                FormControl::List,        FormControl::Stop};

// One file row of the list as it shows, cell by cell.
struct FileRow {
    std::array<std::string, kListColumns> cells;
    std::uint64_t size = 0;
};

// The commands of the file list's context menu.
enum class ListCommand { Open, Convert, OpenFolder };
struct ListMenuItem {
    ListCommand command;
    const char* text;  // with its access key
    bool enabled;
};

// The window's own geometry, the folder pane and the columns, as the settings keep them.
struct FormLayout {
    ScreenRect window;  // without the frame the window manager adds; the normal place when maximised
    bool maximized = false;
    int panel1Width = 0;
    std::array<int, kListColumns> columnWidths{};  // FormSettings::kFitColumn: fit to the contents
    bool previewShown = true;
    int previewHeight = 0;  // the preview pane's, below the list
};

class FormView {
public:
    virtual ~FormView() = default;

    // Lets the window paint and answer input for a moment during a long command.
    virtual void Breathe() = 0;
    // Runs the call on the window's thread soon; safe from any thread.
    virtual void Post(std::function<void()> call) = 0;
    // The available areas of the screens, and the frame the window manager puts around the window.
    virtual std::vector<ScreenRect> Screens() = 0;
    virtual FrameMargins Frame() = 0;

    // ---- what it shows ----
    // The status bar's text; announce: screen readers are to say it now (the end of a listing
    // or a batch, a refusal), not only when asked.
    virtual void ShowStatus(const std::string& text, bool announce) = 0;
    virtual void ShowSearchFolder(const std::string& folder) = 0;
    virtual void ShowDestFolder(const std::string& folder) = 0;
    // What the destination field holds now, typed or shown.
    virtual std::string DestFieldText() = 0;
    virtual void ShowFileType(int type) = 0;  // -1: none
    // Which commands take input (design::CommandsOf): while a search, a listing or a batch
    // runs, only Stop (and Escape) do; a batch shows its progress and the Stop button.
    virtual void ShowActivity(FormActivity activity) = 0;
    // Where the keyboard's focus is, and puts it on a control (or, when that takes no input
    // now, on the window itself, whose keys still work).
    virtual FormControl FocusedControl() = 0;
    virtual void Focus(FormControl control) = 0;
    virtual void ShowProgress(int done, int total) = 0;
    virtual void ApplyLayout(const FormLayout& layout) = 0;
    virtual FormLayout CurrentLayout() = 0;

    // The tree: emptied, grown while a search runs (each folder's subfolders together, in name
    // order, in batches of the window's thread), and shown whole at its end.
    virtual void ClearTree() = 0;
    virtual void AddFolder(int node, int parent, const std::string& name) = 0;
    virtual void ShowTree(const std::vector<FolderNode>& tree) = 0;

    // The list shows the form's rows (MainForm::Rows), read when it draws them: emptied, rows
    // added at the end from first on, all rows shown again (after a sort), one column's texts
    // shown again (the sizes after a change of their width).
    virtual void ClearList() = 0;
    virtual void AddRows(std::size_t first) = 0;
    virtual void ShowRows() = 0;
    virtual void ShowColumn(int column) = 0;
    // The pixels the size column's texts have, for the padding of a listing.
    virtual int SizeColumnPixels() = 0;
    // The rows selected (0 for the first file), and the current one (-1: none).
    virtual std::vector<int> SelectedRows() = 0;
    virtual int CurrentRow() = 0;
    virtual void SelectRows(const std::vector<int>& rows, int current) = 0;
    virtual void ShowSortOrder(int column, bool descending) = 0;  // column -1: none

    // The preview pane (MainForm::Pane): shown or hidden, and drawn again from what it holds
    // (picture, transform, legend, or the reason there is none).
    virtual void ShowPreviewPane(bool shown) = 0;
    virtual void ShowPreview() = 0;

    virtual void CloseWindow() = 0;
};

class MainForm {
public:
    // appDir: the program's folder, with a trailing separator: the settings file and TEMP are
    // found from it. Drawings, folders and the settings go through files.
    MainForm(FormView& view, FormDesktop& desktop, FileSystem& files, std::filesystem::path appDir);
    ~MainForm();
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    // A folder named on the command line: searched once the window shows, in place of the one
    // the settings keep. Called before Shown.
    void SearchAtStart(const std::string& folder);

    // ---- what the user did ----
    void Shown();  // the window is on the screen for the first time
    // The window is asked to close (its close box, Alt+F4); true when it may close now. It asks
    // as ファイル → 終了 does; during a search or a listing it stops them and closes once they
    // have; during a batch it asks whether to stop it, and closes once it has.
    bool CloseRequested();
    // The system ends the session: closes without asking (a batch is stopped first).
    bool CloseForced();
    void ChooseSearchFolder();  // the menu item
    // A click on the search folder field holding this text: while it shows no folder (as at
    // the first start), the click chooses one with the picker; otherwise it is an edit's click.
    void SearchFieldClicked(const std::string& text);
    // Enter in the search folder field: an empty field chooses with the picker; a typed or
    // pasted folder that is there is searched as if chosen with the picker; anything else is
    // refused saying why, and nothing changes.
    void SearchFolderEntered(const std::string& text);
    // The folder a drop of these paths brings: one folder, else none (empty). A window takes
    // such a drop where a folder means something and hands it to the two calls below.
    std::string DroppedFolder(const std::vector<std::string>& paths);
    void SearchFolderDropped(const std::string& folder);  // a folder dropped on the tree
    void FolderChosen(int node);                          // keys moved to a folder; a click on it
    // A click in the tree: on a folder (its node), or where there is none (-1), which asks for a
    // search folder while there is no tree.
    void TreeClicked(int node);
    void FileTypeChosen(int type);  // the type box or the menu
    void ChooseDestFolder();        // 参照, or the menu item
    void DestFolderDropped(const std::string& folder);
    // Enter in the destination field: an empty field chooses with the picker; a typed or pasted
    // folder is checked (absolute, there, a folder, writable) and taken, or refused saying why.
    // 変換 checks what the field holds in the same way.
    void DestFolderEntered(const std::string& text);
    // Whether a drop of these paths brings files (no folder): the window takes such a drop
    // anywhere and hands it to FilesDropped.
    bool DropBringsFiles(const std::vector<std::string>& paths);
    // Files dropped on the window: the drawings among them (of one folder) are listed with
    // their folder and selected; other files are said in the status to do nothing.
    void FilesDropped(const std::vector<std::string>& paths);
    void Convert();                  // 変換
    void Stop();                     // 中止: of a batch or a folder search
    void HeaderClicked(int column);  // a click on a column's header
    void ColumnKey(int number);      // Ctrl and a column's number, 1 to 6
    // Escape: stops a search or a listing under way; a press while none runs is nothing.
    void EscapePressed();
    void Refresh();                         // F5: the tree's folder listed again
    void SizeWidthChanged(int characters);  // the size column now holds this many
    void RowOpened(int row);                // a double click, or Enter, on a row
    void CurrentRowChanged();               // the list's current row moved: the pane shows its drawing
    void TogglePreview();                   // 表示 → プレビュー, F3
    // The file list's context menu (right click, Shift+F10, the menu key): its items, enabled
    // as the current activity and the list allow, and the one chosen.
    std::vector<ListMenuItem> ListMenu();
    void ListMenuChosen(ListCommand command);
    void Exit();                            // ファイル → 終了
    void About();                           // ヘルプ → バージョン情報, F1
    // The program's version, for the About box.
    void SetVersion(std::string version) { version_ = std::move(version); }

    // ---- what the window shows, for a view and its tests ----
    FormActivity Activity() const { return activity_; }
    bool Busy() const { return activity_ != FormActivity::Idle; }
    const std::string& Status() const { return status_; }
    const std::vector<FolderNode>& Tree() const { return tree_; }
    const std::vector<FileRow>& Rows() const { return rows_; }
    // The folder a node stands for, with a trailing separator.
    std::string NodePath(int node) const;
    // The folder the list was filled from: what Convert, sorting and the re-listing act on.
    const std::string& ListedFolder() const { return listedFolder_; }
    const std::filesystem::path& SettingsFile() const { return settingsWrite_; }
    const std::filesystem::path& TempFolder() const { return tempFolder_; }
    // The preview pane; a view hands it the pane's size, the wheel, drags and keys.
    PreviewPane& Pane() { return pane_; }
    const PreviewPane& Pane() const { return pane_; }

    // The window's state as the original names it.
    bool FSearchReady = false;     // the folder tree has at least its root node
    bool FListShown = false;       // the list holds at least one file
    bool FSortDescending = false;  // the direction the list is sorted in by FSortColumn
    int FSortColumn = -1;          // the column the list is sorted by; -1: name order
    bool FSearchAborted = false;   // the last folder search was stopped (Escape, 中止, a close) before its end
    std::string FSearchFolder;
    std::string FDestFolder;
    std::string FLastFileName;
    int FFileType = 0;

private:
    class Batch;

    void ShowStatus(const std::string& text);
    // The status, said by screen readers at once.
    void Announce(const std::string& text);
    // Starts a command: an Escape pressed before it stops nothing.
    void CommandStarts();
    // Whether Escape was pressed during this search or listing, or is held now.
    bool EscapeSeen();
    // The folder picker, with the focus put back where it was.
    std::string PickFolder(const char* title, const std::string& start);
    // Beeps and refuses a command while another runs; true when refused.
    bool Refused();
    void AskForSearchFolder();
    // A folder typed into a field that cannot be taken: a beep, a box and the status say why.
    void RefuseTypedFolder(const std::string& why);
    // Takes what the destination field holds as the destination; false when it was refused.
    bool TakeDestField(const std::string& text);
    // The node of the tree that stands for the folder; -1 when none does.
    int NodeOfFolder(const std::string& folder) const;
    // What says why the desktop could not open a file or a folder (gone: what to say when it
    // is not there); it may run after the form has gone.
    std::function<void(OpenProblem)> OpenFailure(const char* gone);
    // Lists the node's folder with the files of these names selected, the keyboard in the list.
    void ShowDroppedFiles(int node, const std::vector<std::string>& names);
    void SearchAgainLater(const std::string& folder);
    // Where the settings, the scratch files and the pickers go: the user's own places for a
    // program the packages installed, else beside the program as far as it can take them.
    void ChoosePlaces();
    // Where the settings are read from and written to, with a notice when the folder beside the
    // program cannot take them.
    void ChooseSettingsFiles();
    std::string HomeOrProgramFolder() const;
    void ApplySettings(FormSettings settings);
    void WriteSettings();

    void SearchFolders();
    // Takes what the search found since last time into the tree, and ends the search when it is over.
    void AddFoundFolders();
    void SearchEnded(bool whole);

    void ListFiles(const std::string& folder);
    void FillList(const std::string& folder);
    FileRow RowOf(const std::string& folder, const FolderEntry& entry, int sizeWidth);
    std::string DrawingMemo(const std::filesystem::path& file);
    void SortByColumn(int column, bool descending);
    std::vector<std::string> SelectedNames();
    void SelectNames(const std::vector<std::string>& names, const std::string& current);

    void BatchFinished();
    // The pane shows the drawing of the list's current row (none without one).
    void PreviewCurrentRow();

    FormView& view_;
    FormDesktop& desktop_;
    FileSystem& files_;
    std::filesystem::path appDir_;
    std::filesystem::path settingsRead_;
    std::filesystem::path settingsWrite_;
    std::filesystem::path tempFolder_;
    bool removeTempAtClose_ = false;  // the program's own scratch folder, not the system's
    std::string startFolder_;         // where the search folder's picker starts while none is set
    std::string searchAtStart_;
    std::string version_;
    FormActivity activity_ = FormActivity::Idle;
    std::string status_;
    bool shown_ = false;
    bool closed_ = false;
    bool closeWhenIdle_ = false;
    bool listingAborted_ = false;
    bool escapeLatched_ = false;  // Escape pressed while the current search or listing runs
    bool exitConfirmed_ = false;  // the user said yes to ending the program
    bool closeQuestionUp_ = false;                // the question whether to stop a batch and close is up
    bool closeQuestionDismissed_ = false;         // and the batch ended under it, which took it away
    std::vector<std::string> selectAfterSearch_;  // the drawings dropped, selected once their folder is searched
    FormControl focusBeforeBatch_ = FormControl::None;
    std::string nextListing_;
    std::string listedFolder_;
    std::vector<FolderNode> tree_;
    std::unique_ptr<FolderSearch> search_;
    std::vector<int> unreadable_;  // folders of the tree the search could not read
    std::vector<FileRow> rows_;
    int sizeWidth_ = 0;  // the characters the sizes are padded to now; 0 before any listing
    std::unique_ptr<Batch> batch_;
    PreviewPane pane_;
    int previewHeight_ = 0;  // the pane's height as the settings gave it
    // Lives as long as the form: a call posted to the window's thread finds it gone when the
    // form went first.
    std::shared_ptr<MainForm*> alive_;
};

}  // namespace quellmark
