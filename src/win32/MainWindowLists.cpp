// The Win32 window's folder tree and its file list as the form fills them: the tree's nodes and
// their order, the clicks and keys that choose a folder; the list as a virtual report view whose
// texts come from the form's rows when Windows asks for them, its selection, the sort shown in
// its header, and the clicks and keys that sort and open.
#include "MainWindow.h"

#include "../form/FileListText.h"
#include "../form/WindowDesign.h"

#include <commctrl.h>

#include <algorithm>
#include <array>

namespace quellmark {

namespace {

int NodeOf(HWND tree, HTREEITEM item) {
    if (!item) return -1;
    TVITEMW data{};
    data.mask = TVIF_PARAM;
    data.hItem = item;
    return TreeView_GetItem(tree, &data) ? static_cast<int>(data.lParam) : -1;
}

// The margins the list keeps on both sides of a cell's text.
constexpr int kCellMargins = 12;

}  // namespace

// ---- the tree ----

LRESULT MainWindow::TreeNotify(const NMHDR& header, LPARAM lparam) {
    switch (header.code) {
        case TVN_SELCHANGEDW: {
            // A folder the user moved to, by the keys or the mouse, is listed; the changes the
            // window makes while it fills the tree, and moves while a search still fills it,
            // list nothing.
            if (fillingTree_) return 0;
            const auto& change = *reinterpret_cast<const NMTREEVIEWW*>(lparam);
            // The control picks a folder by itself when it takes the focus with none chosen:
            // that is no choice of the user's, and it must not put a listing in the place of
            // what the search said (Enter lists it, as a click on it does).
            if (change.action == TVC_UNKNOWN || form_.Activity() == FormActivity::Searching) return 0;
            if (change.itemNew.hItem) form_.FolderChosen(NodeOf(tree_, change.itemNew.hItem));
            return 0;
        }
        case TVN_ITEMEXPANDINGW: {
            // A branch's folders go into the control when it is first opened: a search of
            // thousands of folders inserts only those that are seen.
            const auto& change = *reinterpret_cast<const NMTREEVIEWW*>(lparam);
            if (change.action & TVE_EXPAND) FillBranch(NodeOf(tree_, change.itemNew.hItem));
            return FALSE;
        }
        case NM_CLICK: {
            // The tree reports a click before the selection it makes: a click on the folder
            // already chosen lists it again, one on another folder is listed when it is chosen.
            TVHITTESTINFO hit{};
            const DWORD at = ::GetMessagePos();
            hit.pt = {static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
            ::ScreenToClient(tree_, &hit.pt);
            const HTREEITEM item = TreeView_HitTest(tree_, &hit);
            if (item && (hit.flags & TVHT_ONITEM)) {
                if (item == TreeView_GetSelection(tree_)) form_.TreeClicked(NodeOf(tree_, item));
            } else if (!item) {
                form_.TreeClicked(-1);
            }
            return 0;
        }
        default: return 0;
    }
}

void MainWindow::ClearTree() {
    fillingTree_ = true;
    TreeView_DeleteAllItems(tree_);
    fillingTree_ = false;
    items_.clear();
    filled_.clear();
}

HTREEITEM MainWindow::InsertNode(int node, HTREEITEM parent, bool hasFolders) {
    const std::wstring text = Wide(form_.Tree()[node].name);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;  // the form gives a folder's subfolders in name order
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.lParam = node;
    insert.item.cChildren = hasFolders ? 1 : 0;
    fillingTree_ = true;
    const HTREEITEM item = TreeView_InsertItem(tree_, &insert);
    fillingTree_ = false;
    items_[node] = item;
    return item;
}

void MainWindow::AddFolder(int node, int parent, const std::string&) {
    const std::vector<FolderNode>& tree = form_.Tree();
    if (node < 0 || node >= static_cast<int>(tree.size())) return;
    if (static_cast<int>(items_.size()) < static_cast<int>(tree.size())) {
        items_.resize(tree.size(), nullptr);
        filled_.resize(tree.size(), false);
    }
    if (parent < 0) {
        InsertNode(node, TVI_ROOT, false);
        filled_[node] = true;  // the search folder's own folders show as they come
        return;
    }
    const HTREEITEM up = parent < static_cast<int>(items_.size()) ? items_[parent] : nullptr;
    if (!up) return;  // a branch never opened: its folders go in when it is
    if (filled_[parent]) {
        InsertNode(node, up, false);
        if (parent == 0 && tree[0].children.size() == 1) {
            fillingTree_ = true;
            TreeView_Expand(tree_, up, TVE_EXPAND);
            fillingTree_ = false;
        }
    } else if (tree[parent].children.size() == 1) {
        // The branch shows that it holds folders; they go in when it opens.
        TVITEMW item{};
        item.mask = TVIF_CHILDREN;
        item.hItem = up;
        item.cChildren = 1;
        TreeView_SetItem(tree_, &item);
    }
}

void MainWindow::FillBranch(int node) {
    const std::vector<FolderNode>& tree = form_.Tree();
    if (node < 0 || node >= static_cast<int>(filled_.size()) || filled_[node] || !items_[node]) return;
    filled_[node] = true;
    for (int child : tree[node].children) InsertNode(child, items_[node], !tree[child].children.empty());
}

void MainWindow::ShowTree(const std::vector<FolderNode>&) {
    // The nodes went in in the form's order as the search found them; the search folder opens
    // and, unless the user moved to another meanwhile, is the current folder (the keys start
    // there, a screen reader names it), without being listed: the status keeps what the search
    // said until the user chooses a folder.
    fillingTree_ = true;
    if (!items_.empty() && items_[0]) {
        TreeView_Expand(tree_, items_[0], TVE_EXPAND);
        if (!TreeView_GetSelection(tree_)) TreeView_SelectItem(tree_, items_[0]);
    }
    fillingTree_ = false;
}

// ---- the list ----

LRESULT MainWindow::ListNotify(const NMHDR& header, LPARAM lparam) {
    switch (header.code) {
        case LVN_GETDISPINFOW: {
            auto& item = reinterpret_cast<NMLVDISPINFOW*>(lparam)->item;
            const std::vector<FileRow>& rows = form_.Rows();
            if ((item.mask & LVIF_TEXT) && item.iItem >= 0 && item.iItem < static_cast<int>(rows.size()) &&
                item.iSubItem >= 0 && item.iSubItem < kListColumns && item.cchTextMax > 0) {
                cellText_ =
                    Wide(rows[static_cast<std::size_t>(item.iItem)].cells[static_cast<std::size_t>(item.iSubItem)]);
                const std::size_t n =
                    std::min<std::size_t>(cellText_.size(), static_cast<std::size_t>(item.cchTextMax - 1));
                std::copy_n(cellText_.begin(), n, item.pszText);
                item.pszText[n] = L'\0';
            }
            return 0;
        }
        case LVN_GETINFOTIPW: {
            // A name or memo cut by its column shows whole.
            auto& tip = *reinterpret_cast<NMLVGETINFOTIPW*>(lparam);
            const std::vector<FileRow>& rows = form_.Rows();
            if (tip.iItem >= 0 && tip.iItem < static_cast<int>(rows.size()) && tip.cchTextMax > 0) {
                const FileRow& row = rows[static_cast<std::size_t>(tip.iItem)];
                const std::wstring text = Wide(row.cells[kNameColumn] +
                                               (row.cells[kMemoColumn].empty() ? "" : "\n" + row.cells[kMemoColumn]));
                const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(tip.cchTextMax - 1));
                std::copy_n(text.begin(), n, tip.pszText);
                tip.pszText[n] = L'\0';
            }
            return 0;
        }
        case LVN_COLUMNCLICK: form_.HeaderClicked(reinterpret_cast<const NMLISTVIEW*>(lparam)->iSubItem); return 0;
        case NM_DBLCLK: form_.RowOpened(reinterpret_cast<const NMITEMACTIVATE*>(lparam)->iItem); return 0;
        case LVN_ITEMCHANGED: {
            // The current row moved: the preview follows it.
            const auto& change = *reinterpret_cast<const NMLISTVIEW*>(lparam);
            if ((change.uChanged & LVIF_STATE) && ((change.uNewState ^ change.uOldState) & LVIS_FOCUSED))
                form_.CurrentRowChanged();
            return 0;
        }
        case LVN_KEYDOWN: {
            const WORD key = reinterpret_cast<const NMLVKEYDOWN*>(lparam)->wVKey;
            if (!(::GetKeyState(VK_CONTROL) & 0x8000)) return 0;
            // Ctrl+A selects every file; Ctrl and a column's number sorts by that column.
            if (key == 'A') ListView_SetItemState(list_, -1, LVIS_SELECTED, LVIS_SELECTED);
            if (key >= '1' && key <= '9') form_.ColumnKey(key - '0');
            return 0;
        }
        case HDN_ITEMCHANGEDW:
        case HDN_ENDTRACKW: {
            const int column = reinterpret_cast<const NMHEADERW*>(lparam)->iItem;
            if (column == kSizeColumn) SizeColumnChanged();
            // The memo column's own width is what the user gives it; the spare width comes on top.
            if (column == kMemoColumn && !fillingMemo_) memoFloor_ = ListView_GetColumnWidth(list_, kMemoColumn);
            if (!fillingMemo_) FillSpareWidth();
            return 0;
        }
        default: return 0;
    }
}

LRESULT CALLBACK MainWindow::ListProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                           DWORD_PTR window) {
    const LRESULT result = ::DefSubclassProc(hwnd, message, wparam, lparam);
    if (message == WM_SIZE) reinterpret_cast<MainWindow*>(window)->FillSpareWidth();
    return result;
}

int MainWindow::CharWidth() const {
    HDC dc = ::GetDC(list_);
    const HGDIOBJ old = ::SelectObject(dc, listFont_);
    SIZE zero{};
    ::GetTextExtentPoint32W(dc, L"0", 1, &zero);
    ::SelectObject(dc, old);
    ::ReleaseDC(list_, dc);
    return std::max(1, static_cast<int>(zero.cx));
}

void MainWindow::SizeColumnChanged() { form_.SizeWidthChanged(SizeFieldWidth(SizeColumnPixels(), CharWidth())); }

void MainWindow::FillSpareWidth() {
    if (!list_) return;
    RECT client;
    ::GetClientRect(list_, &client);
    std::array<int, kListColumns> widths{};
    for (int c = 0; c < kListColumns; ++c) widths[c] = ListView_GetColumnWidth(list_, c);
    // A pixel short of the whole width: columns that fill it exactly still bring a scroll bar.
    const int width = design::MemoColumnWidth(widths, memoFloor_, static_cast<int>(client.right) - 1);
    if (width == widths[kMemoColumn]) return;
    fillingMemo_ = true;
    ListView_SetColumnWidth(list_, kMemoColumn, width);
    fillingMemo_ = false;
}

void MainWindow::CountRows(DWORD flags) {
    ListView_SetItemCountEx(list_, static_cast<int>(form_.Rows().size()), flags);
    ::InvalidateRect(list_, nullptr, FALSE);
    FillSpareWidth();  // the rows may have brought the scroll bar, or taken it away
}

void MainWindow::ClearList() { CountRows(0); }

void MainWindow::AddRows(std::size_t) { CountRows(LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL); }

void MainWindow::ShowRows() { CountRows(LVSICF_NOSCROLL); }

void MainWindow::ShowColumn(int) { ShowRows(); }

int MainWindow::SizeColumnPixels() { return std::max(0, ListView_GetColumnWidth(list_, kSizeColumn) - kCellMargins); }

std::vector<int> MainWindow::SelectedRows() {
    std::vector<int> rows;
    for (int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(list_, row, LVNI_SELECTED)) {
        rows.push_back(row);
    }
    return rows;
}

int MainWindow::CurrentRow() { return ListView_GetNextItem(list_, -1, LVNI_FOCUSED); }

void MainWindow::SelectRows(const std::vector<int>& rows, int current) {
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    for (int row : rows) ListView_SetItemState(list_, row, LVIS_SELECTED, LVIS_SELECTED);
    if (current >= 0) {
        ListView_SetItemState(list_, current, LVIS_FOCUSED, LVIS_FOCUSED);
        ListView_SetSelectionMark(list_, current);
        ListView_EnsureVisible(list_, current, FALSE);
    }
}

void MainWindow::ShowSortOrder(int column, bool descending) {
    const HWND header = ListView_GetHeader(list_);
    for (int c = 0; c < kListColumns; ++c) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        Header_GetItem(header, c, &item);
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (c == column) item.fmt |= descending ? HDF_SORTDOWN : HDF_SORTUP;
        Header_SetItem(header, c, &item);
    }
}

}  // namespace quellmark
