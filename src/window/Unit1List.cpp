// TForm1's file list as the form fills it: the table's rows (row 1 is the first file), the
// selection, the sort shown in the header, the size column's padding as its width changes, the
// column widths with the memo column taking what the others leave, and the clicks and keys that
// sort, re-list and open.
#include "Unit1.h"

#include "../form/FileListText.h"
#include "../form/FormSettings.h"
#include "../form/WindowTexts.h"
#include "EventHook.h"
#include "QtText.h"

#include <QHeaderView>
#include <QItemSelection>
#include <QKeyEvent>
#include <QStyle>
#include <QTableWidget>

#include <algorithm>

namespace quellmark {

namespace {

// The table holds the file rows only; its row 0 is the list's row 1.
int TableRow(int row) { return row - 1; }

// The margins the style keeps on both sides of a cell's text.
int CellMargins(const QTableWidget* grid) {
    return 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1);
}

// The pixels a cell's text has, so padded sizes are never cut at the right.
int TextWidth(const QTableWidget* grid, int col) {
    return std::max(0, grid->horizontalHeader()->sectionSize(col) - CellMargins(grid));
}

// What a first run sizes the columns to: the widest text a column usually shows (a size of up to
// ten digits), a name of 16 characters, and for the memo column, which takes the width the
// others leave, no more than its header.
const QString kColumnSamples[kListColumns] = {
    QStringLiteral("0000000000000000"), QStringLiteral("0000000000"), QStringLiteral(".JWW"), QString(),
    QStringLiteral("0000/00/00 00:00:00"), QStringLiteral("R ")};

}  // namespace

QString TForm1::Cell(int col, int row) const {
    const QTableWidgetItem* item = StringGrid1->item(TableRow(row), col);
    return item ? item->text() : QString();
}

void TForm1::SetCell(int col, int row, const QString& text) {
    QTableWidgetItem* item = StringGrid1->item(TableRow(row), col);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        StringGrid1->setItem(TableRow(row), col, item);
    }
    if (item->text() == text) return;
    item->setText(text);
    // A name or memo cut by its column's width can still be read whole.
    if (col == kNameColumn || col == kMemoColumn) item->setToolTip(text);
}

int TForm1::RowCount() const { return StringGrid1->rowCount() + 1; }

void TForm1::SetRowCount(int rows) { StringGrid1->setRowCount(rows - 1); }

void TForm1::ClearList() {
    StringGrid1->clearSelection();
    SetRowCount(2);
    for (int c = 0; c < kListColumns; ++c) SetCell(c, 1, QString());
}

void TForm1::AddRows(const std::vector<FileRow>& rows, std::size_t first) {
    SetRowCount(static_cast<int>(rows.size()) + 1);
    for (std::size_t r = first; r < rows.size(); ++r) {
        for (int c = 0; c < kListColumns; ++c) SetCell(c, static_cast<int>(r) + 1, FromUtf8(rows[r].cells[c]));
    }
}

void TForm1::ShowRows(const std::vector<FileRow>& rows) {
    StringGrid1->setUpdatesEnabled(false);
    AddRows(rows, 0);
    StringGrid1->setUpdatesEnabled(true);
}

void TForm1::ShowColumn(int column, const std::vector<FileRow>& rows) {
    for (std::size_t r = 0; r < rows.size(); ++r) SetCell(column, static_cast<int>(r) + 1, FromUtf8(rows[r].cells[column]));
}

int TForm1::SizeColumnPixels() { return TextWidth(StringGrid1, kSizeColumn); }

std::vector<int> TForm1::SelectedRows() {
    std::vector<int> rows;
    for (const QModelIndex& index : StringGrid1->selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int TForm1::CurrentRow() { return StringGrid1->currentRow(); }

void TForm1::SelectRows(const std::vector<int>& rows, int current) {
    const QAbstractItemModel* model = StringGrid1->model();
    QItemSelection selection;
    for (int row : rows) selection.select(model->index(row, 0), model->index(row, kListColumns - 1));
    if (current >= 0 && current < model->rowCount()) {
        StringGrid1->selectionModel()->setCurrentIndex(model->index(current, std::max(0, StringGrid1->currentColumn())),
                                                       QItemSelectionModel::NoUpdate);
    }
    StringGrid1->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TForm1::ShowSortOrder(int column, bool descending) {
    QHeaderView* header = StringGrid1->horizontalHeader();
    header->setSortIndicatorShown(column >= 0);
    if (column >= 0) header->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TForm1::StringGrid1DrawCell(int col, int row) {
    if (col != kSizeColumn || row != 0) return;
    const int charWidth = QFontMetrics(StringGrid1->font()).horizontalAdvance(QLatin1Char('0'));
    form_.SizeWidthChanged(SizeFieldWidth(TextWidth(StringGrid1, kSizeColumn), charWidth));
}

void TForm1::StringGrid1MouseDown(int x, int y) {
    const QHeaderView* header = StringGrid1->horizontalHeader();
    if (y >= header->height()) return;
    // A press on a column border, or close enough to it to start resizing the column, sorts
    // nothing.
    const int grip = header->style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, header);
    for (int col = 0; col < kListColumns; ++col) {
        const int x0 = header->sectionViewportPosition(col);
        const int x1 = x0 + header->sectionSize(col);
        if (x <= x0 || x >= x1) continue;
        if (x - x0 <= grip || x1 - x <= grip) return;
        form_.HeaderClicked(col);
        return;
    }
}

void TForm1::StringGrid1DblClick() { form_.RowOpened(StringGrid1->currentRow()); }

void TForm1::ConnectColumns() {
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this, &TForm1::StringGrid1DblClick);
    connect(StringGrid1->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int col, int, int size) {
        if (col == kSizeColumn) StringGrid1DrawCell(kSizeColumn, 0);
        // The memo column's own width is what the user gives it; the spare width comes on top.
        if (col == kMemoColumn && !fillingMemo_) memoFloor_ = size;
        FillSpareWidth();
    });
    new EventHook(StringGrid1->viewport(), this, [this](QObject*, QEvent* event) {
        if (event->type() == QEvent::Resize) FillSpareWidth();
        return false;
    });
    // Enter opens the current file as a double click does; Ctrl and a column's number sorts by
    // that column as a click on its header does.
    new EventHook(StringGrid1, this, [this](QObject*, QEvent* event) {
        if (event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
            StringGrid1DblClick();
            return true;
        }
        if (key->modifiers() == Qt::ControlModifier && key->key() >= Qt::Key_1 && key->key() < Qt::Key_1 + kListColumns) {
            form_.HeaderClicked(key->key() - Qt::Key_1);
            return true;
        }
        return false;
    });
}

void TForm1::ApplyColumnWidths(const std::array<int, kListColumns>& widths) {
    QHeaderView* header = StringGrid1->horizontalHeader();
    const QFontMetrics metrics(StringGrid1->font());
    const int margins = CellMargins(StringGrid1);
    for (int c = 0; c < kListColumns; ++c) {
        int width = widths[c];
        if (width == FormSettings::kFitColumn) {
            // Room for the header and for the widest text the column usually holds.
            const int title = header->fontMetrics().horizontalAdvance(QString::fromUtf8(texts::kColumnHeaders[c])) +
                              2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
            width = std::max(title, metrics.horizontalAdvance(kColumnSamples[c]) + margins + metrics.averageCharWidth());
        }
        fillingMemo_ = true;
        header->resizeSection(c, width);
        fillingMemo_ = false;
        if (c == kMemoColumn) memoFloor_ = width;
    }
    FillSpareWidth();
}

void TForm1::FillSpareWidth() {
    const QHeaderView* header = StringGrid1->horizontalHeader();
    int others = 0;
    for (int c = 0; c < kListColumns; ++c) {
        if (c != kMemoColumn) others += header->sectionSize(c);
    }
    const int width = std::max(memoFloor_, StringGrid1->viewport()->width() - others);
    if (width == header->sectionSize(kMemoColumn)) return;
    fillingMemo_ = true;
    StringGrid1->horizontalHeader()->resizeSection(kMemoColumn, width);
    fillingMemo_ = false;
}

}  // namespace quellmark
