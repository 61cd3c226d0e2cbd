// The main form's start-up and shut-down, its settings with their checks, the commands that
// choose the folders and the file type, Exit, and the folder search that builds the tree.
#include "MainForm.h"

#include "MainFormParts.h"

#include "../platform/system.h"
#include "FileListText.h"
#include "WindowTexts.h"

#include <algorithm>
#include <utility>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSettingsName = "Quellmark.ini";

// The smallest window the settings may ask for: any smaller and its controls would not fit.
constexpr int kSmallestWidth = 360;
constexpr int kSmallestHeight = 240;
// Columns and the folder pane are never narrower than this, nor wider than a screen could need.
constexpr int kNarrowest = 16;
constexpr int kWidest = 4000;

bool IsAbsoluteFolder(const std::string& folder) { return !folder.empty() && PathFromText(folder).is_absolute(); }

// The node after this one in display order as the tree stands: its first child, else the next
// sibling of it or of its nearest ancestor that has one.
int NextInDisplayOrder(const std::vector<FolderNode>& tree, int node) {
    if (!tree[node].children.empty()) return tree[node].children.front();
    for (int at = node; at >= 0; at = tree[at].parent) {
        const int parent = tree[at].parent;
        if (parent < 0) return -1;
        const std::vector<int>& siblings = tree[parent].children;
        const auto it = std::find(siblings.begin(), siblings.end(), at);
        if (it + 1 != siblings.end()) return *(it + 1);
    }
    return -1;
}

}  // namespace

void MainForm::ShowStatus(const std::string& text) {
    status_ = text;
    view_.ShowStatus(text);
}

bool MainForm::Refused() {
    if (activity_ == FormActivity::Idle) return false;
    view_.Beep();
    return true;
}

void MainForm::AskForSearchFolder() {
    view_.Beep();
    view_.MessageBox({}, texts::kSpecifySearchFolder, BoxKind::Error, Buttons::Ok);
    ShowStatus(texts::kSpecifySearchFolder);
}

// ---- start-up and shut-down ----

void MainForm::SearchAtStart(const std::string& folder) { searchAtStart_ = WithSeparator(folder); }

void MainForm::Shown() {
    if (shown_) return;
    shown_ = true;
    FSearchReady = false;
    FListShown = false;
    FSortDescending = false;
    FSearchAborted = false;
    FFileType = 0;
    view_.ShowFileType(0);

    ChoosePlaces();
    FSearchFolder = startFolder_;
    FDestFolder.clear();
    FLastFileName.clear();
    FormSettings settings;
    settings.searchFolder = FSearchFolder;
    if (!settingsRead_.empty()) ReadFormSettings(files_, settingsRead_, settings);
    ApplySettings(settings);
    view_.ShowDestFolder(FDestFolder);
    ShowStatus(texts::kSpecifySearchFolder);
    if (!searchAtStart_.empty()) {
        FSearchFolder = searchAtStart_;
        SearchAgainLater(searchAtStart_);
    } else if (settings.searchFolder != startFolder_ && settings.searchFolder != PathText(appDir_)) {
        // A run that never chose a search folder stores where its picker starts.
        SearchAgainLater(settings.searchFolder);
    }
}

void MainForm::ChoosePlaces() {
    if (PackagesOwnFolder(appDir_)) {
        // A program the packages installed is every user's: its settings and scratch files are
        // the user's own, and nothing is written beside it, whoever runs it.
        const fs::path userFolder = UserSettingsFolder();
        settingsRead_ = settingsWrite_ = userFolder.empty() ? fs::path() : userFolder / kSettingsName;
        tempFolder_ = UserScratchFolder();
        removeTempAtClose_ = !tempFolder_.empty();
        if (tempFolder_.empty() && files_.tempFolder(tempFolder_)) tempFolder_.clear();
        startFolder_ = HomeOrProgramFolder();
        return;
    }
    // A batch keeps its image bytes in a folder of its own below TEMP beside the program, or
    // below the system's temp folder when TEMP cannot be made or written there.
    const fs::path beside = appDir_ / "TEMP";
    (void)files_.createDirectory(beside);  // whether it is there and writable is asked next
    if (files_.examine(beside).kind == PathKind::Folder && files_.writable(beside)) {
        tempFolder_ = beside;
        removeTempAtClose_ = true;
    } else if (files_.tempFolder(tempFolder_)) {
        tempFolder_ = beside;
        removeTempAtClose_ = true;
    }
    ChooseSettingsFiles();
    // The search folder's picker starts in the program's folder while that keeps the settings
    // (a build tree, a copy of the user's own), else at home.
    startFolder_ = settingsWrite_ == appDir_ / kSettingsName ? PathText(appDir_) : HomeOrProgramFolder();
}

std::string MainForm::HomeOrProgramFolder() const {
    const fs::path home = UserHomeFolder();
    return WithSeparator(PathText(home.empty() ? appDir_ : home));
}

void MainForm::ChooseSettingsFiles() {
    const fs::path beside = appDir_ / kSettingsName;
    const bool besideThere = files_.examine(beside).kind == PathKind::File;
    if (besideThere ? files_.writable(beside) : files_.writable(appDir_)) {
        settingsRead_ = settingsWrite_ = beside;
        return;
    }
    // An administrator's preset, or a program folder nobody may write (under Program Files):
    // the settings go to the user's own folder, and are read from there once they are.
    const fs::path userFolder = UserSettingsFolder();
    if (userFolder.empty()) {
        settingsRead_ = settingsWrite_ = beside;
        return;
    }
    (void)CreateFolders(files_, userFolder);  // one that cannot be made fails the write, said then
    settingsWrite_ = userFolder / kSettingsName;
    const bool userThere = files_.examine(settingsWrite_).kind == PathKind::File;
    settingsRead_ = userThere || !besideThere ? settingsWrite_ : beside;
    // Said once, when the window is on the screen: the next start finds the user's file.
    if (besideThere && !userThere) {
        view_.Post([alive = std::weak_ptr<MainForm*>(alive_),
                    text = texts::SettingsElsewhereText(PathText(beside), PathText(settingsWrite_))] {
            if (const auto form = alive.lock()) (*form)->view_.MessageBox({}, text, BoxKind::Information, Buttons::Ok);
        });
    }
}

void MainForm::ApplySettings(FormSettings s) {
    // Values from a file anyone may have edited: a window and columns that can be seen and
    // reached, a type the box has, folders that do not depend on where the program was started.
    FormLayout layout;
    layout.window = PlaceOnScreen({s.left, s.top, std::max(s.width, kSmallestWidth), std::max(s.height, kSmallestHeight)},
                                  view_.Frame(), view_.Screens());
    layout.panel1Width = std::clamp(s.panel1Width, kNarrowest, std::max(kNarrowest, layout.window.width - 2 * kNarrowest));
    for (int c = 0; c < kListColumns; ++c) {
        const int width = s.columnWidths[c];
        layout.columnWidths[c] = width == FormSettings::kFitColumn ? width : std::clamp(width, kNarrowest, kWidest);
    }
    view_.ApplyLayout(layout);
    if (IsAbsoluteFolder(s.searchFolder)) FSearchFolder = s.searchFolder;
    // Drawings are written to this folder + name, so a folder written by hand without its
    // separator gets it back here rather than sending files into its parent.
    FDestFolder = IsAbsoluteFolder(s.destFolder) ? WithSeparator(s.destFolder) : std::string();
    FLastFileName = s.lastFileName;
    FFileType = s.fileType >= 0 && s.fileType <= 3 ? s.fileType : 0;
    view_.ShowFileType(FFileType);
}

void MainForm::SearchAgainLater(const std::string& folder) {
    if (!IsAbsoluteFolder(folder) || files_.examine(PathFromText(folder)).kind != PathKind::Folder) return;
    // Once the window shows; not when the user has already started a search of their own.
    view_.Post([alive = std::weak_ptr<MainForm*>(alive_)] {
        const auto form = alive.lock();
        if (!form) return;
        MainForm& self = **form;
        if (self.FSearchReady || self.Busy() || self.closed_) return;
        self.view_.ShowSearchFolder(self.FSearchFolder);
        self.SearchFolders();
    });
}

bool MainForm::CloseRequested() {
    if (closed_) return true;
    switch (activity_) {
        case FormActivity::Converting:
            // Closing would leave the drawings under way to the batch's thread: ask, and close
            // once the batch has stopped.
            if (view_.MessageBox({}, texts::kCloseDuringBatch, BoxKind::Confirmation, Buttons::YesNo) == Answer::Yes) {
                closeWhenIdle_ = true;
                Stop();
            }
            return false;
        case FormActivity::Searching:
        case FormActivity::Listing:
            // Stop it first; the window closes once it has.
            FSearchAborted = true;
            listingAborted_ = true;
            closeWhenIdle_ = true;
            return false;
        case FormActivity::Idle:
            break;
    }
    // The program's own scratch folder goes when the batches left it empty; the system's stays.
    // Only when empty; one that stays is the next start's to reuse.
    if (removeTempAtClose_) (void)files_.removeDirectory(tempFolder_);
    WriteSettings();
    closed_ = true;
    return true;
}

void MainForm::WriteSettings() {
    FormSettings s;
    const FormLayout layout = view_.CurrentLayout();
    s.left = layout.window.left;
    s.top = layout.window.top;
    s.width = layout.window.width;
    s.height = layout.window.height;
    s.panel1Width = layout.panel1Width;
    s.columnWidths = layout.columnWidths;
    s.searchFolder = FSearchFolder;
    s.destFolder = FDestFolder;
    s.lastFileName = FLastFileName;
    s.fileType = FFileType;
    if (settingsWrite_.empty()) return;  // the system names no folder of the user's
    // The user's folder is made when there is something to keep in it.
    if (files_.examine(settingsWrite_.parent_path()).kind == PathKind::Missing) {
        (void)CreateFolders(files_, settingsWrite_.parent_path());  // the write below tells
    }
    if (WriteFormSettings(files_, settingsWrite_, s)) return;
    // The folder beside the program took the settings at start-up and no longer does: the
    // user's own folder keeps them, read from there at the next start.
    const fs::path userFolder = UserSettingsFolder();
    if (userFolder.empty() || settingsWrite_ == userFolder / kSettingsName) return;
    // Settings are a convenience: at the end of the program there is no one left to tell.
    (void)CreateFolders(files_, userFolder);
    (void)WriteFormSettings(files_, userFolder / kSettingsName, s);
}

// ---- commands ----

void MainForm::ChooseSearchFolder() {
    if (Refused()) return;
    ShowStatus({});
    const std::string folder = view_.ChooseFolder(texts::kSearchFolderDialog, FSearchFolder);
    if (folder.empty()) return;
    FSearchFolder = WithSeparator(folder);
    view_.ShowSearchFolder(FSearchFolder);
    SearchFolders();
}

std::string MainForm::DroppedFolder(const std::vector<std::string>& paths) {
    if (paths.size() != 1 || paths.front().empty()) return {};
    return files_.examine(PathFromText(paths.front())).kind == PathKind::Folder ? paths.front() : std::string();
}

void MainForm::SearchFolderDropped(const std::string& folder) {
    if (Refused()) return;
    FSearchFolder = WithSeparator(folder);
    view_.ShowSearchFolder(FSearchFolder);
    SearchFolders();
}

void MainForm::FolderChosen(int node) {
    // A folder chosen while another is listed stops that listing; other activities refuse it.
    if (activity_ != FormActivity::Listing && Refused()) return;
    if (!FSearchReady) {
        AskForSearchFolder();
        return;
    }
    if (node >= 0 && node < static_cast<int>(tree_.size())) ListFiles(NodePath(node));
}

void MainForm::FileTypeChosen(int type) {
    if (activity_ != FormActivity::Listing && Refused()) {
        view_.ShowFileType(FFileType);
        return;
    }
    FFileType = type >= 0 && type <= 3 ? type : 0;
    view_.ShowFileType(FFileType);
    // A new file type lists the list's own folder again.
    if (!listedFolder_.empty()) ListFiles(listedFolder_);
}

void MainForm::ChooseDestFolder() {
    if (Refused()) return;
    const std::string folder = view_.ChooseFolder(texts::kDestFolderDialog, FDestFolder);
    if (folder.empty()) return;
    FDestFolder = WithSeparator(folder);
    view_.ShowDestFolder(FDestFolder);
}

void MainForm::DestFolderDropped(const std::string& folder) {
    if (Refused()) return;
    FDestFolder = WithSeparator(folder);
    view_.ShowDestFolder(FDestFolder);
}

void MainForm::Exit() {
    if (Refused()) return;
    if (view_.MessageBox({}, texts::kConfirmExit, BoxKind::Confirmation, Buttons::YesNo) == Answer::Yes) {
        view_.CloseWindow();
    }
}

// ---- the folder search ----

std::string MainForm::NodePath(int node) const {
    if (node < 0 || node >= static_cast<int>(tree_.size())) return {};
    // The root's name is the search folder itself, with its separator.
    std::string path = node == 0 ? tree_[0].name : WithSeparator(tree_[node].name);
    for (int p = tree_[node].parent; p >= 0; p = tree_[p].parent) {
        path = (p == 0 ? tree_[0].name : WithSeparator(tree_[p].name)) + path;
    }
    return path;
}

void MainForm::SearchFolders() {
    ShowStatus(texts::kSearchingFolders);
    if (files_.examine(PathFromText(FSearchFolder)).kind != PathKind::Folder) {
        view_.Beep();
        view_.MessageBox({}, texts::kDriveNotReady, BoxKind::Information, Buttons::Ok);
        ShowStatus(texts::kSpecifySearchFolder);
        return;
    }
    ActivityScope busy(activity_, view_, FormActivity::Searching, closeWhenIdle_);
    FListShown = false;
    rows_.clear();
    view_.ClearList();
    listedFolder_.clear();
    FSearchReady = false;
    FSearchAborted = false;

    tree_.assign(1, FolderNode{FSearchFolder, -1, {}, {}});
    view_.ClearTree();
    view_.AddFolder(0, -1, FSearchFolder);
    AddSubfolders(0);
    // Children go in right after the node that was entered, so this walk visits every folder
    // once, depth first, without recursion.
    for (int node = NextInDisplayOrder(tree_, 0); node >= 0; node = NextInDisplayOrder(tree_, node)) {
        if (view_.EscapePressed()) FSearchAborted = true;
        if (FSearchAborted) break;
        AddSubfolders(node);
    }
    SortTree();
    view_.ShowTree(tree_);
    FSearchReady = true;
    ShowStatus(FSearchAborted ? std::string(texts::kSearchInterrupted) : texts::SearchCompletedText(tree_.size()));
}

void MainForm::AddSubfolders(int node) {
    const std::string folder = NodePath(node);
    // A folder reached again through a link is not entered again below itself.
    FileIdentity identity;
    if (!files_.identify(PathFromText(folder), identity)) {
        tree_[node].identity = identity;
        for (int p = tree_[node].parent; p >= 0; p = tree_[p].parent) {
            if (tree_[p].identity == identity) return;
        }
    }
    std::vector<FolderEntry> entries;
    (void)files_.listFolder(PathFromText(folder), entries);  // a folder that cannot be listed has no children
    bool first = true;
    for (const FolderEntry& entry : entries) {
        // Hidden entries and those that are neither file nor folder are not looked at at all.
        if (entry.facts.hidden || (entry.facts.kind != PathKind::File && entry.facts.kind != PathKind::Folder)) continue;
        if (!first) {
            view_.Breathe();
            if (view_.EscapePressed()) FSearchAborted = true;
            if (FSearchAborted) return;
        }
        first = false;
        if (entry.facts.kind != PathKind::Folder) continue;
        const int child = static_cast<int>(tree_.size());
        tree_.push_back({PathText(entry.name), node, {}, {}});
        tree_[node].children.push_back(child);
        view_.AddFolder(child, node, tree_.back().name);
    }
}

void MainForm::SortTree() {
    for (FolderNode& node : tree_) {
        std::stable_sort(node.children.begin(), node.children.end(),
                         [&](int a, int b) { return ListsBefore(tree_[a].name, tree_[b].name); });
    }
}

}  // namespace quellmark
