// The main form without any toolkit, through a view that records what it is told, so both windows
// are held by the same tests: the listing's rows and texts, the selection kept by name through
// sorts and re-listings, the sort kept, Escape, Convert's choice of rows and its question, the
// folder tree growing while its search runs, stopped or with a folder it cannot read,
// closing (and the close question a batch's end takes away), the focus, the checks of values
// from the settings file, the settings going to the user's folder when the program's cannot take
// them or the packages own it, the window's command line, a destination lost during a batch,
// folders typed into the fields, drawings dropped on the window and the list's context menu.
#include "testkit.h"

#include "form/FileListText.h"
#include "form/FormSettings.h"
#include "form/MainForm.h"
#include "form/UnitIni.h"
#include "form/WindowArguments.h"
#include "render/styles.h"

#include <array>
#include <chrono>
#include <map>
#include <deque>
#include <mutex>
#include <thread>

using namespace quellmark;
using namespace qmtest;

namespace {

class RecordingView final : public FormView, public FormDesktop {
public:
    struct Box {
        std::string title;
        std::string text;
        BoxKind kind;
    };
    std::vector<Box> boxes;
    int beeps = 0;
    std::deque<std::string> folders;  // what the pickers answer; empty means cancelled
    Answer answer = Answer::Yes;
    std::string status;
    std::vector<FileRow> rows;
    std::vector<int> selected;
    int current = -1;
    FormLayout layout;
    bool closed = false;
    bool announced = false;  // the status was last shown to be said at once
    bool escapeHeld = false;
    FormControl focus = FormControl::None;
    int sortColumn = -1;
    bool sortDescending = false;
    std::vector<std::string> added;  // the tree's folders as they were added
    std::string destField;           // what the destination field holds
    int fileType = 0;

    void Beep() override { ++beeps; }
    // Runs while the next box is up, as the window's events go on under a modal box.
    std::function<void()> duringBox;
    bool dismissed = false;  // the box up was taken away
    Answer MessageBox(const std::string& title, const std::string& text, BoxKind kind, Buttons buttons) override {
        boxes.push_back({title, text, kind});
        if (auto events = std::exchange(duringBox, nullptr)) events();
        if (std::exchange(dismissed, false)) return Answer::Closed;
        return buttons == Buttons::YesNo ? answer : Answer::Ok;
    }
    void DismissBox() override { dismissed = true; }
    std::string ChooseFolder(const std::string&, const std::string&) override {
        if (folders.empty()) return {};
        std::string folder = folders.front();
        folders.pop_front();
        return folder;
    }
    std::vector<std::filesystem::path> opened;
    void OpenWithShell(const std::filesystem::path& path, std::function<void(OpenProblem)>) override {
        opened.push_back(path);
    }
    bool EscapeDown() override { return escapeHeld; }
    // Input that arrives while the form lets the window breathe.
    std::function<void()> duringBreath;
    void Breathe() override {
        if (auto input = std::exchange(duringBreath, nullptr)) input();
    }
    void Post(std::function<void()> call) override {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(call));
    }
    // Runs what was posted, as the window's event loop would.
    void RunPosted() {
        std::deque<std::function<void()>> calls;
        {
            std::lock_guard lock(mutex_);
            calls.swap(posted_);
        }
        for (auto& call : calls) call();
    }
    std::vector<ScreenRect> Screens() override { return {{0, 0, 1920, 1080}}; }
    FrameMargins Frame() override { return {0, 30, 0, 0}; }
    void ShowStatus(const std::string& text, bool announce) override {
        status = text;
        announced = announce;
    }
    void ShowSearchFolder(const std::string&) override {}
    void ShowDestFolder(const std::string& folder) override { destField = folder; }
    std::string DestFieldText() override { return destField; }
    void ShowFileType(int type) override { fileType = type; }
    void ShowActivity(FormActivity) override {}
    FormControl FocusedControl() override { return focus; }
    void Focus(FormControl control) override { focus = control; }
    void ShowProgress(int, int) override {}
    void ApplyLayout(const FormLayout& given) override { layout = given; }
    FormLayout CurrentLayout() override { return layout; }
    void ClearTree() override { added.clear(); }
    void AddFolder(int, int, const std::string& name) override { added.push_back(name); }
    void ShowTree(const std::vector<FolderNode>&) override {}
    void ClearList() override {
        rows.clear();
        selected.clear();
        current = -1;
    }
    void AddRows(std::size_t) override { rows = form->Rows(); }
    void ShowRows() override { rows = form->Rows(); }
    void ShowColumn(int) override { rows = form->Rows(); }
    int SizeColumnPixels() override { return 80; }
    std::vector<int> SelectedRows() override { return selected; }
    int CurrentRow() override { return current; }
    void SelectRows(const std::vector<int>& given, int now) override {
        selected = given;
        current = now;
    }
    void ShowSortOrder(int column, bool descending) override {
        sortColumn = column;
        sortDescending = descending;
    }
    void CloseWindow() override { closed = true; }
    void ShowPreviewPane(bool shown) override { paneShown = shown; }
    void ShowPreview() override { ++previewDraws; }
    bool paneShown = false;
    int previewDraws = 0;

    const MainForm* form = nullptr;  // whose rows the list shows

    // The names of the rows selected, top to bottom.
    std::vector<std::string> SelectedNames() const {
        std::vector<std::string> names;
        for (int row : selected) names.push_back(rows[row].cells[kNameColumn]);
        return names;
    }
    void Select(std::initializer_list<const char*> names) {
        selected.clear();
        for (const char* name : names) {
            for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
                if (rows[r].cells[kNameColumn] == name) selected.push_back(r);
            }
        }
        std::sort(selected.begin(), selected.end());
        current = selected.empty() ? -1 : selected.front();
    }

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
};

Bytes Drawing() {
    JwwPlan plan;
    plan.entities = {Line{}, Dimension{}};
    return BuildJww(plan);
}

class Form : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(app());
        fs::create_directories(data());
        fs::create_directories(dest());
    }
    fs::path app() const { return dir / "app"; }
    fs::path data() const { return dir / "data"; }
    fs::path dest() const { return dir / "dest"; }
    static std::string Folder(const fs::path& path) { return PathText(path) + "/"; }
    // A form shown on the program folder, its search done over data/ and the folder listed.
    MainForm& Listed(FileSystem& files = RealFileSystem()) {
        form = std::make_unique<MainForm>(view, view, files, app());
        view.form = form.get();
        form->Shown();
        view.folders.push_back(Folder(data()));
        form->ChooseSearchFolder();
        WaitUntilIdle();
        form->FolderChosen(0);
        return *form;
    }
    // Runs the posted calls until the form is idle again: a search or a batch has ended.
    void WaitUntilIdle() { WaitUntilIdle(*form); }
    void WaitUntilIdle(const MainForm& f) {
        for (int i = 0; i < 5000 && f.Busy(); ++i) {
            view.RunPosted();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        view.RunPosted();
        ASSERT_FALSE(f.Busy());
    }

    TempDir dir;
    RecordingView view;
    std::unique_ptr<MainForm> form;
};

}  // namespace

TEST_F(Form, TheSelectionFollowsTheFilesThroughSortsAndReListings) {
    for (const char* name : {"b.jww", "a.jww", "c.txt", "d.jws"}) WriteFile(data() / name, {'x'});
    MainForm& f = Listed();
    ASSERT_EQ(view.rows.size(), 4u);
    EXPECT_EQ(view.rows[0].cells[kNameColumn], "a.jww");  // name order
    view.Select({"b.jww", "d.jws"});
    f.HeaderClicked(2);  // by type, ascending
    EXPECT_EQ(view.rows[0].cells[kNameColumn], "d.jws");
    EXPECT_EQ(view.SelectedNames(), (std::vector<std::string>{"d.jws", "b.jww"}));
    f.ColumnKey(1);  // by name: a new column starts ascending
    EXPECT_EQ(view.rows[0].cells[kNameColumn], "a.jww");
    f.HeaderClicked(0);  // and turns at the next click
    EXPECT_EQ(view.rows[0].cells[kNameColumn], "d.jws");
    EXPECT_EQ(view.sortColumn, 0);
    EXPECT_TRUE(view.sortDescending);
    EXPECT_EQ(view.SelectedNames(), (std::vector<std::string>{"d.jws", "b.jww"}));
    f.HeaderClicked(kAttributeColumn);  // listed again, in name order
    EXPECT_EQ(view.rows[0].cells[kNameColumn], "a.jww");
    EXPECT_EQ(view.SelectedNames(), (std::vector<std::string>{"b.jww", "d.jws"}));
    EXPECT_EQ(view.sortColumn, -1);  // and the header says so
}

// How the form joins the names of the folders below the search folder.
const std::string kSeparator(1, static_cast<char>(fs::path::preferred_separator));

// The folder search runs on a thread of its own: here it waits at folder c until let go.
TEST_F(Form, TheTreeGrowsAsFoldersAreFoundAndStopKeepsThemInNameOrderSayingSo) {
    for (const char* folder : {"_x/x1", "c/c1", "b/b1", "A/A1"}) fs::create_directories(data() / folder);
    FolderGate files("c");
    form = std::make_unique<MainForm>(view, view, files, app());
    form->Shown();
    view.folders.push_back(Folder(data()));
    form->ChooseSearchFolder();
    for (int i = 0; i < 5000 && view.added.size() < 5; ++i) {
        view.RunPosted();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The search folder's own folders show while the search goes on, in name order.
    EXPECT_TRUE(form->Busy());
    ASSERT_GE(view.added.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(view.added.begin(), view.added.begin() + 5),
              (std::vector<std::string>{Folder(data()), "A", "b", "c", "_x"}));
    EXPECT_EQ(view.status, "フォルダ検索中です。（ESC:中断）");

    while (!files.Waiting()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    form->Stop();
    files.Open();
    WaitUntilIdle();
    EXPECT_TRUE(form->FSearchAborted);
    EXPECT_TRUE(form->FSearchReady);
    // c's folder and _x's were not read: the tree keeps the seven found, and the status says so.
    EXPECT_EQ(view.status, "フォルダ検索を中断しました。（見つかった 7 フォルダのみ表示）");
    ASSERT_EQ(form->Tree().size(), 7u);
    std::vector<std::string> top;
    for (int child : form->Tree()[0].children) top.push_back(form->Tree()[child].name);
    EXPECT_EQ(top, (std::vector<std::string>{"A", "b", "c", "_x"}));
    EXPECT_EQ(form->NodePath(form->Tree()[1].children.at(0)), Folder(data()) + "A" + kSeparator + "A1" + kSeparator);
}

TEST_F(Form, AFolderTheSearchCannotReadIsSaid) {
    for (const char* folder : {"a/a1", "b/b1", "c"}) fs::create_directories(data() / folder);
    FaultyFileSystem files;
    files.failCall = [](FsCall call, const fs::path& path) {
        const bool locked = call == FsCall::EnterFolder && path.filename() == "b";
        return locked ? std::make_error_code(std::errc::permission_denied) : std::error_code{};
    };
    form = std::make_unique<MainForm>(view, view, files, app());
    form->Shown();
    view.folders.push_back(Folder(data()));
    form->ChooseSearchFolder();
    WaitUntilIdle();
    EXPECT_FALSE(form->FSearchAborted);
    EXPECT_EQ(form->Tree().size(), 5u);  // b is there, without its folder
    EXPECT_EQ(view.status, "フォルダ検索を完了しました。（5 フォルダ） 読み込めないフォルダ 1 件：" + Folder(data()) +
                               "b" + kSeparator);
}

// The search enters each folder from the one it holds above it: a held folder moved away (where
// the system lets it be moved at all) and another put at its name is not read in its place.
TEST_F(Form, TheSearchReadsTheFoldersItHoldsNotOnesPutAtTheirNames) {
    fs::create_directories(data() / "top" / "mid" / "deep");
    FolderGate files("mid");
    form = std::make_unique<MainForm>(view, view, files, app());
    form->Shown();
    view.folders.push_back(Folder(data()));
    form->ChooseSearchFolder();
    while (!files.Waiting()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::error_code moved;
    fs::rename(data() / "top", data() / "moved", moved);  // Windows refuses: top is held
    if (!moved) fs::create_directories(data() / "top" / "mid" / "decoy");
    files.Open();
    WaitUntilIdle();
    std::vector<std::string> names;
    for (const auto& node : form->Tree()) names.push_back(node.name);
    EXPECT_EQ(names, (std::vector<std::string>{Folder(data()), "top", "mid", "deep"}));
}

TEST_F(Form, ValuesFromTheSettingsFileAreChecked) {
    WriteText(app() / "Quellmark.ini",
              "[Form]\nF1_X=10\nF1_Y=10\nF1_W=-50\nF1_H=20\n[Comp]\nF1P1=99999\nF1S0=100000\nF1S1=-3\n"
              "[Set]\nFLD1=relative/search/\nFLD2=relative/dir\nFTYP=9\n");
    MainForm f(view, view, RealFileSystem(), app());
    f.Shown();
    EXPECT_GE(view.layout.window.width, 360);
    EXPECT_GE(view.layout.window.height, 240);
    EXPECT_LT(view.layout.panel1Width, view.layout.window.width);
    EXPECT_EQ(view.layout.columnWidths[0], 4000);
    EXPECT_EQ(view.layout.columnWidths[1], 16);
    EXPECT_EQ(view.layout.columnWidths[2], FormSettings::kFitColumn);
    EXPECT_EQ(f.FFileType, 0);
    EXPECT_EQ(f.FDestFolder, "");
    EXPECT_EQ(f.FSearchFolder, PathText(app()));

    // Keys that say nothing leave the design's values; a destination written without its
    // separator gets it, so drawings never go into its parent.
    WriteText(app() / "Quellmark.ini",
              "[Form]\nF1_W=\nF1_H=  \n[Set]\nFTYP=2\nFLD2=" + PathText(dir / "converted") + "\n");
    MainForm again(view, view, RealFileSystem(), app());
    again.Shown();
    EXPECT_EQ(view.layout.window.width, 696);
    EXPECT_EQ(view.layout.window.height, 478);
    EXPECT_EQ(again.FFileType, 2);
    EXPECT_EQ(again.FDestFolder, PathText(dir / "converted") + static_cast<char>(fs::path::preferred_separator));
}

TEST_F(Form, SettingsTheProgramsFolderCannotTakeGoToTheUsersFolderWithAWordOnce) {
    // The user's folder, as Linux and Windows name it.
    const ScopedEnvironment linux("XDG_CONFIG_HOME", PathText(dir / "config"));
    const ScopedEnvironment windows("APPDATA", PathText(dir / "config"));
    const fs::path beside = app() / "Quellmark.ini";
    WriteText(beside, "[Set]\nFTYP=2\n");
    // An administrator's preset: there, and not to be written.
    FaultyFileSystem files;
    files.failCall = [&](FsCall call, const fs::path& path) {
        const bool protectedFile = path == beside && (call == FsCall::Create || call == FsCall::Writable);
        return protectedFile ? std::make_error_code(std::errc::permission_denied) : std::error_code{};
    };
    const fs::path user = dir / "config" / "Quellmark" / "Quellmark.ini";
    for (int run = 0; run < 2; ++run) {
        RecordingView shown;
        MainForm f(shown, shown, files, app());
        f.Shown();
        shown.RunPosted();
        EXPECT_EQ(f.FFileType, run == 0 ? 2 : 3);  // the preset at first, then the user's own
        EXPECT_EQ(shown.boxes.size(), run == 0 ? 1u : 0u) << run;
        if (!shown.boxes.empty()) {
            EXPECT_EQ(shown.boxes[0].kind, BoxKind::Information);
        }
        f.FileTypeChosen(3);
        EXPECT_TRUE(f.CloseRequested());
        EXPECT_TRUE(fs::exists(user));
    }
    std::string type;
    EXPECT_TRUE(ReadIniString(RealFileSystem(), "Set", "FTYP", type, 22, beside));
    EXPECT_EQ(type, "2");  // the preset as it was
}

// The file system as root sees it, where every folder may be written; whatever would change
// anything below /usr is refused and noted instead.
class RootFileSystem final : public ForwardingFileSystem {
public:
    std::vector<fs::path> underUsr;

    bool writable(const fs::path&) override { return true; }
    std::error_code create(const fs::path& path, std::unique_ptr<OutputFile>& out) override {
        return Refused(path) ? Denied() : ForwardingFileSystem::create(path, out);
    }
    std::error_code createNew(const fs::path& path, std::unique_ptr<OutputFile>& out, FolderAccess access) override {
        return Refused(path) ? Denied() : ForwardingFileSystem::createNew(path, out, access);
    }
    std::error_code createDirectory(const fs::path& path, FolderAccess access) override {
        return Refused(path) ? Denied() : ForwardingFileSystem::createDirectory(path, access);
    }
    std::error_code rename(const fs::path& from, const fs::path& to) override {
        return Refused(to) ? Denied() : ForwardingFileSystem::rename(from, to);
    }
    std::error_code remove(const fs::path& path) override {
        return Refused(path) ? Denied() : ForwardingFileSystem::remove(path);
    }
    std::error_code removeDirectory(const fs::path& path) override {
        return Refused(path) ? Denied() : ForwardingFileSystem::removeDirectory(path);
    }

private:
    bool Refused(const fs::path& path) {
        if (!PathText(path).starts_with("/usr/")) return false;
        underUsr.push_back(path);
        return true;
    }
    static std::error_code Denied() { return std::make_error_code(std::errc::read_only_file_system); }
};

TEST_F(Form, AProgramThePackagesInstalledKeepsNothingBesideItWhoeverRunsIt) {
#ifdef _WIN32
    GTEST_SKIP() << "on Windows a program's folder tells by who may write it";
#else
    const ScopedEnvironment config("XDG_CONFIG_HOME", PathText(dir / "config"));
    const ScopedEnvironment home("HOME", PathText(dir / "home"));
    fs::create_directories(dir / "home");
    RootFileSystem files;
    {
        MainForm f(view, view, files, "/usr/lib/quellmark/");
        f.Shown();
        view.RunPosted();
        EXPECT_EQ(f.SettingsFile(), dir / "config" / "Quellmark" / "Quellmark.ini");
        EXPECT_FALSE(PathText(f.TempFolder()).starts_with("/usr")) << PathText(f.TempFolder());
        EXPECT_EQ(f.FSearchFolder, Folder(dir / "home"));  // where the picker starts
        EXPECT_FALSE(f.FSearchReady);                      // and nothing is searched yet
        EXPECT_TRUE(f.CloseRequested());
    }
    EXPECT_TRUE(files.underUsr.empty()) << PathText(files.underUsr.front());
    EXPECT_TRUE(fs::exists(dir / "config" / "Quellmark" / "Quellmark.ini"));

    // A folder given on the command line is searched at start, and kept as the search folder.
    MainForm again(view, view, files, "/usr/lib/quellmark/");
    again.SearchAtStart(PathText(data()));
    again.Shown();
    view.RunPosted();
    WaitUntilIdle(again);
    EXPECT_TRUE(again.FSearchReady);
    EXPECT_EQ(again.NodePath(0), Folder(data()));
    EXPECT_TRUE(again.CloseRequested());
    std::string stored;
    EXPECT_TRUE(ReadIniString(RealFileSystem(), "Set", "FLD1", stored, 512, again.SettingsFile()));
    EXPECT_EQ(stored, Folder(data()));
    EXPECT_TRUE(files.underUsr.empty()) << PathText(files.underUsr.front());
#endif
}

TEST_F(Form, TheWindowsCommandLineTakesHelpTheVersionOrOneFolder) {
    using Action = WindowStart::Action;
    const auto read = [&](std::vector<std::string> words) {
        words.insert(words.begin(), "quellmark");
        return ReadWindowArguments(RealFileSystem(), words, "1.2.3");
    };
    EXPECT_EQ(read({}).action, Action::Open);
    EXPECT_TRUE(read({}).searchFolder.empty());
    EXPECT_EQ(read({"--help"}).action, Action::Help);
    EXPECT_EQ(read({"-h"}).text.rfind("Usage: quellmark [FOLDER]\n", 0), 0u);
    EXPECT_EQ(read({"--version"}).text, "quellmark 1.2.3\n");
    EXPECT_EQ(read({PathText(data()), "-V"}).action, Action::Version);
    const WindowStart given = read({PathText(data())});
    EXPECT_EQ(given.action, Action::Open);
    EXPECT_EQ(given.searchFolder, PathText(data()));
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--bogus"}, "quellmark: unknown option '--bogus'; quellmark takes one FOLDER to search, --help or --version"},
        {{PathText(dir / "missing")}, "quellmark: " + PathText(dir / "missing") + ": no such folder;"},
        {{PathText(data()), PathText(dest())}, "quellmark: more than one folder given"},
    };
    for (const auto& [words, message] : refused) {
        const WindowStart start = read(words);
        EXPECT_EQ(start.action, Action::Refuse);
        EXPECT_EQ(start.text.rfind(message, 0), 0u) << start.text;
    }
    WriteFile(data() / "a.jww", {'x'});
    EXPECT_NE(read({"--", PathText(data() / "a.jww")}).text.find("a.jww: not a folder"), std::string::npos);
}

TEST_F(Form, ADestinationThatCannotBeWrittenStopsTheBatchOnceWithItsReason) {
    for (const char* name : {"a.jww", "b.jww", "c.jww"}) WriteFile(data() / name, Drawing());
    FaultyFileSystem files;
    bool locked = false;
    const fs::path destFolder = dest();
    // The destination turns read-only once the batch has started: its temp files (reached
    // through the folder the run holds) cannot be made, and it says it cannot be written.
    files.failCall = [&](FsCall call, const fs::path& path) {
        const bool tempFile = call == FsCall::CreateNew && PathText(path.filename()).starts_with(".qm-");
        const bool asked = call == FsCall::Writable && (path == destFolder || path == destFolder / "");
        return locked && (tempFile || asked) ? std::make_error_code(std::errc::permission_denied) : std::error_code{};
    };
    MainForm& f = Listed(files);
    view.folders.push_back(Folder(dest()));
    f.ChooseDestFolder();
    view.Select({"a.jww", "b.jww", "c.jww"});
    locked = true;
    f.Convert();
    WaitUntilIdle();
    // The drawings under way fail (one per worker); the rest are not started, and the status
    // bar says why, never that the batch was completed.
    EXPECT_TRUE(view.status.starts_with("変換作業を中止しました。保存先フォルダに書き込めません。")) << view.status;
    EXPECT_NE(view.status.find("中止で未変換 "), std::string::npos) << view.status;
    ASSERT_EQ(view.boxes.size(), 2u);  // the confirmation, and the failures
    EXPECT_LE(std::count(view.boxes[1].text.begin(), view.boxes[1].text.end(), '\n'), 1);
    EXPECT_TRUE(fs::is_empty(dest()));
}

// The report names each failed drawing with a Japanese reason, a drawing with bytes after its
// end among them, and each drawing the writers changed beyond its marks with what they changed.
TEST_F(Form, TheReportTellsRefusedDrawingsAndWhatWasChangedBeyondTheMarks) {
    JwwPlan cleaned;
    cleaned.entities = {Dimension{}, Text{{}, {}, 0, {}, "", "two\rlines"}};
    WriteFile(data() / "cleaned.jww", BuildJww(cleaned));
    WriteFile(data() / "plain.jww", Drawing());
    Bytes tail = Drawing();
    const std::size_t end = tail.size();
    tail.push_back(0);
    WriteFile(data() / "tail.jww", tail);
    MainForm& f = Listed();
    view.folders.push_back(Folder(dest()));
    f.ChooseDestFolder();
    view.Select({"cleaned.jww", "plain.jww", "tail.jww"});
    f.Convert();
    WaitUntilIdle();
    EXPECT_EQ(view.status, "変換作業を完了しました。（変換 2 件、スキップ 0 件、失敗 1 件）");
    ASSERT_EQ(view.boxes.size(), 2u);  // the confirmation, and the report
    EXPECT_EQ(view.boxes[1].title, "変換できなかったファイル");
    EXPECT_EQ(view.boxes[1].kind, BoxKind::Warning);
    EXPECT_EQ(view.boxes[1].text, "tail.jww: 図面の終わりより後ろに不明なデータがあります（" + std::to_string(end) +
                                      " バイト目）\n\n寸法の印のほかに書き換えた図面：\n"
                                      "cleaned.jww: 文字列の制御文字の削除 1 件");
    EXPECT_FALSE(fs::exists(dest() / "tail.jww"));
}

// Escape stops the search or listing it was pressed during, however early, and nothing else: a
// press while the window is idle is not kept for the next command.
TEST_F(Form, EscapeStopsOnlyTheCommandItWasPressedDuring) {
    for (const char* name : {"a.jww", "b.jww"}) WriteFile(data() / name, {'x'});
    MainForm& f = Listed();
    f.EscapePressed();  // idle: closing a menu, a stray tap
    f.FolderChosen(0);
    EXPECT_EQ(view.status, "2 Files  パス名「" + Folder(data()) + "」");
    EXPECT_TRUE(view.announced);
    EXPECT_EQ(view.rows.size(), 2u);
    view.duringBreath = [&] { f.EscapePressed(); };  // while the folder is read and sorted
    f.FolderChosen(0);
    EXPECT_EQ(view.status, "検索を中断しました。");
    f.FolderChosen(0);
    EXPECT_EQ(view.rows.size(), 2u);
    // After the search folder's picker the keyboard is in the tree, the control that took no
    // input while it was built.
    view.focus = FormControl::SearchField;
    view.folders.push_back(Folder(data()));
    f.ChooseSearchFolder();
    WaitUntilIdle();
    EXPECT_EQ(view.focus, FormControl::Tree);
}

TEST_F(Form, ConvertTakesTheSelectedRowsOnlyAndSaysHowManyGoWhere) {
    for (const char* name : {"a.jww", "b.jww", "c.jww"}) WriteFile(data() / name, Drawing());
    MainForm& f = Listed();
    view.folders.push_back(Folder(dest()));
    f.ChooseDestFolder();
    view.selected.clear();
    view.current = 1;  // the row just deselected
    f.Convert();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "変換するファイルを選択して下さい。");
    EXPECT_EQ(view.status, view.boxes[0].text);
    view.Select({"a.jww", "c.jww"});
    view.answer = Answer::No;
    f.Convert();
    EXPECT_EQ(view.boxes.back().text,
              "2 個のファイルを「" + Folder(dest()) + "」に変換します。\n変換を開始します。よろしいですか？");
    EXPECT_TRUE(fs::is_empty(dest()));
}

// The close box asks as ファイル → 終了 does; during a batch it asks whether to stop it. A batch
// that ends while that question is up takes it away, and the window stays with the batch's
// result; a yes while the batch runs closes the window once the batch has stopped.
TEST_F(Form, ClosingAsksAndABatchEndingUnderTheQuestionTakesItAway) {
    WriteFile(data() / "a.jww", Drawing());
    MainForm& f = Listed();
    view.folders.push_back(Folder(dest()));
    f.ChooseDestFolder();
    view.Select({"a.jww"});
    view.answer = Answer::No;
    EXPECT_FALSE(f.CloseRequested());
    EXPECT_EQ(view.boxes.back().text, "終了します。よろしいですか？");

    view.answer = Answer::Yes;
    f.Convert();
    ASSERT_EQ(f.Activity(), FormActivity::Converting);
    EXPECT_EQ(view.focus, FormControl::Stop);
    view.duringBox = [&] { WaitUntilIdle(); };
    const std::size_t asked = view.boxes.size();
    EXPECT_FALSE(f.CloseRequested());
    ASSERT_GT(view.boxes.size(), asked);
    EXPECT_EQ(view.boxes[asked].text, "変換中です。変換を中止して終了しますか？");
    EXPECT_EQ(view.status, "変換作業を完了しました。（変換 1 件、スキップ 0 件、失敗 0 件）");
    view.RunPosted();
    f.FolderChosen(0);
    view.RunPosted();
    EXPECT_FALSE(view.closed);  // nothing left behind closes the window later

    f.Convert();
    EXPECT_FALSE(f.CloseRequested());  // yes: the batch stops first
    WaitUntilIdle();
    EXPECT_TRUE(view.closed);
}

// Each column sorts in its own direction, a new one ascending; the sort holds for the next
// listings and the next start, and 属性 brings the name order back.
TEST_F(Form, TheSortIsKeptForTheNextListingsAndTheNextStart) {
    for (const char* name : {"a.jww", "b.jws", "c.txt"}) WriteFile(data() / name, {'x'});
    {
        MainForm& f = Listed();
        f.HeaderClicked(2);
        f.HeaderClicked(2);
        EXPECT_EQ(view.rows[0].cells[kNameColumn], "c.txt");
        EXPECT_TRUE(f.CloseRequested());
    }
    form.reset();
    MainForm& again = Listed();
    EXPECT_EQ(view.rows[0].cells[kNameColumn], "c.txt");
    EXPECT_EQ(view.sortColumn, 2);
    EXPECT_TRUE(view.sortDescending);
    again.HeaderClicked(kAttributeColumn);
    EXPECT_EQ(view.rows[0].cells[kNameColumn], "a.jww");
    EXPECT_EQ(view.sortColumn, -1);
}

// A listing shows the files of the chosen type whatever their letter case, never folders, hidden
// files or what is neither file nor folder; each row its padded size, type, memo (JWW drawings
// and their backups only, line breaks as spaces), time and attributes; an empty folder no row.
TEST_F(Form, AListingShowsTheFilesOfItsTypeWithTheirTexts) {
    WriteListingSamples(data());
    fs::permissions(data() / "C.TXT", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    MainForm& f = Listed();
    const auto names = [&] {
        std::vector<std::string> listed;
        for (const FileRow& row : view.rows) listed.push_back(row.cells[kNameColumn]);
        return listed;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"A.JWW", "B.jws", "C.TXT", "d.jw$", "E.BAK", "F.BAK", "G.BK1", "H.jww",
                                                 "I.jww"}));
    EXPECT_EQ(view.status, "9 Files  パス名「" + Folder(data()) + "」");
    std::map<std::string, std::array<std::string, kListColumns>> cells;
    for (const FileRow& row : view.rows) cells[row.cells[kNameColumn]] = row.cells;
    const std::array<std::string, kListColumns>& a = cells.at("A.JWW");
    EXPECT_EQ(a[kSizeColumn], RightJustify(static_cast<std::int64_t>(fs::file_size(data() / "A.JWW")), 10));
    EXPECT_EQ(a[2], ".JWW");
    EXPECT_EQ(a[kMemoColumn], "図面 メモ ");
    EXPECT_EQ(a[4].size(), std::string("0000/00/00 00:00:00").size());
    EXPECT_EQ(cells.at("C.TXT")[kSizeColumn], "         4");
    EXPECT_TRUE(cells.at("C.TXT")[kAttributeColumn].ends_with("R "));  // after "A " where files have it
    EXPECT_EQ(cells.at("d.jw$")[2], ".JW$");
    for (const char* name : {"d.jw$", "E.BAK", "G.BK1", "H.jww"})
        EXPECT_EQ(cells.at(name)[kMemoColumn], "配置図") << name;
    for (const char* name : {"B.jws", "C.TXT", "F.BAK", "I.jww"}) EXPECT_EQ(cells.at(name)[kMemoColumn], "") << name;

    const std::pair<int, std::vector<std::string>> types[] = {
        {1, {"A.JWW", "B.jws", "d.jw$", "H.jww", "I.jww"}}, {2, {"A.JWW", "H.jww", "I.jww"}}, {3, {"B.jws"}}, {-1, {}}};
    for (const auto& [type, listed] : types) {
        f.FileTypeChosen(type);
        if (type >= 0) {
            EXPECT_EQ(names(), listed) << type;
        }
    }
    EXPECT_EQ(names().size(), 9u);  // no type at all lists everything

    f.FolderChosen(static_cast<int>(f.Tree().size()) - 1);
    EXPECT_TRUE(view.rows.empty());
    EXPECT_FALSE(f.FListShown);
}

// Each missing precondition refuses Convert with a beep and its own box, which the status says
// too; a listed folder without files is no list; no to the question cancels without a beep.
TEST_F(Form, EachMissingPreconditionRefusesConvertWithItsOwnWords) {
    WriteFile(data() / "a.jww", Drawing());
    fs::create_directories(data() / "empty");
    form = std::make_unique<MainForm>(view, view, RealFileSystem(), app());
    view.form = form.get();
    MainForm& f = *form;
    f.Shown();
    const auto refused = [&](const std::string& text) {
        view.boxes.clear();
        view.beeps = 0;
        f.Convert();
        EXPECT_EQ(view.beeps, 1) << text;
        ASSERT_EQ(view.boxes.size(), 1u) << text;
        EXPECT_EQ(view.boxes[0].text, text);
        EXPECT_EQ(view.boxes[0].kind, BoxKind::Error);
        EXPECT_EQ(view.status, text);
        EXPECT_FALSE(f.Busy());
    };
    refused("検索フォルダを指定して下さい。");
    view.folders.push_back(Folder(data()));
    f.ChooseSearchFolder();
    WaitUntilIdle();
    refused("ファイル一覧が表示されていません。");
    f.FolderChosen(1);  // empty/
    refused("ファイル一覧が表示されていません。");
    f.FolderChosen(0);
    refused("保存先フォルダを指定して下さい。");
    view.folders.push_back(Folder(dir / "gone"));
    f.ChooseDestFolder();
    refused("指定された保存先フォルダが存在しません。再指定して下さい。");
    for (const fs::path& same : {data(), dir / "dest" / ".." / "data"}) {
        view.folders.push_back(Folder(same));
        f.ChooseDestFolder();
        refused("保存先フォルダとファイルのフォルダが同じになっています。");
    }
    view.folders.push_back(Folder(dest()));
    f.ChooseDestFolder();
    view.Select({"a.jww"});
    view.boxes.clear();
    view.beeps = 0;
    view.answer = Answer::No;
    f.Convert();
    EXPECT_EQ(view.beeps, 0);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].kind, BoxKind::Confirmation);
    EXPECT_EQ(view.status, "変換作業をキャンセルしました。");
    EXPECT_TRUE(fs::is_empty(dest()));
}

namespace {

// Runs the posted calls until the pane has built what it waits for.
void WaitForPane(RecordingView& view, const PreviewPane& pane) {
    for (int i = 0; i < 5000 && pane.State() == PaneState::Building; ++i) {
        view.RunPosted();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_NE(pane.State(), PaneState::Building);
}

void ExpectNear(render::Point a, render::Point b) {
    EXPECT_NEAR(a.x, b.x, 1e-6);
    EXPECT_NEAR(a.y, b.y, 1e-6);
}

}  // namespace

TEST_F(Form, ThePaneShowsTheCurrentDrawingOrWhyNotKeepsWhatItSawAndForgetsAtAReListing) {
    const Bytes drawing = Drawing();
    WriteFile(data() / "a.jww", drawing);
    WriteFile(data() / "b.jww", Bytes(drawing.begin(), drawing.begin() + drawing.size() / 2));
    WriteText(data() / "c.txt", "no drawing");
    MainForm& f = Listed();
    PreviewPane& pane = f.Pane();
    EXPECT_TRUE(view.paneShown);                // shown until the settings say otherwise
    EXPECT_EQ(pane.State(), PaneState::Empty);  // no size yet: nothing is built
    pane.Resized(400, 300);
    EXPECT_EQ(pane.State(), PaneState::Building);
    WaitForPane(view, pane);
    ASSERT_EQ(pane.State(), PaneState::Picture);
    EXPECT_EQ(pane.Picture()->list.dimensions[static_cast<int>(render::DimensionMark::ToMark)], 1);
    ASSERT_EQ(pane.Legend().size(), 3u);
    EXPECT_EQ(pane.Legend()[0].text, "印を付ける寸法 1");
    EXPECT_EQ(pane.Legend()[0].color, render::MarkColor(render::DimensionMark::ToMark));
    EXPECT_EQ(pane.Legend()[1].text, "印付きの寸法 0");
    EXPECT_GT(view.previewDraws, 0);

    // A damaged drawing and a file that is none show why, in the words of a batch's failures.
    view.Select({"b.jww"});
    f.CurrentRowChanged();
    WaitForPane(view, pane);
    EXPECT_EQ(pane.State(), PaneState::Failed);
    EXPECT_EQ(pane.Message().rfind("ファイルが途中で終わっています", 0), 0u) << pane.Message();
    view.Select({"c.txt"});
    f.CurrentRowChanged();
    WaitForPane(view, pane);
    EXPECT_EQ(pane.Message(), "図面ファイルではありません");
    EXPECT_TRUE(pane.Legend().empty());

    // A selection moved on before its build ended: only the newest is shown.
    const int builds = pane.Builds();
    view.Select({"a.jww"});
    f.CurrentRowChanged();
    EXPECT_EQ(pane.State(), PaneState::Picture);  // kept: shown at once, not built again
    EXPECT_EQ(pane.Builds(), builds);
    EXPECT_EQ(pane.KeptCount(), 3u);

    // A re-listing forgets what it kept: the drawing is read again as it is now.
    JwwPlan plan;
    plan.entities = {Dimension{}, Dimension{}};
    WriteFile(data() / "a.jww", BuildJww(plan));
    f.Refresh();
    EXPECT_EQ(pane.KeptCount(), 0u);
    WaitForPane(view, pane);
    ASSERT_EQ(pane.State(), PaneState::Picture);
    EXPECT_EQ(pane.Picture()->list.dimensions[static_cast<int>(render::DimensionMark::ToMark)], 2);

    // Hidden, it shows nothing; the settings keep that and the pane's width.
    f.TogglePreview();
    EXPECT_FALSE(view.paneShown);
    EXPECT_EQ(pane.State(), PaneState::Hidden);
    view.layout.previewHeight = 345;
    ASSERT_TRUE(f.CloseRequested());
    std::string shown, width;
    EXPECT_TRUE(ReadIniString(RealFileSystem(), "Comp", "PVON", shown, 22, f.SettingsFile()));
    EXPECT_TRUE(ReadIniString(RealFileSystem(), "Comp", "PVSZ", width, 22, f.SettingsFile()));
    EXPECT_EQ(shown, "0");
    EXPECT_EQ(width, "345");
}

TEST_F(Form, ThePaneFitsThePaperZoomsAboutAPointWithinBoundsPansAndFitsAgain) {
    WriteFile(data() / "a.jww", Drawing());
    MainForm& f = Listed();
    PreviewPane& pane = f.Pane();
    pane.Resized(400, 300);
    WaitForPane(view, pane);
    ASSERT_EQ(pane.State(), PaneState::Picture);
    // An A3 sheet fitted: its width fills the pane less the margins (3%, at least 8 pixels),
    // centred both ways.
    const render::Rect paper = pane.Picture()->list.paper;
    const PaneTransform fitted = pane.Transform();
    EXPECT_NEAR(fitted.scale, (400 - 2 * 9.0) / paper.width(), 1e-9);
    ExpectNear(fitted.toPane({0, 0}), {200, 150});
    EXPECT_LT(fitted.toPane({0, paper.maxY}).y, fitted.toPane({0, paper.minY}).y);  // y up on paper, down in the pane

    // The wheel zooms about the cursor: the paper under it stays there.
    const render::Point under = fitted.toPaper(100, 50);
    pane.Wheel(100, 50, 120);
    EXPECT_NEAR(pane.Transform().scale, fitted.scale * PreviewPane::kZoomStep, 1e-9);
    ExpectNear(pane.Transform().toPane(under), {100, 50});
    // +/- about the centre, never beyond the bounds.
    const render::Point middle = pane.Transform().toPaper(200, 150);
    pane.Key(PaneKey::ZoomOut);
    ExpectNear(pane.Transform().toPane(middle), {200, 150});
    for (int i = 0; i < 100; ++i) pane.Key(PaneKey::ZoomIn);
    EXPECT_NEAR(pane.Transform().scale, fitted.scale * PreviewPane::kMostZoom, 1e-6);
    for (int i = 0; i < 100; ++i) pane.Wheel(0, 0, -120);
    EXPECT_NEAR(pane.Transform().scale, fitted.scale * PreviewPane::kLeastZoom, 1e-9);

    // Dragging moves the picture with the mouse; an arrow shows what lies that way.
    const PaneTransform before = pane.Transform();
    pane.Drag(10, -5);
    pane.Key(PaneKey::Left);
    EXPECT_NEAR(pane.Transform().x0, before.x0 + 10 + 400 / 8, 1e-9);
    EXPECT_NEAR(pane.Transform().y0, before.y0 - 5, 1e-9);
    pane.Key(PaneKey::Down);
    EXPECT_NEAR(pane.Transform().y0, before.y0 - 5 - 300 / 8, 1e-9);

    // A zoomed view keeps its centre through a resize; Home fits again, and a fitted view
    // stays fitted as the pane grows.
    const render::Point centre = pane.Transform().toPaper(200, 150);
    pane.Resized(600, 500);
    ExpectNear(pane.Transform().toPane(centre), {300, 250});
    pane.Key(PaneKey::Fit);
    EXPECT_NEAR(pane.Transform().scale, (600 - 2 * 15.0) / paper.width(), 1e-9);
    pane.Resized(800, 500);
    ExpectNear(pane.Transform().toPane({0, 0}), {400, 250});
}

// A folder typed or pasted into a field: Enter takes one that is there (the quotes and blanks a
// copied path brings left out) as the picker would, an empty field opens the picker, anything
// else is refused naming it and saying why; 変換 checks what the destination field holds.
TEST_F(Form, AFolderTypedIntoAFieldIsTakenWithEnterOrRefusedSayingWhy) {
    WriteFile(data() / "a.jww", Drawing());
    form = std::make_unique<MainForm>(view, view, RealFileSystem(), app());
    view.form = form.get();
    MainForm& f = *form;
    f.Shown();
    const std::string missing = PathText(dir / "missing");
    const std::string file = PathText(data() / "a.jww");
    const auto refused = [&](const std::string& typed, const std::string& text, bool destination) {
        view.boxes.clear();
        view.beeps = 0;
        destination ? f.DestFolderEntered(typed) : f.SearchFolderEntered(typed);
        EXPECT_EQ(view.beeps, 1) << typed;
        ASSERT_EQ(view.boxes.size(), 1u) << typed;
        EXPECT_EQ(view.boxes[0].text, text);
        EXPECT_EQ(view.status, text);
        EXPECT_FALSE(f.Busy());
    };
    refused("relative/data", "「relative/data」は完全なパスではありません。フォルダのパスを先頭から入力して下さい。",
            false);
    refused(missing, "フォルダ「" + missing + "」が見つかりません。", false);
    refused(file, "「" + file + "」はフォルダではありません。", false);
    EXPECT_FALSE(f.FSearchReady);
    f.SearchFolderEntered(" \"" + PathText(data()) + "\"\n");
    WaitUntilIdle();
    EXPECT_EQ(f.NodePath(0), PathText(data()) + kSeparator);  // as the form writes folders
    EXPECT_EQ(f.FSearchFolder, PathText(data()) + kSeparator);
    view.folders.push_back(Folder(data()));
    f.SearchFolderEntered("");  // the picker
    EXPECT_TRUE(view.folders.empty());
    WaitUntilIdle();
    f.FolderChosen(0);

    refused(missing, "フォルダ「" + missing + "」が見つかりません。保存先フォルダは先に作っておいて下さい。", true);
    EXPECT_EQ(f.FDestFolder, "");
    f.DestFolderEntered(PathText(dest()));
    EXPECT_EQ(f.FDestFolder, PathText(dest()) + kSeparator);
    EXPECT_EQ(view.destField, PathText(dest()) + kSeparator);

    // Typed and not entered: 変換 refuses it before anything else, and takes a good one.
    view.Select({"a.jww"});
    view.destField = missing;
    refused(view.destField, "フォルダ「" + missing + "」が見つかりません。保存先フォルダは先に作っておいて下さい。",
            true);
    view.boxes.clear();
    f.Convert();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].kind, BoxKind::Error);
    EXPECT_EQ(f.FDestFolder, PathText(dest()) + kSeparator);
    fs::create_directories(dir / "other");
    view.destField = PathText(dir / "other");
    view.answer = Answer::No;
    f.Convert();
    EXPECT_EQ(view.boxes.back().kind, BoxKind::Confirmation);
    EXPECT_EQ(f.FDestFolder, PathText(dir / "other") + kSeparator);
    // Kept for the next start, as a folder chosen with the picker is.
    view.answer = Answer::Yes;
    EXPECT_TRUE(f.CloseRequested());
    std::string stored;
    EXPECT_TRUE(ReadIniString(RealFileSystem(), "Set", "FLD2", stored, 512, f.SettingsFile()));
    EXPECT_EQ(stored, PathText(dir / "other") + kSeparator);
}

// Files dropped on the window: drawings are listed with their folder and selected (the file type
// giving way when it would hide them), a folder outside the tree searched first; any other file
// says why nothing happens.
TEST_F(Form, DrawingsDroppedOnTheWindowAreListedAndSelected) {
    fs::create_directories(data() / "sub");
    for (const char* name : {"a.jww", "b.jws", "c.jww"}) WriteFile(data() / "sub" / name, Drawing());
    WriteFile(data() / "sub" / "n.txt", {'x'});
    fs::create_directories(dir / "elsewhere");
    WriteFile(dir / "elsewhere" / "x.jww", Drawing());
    MainForm& f = Listed();
    f.FileTypeChosen(2);  // *.JWW
    EXPECT_FALSE(f.DropBringsFiles({PathText(data())}));
    const std::vector<std::string> dropped = {PathText(data() / "sub" / "b.jws"), PathText(data() / "sub" / "c.jww"),
                                              PathText(data() / "sub" / "n.txt")};
    ASSERT_TRUE(f.DropBringsFiles(dropped));
    f.FilesDropped(dropped);
    EXPECT_EQ(f.ListedFolder(), Folder(data()) + "sub" + kSeparator);
    EXPECT_EQ(f.FFileType, 1);  // *.JW?, which shows b.jws
    EXPECT_EQ(view.fileType, 1);
    EXPECT_EQ(view.SelectedNames(), (std::vector<std::string>{"b.jws", "c.jww"}));
    EXPECT_EQ(view.focus, FormControl::List);

    f.FilesDropped({PathText(data() / "sub" / "n.txt")});
    EXPECT_EQ(view.status, "「n.txt」は図面ファイル（.jww、.jws）ではないため、何もしません。");
    EXPECT_EQ(f.ListedFolder(), Folder(data()) + "sub" + kSeparator);

    f.FilesDropped({PathText(dir / "elsewhere" / "x.jww")});
    WaitUntilIdle();
    EXPECT_EQ(f.NodePath(0), PathText(dir / "elsewhere") + kSeparator);
    EXPECT_EQ(f.ListedFolder(), PathText(dir / "elsewhere") + kSeparator);
    EXPECT_EQ(view.SelectedNames(), (std::vector<std::string>{"x.jww"}));
}

// The list's context menu: its commands take what the activity and the list allow, and do what
// a double click, 変換 and the listed folder's opening do.
TEST_F(Form, TheListsContextMenuFollowsTheActivityAndTheList) {
    WriteFile(data() / "a.jww", Drawing());
    const auto enabled = [&] {
        std::vector<bool> on;
        for (const ListMenuItem& item : form->ListMenu()) on.push_back(item.enabled);
        return on;
    };
    form = std::make_unique<MainForm>(view, view, RealFileSystem(), app());
    form->Shown();
    EXPECT_EQ(enabled(), (std::vector<bool>{false, true, false}));  // 開く, 変換, フォルダを開く
    form.reset();
    MainForm& f = Listed();
    EXPECT_EQ(f.ListMenu()[0].text, std::string("開く(&O)"));
    EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true}));
    f.ListMenuChosen(ListCommand::Open);
    f.ListMenuChosen(ListCommand::OpenFolder);
    EXPECT_EQ(view.opened, (std::vector<fs::path>{data() / "a.jww", PathFromText(Folder(data()))}));

    view.folders.push_back(PathText(dest()) + kSeparator);
    f.ChooseDestFolder();
    f.ListMenuChosen(ListCommand::Convert);
    ASSERT_EQ(f.Activity(), FormActivity::Converting);
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false}));
    WaitUntilIdle();
    EXPECT_TRUE(fs::exists(dest() / "a.jww"));
}
