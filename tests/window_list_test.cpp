// The Qt file list's wiring: the file type box and menu, an interrupted listing, header clicks
// and presses off the header, the size column's padding as its width changes, the column widths,
// and the double click. What a listing shows is the form's, tested in its own suite.
#include "window_testkit.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <fstream>
#include <map>

using namespace quellmark;
using namespace qmtest;

namespace {

QStringList Sorted(QStringList list) {
    list.sort();
    return list;
}

// What a row shows, by file name.
struct Row {
    QString size, type, memo, time, attributes;
};

class FileList : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        WriteListingSamples(folder());
    }
    fs::path folder() const { return dir / "drawings"; }

    std::map<QString, Row> Rows() const {
        std::map<QString, Row> rows;
        for (int r = 1; r < form->RowCount(); ++r) {
            rows[form->Cell(0, r)] = {form->Cell(1, r), form->Cell(2, r), form->Cell(3, r), form->Cell(4, r),
                                      form->Cell(5, r)};
        }
        return rows;
    }
    // The characters a size is padded to in a column this wide when characters are charWidth wide.
    int PaddedWidth(int columnWidth, int charWidth) const {
        const QTableView* grid = form->StringGrid1;
        const int margin = grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
        return std::max(3, (columnWidth - 2 * margin) / std::max(3, charWidth));
    }
    int DigitWidth() const { return QFontMetrics(form->StringGrid1->font()).horizontalAdvance('0'); }
};

const QStringList kAllFiles = {"A.JWW", "B.jws", "C.TXT", "E.BAK", "F.BAK", "G.BK1", "H.jww", "I.jww", "d.jw$"};

}  // namespace

TEST_F(FileList, AFileTypeChosenBeforeAnySearchListsNothing) {
    TForm1& f = Start();
    f.MnuFileType2Click();
    EXPECT_EQ(f.ComboBox1->currentIndex(), 2);
    EXPECT_FALSE(f.Form().FListShown);
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(FileList, SizesOfFourGigabytesAndMoreShowInFull) {
    fs::create_directories(dir / "big");
    {
        std::ofstream(dir / "big" / "huge.dat").put('x');
    }
    fs::resize_file(dir / "big" / "huge.dat", 5'000'000'000ULL);
    WriteText(dir / "big" / "small.dat", "12345");
    TForm1& f = Start();
    List(dir / "big");
    EXPECT_EQ(Rows().at("huge.dat").size, "5000000000");
    f.StringGrid1DrawCell(1, 0);
    EXPECT_EQ(Rows().at("huge.dat").size.trimmed(), "5000000000");
    ClickHeader(1);
    EXPECT_EQ(Column(0), QStringList({"small.dat", "huge.dat"}));
}

TEST_F(FileList, EscapeStopsTheListingAndKeepsTheRowsFilled) {
    TForm1& f = Start();
    Search(folder());
    const int before = platform.escapePolls;
    platform.escape = [&] { return platform.escapePolls - before >= 3; };
    Click(Node(""));
    EXPECT_EQ(f.StatusText(), "検索を中断しました。");
    EXPECT_EQ(Column(0).size(), 2);
    EXPECT_TRUE(f.Form().FListShown);
    EXPECT_FALSE(f.Busy());

    const int again = platform.escapePolls;
    platform.escape = [&] { return platform.escapePolls - again >= 1; };
    Click(Node(""));
    EXPECT_EQ(f.StatusText(), "検索を中断しました。");
    EXPECT_TRUE(Column(0).isEmpty());
    EXPECT_FALSE(f.Form().FListShown);
}

class Sorting : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        fs::create_directories(folder());
        WriteText(folder() / "b.txt", std::string(300, 'b'));
        WriteText(folder() / "A.txt", std::string(5, 'a'));
        WriteText(folder() / "c.TXT", std::string(12345, 'c'));
        WriteText(folder() / "D.txt", std::string(40, 'd'));
    }
    fs::path folder() const { return dir / "sort"; }
    // Every row still holds the size of its own file.
    bool RowsWhole() const {
        for (int r = 1; r < form->RowCount(); ++r) {
            const auto size = fs::file_size(folder() / form->Cell(0, r).toStdString());
            if (form->Cell(1, r).trimmed() != QString::number(size)) return false;
        }
        return true;
    }
};

TEST_F(Sorting, HeaderClicksSortByTheColumnInTurnsAndAttributesRestoreTheListing) {
    TForm1& f = Start();
    List(folder());
    const QStringList listed = Column(0);
    EXPECT_EQ(listed, QStringList({"A.txt", "b.txt", "c.TXT", "D.txt"}));  // name order, whatever the case

    ClickHeader(0);
    EXPECT_EQ(Column(0), QStringList({"A.txt", "b.txt", "c.TXT", "D.txt"}));
    EXPECT_TRUE(RowsWhole());
    EXPECT_EQ(f.StringGrid1->horizontalHeader()->sortIndicatorSection(), 0);
    ClickHeader(0);
    EXPECT_EQ(Column(0), QStringList({"D.txt", "c.TXT", "b.txt", "A.txt"}));
    EXPECT_TRUE(f.Form().FSortDescending);

    ClickHeader(5);  // "属性": the listing again, in the folder's order, and no arrow
    EXPECT_EQ(Column(0), listed);
    EXPECT_FALSE(f.StringGrid1->horizontalHeader()->isSortIndicatorShown());

    ClickHeader(1);  // a new column starts ascending; sizes padded to one width sort as numbers
    EXPECT_EQ(Column(0), QStringList({"A.txt", "D.txt", "b.txt", "c.TXT"}));
    EXPECT_TRUE(RowsWhole());
    ClickHeader(1);
    EXPECT_EQ(Column(0), QStringList({"c.TXT", "b.txt", "D.txt", "A.txt"}));
    EXPECT_TRUE(RowsWhole());
}

TEST_F(Sorting, PressesOffTheHeaderOrOnABorderSortNothing) {
    TForm1& f = Start();
    List(folder());
    const QStringList listed = Column(0);
    const QHeaderView* header = f.StringGrid1->horizontalHeader();
    f.StringGrid1MouseDown(header->sectionSize(0) / 2, header->height());
    f.StringGrid1MouseDown(header->sectionViewportPosition(1), header->height() / 2);
    f.StringGrid1MouseDown(header->sectionViewportPosition(1) + 1, header->height() / 2);
    f.StringGrid1MouseDown(header->length() + 10, header->height() / 2);
    EXPECT_EQ(Column(0), listed);
    EXPECT_FALSE(f.Form().FSortDescending);
    ClickHeader(0);
    EXPECT_EQ(Column(0), QStringList({"A.txt", "b.txt", "c.TXT", "D.txt"}));
}

TEST_F(Sorting, WithoutAListHeaderClicksDoNothing) {
    fs::create_directories(dir / "empty");
    TForm1& f = Start();
    ClickHeader(0);
    List(dir / "empty");
    ClickHeader(0);
    ClickHeader(5);
    EXPECT_FALSE(f.Form().FSortDescending);
    EXPECT_EQ(f.StatusText(), "0 Files  パス名「" + Folder(dir / "empty") + "」");
}

class SizeColumn : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        fs::create_directories(folder());
        WriteText(folder() / "five", std::string(5, '5'));
        WriteText(folder() / "many", std::string(12345, 'm'));
    }
    fs::path folder() const { return dir / "sizes"; }
    QStringList Sizes() const {
        QStringList sizes;
        for (const QString& name : {QString("five"), QString("many")}) {
            for (int r = 1; r < form->RowCount(); ++r) {
                if (form->Cell(0, r) == name) sizes << form->Cell(1, r);
            }
        }
        return sizes;
    }
    static QString Padded(int value, int width) { return QString::number(value).rightJustified(width, ' '); }
    int PaddedWidth(int columnWidth, int charWidth) const {
        const QTableView* grid = form->StringGrid1;
        const int margin = grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
        return std::max(3, (columnWidth - 2 * margin) / std::max(3, charWidth));
    }
};

TEST_F(SizeColumn, SizesArePaddedToTheColumnAndFollowItsWidth) {
    WriteText(Ini(), "[Comp]\nF1S1=64\n");
    TForm1& f = Start();
    List(folder());
    const int listing = PaddedWidth(64, 8);
    EXPECT_EQ(Sizes(), QStringList({Padded(5, listing), Padded(12345, listing)}));

    // Once the header is painted, with the real width of a digit.
    const int digit = QFontMetrics(f.StringGrid1->font()).horizontalAdvance('0');
    f.StringGrid1DrawCell(1, 0);
    EXPECT_EQ(Sizes(), QStringList({Padded(5, PaddedWidth(64, digit)), Padded(12345, PaddedWidth(64, digit))}));
    f.StringGrid1DrawCell(0, 0);  // other cells change nothing
    f.StringGrid1DrawCell(1, 1);
    EXPECT_EQ(Sizes()[0].size(), PaddedWidth(64, digit));

    // Resizing the column re-pads at once.
    f.StringGrid1->horizontalHeader()->resizeSection(1, 160);
    EXPECT_EQ(Sizes(), QStringList({Padded(5, PaddedWidth(160, digit)), Padded(12345, PaddedWidth(160, digit))}));
    f.StringGrid1->horizontalHeader()->resizeSection(1, 10);
    EXPECT_EQ(Sizes(), QStringList({"  5", "12345"}));
}

TEST_F(SizeColumn, AWiderColumnFromTheSettingsPadsTheFirstListing) {
    WriteText(Ini(), "[Comp]\nF1S1=100\n");
    TForm1& f = Start();
    EXPECT_EQ(f.StringGrid1->horizontalHeader()->sectionSize(1), 100);
    List(folder());
    EXPECT_EQ(Sizes(), QStringList({Padded(5, PaddedWidth(100, 8)), Padded(12345, PaddedWidth(100, 8))}));
}

using DoubleClick = FileList;

TEST_F(DoubleClick, OpensTheCurrentRowsFileWithTheDesktop) {
    TForm1& f = Start();
    f.StringGrid1DblClick();
    EXPECT_EQ(platform.beeps, 1);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "検索フォルダを指定して下さい。");
    EXPECT_EQ(platform.boxes[0].kind, RecordingPlatform::BoxKind::Error);
    EXPECT_EQ(f.StatusText(), "検索フォルダを指定して下さい。");

    platform.Reset();
    Search(folder());
    f.StringGrid1DblClick();
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(f.StatusText(), "図面の格納されているフォルダを指定して下さい。");

    platform.Reset();
    Click(Node(""));
    QTableView* grid = f.StringGrid1;
    const auto doubleClickOn = [&](const QString& name) {
        const int row = static_cast<int>(Column(0).indexOf(name));
        DoubleClickAt(grid->viewport(), grid->visualRect(grid->model()->index(row, 0)).center());
    };
    doubleClickOn("C.TXT");
    EXPECT_EQ(platform.opened, QStringList({Folder(folder()) + "C.TXT"}));
    EXPECT_EQ(platform.beeps, 0);
    EXPECT_TRUE(platform.boxes.empty());

    // A file no application takes: the user is told.
    platform.noApplication = true;
    doubleClickOn("B.jws");
    EXPECT_EQ(platform.opened.last(), Folder(folder()) + "B.jws");
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "このファイルを開くアプリケーションが見つかりません。");
    EXPECT_EQ(platform.boxes[0].kind, RecordingPlatform::BoxKind::Error);
}

TEST_F(FileList, TheFileTypeComboEndsAtJwsAndTheMenuTicksTheTypeShown) {
    TForm1& f = Start();
    List(folder());
    QTest::keyClick(f.ComboBox1, Qt::Key_End);
    EXPECT_EQ(f.ComboBox1->currentText(), "*.JWS");
    EXPECT_EQ(Column(0), QStringList({"B.jws"}));
    QTest::keyClick(f.ComboBox1, Qt::Key_Up);
    EXPECT_EQ(Sorted(Column(0)), QStringList({"A.JWW", "H.jww", "I.jww"}));

    f.MnuFileType->popup(QPoint(0, 0));
    EXPECT_TRUE(f.MnuFileType2->isChecked());
    EXPECT_FALSE(f.MnuFileType0->isChecked() || f.MnuFileType1->isChecked() || f.MnuFileType3->isChecked());
    f.MnuFileType->close();
    f.MnuFileType1->trigger();
    f.MnuFileType->popup(QPoint(0, 0));
    EXPECT_TRUE(f.MnuFileType1->isChecked());
    EXPECT_FALSE(f.MnuFileType2->isChecked());
    f.MnuFileType->close();
}

TEST_F(FileList, AFolderClickedWhileAnotherIsListedIsListedInstead) {
    fs::create_directories(folder() / "sub");
    WriteText(folder() / "sub" / "only.txt", "x");
    TForm1& f = Start();
    Search(folder());
    bool clicked = false;
    platform.escape = [&] {
        if (!clicked && platform.escapePolls > 2) {
            clicked = true;
            Click(Node("sub"));
        }
        return false;
    };
    Click(Node(""));
    ASSERT_TRUE(clicked);
    EXPECT_EQ(f.StatusText(), "1 Files  パス名「" + Folder(folder() / "sub") + "」");
    EXPECT_EQ(Column(0), QStringList({"only.txt"}));
    EXPECT_EQ(platform.beeps, 0);
    EXPECT_FALSE(f.Busy());
}

TEST_F(FileList, AFirstRunFitsTheColumnsToTheirTextsAndGivesTheMemoTheRest) {
    TForm1& f = Start();
    List(folder());
    const QHeaderView* header = f.StringGrid1->horizontalHeader();
    const QFontMetrics grid(f.StringGrid1->font());
    for (int c = 0; c < 6; ++c) {
        EXPECT_GE(header->sectionSize(c), header->sectionSizeHint(c)) << c;  // the header shows whole
        if (c == 0 || c == 3) continue;                                      // names and memos may be cut
        for (int r = 1; r < f.RowCount(); ++r) {
            EXPECT_GT(header->sectionSize(c), grid.horizontalAdvance(f.Cell(c, r))) << c;
        }
    }
    const auto total = [&] {
        int width = 0;
        for (int c = 0; c < 6; ++c) width += header->sectionSize(c);
        return width;
    };
    EXPECT_EQ(total(), f.StringGrid1->viewport()->width());

    // The memo column takes what a wider window adds.
    const int name = header->sectionSize(0);
    const int memo = header->sectionSize(3);
    const int viewport = f.StringGrid1->viewport()->width();
    f.resize(f.width() + 100, f.height());
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.StringGrid1->viewport()->width() == viewport + 100; }));
    EXPECT_EQ(header->sectionSize(3), memo + 100);
    EXPECT_EQ(header->sectionSize(0), name);
    EXPECT_EQ(total(), f.StringGrid1->viewport()->width());
}

namespace {

// Chooses an item of the next popup menu by its access key once it shows, noting its items.
void ChooseInNextMenu(QObject* owner, Qt::Key key, QStringList& items) {
    auto* poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, key, &items] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        poll->stop();
        poll->deleteLater();
        items.clear();
        for (const QAction* action : menu->actions()) items << action->text();
        QTest::keyClick(menu, key);
    });
    poll->start(10);
}

}  // namespace

TEST_F(FileList, TheContextMenuComesByARightClickOrShiftF10) {
    TForm1& f = Start();
    Search(folder());
    Click(Node(""));
    QTableView* grid = f.StringGrid1;
    const int row = static_cast<int>(Column(0).indexOf("C.TXT"));
    QStringList items;
    ChooseInNextMenu(&f, Qt::Key_O, items);
    // The press selects the row; the window system follows it with the context menu's event.
    const QPoint at = grid->visualRect(grid->model()->index(row, 0)).center();
    QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, at);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, grid->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(grid->viewport(), &menu);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !platform.opened.isEmpty(); }));
    EXPECT_EQ(items, QStringList({"開く(&O)", "変換(&C)", "フォルダを開く(&F)"}));
    ChooseInNextMenu(&f, Qt::Key_F, items);
    QTest::keyClick(grid, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return platform.opened.size() == 2; }));
    EXPECT_EQ(platform.opened, QStringList({Folder(folder()) + "C.TXT", Folder(folder())}));
}
