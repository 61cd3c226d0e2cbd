// The Convert command in the Qt window: a batch over a selection with a broken drawing in it, run
// off the window's thread, with its progress, its refusal of other commands and its report, Stop,
// and the whole usual course of use from the first start to the next. The checks and the question
// are the form's, tested in its own suite.
#include "window_testkit.h"

#include "drawing/dimensions.h"
#include "form/WindowTexts.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

using namespace quellmark;
using namespace qmtest;

namespace {

const std::string kFloorPlan = "\x95\xBD\x96\xCA\x90\x7D";  // 平面図

QStringList Sorted(QStringList list) {
    list.sort();
    return list;
}

class Convert : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        fs::create_directories(source());
        fs::create_directories(dest());
        WriteFile(source() / "A.JWW", JwwWithMemo(kFloorPlan));
        WriteFile(source() / "B.jws", JwsDrawing());
        WriteFile(source() / "broken.jww", BrokenJww(kFloorPlan));
        WriteText(source() / "notes.txt", "notes");
        WriteFile(source() / "X.BAK", JwwWithMemo(kFloorPlan));
    }
    void TearDown() override {
        // A batch stopped at the gate by a failed assertion must still end before the window goes.
        gate.Open();
        if (form) {
            ASSERT_TRUE(QTest::qWaitFor([this] { return !form->Converting(); }));
        }
        WindowTest::TearDown();
    }
    fs::path source() const { return dir / "src"; }
    fs::path dest() const { return dir / "dst"; }

    // A search over the source, its listing, and the destination chosen.
    void Prepare() {
        List(source());
        platform.folders.push_back(Folder(dest()));
        form->Button3Click();
        platform.Reset();
    }
    void SelectAll() { SelectRows(1, form->RowCount() - 1); }
    std::vector<std::string> DestFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dest())) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    GatedFileSystem gate;
    FaultyFileSystem faulty;
};

}  // namespace

TEST_F(Convert, ABatchRunsOffTheWindowsThreadRefusesOtherCommandsAndReportsItsFailures) {
    TForm1& f = Start(gate);
    Prepare();
    SelectAll();
    const int rows = f.RowCount() - 1;
    ASSERT_EQ(rows, 5);

    f.Button4Click();
    ASSERT_TRUE(f.Converting());
    EXPECT_TRUE(f.ProgressBar1->isVisible());
    EXPECT_EQ(f.ProgressBar1->maximum(), rows);
    EXPECT_FALSE(f.Button4->isEnabled());
    EXPECT_FALSE(f.TreeView1->isEnabled());
    EXPECT_FALSE(f.ComboBox1->isEnabled());

    // The first drawing waits at the gate; the status bar already names it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.Waiting() && f.StatusText().contains("変換中です。"); }));
    EXPECT_TRUE(f.StatusText().startsWith("ファイル「" + Folder(source())));

    platform.Reset();
    const QStringList listed = Column(0);
    f.TreeView1Click();
    f.MnuFileType2Click();
    f.MnuFileSFolderClick();
    f.Button3Click();
    f.Button4Click();
    ClickHeader(0);
    f.MnuExitClick();
    EXPECT_EQ(platform.beeps, 7);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(platform.pickers.empty());
    // The close box says that a batch runs and offers to stop it; no keeps both.
    platform.answer = RecordingPlatform::Answer::No;
    EXPECT_FALSE(f.close());
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "変換中です。変換を中止して終了しますか？");
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.Converting());
    platform.Reset();
    EXPECT_EQ(Column(0), listed);
    EXPECT_EQ(f.ComboBox1->currentIndex(), 0);

    gate.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Converting(); }));
    EXPECT_EQ(f.StatusText(), "変換作業を完了しました。（変換 2 件、スキップ 2 件、失敗 1 件）");
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].title, "変換できなかったファイル");
    EXPECT_EQ(platform.boxes[0].kind, RecordingPlatform::BoxKind::Warning);
    // The reason in Japanese, made from the failure's kind, offset and section.
    EXPECT_TRUE(platform.boxes[0].text.startsWith("broken.jww: ファイルが途中で終わっています（"))
        << platform.boxes[0].text.toStdString();
    EXPECT_TRUE(platform.boxes[0].text.endsWith(" バイト目、図形リスト）")) << platform.boxes[0].text.toStdString();
    EXPECT_FALSE(platform.boxes[0].text.contains('\n'));
    EXPECT_FALSE(f.ProgressBar1->isVisible());
    EXPECT_TRUE(f.Button4->isEnabled());
    EXPECT_TRUE(f.TreeView1->isEnabled());

    EXPECT_EQ(DestFiles(), (std::vector<std::string>{"A.JWW", "B.jws"}));
    JwwDocument converted;
    ImageStore images{RealFileSystem()};
    images.KeepBytes = false;
    ASSERT_TRUE(ReadJwwFile(converted, images, dest() / "A.JWW"));
    const DimensionTally again = AddDimensionAttributes(converted, converted.Header.Version);
    EXPECT_EQ(again.dimensions, 1);
    EXPECT_EQ(again.marked, 0);  // already carries the attributes
    EXPECT_EQ(ReadFile(source() / "A.JWW"), JwwWithMemo(kFloorPlan));

    // Commands work again.
    f.MnuFileType2Click();
    EXPECT_EQ(Column(0).size(), 2);
}

TEST_F(Convert, StopLetsTheDrawingsUnderWayFinishAndStartsNoMore) {
    TForm1& f = Start(gate);
    Prepare();
    SelectAll();
    EXPECT_FALSE(f.ButtonStop->isVisible());
    f.Button4Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.Waiting(); }));
    ASSERT_TRUE(f.ButtonStop->isVisible());
    QTest::mouseClick(f.ButtonStop, Qt::LeftButton);
    EXPECT_FALSE(f.ButtonStop->isEnabled());
    gate.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Converting(); }));
    // At most one drawing per worker was under way; the rest of the five were never started.
    EXPECT_TRUE(f.StatusText().startsWith("変換作業を中止しました。（")) << f.StatusText().toStdString();
    EXPECT_TRUE(f.StatusText().contains("中止で未変換 ")) << f.StatusText().toStdString();
    EXPECT_FALSE(f.ButtonStop->isVisible());
    EXPECT_LE(DestFiles().size(), 2u);
}

TEST_F(Convert, OnlyTheSelectedRowsAreConvertedInTheOrderShown) {
    TForm1& f = Start();
    Prepare();
    ClickHeader(0);  // A.JWW, B.jws, broken.jww, notes.txt, X.BAK
    ASSERT_EQ(Column(0), QStringList({"A.JWW", "B.jws", "broken.jww", "notes.txt", "X.BAK"}));
    SelectRows(2, 2);
    f.Button4Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Converting(); }));
    EXPECT_EQ(f.StatusText(), "変換作業を完了しました。（変換 1 件、スキップ 0 件、失敗 0 件）");
    EXPECT_EQ(platform.boxes.size(), 1u);  // the confirmation only
    EXPECT_EQ(DestFiles(), (std::vector<std::string>{"B.jws"}));

    // A second run finds B converted already: nothing is written, and it makes no backup of it.
    SelectRows(1, 2);
    f.Button4Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Converting(); }));
    EXPECT_EQ(f.StatusText(), "変換作業を完了しました。（変換 1 件、スキップ 0 件、失敗 0 件、変換済みのまま 1 件）");
    EXPECT_EQ(DestFiles(), (std::vector<std::string>{"A.JWW", "B.jws"}));
}

TEST_F(Convert, ConvertsTheFilesOfTheFolderTheKeysMovedTo) {
    fs::create_directories(source() / "sub");
    WriteFile(source() / "sub" / "S.jww", JwwWithMemo(kFloorPlan));
    TForm1& f = Start();
    Prepare();
    QTest::keyClick(f.TreeView1, Qt::Key_Right);  // opens the branch
    QTest::keyClick(f.TreeView1, Qt::Key_Down);
    EXPECT_EQ(f.StatusText(), "1 Files  パス名「" + Folder(source() / "sub") + "」");
    SelectAll();
    f.Button4Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Converting(); }));
    EXPECT_EQ(f.StatusText(), "変換作業を完了しました。（変換 1 件、スキップ 0 件、失敗 0 件）");
    EXPECT_EQ(DestFiles(), (std::vector<std::string>{"S.jww"}));
}

using CourseOfUse = Convert;

TEST_F(CourseOfUse, FromTheFirstStartThroughAConversionToTheNextStart) {
    TForm1& f = Start();
    EXPECT_EQ(f.StatusText(), "検索フォルダを指定して下さい。");

    fs::create_directories(dir / "archive" / "site");
    fs::rename(source(), dir / "archive" / "site" / "src");
    Search(dir / "archive");
    ASSERT_TRUE(f.Form().FSearchReady);
    QTreeWidgetItem* folder = Node("site/src");
    ASSERT_NE(folder, nullptr);
    Click(folder);
    EXPECT_EQ(f.StatusText(), "5 Files  パス名「" + Folder(dir / "archive" / "site" / "src") + "」");

    platform.folders.push_back(Folder(dest()));
    f.Button3Click();
    f.MnuFileType2Click();
    ASSERT_EQ(Sorted(Column(0)), QStringList({"A.JWW", "broken.jww"}));
    SelectRows(1, 2);
    f.Button4Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Converting(); }));
    EXPECT_EQ(f.StatusText(), "変換作業を完了しました。（変換 1 件、スキップ 0 件、失敗 1 件）");
    EXPECT_EQ(DestFiles(), (std::vector<std::string>{"A.JWW"}));

    f.setGeometry(30, 60, 760, 500);
    f.Splitter1->setSizes({210, f.Splitter1->width() - 213});
    f.StringGrid1->horizontalHeader()->resizeSection(0, 120);
    platform.answer = RecordingPlatform::Answer::Yes;
    f.MnuExitClick();
    ASSERT_FALSE(f.isVisible());
    form.reset();

    platform.Reset();
    TForm1& next = Start();
    EXPECT_EQ(next.geometry(), QRect(30, 60, 760, 500));
    EXPECT_EQ(next.Panel1->width(), 210);
    EXPECT_EQ(next.StringGrid1->horizontalHeader()->sectionSize(0), 120);
    EXPECT_EQ(next.Edit2->text(), Folder(dest()));
    EXPECT_EQ(next.ComboBox1->currentIndex(), 2);
    // The last search folder is searched again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return next.Form().FSearchReady; }));
    EXPECT_NE(Node("site/src"), nullptr);
    next.MnuFileSFolderClick();  // cancelled, but it starts where the last search was
    ASSERT_EQ(platform.pickers.size(), 1u);
    EXPECT_EQ(platform.pickers[0].start, Folder(dir / "archive"));
}

TEST_F(Convert, AnotherRunIsWaitedForUntilStopAndATempFolderThatCannotBeMadeIsSaid) {
    bool lockFails = false;
    faulty.failCall = [&](FsCall call, const fs::path&) {
        return lockFails && call == FsCall::LockFolder ? std::make_error_code(std::errc::io_error) : std::error_code{};
    };
    TForm1& f = Start(faulty);
    Prepare();
    SelectRows(1, 1);
    {
        HeldByAnotherRun other(dest());
        f.Button4Click();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return f.StatusText().contains(QString::fromUtf8(texts::kWaitingForOtherRun)); }));
        EXPECT_TRUE(f.StatusText().startsWith("別の変換（プロセス ")) << f.StatusText().toStdString();
        QTest::mouseClick(f.ButtonStop, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Converting(); }));
        EXPECT_EQ(f.StatusText(), "変換作業をキャンセルしました。");
        EXPECT_EQ(platform.boxes.size(), 1u);  // the confirmation only
    }
    platform.Reset();
    lockFails = true;
    f.Button4Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Converting(); }));
    EXPECT_EQ(platform.beeps, 1);
    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(platform.boxes[1].kind, RecordingPlatform::BoxKind::Error);
    EXPECT_TRUE(platform.boxes[1].text.contains("一時フォルダを")) << platform.boxes[1].text.toStdString();
    EXPECT_TRUE(platform.boxes[1].text.contains("入出力エラー")) << platform.boxes[1].text.toStdString();
    EXPECT_TRUE(DestFiles().empty());
    faulty.failCall = [](FsCall, const fs::path&) { return std::error_code{}; };
}
