// The file list's model over the form's rows.
#include "FileRowsModel.h"

#include "../form/WindowTexts.h"
#include "QtText.h"

#include <algorithm>

namespace quellmark {

FileRowsModel::FileRowsModel(const MainForm& form, QObject* parent) : QAbstractTableModel(parent), form_(form) {}

int FileRowsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown_; }

int FileRowsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kListColumns; }

QVariant FileRowsModel::data(const QModelIndex& index, int role) const {
    const std::vector<FileRow>& rows = form_.Rows();
    // The form changes its rows before it tells the list: a row it no longer has shows empty.
    if (!index.isValid() || index.row() >= static_cast<int>(rows.size())) return {};
    const std::string& text =
        rows[static_cast<std::size_t>(index.row())].cells[static_cast<std::size_t>(index.column())];
    switch (role) {
        case Qt::DisplayRole: return FromUtf8(text);
        // A name or memo cut by its column's width can still be read whole.
        case Qt::ToolTipRole:
            return index.column() == kNameColumn || index.column() == kMemoColumn ? QVariant(FromUtf8(text))
                                                                                  : QVariant();
        default: return {};
    }
}

QVariant FileRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kListColumns) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(texts::kColumnHeaders[section]);
    return {};
}

Qt::ItemFlags FileRowsModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

void FileRowsModel::Reset() {
    beginResetModel();
    shown_ = static_cast<int>(form_.Rows().size());
    endResetModel();
}

void FileRowsModel::Added(std::size_t first) {
    const int count = static_cast<int>(form_.Rows().size());
    if (static_cast<int>(first) < shown_) {
        // Rows the list had seen changed as well: it starts over.
        Reset();
        return;
    }
    if (count <= shown_) return;
    beginInsertRows({}, shown_, count - 1);
    shown_ = count;
    endInsertRows();
}

void FileRowsModel::Changed(int column) {
    if (static_cast<int>(form_.Rows().size()) != shown_) {
        Reset();
        return;
    }
    if (shown_ == 0) return;
    const int first = column < 0 ? 0 : column;
    const int last = column < 0 ? kListColumns - 1 : column;
    emit dataChanged(index(0, first), index(shown_ - 1, last), {Qt::DisplayRole});
}

}  // namespace quellmark
