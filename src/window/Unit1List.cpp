// TForm1's file list: listing a folder by file type, in name order, with sizes, types, drawing
// memos, times and attributes; the column widths; the size column's padding; sorting by a header
// click, with the selection following the files; opening a file by a double click. The list's
// rows are numbered as the user sees them: row 1 is the first file.
#include "Unit1.h"

#include "../drawing/recognise.h"
#include "../platform/cp932.h"
#include "../platform/system.h"
#include "../form/FileListText.h"
#include "../drawing/Func_.h"
#include "EventHook.h"
#include "../form/FormSettings.h"
#include "QtText.h"
#include "WindowPlatform.h"
#include "../form/WindowTexts.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelection>
#include <QPointer>
#include <QStyle>
#include <QTableWidget>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <vector>

namespace quellmark {

namespace {

constexpr int kColumns = 6;
constexpr int kSizeColumn = 1;
constexpr int kAttributeColumn = 5;
constexpr int kMemoColumn = 3;
// The width a size character is taken to have while a listing fills the list.
constexpr int kListingCharWidth = 8;
// How long a listing fills rows before the window gets to paint them and to answer input.
constexpr int kListingSliceMs = 25;

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

QString SizeText(std::int64_t size, int width) { return QString::fromStdString(RightJustify(size, width)); }

// Linux has no archive or read-only attribute; a file its owner cannot write shows as read-only.
QString AttributeText(const QFileInfo& file) {
    return file.permissions().testFlag(QFileDevice::WriteOwner) ? QString() : QStringLiteral("R ");
}

using RowTexts = std::array<QString, kColumns>;

// The files of the folder that match the pattern, in name order. Hidden entries (a leading ".")
// and entries that are neither file nor folder stay out; Qt's "*.*" would want a dot in the name,
// so every name is taken without a filter.
std::vector<QFileInfo> FilesInNameOrder(const QString& folder, const QString& pattern) {
    QDirIterator entries(folder, pattern == QLatin1String("*.*") ? QStringList() : QStringList{pattern},
                         QDir::Files | QDir::NoDotAndDotDot);
    std::vector<std::pair<std::string, QFileInfo>> named;
    while (entries.hasNext()) {
        entries.next();
        named.emplace_back(ToUtf8(entries.fileName()), entries.fileInfo());
    }
    std::sort(named.begin(), named.end(), [](const auto& a, const auto& b) { return ListsBefore(a.first, b.first); });
    std::vector<QFileInfo> files;
    files.reserve(named.size());
    for (auto& entry : named) files.push_back(std::move(entry.second));
    return files;
}

// What a first run sizes the columns to: the widest text a column usually shows (a size of up to
// ten digits), a name of 16 characters, and for the memo column, which takes the width the
// others leave, no more than its header.
const QString kColumnSamples[kColumns] = {
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
    if (item->text() != text) item->setText(text);
}

int TForm1::RowCount() const { return StringGrid1->rowCount() + 1; }

void TForm1::SetRowCount(int rows) { StringGrid1->setRowCount(rows - 1); }

void TForm1::ResetGrid() {
    StringGrid1->clearSelection();
    SetRowCount(2);
    for (int c = 0; c < kColumns; ++c) SetCell(c, 1, QString());
}

void TForm1::ListFiles(const QString& folder) {
    if (activity_ == Activity::Listing) {
        // A folder asked for while another is listed: that listing stops, this one follows.
        nextListing_ = folder;
        listingAborted_ = true;
        return;
    }
    ActivityScope busy(*this, Activity::Listing);
    nextListing_ = folder;
    while (!nextListing_.isEmpty() && !closeWhenIdle_) FillList(std::exchange(nextListing_, QString()));
}

void TForm1::FillList(const QString& folder) {
    listingAborted_ = false;
    listedFolder_ = folder;
    ShowStatus(QString::fromUtf8(texts::kListingFolderBefore) + folder + QString::fromUtf8(texts::kListingFolderAfter));
    FListShown = false;
    ResetGrid();
    paddedSizeWidth_ = 0;
    const int width = SizeFieldWidth(TextWidth(StringGrid1, kSizeColumn), kListingCharWidth);

    const std::vector<QFileInfo> files =
        FilesInNameOrder(folder, QString::fromLatin1(FilePattern(ComboBox1->currentIndex())));
    // Rows are filled a slice of time at a time and added to the table together; between two
    // slices the window paints and answers input, which may stop this listing.
    std::vector<RowTexts> rows;
    int n = 0;
    const auto addRows = [&] {
        if (rows.empty()) return;
        const int first = n - static_cast<int>(rows.size()) + 1;
        SetRowCount(n + 1);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            for (int c = 0; c < kColumns; ++c) {
                auto* item = new QTableWidgetItem(rows[i][c]);
                item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
                StringGrid1->setItem(TableRow(first + static_cast<int>(i)), c, item);
            }
        }
        rows.clear();
    };
    bool completed = true;
    QElapsedTimer slice;
    slice.start();
    for (const QFileInfo& file : files) {
        if (platform_.EscapeDown() || listingAborted_) {
            completed = false;
            break;
        }
        ++n;
        rows.push_back({file.fileName(), SizeText(file.size(), width),
                        FromUtf8(UpperExtension(ToUtf8(file.fileName()))),
                        DrawingMemo(folder + file.fileName()),
                        file.lastModified().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")), AttributeText(file)});
        if (slice.elapsed() >= kListingSliceMs) {
            addRows();
            QCoreApplication::processEvents();
            slice.restart();
        }
    }
    addRows();
    if (!nextListing_.isEmpty()) return;  // the next listing says what happens now
    ShowStatus(completed ? QString::number(n) + QString::fromUtf8(texts::kFilesListedMiddle) + folder +
                               QString::fromUtf8(texts::kFilesListedAfter)
                         : QString::fromUtf8(texts::kListingInterrupted));
    if (n > 0) {
        FListShown = true;
        if (!StringGrid1->selectionModel()->hasSelection()) StringGrid1->setCurrentCell(0, 0);
    }
}

QString TForm1::DrawingMemo(const QString& path) {
    const std::filesystem::path file = ToPath(path);
    const std::string ext = UpperExtension(PathText(file.filename()));
    const bool drawing = ext == ".JWW" || ext == ".JW$";
    const bool backup = ext == ".BAK" || ext.starts_with(".BK");
    if (!drawing && !(backup && IsJwwFile(*context_.fs, file))) return {};
    if (!ReadJwwMemo(context_.jww, *context_.fs, file)) return {};
    return FromUtf8(Cp932ToUtf8(SanitizeSjis(context_.jww.Header.Memo)));
}

void TForm1::StringGrid1DrawCell(int col, int row) {
    if (col != kSizeColumn || row != 0 || !FListShown) return;
    const int charWidth = QFontMetrics(StringGrid1->font()).horizontalAdvance(QLatin1Char('0'));
    const int width = SizeFieldWidth(TextWidth(StringGrid1, kSizeColumn), charWidth);
    // The header is painted often; the sizes only change when their width does.
    if (width == paddedSizeWidth_) return;
    paddedSizeWidth_ = width;
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
            ListFiles(listedFolder_);
        } else {
            SortByColumn(col);
        }
        return;
    }
}

void TForm1::SortByColumn(int col) {
    const int files = RowCount() - 1;
    std::vector<std::string> keys;
    keys.reserve(files);
    for (int r = 1; r <= files; ++r) keys.push_back(AsciiUpper(ToUtf8(Cell(col, r))));
    // at[p] is the row that ends up at place p (0 based).
    std::vector<int> at(files);
    for (int r = 0; r < files; ++r) at[r] = r;
    for (const auto& [r, s] : HeaderSortExchanges(std::move(keys), FSortDescending)) std::swap(at[r - 1], at[s - 1]);
    std::vector<int> placeOf(files);
    for (int p = 0; p < files; ++p) placeOf[at[p]] = p;

    // The rows' texts move, the items stay; the selection and the current row go with the files.
    std::vector<RowTexts> texts(files);
    for (int r = 0; r < files; ++r) {
        for (int c = 0; c < kColumns; ++c) texts[r][c] = Cell(c, r + 1);
    }
    std::vector<bool> selected(files, false);
    for (const QModelIndex& index : StringGrid1->selectionModel()->selectedRows()) selected[index.row()] = true;
    const int current = StringGrid1->currentRow();

    StringGrid1->setUpdatesEnabled(false);
    for (int p = 0; p < files; ++p) {
        for (int c = 0; c < kColumns; ++c) SetCell(c, p + 1, texts[at[p]][c]);
    }
    QItemSelection selection;
    const QAbstractItemModel* model = StringGrid1->model();
    for (int p = 0; p < files; ++p) {
        if (selected[at[p]]) selection.select(model->index(p, 0), model->index(p, kColumns - 1));
    }
    if (current >= 0 && current < files) {
        StringGrid1->selectionModel()->setCurrentIndex(model->index(placeOf[current], StringGrid1->currentColumn()),
                                                       QItemSelectionModel::NoUpdate);
    }
    StringGrid1->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    StringGrid1->setUpdatesEnabled(true);
    FSortDescending = !FSortDescending;
}

void TForm1::StringGrid1DblClick() {
    if (Refused()) return;
    if (!FSearchReady) {
        AskForSearchFolder();
        return;
    }
    if (!FListShown) {
        platform_.Beep();
        ShowStatus(QString::fromUtf8(texts::kSpecifyDrawingFolder));
        return;
    }
    const int row = StringGrid1->currentRow() + 1;
    const QString name = row >= 1 ? Cell(0, row) : QString();
    if (name.isEmpty()) return;
    platform_.OpenWithShell(listedFolder_ + name, [form = QPointer<TForm1>(this)] {
        if (!form) return;
        form->platform_.Beep();
        form->platform_.MessageBox(form, QString(), QString::fromUtf8(texts::kNoApplication),
                                   WindowPlatform::BoxKind::Error, WindowPlatform::Buttons::Ok);
    });
}

void TForm1::ConnectColumns() {
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
}

void TForm1::ApplyColumnWidths(const FormSettings& settings) {
    QHeaderView* header = StringGrid1->horizontalHeader();
    const QFontMetrics metrics(StringGrid1->font());
    const int margins = CellMargins(StringGrid1);
    for (int c = 0; c < kColumns; ++c) {
        int width = settings.columnWidths[c];
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
    for (int c = 0; c < kColumns; ++c) {
        if (c != kMemoColumn) others += header->sectionSize(c);
    }
    const int width = std::max(memoFloor_, StringGrid1->viewport()->width() - others);
    if (width == header->sectionSize(kMemoColumn)) return;
    fillingMemo_ = true;
    StringGrid1->horizontalHeader()->resizeSection(kMemoColumn, width);
    fillingMemo_ = false;
}

}  // namespace quellmark
