// TForm1's file list: listing a folder by file type with sizes, types, drawing memos, times and
// attributes; the size column's padding; sorting by a header click; opening a file by a double
// click. The list's rows are numbered as the user sees them: row 1 is the first file.
#include "Unit1.h"

#include "../form/DisplayText.h"
#include "../form/FileListText.h"
#include "../drawing/Func_.h"
#include "QtText.h"
#include "WindowPlatform.h"
#include "../form/WindowTexts.h"

#include <QComboBox>
#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QHeaderView>
#include <QStyle>
#include <QTableWidget>
#include <QTreeWidget>

#include <algorithm>

namespace quellmark {

namespace {

constexpr int kColumns = 6;
constexpr int kSizeColumn = 1;
constexpr int kAttributeColumn = 5;
// The width a size character is taken to have while a listing fills the list.
constexpr int kListingCharWidth = 8;

// The table holds the file rows only; its row 0 is the list's row 1.
int TableRow(int row) { return row - 1; }

// The pixels a cell's text has: the column less the margins the style keeps on both sides, so
// padded sizes are never cut at the right.
int TextWidth(const QTableWidget* grid, int col) {
    const int margin = grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
    return std::max(0, grid->horizontalHeader()->sectionSize(col) - 2 * margin);
}

QString SizeText(std::int64_t size, int width) { return QString::fromStdString(RightJustify(size, width)); }

// Linux has no archive or read-only attribute; a file its owner cannot write shows as read-only.
QString AttributeText(const QFileInfo& file) {
    return file.permissions().testFlag(QFileDevice::WriteOwner) ? QString() : QStringLiteral("R ");
}

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
    if (item->text() != text) item->setText(text);
}

int TForm1::RowCount() const { return StringGrid1->rowCount() + 1; }

void TForm1::SetRowCount(int rows) { StringGrid1->setRowCount(rows - 1); }

void TForm1::ResetGrid() {
    SetRowCount(2);
    for (int c = 0; c < kColumns; ++c) SetCell(c, 1, QString());
}

void TForm1::ListFiles(const QString& folder) {
    ActivityScope busy(*this, Activity::Listing);
    listingAborted_ = false;
    ShowStatus(QString::fromUtf8(texts::kListingFolderBefore) + folder + QString::fromUtf8(texts::kListingFolderAfter));
    FListShown = false;
    ResetGrid();
    const int width = SizeFieldWidth(TextWidth(StringGrid1, kSizeColumn), kListingCharWidth);

    const QString pattern = QString::fromLatin1(FilePattern(ComboBox1->currentIndex()));
    // Hidden entries (a leading ".") and entries that are neither file nor folder stay out;
    // Qt's "*.*" would want a dot in the name, so every name is taken without a filter.
    QDirIterator entries(folder, pattern == QLatin1String("*.*") ? QStringList() : QStringList{pattern},
                         QDir::Files | QDir::NoDotAndDotDot);
    bool completed = true;
    int n = 0;
    while (entries.hasNext()) {
        entries.next();
        if (KeepResponsive() || listingAborted_) {
            completed = false;
            break;
        }
        ++n;
        SetRowCount(n + 1);
        const QFileInfo file = entries.fileInfo();
        SetCell(0, n, file.fileName());
        SetCell(1, n, SizeText(file.size(), width));
        SetCell(2, n, FromUtf8(UpperExtensionOf(ToUtf8(file.fileName()))));
        SetCell(3, n, DrawingMemo(folder + file.fileName()));
        SetCell(4, n, file.lastModified().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")));
        SetCell(5, n, AttributeText(file));
    }
    ShowStatus(completed ? QString::number(n) + QString::fromUtf8(texts::kFilesListedMiddle) + folder +
                               QString::fromUtf8(texts::kFilesListedAfter)
                         : QString::fromUtf8(texts::kListingInterrupted));
    if (n > 0) {
        FListShown = true;
        StringGrid1->setCurrentCell(0, 0);
    }
}

QString TForm1::DrawingMemo(const QString& path) {
    const std::filesystem::path file = ToPath(path);
    const std::string ext = UpperExtensionOf(file.filename().string());
    const bool drawing = ext == ".JWW" || ext == ".JW$";
    const bool backup = ext == ".BAK" || ext.starts_with(".BK");
    if (!drawing && !(backup && IsJwwFile(file, *context_.fs))) return {};
    if (!ReadJwwMemo(context_.jww, file, *context_.fs)) return {};
    return FromUtf8(Cp932ToUtf8(SanitizeSjis(context_.jww.Header.Memo)));
}

void TForm1::StringGrid1DrawCell(int col, int row) {
    if (col != kSizeColumn || row != 0 || !FListShown) return;
    const int charWidth = QFontMetrics(StringGrid1->font()).horizontalAdvance(QLatin1Char('0'));
    const int width = SizeFieldWidth(TextWidth(StringGrid1, kSizeColumn), charWidth);
    for (int r = 1; r < RowCount(); ++r) {
        const QString text = Cell(kSizeColumn, r);
        if (!text.isEmpty()) SetCell(kSizeColumn, r, SizeText(ParseSizeCell(ToUtf8(text)), width));
    }
}

void TForm1::StringGrid1MouseDown(int x, int y) {
    if (Refused()) return;
    const QHeaderView* header = StringGrid1->horizontalHeader();
    if (!FListShown || y >= header->height()) return;
    // A press on a column border, or close enough to it to start resizing the column, sorts
    // nothing.
    const int grip = header->style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, header);
    for (int col = 0; col < kColumns; ++col) {
        const int x0 = header->sectionViewportPosition(col);
        const int x1 = x0 + header->sectionSize(col);
        if (x <= x0 || x >= x1) continue;
        if (x - x0 <= grip || x1 - x <= grip) return;
        if (col == kAttributeColumn) {
            ListSelectedFolder();
        } else {
            SortByColumn(col);
        }
        return;
    }
}

void TForm1::SortByColumn(int col) {
    std::vector<std::string> keys;
    for (int r = 1; r < RowCount(); ++r) keys.push_back(AsciiUpper(ToUtf8(Cell(col, r))));
    StringGrid1->setUpdatesEnabled(false);
    for (const auto& [r, s] : HeaderSortExchanges(std::move(keys), FSortDescending)) {
        for (int c = 0; c < kColumns; ++c) {
            QTableWidgetItem* upper = StringGrid1->takeItem(TableRow(r), c);
            QTableWidgetItem* lower = StringGrid1->takeItem(TableRow(s), c);
            StringGrid1->setItem(TableRow(r), c, lower);
            StringGrid1->setItem(TableRow(s), c, upper);
        }
    }
    StringGrid1->setUpdatesEnabled(true);
    FSortDescending = !FSortDescending;
}

void TForm1::StringGrid1DblClick() {
    if (!FSearchReady) {
        AskForSearchFolder();
        return;
    }
    if (!FListShown) {
        platform_.Beep();
        ShowStatus(QString::fromUtf8(texts::kSpecifyDrawingFolder));
        return;
    }
    const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
    const int row = StringGrid1->currentRow() + 1;
    const QString name = row >= 1 ? Cell(0, row) : QString();
    if (selected.isEmpty() || name.isEmpty()) return;
    platform_.OpenWithShell(NodePath(selected.front()) + name);
}

}  // namespace quellmark
