// TForm1's file list as the form fills it: a table view of the form's rows (row 1 is the first
// file), the selection, the sort shown in the header, the size column's padding as its width
// changes, the column widths (the form's rules, measured in this window's fonts), and the clicks
// and keys that sort, re-list and open.
#include "Unit1.h"

#include "../form/FileListText.h"
#include "../form/FormSettings.h"
#include "../form/WindowDesign.h"
#include "../form/WindowTexts.h"
#include "EventHook.h"
#include "FileRowsModel.h"
#include "QtText.h"

#include <QHeaderView>
#include <QItemSelection>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>

#include <algorithm>

namespace quellmark {

namespace {

// The margins the style keeps on both sides of a cell's text.
int CellMargins(const QTableView* grid) {
    return 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1);
}

// The pixels a cell's text has, so padded sizes are never cut at the right.
int TextWidth(const QTableView* grid, int col) {
    return std::max(0, grid->horizontalHeader()->sectionSize(col) - CellMargins(grid));
}

// The width the rows have when the list scrolls: its viewport less the vertical scroll bar
// when that is not shown yet.
int ScrolledWidth(const QTableView* grid) {
    const int bar = grid->verticalScrollBar()->isVisible()
                        ? 0
                        : grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid->verticalScrollBar());
    return std::max(0, grid->viewport()->width() - bar);
}

std::array<int, kListColumns> SectionSizes(const QHeaderView* header) {
    std::array<int, kListColumns> widths{};
    for (int c = 0; c < kListColumns; ++c) widths[c] = header->sectionSize(c);
    return widths;
}

}  // namespace

QString TForm1::Cell(int col, int row) const {
    const std::vector<FileRow>& rows = form_.Rows();
    if (row < 1 || row > static_cast<int>(rows.size()) || col < 0 || col >= kListColumns) return {};
    return FromUtf8(rows[static_cast<std::size_t>(row - 1)].cells[static_cast<std::size_t>(col)]);
}

int TForm1::RowCount() const { return rows_->rowCount() + 1; }

void TForm1::ClearList() {
    StringGrid1->clearSelection();
    rows_->Reset();
}

void TForm1::AddRows(std::size_t first) { rows_->Added(first); }

void TForm1::ShowRows() { rows_->Changed(-1); }

void TForm1::ShowColumn(int column) { rows_->Changed(column); }

int TForm1::SizeColumnPixels() { return TextWidth(StringGrid1, kSizeColumn); }

std::vector<int> TForm1::SelectedRows() {
    std::vector<int> rows;
    for (const QModelIndex& index : StringGrid1->selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int TForm1::CurrentRow() { return StringGrid1->currentIndex().isValid() ? StringGrid1->currentIndex().row() : -1; }

void TForm1::SelectRows(const std::vector<int>& rows, int current) {
    const QAbstractItemModel* model = StringGrid1->model();
    QItemSelection selection;
    for (int row : rows) selection.select(model->index(row, 0), model->index(row, kListColumns - 1));
    if (current >= 0 && current < model->rowCount()) {
        StringGrid1->selectionModel()->setCurrentIndex(
            model->index(current, std::max(0, StringGrid1->currentIndex().column())), QItemSelectionModel::NoUpdate);
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

void TForm1::StringGrid1DblClick() { form_.RowOpened(CurrentRow()); }

void TForm1::ShowListMenu(QPoint at) {
    QMenu menu(this);
    for (const ListMenuItem& item : form_.ListMenu()) {
        QAction* action = menu.addAction(QString::fromUtf8(item.text));
        action->setEnabled(item.enabled);
        connect(action, &QAction::triggered, this, [this, command = item.command] { form_.ListMenuChosen(command); });
    }
    menu.exec(StringGrid1->viewport()->mapToGlobal(at));
}

void TForm1::ConnectColumns() {
    connect(StringGrid1, &QTableView::doubleClicked, this, &TForm1::StringGrid1DblClick);
    // A right click and the menu key bring the list's context menu; Shift+F10 below.
    StringGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(StringGrid1, &QWidget::customContextMenuRequested, this, &TForm1::ShowListMenu);
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
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
            // Under the current file, or at the list's top when there is none.
            const QRect row = StringGrid1->visualRect(StringGrid1->currentIndex());
            ShowListMenu(row.isValid() ? row.bottomLeft() : QPoint(0, 0));
            return true;
        }
        if (key->modifiers() == Qt::ControlModifier && key->key() >= Qt::Key_1 && key->key() <= Qt::Key_9) {
            form_.ColumnKey(key->key() - Qt::Key_0);
            return true;
        }
        return false;
    });
}

void TForm1::ApplyColumnWidths(const std::array<int, kListColumns>& stored) {
    QHeaderView* header = StringGrid1->horizontalHeader();
    const QFontMetrics metrics(StringGrid1->font());
    design::ColumnMeasures measures;
    // The header's margins, and room for the sort arrow beside the caption rather than on it.
    const int headerMargins = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) +
                              header->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header);
    for (int c = 0; c < kListColumns; ++c) {
        measures.header[c] =
            header->fontMetrics().horizontalAdvance(QString::fromUtf8(texts::kColumnHeaders[c])) + headerMargins;
        measures.sample[c] = metrics.horizontalAdvance(QString::fromUtf8(design::kColumnSamples[c])) +
                             CellMargins(StringGrid1) + metrics.averageCharWidth();
    }
    const std::array<int, kListColumns> widths = design::ColumnWidths(stored, measures, ScrolledWidth(StringGrid1));
    for (int c = 0; c < kListColumns; ++c) {
        fillingMemo_ = true;
        header->resizeSection(c, widths[c]);
        fillingMemo_ = false;
    }
    memoFloor_ = widths[kMemoColumn];
    FillSpareWidth();
}

void TForm1::FillSpareWidth() {
    QHeaderView* header = StringGrid1->horizontalHeader();
    const int width = design::MemoColumnWidth(SectionSizes(header), memoFloor_, StringGrid1->viewport()->width());
    if (width == header->sectionSize(kMemoColumn)) return;
    fillingMemo_ = true;
    header->resizeSection(kMemoColumn, width);
    fillingMemo_ = false;
}

}  // namespace quellmark
