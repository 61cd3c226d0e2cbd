// The main form's file list: listing a folder by file type in name order, a slice of time at a
// time so the window keeps answering; each row's texts and its drawing memo; the sizes padded to
// their column; sorting by a header with the selection kept by name; opening a file; the preview of the current row.
#include "MainForm.h"

#include "../drawing/Func_.h"
#include "../drawing/recognise.h"
#include "../jww/jwwunit.h"
#include "../platform/cp932.h"
#include "../platform/system.h"
#include "FileListText.h"
#include "MainFormParts.h"
#include "WindowDesign.h"
#include "WindowTexts.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <utility>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

// The width a size character is taken to have while a listing fills the list.
constexpr int kListingCharWidth = 8;
// How long a listing fills rows before the window gets to paint them and to answer input.
constexpr auto kListingSlice = std::chrono::milliseconds(25);

// Whether the name matches the file type's pattern ("*.*", "*.jw?", "*.jww", "*.jws"), without
// regard to letter case as the file systems of the drawings' platform match them.
bool MatchesPattern(const std::string& name, std::string_view pattern) {
    if (pattern == "*.*") return true;
    const std::string ext = UpperExtension(name);
    const std::string wanted = AsciiUpper(pattern.substr(1));  // ".JW?" and the like
    if (ext.size() != wanted.size()) return false;
    for (std::size_t i = 0; i < ext.size(); ++i) {
        if (wanted[i] != '?' && wanted[i] != ext[i]) return false;
    }
    return true;
}

}  // namespace

void MainForm::ListFiles(const std::string& folder) {
    if (activity_ == FormActivity::Listing) {
        // A folder asked for while another is listed: that listing stops, this one follows.
        nextListing_ = folder;
        listingAborted_ = true;
        return;
    }
    ActivityScope busy(activity_, view_, FormActivity::Listing, closeWhenIdle_);
    nextListing_ = folder;
    while (!nextListing_.empty() && !closeWhenIdle_) FillList(std::exchange(nextListing_, std::string()));
    PreviewCurrentRow();
}

void MainForm::FillList(const std::string& folder) {
    listingAborted_ = false;
    escapeLatched_ = false;
    listedFolder_ = folder;
    ShowStatus(texts::kListingFolderBefore + folder + texts::kListingFolderAfter);
    FListShown = false;
    rows_.clear();
    view_.ClearList();
    // The files listed again may have changed since the pane saw them.
    PreviewCurrentRow();
    pane_.Forget();
    sizeWidth_ = 0;
    const int width = SizeFieldWidth(view_.SizeColumnPixels(), kListingCharWidth);

    // Files only, hidden ones and those that are neither file nor folder left out, in name order.
    std::vector<FolderEntry> entries;
    (void)files_.listFolder(PathFromText(folder), entries);  // a folder that cannot be listed lists nothing
    const std::string_view pattern = FilePattern(FFileType);
    std::vector<std::pair<std::string, const FolderEntry*>> files;
    for (const FolderEntry& entry : entries) {
        if (entry.facts.kind != PathKind::File || entry.facts.hidden) continue;
        std::string name = PathText(entry.name);
        if (MatchesPattern(name, pattern)) files.emplace_back(std::move(name), &entry);
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return ListsBefore(a.first, b.first); });
    // An Escape pressed while the folder was read stops this listing, not the next one.
    view_.Breathe();

    // Rows are filled a slice of time at a time and added to the list together; between two
    // slices the window paints and answers input, which may stop this listing.
    std::size_t shown = 0;
    const auto addRows = [&] {
        if (shown == rows_.size()) return;
        view_.AddRows(shown);
        shown = rows_.size();
    };
    bool completed = true;
    auto sliceStart = std::chrono::steady_clock::now();
    for (const auto& [name, entry] : files) {
        if (EscapeSeen() || listingAborted_) {
            completed = false;
            break;
        }
        rows_.push_back(RowOf(folder, *entry, width));
        if (std::chrono::steady_clock::now() - sliceStart >= kListingSlice) {
            addRows();
            view_.Breathe();
            sliceStart = std::chrono::steady_clock::now();
        }
    }
    addRows();
    if (!nextListing_.empty()) return;  // the next listing says what happens now
    Announce(completed ? texts::FilesListedText(rows_.size(), folder) : std::string(texts::kListingInterrupted));
    if (!rows_.empty()) {
        FListShown = true;
        if (view_.SelectedRows().empty()) view_.SelectRows({0}, 0);
    }
    // The list comes in name order, then in the order the user sorted it by, which the header
    // shows.
    if (FSortColumn >= 0 && rows_.size() > 1) {
        SortByColumn(FSortColumn, FSortDescending);
    } else {
        view_.ShowSortOrder(FSortColumn, FSortDescending);
    }
}

FileRow MainForm::RowOf(const std::string& folder, const FolderEntry& entry, int sizeWidth) {
    FileRow row;
    const std::string name = PathText(entry.name);
    row.size = entry.facts.size;
    row.cells[kNameColumn] = name;
    row.cells[kSizeColumn] = RightJustify(static_cast<std::int64_t>(row.size), sizeWidth);
    row.cells[2] = UpperExtension(name);
    row.cells[kMemoColumn] = DrawingMemo(PathFromText(folder + name));
    row.cells[4] = LocalTimeText(entry.facts.modified);
    // Linux has no archive attribute, and read-only means its owner cannot write it.
    row.cells[kAttributeColumn] = std::string(entry.facts.archive ? "A " : "") + (entry.facts.readOnly ? "R " : "");
    return row;
}

std::string MainForm::DrawingMemo(const fs::path& file) {
    const std::string ext = UpperExtension(PathText(file.filename()));
    const bool drawing = ext == ".JWW" || ext == ".JW$";
    const bool backup = ext == ".BAK" || ext.starts_with(".BK");
    if (!drawing && !(backup && IsJwwFile(files_, file))) return {};
    JwwDocument doc;
    if (!ReadJwwMemo(doc, files_, file)) return {};
    // A memo is one line in the list: a line break or a tab between two words shows as a space
    // rather than joining them. A control byte is never the second byte of a character.
    std::string memo;
    const std::string& stored = doc.Header.Memo;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == '\r' && i + 1 < stored.size() && stored[i + 1] == '\n') continue;  // one break, one space
        memo += static_cast<unsigned char>(stored[i]) < 0x20 ? ' ' : stored[i];
    }
    return Cp932ToUtf8(SanitizeSjis(memo));
}

void MainForm::SizeWidthChanged(int characters) {
    // The sizes only change when their width does.
    if (!FListShown || characters == sizeWidth_) return;
    sizeWidth_ = characters;
    for (FileRow& row : rows_) {
        if (!row.cells[kSizeColumn].empty()) {
            row.cells[kSizeColumn] = RightJustify(static_cast<std::int64_t>(row.size), characters);
        }
    }
    view_.ShowColumn(kSizeColumn);
}

void MainForm::HeaderClicked(int column) {
    if (Refused()) return;
    if (!FListShown || column < 0 || column >= kListColumns) return;
    if (column != kAttributeColumn) {
        // Each click on the sorted column turns its direction; another column starts ascending.
        const bool descending = column == FSortColumn && !FSortDescending;
        FSortColumn = column;
        FSortDescending = descending;
        SortByColumn(column, descending);
        return;
    }
    // The folder listed again, in its own order, with the files that were selected still selected.
    const std::vector<std::string> selected = SelectedNames();
    const int current = view_.CurrentRow();
    const std::string currentName =
        current >= 0 && current < static_cast<int>(rows_.size()) ? rows_[current].cells[0] : "";
    FSortColumn = -1;
    FSortDescending = false;
    ListFiles(listedFolder_);
    SelectNames(selected, currentName);
    PreviewCurrentRow();
}

void MainForm::ColumnKey(int number) {
    if (number >= 1 && number <= kListColumns) HeaderClicked(number - 1);
}

std::vector<std::string> MainForm::SelectedNames() {
    std::vector<std::string> names;
    for (int row : view_.SelectedRows()) {
        if (row >= 0 && row < static_cast<int>(rows_.size())) names.push_back(rows_[row].cells[kNameColumn]);
    }
    return names;
}

void MainForm::SelectNames(const std::vector<std::string>& names, const std::string& current) {
    std::map<std::string, int> rowOf;
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r) rowOf.emplace(rows_[r].cells[kNameColumn], r);
    std::vector<int> rows;
    for (const std::string& name : names) {
        if (auto it = rowOf.find(name); it != rowOf.end()) rows.push_back(it->second);
    }
    std::sort(rows.begin(), rows.end());
    const auto at = rowOf.find(current);
    if (rows.empty() && at == rowOf.end()) return;
    view_.SelectRows(rows, at == rowOf.end() ? (rows.empty() ? -1 : rows.front()) : at->second);
}

void MainForm::SortByColumn(int column, bool descending) {
    const int files = static_cast<int>(rows_.size());
    std::vector<std::string> keys;
    keys.reserve(files);
    for (const FileRow& row : rows_) keys.push_back(AsciiUpper(row.cells[column]));
    // at[p] is the row that ends up at place p.
    std::vector<int> at(files);
    for (int r = 0; r < files; ++r) at[r] = r;
    for (const auto& [r, s] : HeaderSortExchanges(std::move(keys), descending)) std::swap(at[r - 1], at[s - 1]);

    // The rows move; the selection and the current row go with the files.
    const std::vector<int> selected = view_.SelectedRows();
    const int current = view_.CurrentRow();
    std::vector<int> placeOf(files);
    for (int p = 0; p < files; ++p) placeOf[at[p]] = p;
    std::vector<FileRow> sorted(files);
    for (int p = 0; p < files; ++p) sorted[p] = std::move(rows_[at[p]]);
    rows_ = std::move(sorted);
    std::vector<int> moved;
    for (int row : selected) {
        if (row >= 0 && row < files) moved.push_back(placeOf[row]);
    }
    std::sort(moved.begin(), moved.end());
    view_.ShowRows();
    view_.SelectRows(moved, current >= 0 && current < files ? placeOf[current] : -1);
    view_.ShowSortOrder(column, descending);
}

void MainForm::RowOpened(int row) {
    if (Refused()) return;
    if (!FSearchReady) {
        AskForSearchFolder();
        return;
    }
    if (!FListShown) {
        desktop_.Beep();
        ShowStatus(texts::kSpecifyDrawingFolder);
        return;
    }
    if (row < 0 || row >= static_cast<int>(rows_.size()) || rows_[row].cells[kNameColumn].empty()) return;
    const fs::path file = PathFromText(listedFolder_ + rows_[row].cells[kNameColumn]);
    // A file removed since the listing is said as such, not as a file no program takes.
    if (files_.examine(file).kind != PathKind::File) {
        OpenFailure(texts::kFileGone)(OpenProblem::Gone);
        return;
    }
    desktop_.OpenWithShell(file, OpenFailure(texts::kFileGone));
}

std::function<void(OpenProblem)> MainForm::OpenFailure(const char* gone) {
    return [alive = std::weak_ptr<MainForm*>(alive_), gone](OpenProblem why) {
        const auto form = alive.lock();
        if (!form) return;
        const char* text = why == OpenProblem::NoApplication ? texts::kNoApplication
                           : why == OpenProblem::Gone        ? gone
                                                             : texts::kCannotOpen;
        (*form)->desktop_.Beep();
        (*form)->desktop_.MessageBox({}, text, BoxKind::Error, Buttons::Ok);
        (*form)->Announce(text);
    };
}

std::vector<ListMenuItem> MainForm::ListMenu() {
    // What the commands take while the form does what it does now; opening needs a file under
    // the keyboard, the folder a listing.
    const bool on = design::CommandsOf(activity_).commands;
    const int row = view_.CurrentRow();
    const bool file = FListShown && row >= 0 && row < static_cast<int>(rows_.size());
    return {{ListCommand::Open, texts::kMenuOpen, on && file},
            {ListCommand::Convert, texts::kConvertMenuItem, on},
            {ListCommand::OpenFolder, texts::kMenuOpenFolder, on && !listedFolder_.empty()}};
}

void MainForm::ListMenuChosen(ListCommand command) {
    switch (command) {
        case ListCommand::Open: RowOpened(view_.CurrentRow()); return;
        case ListCommand::Convert: Convert(); return;
        case ListCommand::OpenFolder: {
            if (Refused() || listedFolder_.empty()) return;
            const fs::path folder = PathFromText(listedFolder_);
            if (files_.examine(folder).kind != PathKind::Folder) {
                OpenFailure(texts::kFolderGone)(OpenProblem::Gone);
                return;
            }
            desktop_.OpenWithShell(folder, OpenFailure(texts::kFolderGone));
            return;
        }
    }
}

// ---- files dropped on the window ----

bool MainForm::DropBringsFiles(const std::vector<std::string>& paths) {
    // Asked at every move of a drag: the first path tells, FilesDropped looks at them all.
    return !paths.empty() && !paths.front().empty() &&
           files_.examine(PathFromText(paths.front())).kind != PathKind::Folder;
}

void MainForm::FilesDropped(const std::vector<std::string>& paths) {
    if (Refused()) return;
    // The drawings of the first drawing's folder; other files, and drawings elsewhere, are left.
    std::string folder;
    std::vector<std::string> names;
    std::string other;
    for (const std::string& text : paths) {
        const fs::path path = PathFromText(text).lexically_normal();
        const std::string name = PathText(path.filename());
        const std::string parent = WithSeparator(PathText(path.parent_path()));
        const bool drawing = path.is_absolute() && FormatOfName(path) != DrawingFormat::None &&
                             files_.examine(path).kind == PathKind::File;
        if (!drawing) {
            if (other.empty()) other = name.empty() ? text : name;
        } else if (folder.empty() || parent == folder) {
            folder = parent;
            names.push_back(name);
        }
    }
    if (names.empty()) {
        Announce(texts::NotDrawingDroppedText(other));
        return;
    }
    // The file type shows them: one that would hide a drawing gives way to "*.JW?".
    const bool shown = std::all_of(names.begin(), names.end(), [&](const std::string& name) {
        return MatchesPattern(name, FilePattern(FFileType));
    });
    if (!shown) {
        FFileType = 1;
        view_.ShowFileType(FFileType);
    }
    // A folder of the tree is listed; any other becomes the search folder first, as a folder
    // dropped on the tree does.
    if (const int node = FSearchReady ? NodeOfFolder(folder) : -1; node >= 0) {
        ShowDroppedFiles(node, names);
        return;
    }
    SearchFolderDropped(folder);
    if (activity_ == FormActivity::Searching) selectAfterSearch_ = names;
}

void MainForm::ShowDroppedFiles(int node, const std::vector<std::string>& names) {
    ListFiles(NodePath(node));
    SelectNames(names, names.front());
    view_.Focus(FormControl::List);
}

void MainForm::CurrentRowChanged() { PreviewCurrentRow(); }

void MainForm::PreviewCurrentRow() {
    const int row = view_.CurrentRow();
    const bool file = row >= 0 && row < static_cast<int>(rows_.size()) && !listedFolder_.empty() &&
                      !rows_[row].cells[kNameColumn].empty();
    pane_.Select(file ? PathFromText(listedFolder_ + rows_[row].cells[kNameColumn]) : fs::path());
}

void MainForm::TogglePreview() {
    pane_.SetShown(!pane_.Shown());
    view_.ShowPreviewPane(pane_.Shown());
}

}  // namespace quellmark
