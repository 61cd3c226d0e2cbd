// The file list: each file type's listing, the cells of a row (size, type, memo, time,
// attributes), the memos of JWW, JW$ and backup files, entries that never show, an interrupted
// listing, header-click sorting and the "属性" refresh, the size column's padding, and the
// double click.
#include "window_testkit.h"

#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QMenu>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include <fstream>
#include <map>

#include <sys/stat.h>

using namespace quellmark;
using namespace qmtest;

namespace {

// 図面, a line break, メモ and a tab, in Shift-JIS.
const std::string kMemoWithBreaks = "\x90\x7d\x96\xca\r\n\x83\x81\x83\x82\t";
const std::string kSitePlan = "\x94\x7A\x92\x75\x90\x7D";  // 配置図

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
        fs::create_directories(folder());
        WriteFile(folder() / "A.JWW", JwwWithMemo(kMemoWithBreaks));
        WriteFile(folder() / "B.jws", JwsDrawing());
        WriteText(folder() / "C.TXT", "text");
        WriteFile(folder() / "d.jw$", JwwWithMemo(kSitePlan, 420));
        WriteFile(folder() / "E.BAK", JwwWithMemo(kSitePlan, 230));
        WriteText(folder() / "F.BAK", std::string(4096, 'x'));  // long enough, but no drawing
        WriteFile(folder() / "G.BK1", JwwWithMemo(kSitePlan));
        WriteFile(folder() / "H.jww", BrokenJww(kSitePlan));  // only the entity list is cut
        WriteFile(folder() / "I.jww", JwwCutInHeader(kSitePlan));
        // Never listed: a folder, a hidden file, a fifo and a link to nothing.
        fs::create_directory(folder() / "sub.jww");
        WriteFile(folder() / ".hidden.jww", JwwWithMemo(kSitePlan));
        ::mkfifo((folder() / "pipe.jww").c_str(), 0600);
        fs::create_symlink(folder() / "nothing", folder() / "dangling.jww");
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
        const QTableWidget* grid = form->StringGrid1;
        const int margin = grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
        return std::max(3, (columnWidth - 2 * margin) / std::max(3, charWidth));
    }
    int DigitWidth() const { return QFontMetrics(form->StringGrid1->font()).horizontalAdvance('0'); }
};

const QStringList kAllFiles = {"A.JWW", "B.jws", "C.TXT", "E.BAK", "F.BAK", "G.BK1", "H.jww", "I.jww", "d.jw$"};

}  // namespace

TEST_F(FileList, EachFileTypeListsItsPatternWhateverTheLetterCase) {
    TForm1& f = Start();
    List(folder());
    EXPECT_EQ(Sorted(Column(0)), kAllFiles);
    EXPECT_EQ(f.StatusText(), "9 Files  パス名「" + Folder(folder()) + "」");
    EXPECT_TRUE(f.Form().FListShown);

    f.MnuFileType1Click();
    EXPECT_EQ(f.ComboBox1->currentIndex(), 1);
    EXPECT_EQ(Sorted(Column(0)), QStringList({"A.JWW", "B.jws", "H.jww", "I.jww", "d.jw$"}));
    f.MnuFileType2Click();
    EXPECT_EQ(f.ComboBox1->currentText(), "*.JWW");
    EXPECT_EQ(Sorted(Column(0)), QStringList({"A.JWW", "H.jww", "I.jww"}));
    EXPECT_EQ(f.StatusText(), "3 Files  パス名「" + Folder(folder()) + "」");
    f.MnuFileType3Click();
    EXPECT_EQ(Column(0), QStringList({"B.jws"}));
    f.MnuFileType0Click();
    EXPECT_EQ(Sorted(Column(0)), kAllFiles);

    // No item at all lists everything.
    f.ComboBox1->setCurrentIndex(2);
    f.ComboBox1Change();
    ASSERT_EQ(Column(0).size(), 3);
    f.ComboBox1->setCurrentIndex(-1);
    f.ComboBox1Change();
    EXPECT_EQ(Sorted(Column(0)), kAllFiles);
}

TEST_F(FileList, AFileTypeChosenBeforeAnySearchListsNothing) {
    TForm1& f = Start();
    f.MnuFileType2Click();
    EXPECT_EQ(f.ComboBox1->currentIndex(), 2);
    EXPECT_FALSE(f.Form().FListShown);
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(FileList, RowsShowSizeTypeMemoTimeAndAttributes) {
    const QDateTime when(QDate(2024, 1, 2), QTime(3, 4, 6));
    QFile file(QString::fromStdString((folder() / "A.JWW").string()));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
    file.close();
    fs::permissions(folder() / "C.TXT", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    TForm1& f = Start();
    List(folder());
    const auto rows = Rows();
    const int width = PaddedWidth(f.StringGrid1->horizontalHeader()->sectionSize(1), 8);
    const Row& a = rows.at("A.JWW");
    EXPECT_EQ(a.size.size(), width);
    EXPECT_EQ(a.size.trimmed(), QString::number(fs::file_size(folder() / "A.JWW")));
    EXPECT_EQ(a.type, ".JWW");
    EXPECT_EQ(a.memo, "図面メモ");  // line break and tab dropped
    EXPECT_EQ(a.time, "2024/01/02 03:04:06");
    EXPECT_EQ(a.attributes, "");

    EXPECT_EQ(rows.at("C.TXT").attributes, "R ");
    EXPECT_EQ(rows.at("C.TXT").size, QString(width - 1, ' ') + "4");
    EXPECT_EQ(rows.at("d.jw$").type, ".JW$");
    EXPECT_EQ(rows.at("G.BK1").type, ".BK1");
    EXPECT_TRUE(QDateTime::fromString(rows.at("B.jws").time, "yyyy/MM/dd hh:mm:ss").isValid());
    EXPECT_EQ(f.StringGrid1->currentRow(), 0);  // the first file is the row selected
}

TEST_F(FileList, MemosComeFromJwwDrawingsAndTheirBackupsOnly) {
    Start();
    List(folder());
    const auto rows = Rows();
    EXPECT_EQ(rows.at("d.jw$").memo, "配置図");
    EXPECT_EQ(rows.at("E.BAK").memo, "配置図");
    EXPECT_EQ(rows.at("G.BK1").memo, "配置図");
    EXPECT_EQ(rows.at("H.jww").memo, "配置図");  // the header reads, whatever follows
    EXPECT_EQ(rows.at("I.jww").memo, "");        // the header does not
    EXPECT_EQ(rows.at("B.jws").memo, "");
    EXPECT_EQ(rows.at("F.BAK").memo, "");
    EXPECT_EQ(rows.at("C.TXT").memo, "");
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

TEST_F(FileList, AnEmptyFolderLeavesOneEmptyRowAndNoList) {
    fs::create_directories(dir / "empty");
    TForm1& f = Start();
    List(dir / "empty");
    EXPECT_FALSE(f.Form().FListShown);
    EXPECT_EQ(f.RowCount(), 2);
    EXPECT_EQ(Column(0), QStringList({""}));
    EXPECT_EQ(f.StatusText(), "0 Files  パス名「" + Folder(dir / "empty") + "」");
}

TEST_F(FileList, EscapeStopsTheListingAndKeepsTheRowsFilled) {
    TForm1& f = Start();
    Search(folder());
    const int before = platform.escapePolls;
    platform.escape = [&] { return platform.escapePolls - before >= 3; };
    Click(Node(""));
    EXPECT_EQ(f.StatusText(), "ファイル一覧の表示を中断しました。");
    EXPECT_EQ(Column(0).size(), 2);
    EXPECT_TRUE(f.Form().FListShown);
    EXPECT_FALSE(f.Busy());

    const int again = platform.escapePolls;
    platform.escape = [&] { return platform.escapePolls - again >= 1; };
    Click(Node(""));
    EXPECT_EQ(f.StatusText(), "ファイル一覧の表示を中断しました。");
    EXPECT_EQ(Column(0), QStringList({""}));
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
    EXPECT_TRUE(f.Form().FSortDescending);

    ClickHeader(5);  // "属性": the listing again, in the folder's order; the direction stays
    EXPECT_EQ(Column(0), listed);
    EXPECT_TRUE(f.Form().FSortDescending);

    ClickHeader(0);
    EXPECT_EQ(Column(0), QStringList({"D.txt", "c.TXT", "b.txt", "A.txt"}));
    EXPECT_TRUE(RowsWhole());

    ClickHeader(1);  // sizes padded to one width sort as numbers
    EXPECT_EQ(Column(0), QStringList({"A.txt", "D.txt", "b.txt", "c.TXT"}));
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
        const QTableWidget* grid = form->StringGrid1;
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
    EXPECT_EQ(platform.boxes[0].kind, WindowPlatform::BoxKind::Error);
    EXPECT_EQ(f.StatusText(), "検索フォルダを指定して下さい。");

    platform.Reset();
    Search(folder());
    f.StringGrid1DblClick();
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(f.StatusText(), "図面の格納されているフォルダを指定して下さい。");

    platform.Reset();
    Click(Node(""));
    QTableWidget* grid = f.StringGrid1;
    const auto doubleClickOn = [&](const QString& name) {
        const int row = static_cast<int>(Column(0).indexOf(name));
        DoubleClickAt(grid->viewport(), grid->visualItemRect(grid->item(row, 0)).center());
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
    EXPECT_EQ(platform.boxes[0].kind, WindowPlatform::BoxKind::Error);
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
        if (c == 0 || c == 3) continue;  // names and memos may be cut
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
