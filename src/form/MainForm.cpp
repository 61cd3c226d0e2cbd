// The main form's start-up and shut-down, its settings with their checks, the commands that
// choose the folders and the file type, Exit, and the folder search that builds the tree as it
// goes on.
#include "MainForm.h"

#include "MainFormParts.h"

#include "../platform/system.h"
#include "FileListText.h"
#include "TypedFolder.h"
#include "WindowDesign.h"
#include "WindowTexts.h"

#include <algorithm>
#include <utility>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSettingsName = "Quellmark.ini";

// Columns and the folder pane are never narrower than this, nor wider than a screen could need.
constexpr int kNarrowest = 16;
constexpr int kWidest = 4000;

int ClampedColumn(int width) {
    return width == FormSettings::kFitColumn ? width : std::clamp(width, kNarrowest, kWidest);
}

bool IsAbsoluteFolder(const std::string& folder) { return !folder.empty() && PathFromText(folder).is_absolute(); }

}  // namespace

void MainForm::ShowStatus(const std::string& text) {
    status_ = text;
    view_.ShowStatus(text, false);
}

void MainForm::Announce(const std::string& text) {
    status_ = text;
    view_.ShowStatus(text, true);
}

void MainForm::CommandStarts() {
    escapeLatched_ = false;
    FSearchAborted = false;
    listingAborted_ = false;
}

void MainForm::EscapePressed() {
    // Only a search or a listing under way is stopped by it; a press at any other time (closing
    // a menu, a stray tap) is nothing, and is not kept for the next command.
    if (activity_ == FormActivity::Searching || activity_ == FormActivity::Listing) escapeLatched_ = true;
}

bool MainForm::EscapeSeen() { return escapeLatched_ || desktop_.EscapeDown(); }

std::string MainForm::PickFolder(const char* title, const std::string& start) {
    // A dialog's close must not hand the focus to whatever control comes first (the type box,
    // whose next Down would change the filter).
    const FormControl focused = view_.FocusedControl();
    const std::string folder = desktop_.ChooseFolder(title, start);
    view_.Focus(focused);
    return folder;
}

bool MainForm::Refused() {
    if (activity_ == FormActivity::Idle) return false;
    desktop_.Beep();
    return true;
}

void MainForm::AskForSearchFolder() {
    desktop_.Beep();
    desktop_.MessageBox({}, texts::kSpecifySearchFolder, BoxKind::Error, Buttons::Ok);
    Announce(texts::kSpecifySearchFolder);
}

void MainForm::RefuseTypedFolder(const std::string& why) {
    desktop_.Beep();
    desktop_.MessageBox({}, why, BoxKind::Error, Buttons::Ok);
    Announce(why);
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
            if (const auto form = alive.lock())
                (*form)->desktop_.MessageBox({}, text, BoxKind::Information, Buttons::Ok);
        });
    }
}

void MainForm::ApplySettings(FormSettings s) {
    // Values from a file anyone may have edited: a window and columns that can be seen and
    // reached, a type the box has, folders that do not depend on where the program was started.
    FormLayout layout;
    layout.window = PlaceOnScreen(
        {s.left, s.top, std::max(s.width, design::kSmallestWidth), std::max(s.height, design::kSmallestHeight)},
        view_.Frame(), view_.Screens());
    layout.maximized = s.maximized != 0;
    layout.panel1Width =
        std::clamp(s.panel1Width, kNarrowest, std::max(kNarrowest, layout.window.width - 2 * kNarrowest));
    for (int c = 0; c < kListColumns; ++c) layout.columnWidths[c] = ClampedColumn(s.columnWidths[c]);
    layout.previewShown = s.previewShown != 0;
    layout.previewHeight = std::clamp(s.previewHeight, kNarrowest, kWidest);
    previewHeight_ = layout.previewHeight;
    view_.ApplyLayout(layout);
    pane_.SetShown(layout.previewShown);
    view_.ShowPreviewPane(layout.previewShown);
    FSortColumn =
        s.sortColumn >= 0 && s.sortColumn < kListColumns && s.sortColumn != kAttributeColumn ? s.sortColumn : -1;
    FSortDescending = FSortColumn >= 0 && s.sortDescending != 0;
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
        self.CommandStarts();
        self.SearchFolders();
    });
}

bool MainForm::CloseRequested() {
    if (closed_) return true;
    if (activity_ == FormActivity::Converting) {
        // Closing would leave the drawings under way to the batch's thread: ask, and close once
        // the batch has stopped. A batch that ends while the question is up takes it away (the
        // question no longer holds, and the user never said yes): the window stays, showing
        // the batch's result, and nothing is left behind that would close it later.
        closeQuestionUp_ = true;
        const Answer answer = desktop_.MessageBox({}, texts::kCloseDuringBatch, BoxKind::Confirmation, Buttons::YesNo);
        closeQuestionUp_ = false;
        if (std::exchange(closeQuestionDismissed_, false) || answer != Answer::Yes) return false;
        exitConfirmed_ = true;
        if (activity_ == FormActivity::Converting) {
            closeWhenIdle_ = true;
            Stop();
            return false;
        }
    } else if (!exitConfirmed_ && activity_ == FormActivity::Idle) {
        // The close box and Alt+F4 ask as ファイル → 終了 does.
        if (desktop_.MessageBox({}, texts::kConfirmExit, BoxKind::Confirmation, Buttons::YesNo) != Answer::Yes) {
            return false;
        }
        exitConfirmed_ = true;
    }
    return CloseForced();
}

bool MainForm::CloseForced() {
    if (closed_) return true;
    switch (activity_) {
        case FormActivity::Converting:
            closeWhenIdle_ = true;
            exitConfirmed_ = true;
            Stop();
            return false;
        case FormActivity::Searching:
        case FormActivity::Listing:
            // Stop it first; the window closes once it has.
            if (search_) search_->Stop();
            listingAborted_ = true;
            closeWhenIdle_ = true;
            exitConfirmed_ = true;
            return false;
        case FormActivity::Idle: break;
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
    s.maximized = layout.maximized ? 1 : 0;
    s.panel1Width = layout.panel1Width;
    for (int c = 0; c < kListColumns; ++c) s.columnWidths[c] = ClampedColumn(layout.columnWidths[c]);
    s.previewShown = pane_.Shown() ? 1 : 0;
    // A window that has no pane to size keeps the height it was given.
    s.previewHeight = std::clamp(layout.previewHeight > 0 ? layout.previewHeight : previewHeight_, kNarrowest, kWidest);
    s.sortColumn = FSortColumn;
    s.sortDescending = FSortDescending ? 1 : 0;
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
    const std::string folder = PickFolder(texts::kSearchFolderDialog, FSearchFolder);
    if (folder.empty()) return;
    FSearchFolder = WithSeparator(folder);
    view_.ShowSearchFolder(FSearchFolder);
    CommandStarts();
    SearchFolders();
}

void MainForm::SearchFieldClicked(const std::string& text) {
    // The empty field invites the click that chooses; one that shows a folder is edited.
    if (text.empty()) ChooseSearchFolder();
}

void MainForm::SearchFolderEntered(const std::string& text) {
    if (Refused()) return;
    const std::string typed = CleanTypedFolder(text);
    if (typed.empty()) {
        ChooseSearchFolder();
        return;
    }
    const TypedFolderCheck check = CheckTypedFolder(files_, typed, false);
    if (check.problem != TypedFolderProblem::None) {
        RefuseTypedFolder(TypedFolderRefusalText(check, typed, false));
        return;
    }
    SearchFolderDropped(check.folder);
}

std::string MainForm::DroppedFolder(const std::vector<std::string>& paths) {
    if (paths.size() != 1 || paths.front().empty()) return {};
    return files_.examine(PathFromText(paths.front())).kind == PathKind::Folder ? paths.front() : std::string();
}

void MainForm::SearchFolderDropped(const std::string& folder) {
    if (Refused()) return;
    FSearchFolder = WithSeparator(folder);
    view_.ShowSearchFolder(FSearchFolder);
    CommandStarts();
    SearchFolders();
}

void MainForm::FolderChosen(int node) {
    // A click beside the folders (on a branch's arrow) while a search fills the tree chooses
    // nothing to refuse.
    if (node < 0 && activity_ == FormActivity::Searching) return;
    // A folder chosen while another is listed stops that listing; other activities refuse it.
    if (activity_ != FormActivity::Listing && Refused()) return;
    if (!FSearchReady) {
        AskForSearchFolder();
        return;
    }
    if (node >= 0 && node < static_cast<int>(tree_.size())) ListFiles(NodePath(node));
}

void MainForm::TreeClicked(int node) {
    // A click where there is no folder asks for a search folder while there is no tree, and is
    // nothing once there is one.
    if (node < 0 && FSearchReady) return;
    FolderChosen(node);
}

void MainForm::Refresh() {
    if (Refused()) return;
    if (!listedFolder_.empty()) ListFiles(listedFolder_);
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
    const std::string folder = PickFolder(texts::kDestFolderDialog, FDestFolder);
    if (folder.empty()) return;
    FDestFolder = WithSeparator(folder);
    view_.ShowDestFolder(FDestFolder);
}

void MainForm::DestFolderDropped(const std::string& folder) {
    if (Refused()) return;
    FDestFolder = WithSeparator(folder);
    view_.ShowDestFolder(FDestFolder);
}

void MainForm::DestFolderEntered(const std::string& text) {
    if (Refused()) return;
    if (CleanTypedFolder(text).empty()) {
        ChooseDestFolder();
        return;
    }
    (void)TakeDestField(text);  // a refusal has said why
}

bool MainForm::TakeDestField(const std::string& text) {
    const std::string typed = CleanTypedFolder(text);
    if (typed.empty()) {
        // An emptied field is no destination, which 変換 then asks for.
        FDestFolder.clear();
        view_.ShowDestFolder(FDestFolder);
        return true;
    }
    const TypedFolderCheck check = CheckTypedFolder(files_, typed, true);
    if (check.problem != TypedFolderProblem::None) {
        RefuseTypedFolder(TypedFolderRefusalText(check, typed, true));
        return false;
    }
    FDestFolder = check.folder;
    view_.ShowDestFolder(FDestFolder);
    return true;
}

void MainForm::Exit() {
    if (Refused()) return;
    if (desktop_.MessageBox({}, texts::kConfirmExit, BoxKind::Confirmation, Buttons::YesNo) == Answer::Yes) {
        exitConfirmed_ = true;
        view_.CloseWindow();
    }
}

void MainForm::About() {
    const std::string version =
        version_.empty() ? std::string(texts::kCaption) : texts::kProductName + (" " + version_);
    desktop_.MessageBox(texts::kAboutTitle, version + "\n\n" + texts::kAboutText, BoxKind::Information, Buttons::Ok);
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

int MainForm::NodeOfFolder(const std::string& folder) const {
    const auto normal = [](const std::string& path) { return PathText(PathFromText(path).lexically_normal()); };
    const std::string wanted = normal(WithSeparator(folder));
    for (int node = 0; node < static_cast<int>(tree_.size()); ++node) {
        if (normal(NodePath(node)) == wanted) return node;
    }
    return -1;
}

void MainForm::SearchFolders() {
    selectAfterSearch_.clear();
    ShowStatus(texts::kSearchingFolders);
    if (files_.examine(PathFromText(FSearchFolder)).kind != PathKind::Folder) {
        desktop_.Beep();
        desktop_.MessageBox({}, texts::kDriveNotReady, BoxKind::Information, Buttons::Ok);
        ShowStatus(texts::kSpecifySearchFolder);
        return;
    }
    activity_ = FormActivity::Searching;
    view_.ShowActivity(activity_);
    FListShown = false;
    rows_.clear();
    view_.ClearList();
    listedFolder_.clear();
    PreviewCurrentRow();
    FSearchReady = false;
    FSearchAborted = false;

    tree_.assign(1, FolderNode{FSearchFolder, -1, {}});
    unreadable_.clear();
    view_.ClearTree();
    view_.AddFolder(0, -1, FSearchFolder);
    // The folders are read on the search's thread; the window's thread takes them into the tree
    // in batches, and answers input in between.
    search_ = std::make_unique<FolderSearch>(files_, PathFromText(FSearchFolder),
                                             [this, alive = std::weak_ptr<MainForm*>(alive_)] {
                                                 view_.Post([alive] {
                                                     if (const auto form = alive.lock()) (*form)->AddFoundFolders();
                                                 });
                                             });
    search_->Start();
}

void MainForm::AddFoundFolders() {
    if (!search_) return;
    if (EscapeSeen()) search_->Stop();
    SearchNews news = search_->Take();
    for (FoundFolder& found : news.found) {
        const int node = static_cast<int>(tree_.size());
        tree_.push_back({std::move(found.name), found.parent, {}});
        tree_[found.parent].children.push_back(node);
        view_.AddFolder(node, found.parent, tree_.back().name);
    }
    unreadable_.insert(unreadable_.end(), news.unreadable.begin(), news.unreadable.end());
    if (news.ended) SearchEnded(news.whole);
}

void MainForm::SearchEnded(bool whole) {
    search_.reset();
    view_.ShowTree(tree_);
    FSearchReady = true;
    FSearchAborted = !whole;
    std::string status = whole ? texts::SearchCompletedText(tree_.size()) : texts::SearchInterruptedText(tree_.size());
    if (!unreadable_.empty())
        status += " " + texts::UnreadableFoldersText(unreadable_.size(), NodePath(unreadable_.front()));
    ShowStatus(status);
    activity_ = FormActivity::Idle;
    view_.ShowActivity(activity_);
    // The tree was shut while the search ran: the keyboard goes back to it, not to the first
    // control that takes it (the type box, whose next Down would change the filter).
    view_.Focus(FormControl::Tree);
    if (std::exchange(closeWhenIdle_, false)) {
        view_.CloseWindow();
        return;
    }
    // Drawings dropped on the window: their folder, now the search folder, is listed with
    // them selected.
    const std::vector<std::string> dropped = std::exchange(selectAfterSearch_, {});
    if (!dropped.empty()) ShowDroppedFiles(0, dropped);
}

}  // namespace quellmark
