// The folder tree: a search over a generated tree with hidden folders and a link back to the top,
// node paths, a missing search folder, Escape during the search (which runs on a thread of its
// own), commands and a close that arrive while it runs, and clicks in the tree before any search.
#include "window_testkit.h"

#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QTableView>
#include <QTreeWidget>
#include <QUrl>

#include <utility>

#include <sys/stat.h>

using namespace quellmark;
using namespace qmtest;

namespace {

QStringList Children(const QTreeWidgetItem* node) {
    QStringList names;
    for (int i = 0; node && i < node->childCount(); ++i) names << node->child(i)->text(0);
    return names;
}

int CountNodes(const QTreeWidgetItem* node) {
    int n = 1;
    for (int i = 0; i < node->childCount(); ++i) n += CountNodes(node->child(i));
    return n;
}

bool ChildrenSorted(const QTreeWidgetItem* node) {
    const QStringList names = Children(node);
    for (int i = 1; i < names.size(); ++i) {
        if (names[i - 1] > names[i]) return false;
    }
    for (int i = 0; i < node->childCount(); ++i) {
        if (!ChildrenSorted(node->child(i))) return false;
    }
    return true;
}

class FolderTree : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        for (const char* folder : {"A/A1/A11", "A/A2", "B", "C", "図面/平面", ".hidden/H1", "A/.git"}) {
            fs::create_directories(data() / fs::path(folder));
        }
        WriteText(data() / "C" / "notes.txt", "notes");
        WriteText(data() / "A" / "A1" / "file.jww", "not a folder");
        ::mkfifo((data() / "B" / "pipe").c_str(), 0600);
        fs::create_directory_symlink(data(), data() / "loop");  // a way back to the top
    }
    fs::path data() const { return dir / "data"; }
};

}  // namespace

TEST_F(FolderTree, ASearchShowsEveryFolderBelowTheSearchFolderSortedAndNoHiddenOnes) {
    TForm1& f = Start();
    Search(data());
    EXPECT_TRUE(f.Form().FSearchReady);
    EXPECT_FALSE(f.Form().FSearchAborted);
    EXPECT_EQ(f.StatusText(), "フォルダ検索を完了しました。（10 フォルダ）");
    EXPECT_EQ(f.Edit1->text(), Folder(data()));
    EXPECT_EQ(QString::fromStdString(f.Form().FSearchFolder), Folder(data()));
    ASSERT_EQ(f.TreeView1->topLevelItemCount(), 1);
    EXPECT_EQ(Node("")->text(0), Folder(data()));
    EXPECT_EQ(Children(Node("")), QStringList({"A", "B", "C", "loop", "図面"}));
    EXPECT_EQ(CountNodes(Node("")), 10);
    EXPECT_EQ(Children(Node("A")), QStringList({"A1", "A2"}));
    EXPECT_EQ(Children(Node("A/A1")), QStringList({"A11"}));
    EXPECT_EQ(Children(Node("図面")), QStringList({"平面"}));
    EXPECT_TRUE(Children(Node("B")).isEmpty());
    // The link is a folder of the tree, but the search does not go round in it.
    EXPECT_TRUE(Children(Node("loop")).isEmpty());
    EXPECT_TRUE(f.TreeView1->isEnabled());

    EXPECT_EQ(f.NodePath(Node("")), Folder(data()));
    EXPECT_EQ(f.NodePath(Node("A/A1/A11")), Folder(data() / "A" / "A1" / "A11"));
    EXPECT_EQ(f.NodePath(Node("図面/平面")), Folder(data() / "図面" / "平面"));
    EXPECT_EQ(f.NodePath(nullptr), "");
}

TEST_F(FolderTree, AFolderWithoutSubfoldersGivesARootOnly) {
    TForm1& f = Start();
    Search(data() / "B");
    EXPECT_TRUE(f.Form().FSearchReady);
    ASSERT_EQ(f.TreeView1->topLevelItemCount(), 1);
    EXPECT_EQ(Node("")->text(0), Folder(data() / "B"));
    EXPECT_EQ(Node("")->childCount(), 0);
}

TEST_F(FolderTree, AMissingSearchFolderChangesNothing) {
    TForm1& f = Start();
    List(data() / "C");
    ASSERT_TRUE(f.Form().FListShown);
    platform.Reset();

    Search(dir / "nowhere");
    EXPECT_EQ(platform.beeps, 1);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "検索フォルダのディスクドライブの準備が出来ていません。");
    EXPECT_EQ(platform.boxes[0].kind, RecordingPlatform::BoxKind::Information);
    EXPECT_EQ(platform.boxes[0].buttons, RecordingPlatform::Buttons::Ok);
    EXPECT_EQ(f.StatusText(), "検索フォルダを指定して下さい。");
    EXPECT_TRUE(f.Form().FSearchReady);
    EXPECT_TRUE(f.Form().FListShown);
    EXPECT_EQ(Node("")->text(0), Folder(data() / "C"));
    EXPECT_EQ(Column(0), QStringList({"notes.txt"}));
}

TEST_F(FolderTree, AClickOnTheSearchFieldOpensOnePickerAndCancelThereEndsIt) {
    TForm1& f = Start();
    QTest::mouseClick(f.Edit1, Qt::LeftButton);
    EXPECT_EQ(platform.pickers.size(), 1u);
    EXPECT_FALSE(f.Form().FSearchReady);
    EXPECT_EQ(f.TreeView1->topLevelItemCount(), 0);
}

TEST_F(FolderTree, ANewSearchEmptiesTheList) {
    TForm1& f = Start();
    List(data() / "C");
    ASSERT_EQ(Column(0), QStringList({"notes.txt"}));
    Search(data());
    EXPECT_FALSE(f.Form().FListShown);
    EXPECT_EQ(f.RowCount(), 1);  // the header only: no blank row to select
    EXPECT_TRUE(Column(0).isEmpty());
}

TEST_F(FolderTree, EscapeStopsTheSearchAndLeavesAUsableSortedTree) {
    FolderGate files("C");  // the search waits there until Escape has been looked at
    TForm1& f = Start(files);
    platform.escape = [&] {
        files.Open();
        return true;
    };
    Search(data());
    EXPECT_TRUE(f.Form().FSearchAborted);
    EXPECT_TRUE(f.StatusText().startsWith("フォルダ検索を中断しました。")) << f.StatusText().toStdString();
    EXPECT_TRUE(f.Form().FSearchReady);
    EXPECT_TRUE(f.TreeView1->isEnabled());
    // The search folder's own folders came before Escape was looked at; not every folder did.
    EXPECT_EQ(Children(Node("")), QStringList({"A", "B", "C", "loop", "図面"}));
    EXPECT_LT(CountNodes(Node("")), 10);
    EXPECT_TRUE(ChildrenSorted(Node("")));

    platform.escape = [] { return false; };
    Click(Node(""));
    EXPECT_EQ(f.StatusText(), "0 Files  パス名「" + Folder(data()) + "」");
    Stop();  // before the file system goes
}

TEST_F(FolderTree, CommandsThatArriveDuringASearchAreRefused) {
    TForm1& f = Start();
    bool asked = false;
    std::size_t pickersDuring = 0;
    platform.escape = [&] {
        if (asked) return false;
        asked = true;
        EXPECT_TRUE(f.Busy());
        f.MnuFileSFolderClick();  // a second search
        f.Button4Click();
        f.TreeView1->setCurrentItem(Node(""));  // a folder of the growing tree, clicked
        f.TreeView1Click();
        f.MnuExitClick();
        pickersDuring = platform.pickers.size();
        return false;
    };
    Search(data());
    ASSERT_TRUE(asked);
    EXPECT_EQ(pickersDuring, 1u);  // only the first search asked for a folder
    EXPECT_EQ(platform.beeps, 4);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_FALSE(f.Busy());
    EXPECT_EQ(Children(Node("")), QStringList({"A", "B", "C", "loop", "図面"}));
}

TEST_F(FolderTree, ClosingDuringASearchStopsItAndThenCloses) {
    FolderGate files("C");  // the search waits there until the window was asked to close
    TForm1& f = Start(files);
    bool closing = false;
    platform.escape = [&] {
        if (!std::exchange(closing, true)) f.close();
        files.Open();
        return false;
    };
    Search(data());
    EXPECT_TRUE(f.Form().FSearchAborted);
    EXPECT_TRUE(f.StatusText().startsWith("フォルダ検索を中断しました。"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !f.isVisible(); }));
    EXPECT_TRUE(fs::exists(Ini()));
    Stop();  // before the file system goes
}

TEST_F(FolderTree, AClickInTheTreeBeforeAnySearchAsksForASearchFolder) {
    TForm1& f = Start();
    QTest::mouseClick(f.TreeView1->viewport(), Qt::LeftButton);
    EXPECT_EQ(platform.beeps, 1);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "検索フォルダを指定して下さい。");
    EXPECT_EQ(platform.boxes[0].kind, RecordingPlatform::BoxKind::Error);
    EXPECT_EQ(f.StatusText(), "検索フォルダを指定して下さい。");
}

TEST_F(FolderTree, TheDestinationPickerStartsAtTheShownFolderAndKeepsItsChoice) {
    TForm1& f = Start();
    platform.folders = {Folder(data() / "B"), QString(), QString::fromStdString((data() / "C").string())};
    f.Button3Click();
    EXPECT_EQ(f.Edit2->text(), Folder(data() / "B"));
    EXPECT_EQ(QString::fromStdString(f.Form().FDestFolder), Folder(data() / "B"));
    f.Button3Click();  // cancelled
    EXPECT_EQ(QString::fromStdString(f.Form().FDestFolder), Folder(data() / "B"));
    f.MnuFileSave->trigger();  // a folder without its "/" gets one
    EXPECT_EQ(QString::fromStdString(f.Form().FDestFolder), Folder(data() / "C"));
    ASSERT_EQ(platform.pickers.size(), 3u);
    EXPECT_EQ(platform.pickers[0].title, "保存先フォルダの指定");
    EXPECT_EQ(platform.pickers[0].start, "");
    EXPECT_EQ(platform.pickers[1].start, Folder(data() / "B"));
}

// Counts the reads of one file's bytes.
class CountingFileSystem final : public ForwardingFileSystem {
public:
    explicit CountingFileSystem(std::string name) : name_(std::move(name)) {}
    std::error_code openRead(const fs::path& path, std::unique_ptr<InputFile>& out) override {
        if (path.filename() == name_) ++reads;
        return ForwardingFileSystem::openRead(path, out);
    }
    int reads = 0;

private:
    std::string name_;
};

TEST_F(FolderTree, AClickReadsTheFolderOnceAndOpeningOrClosingABranchReadsNothing) {
    WriteFile(data() / "A" / "A1" / "plan.jww", JwwWithMemo("plan"));
    CountingFileSystem files("plan.jww");
    TForm1& f = Start(files);
    Search(data());
    Click(Node("A"));
    Click(Node("A/A1"));
    EXPECT_EQ(files.reads, 1);
    EXPECT_EQ(f.StatusText(), "2 Files  パス名「" + Folder(data() / "A" / "A1") + "」");

    ClickArrow(Node("A/A1"));
    EXPECT_TRUE(Node("A/A1")->isExpanded());
    ClickArrow(Node("A/A1"));
    EXPECT_FALSE(Node("A/A1")->isExpanded());
    QTest::keyClick(f.TreeView1, Qt::Key_Right);
    EXPECT_TRUE(Node("A/A1")->isExpanded());
    QTest::keyClick(f.TreeView1, Qt::Key_Left);
    EXPECT_FALSE(Node("A/A1")->isExpanded());
    EXPECT_EQ(files.reads, 1);

    // A double click lists the folder once and opens its branch.
    DoubleClickAt(f.TreeView1->viewport(), f.TreeView1->visualItemRect(Node("A/A1")).topLeft() + QPoint(4, 4));
    EXPECT_EQ(files.reads, 2);
    EXPECT_TRUE(Node("A/A1")->isExpanded());
    Stop();  // before the file system goes
}

TEST_F(FolderTree, TheKeysListEveryFolderTheyMoveTo) {
    TForm1& f = Start();
    Search(data());
    Click(Node("B"));
    QTest::keyClick(f.TreeView1, Qt::Key_Down);
    EXPECT_EQ(f.TreeView1->currentItem(), Node("C"));
    EXPECT_EQ(f.StatusText(), "1 Files  パス名「" + Folder(data() / "C") + "」");
    EXPECT_EQ(Column(0), QStringList({"notes.txt"}));
    QTest::keyClick(f.TreeView1, Qt::Key_Up);
    EXPECT_EQ(f.StatusText(), "0 Files  パス名「" + Folder(data() / "B") + "」");
    EXPECT_FALSE(f.Form().FListShown);
}

TEST_F(FolderTree, AFolderDroppedOnTheTreeIsSearchedOneOnTheDestinationKeptAndAFileTakenAnywhere) {
    TForm1& f = Start();
    const auto drop = [](QWidget* target, const fs::path& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &dropped);
        return enter.isAccepted() && dropped.isAccepted();
    };
    // A file is no folder: the window takes it wherever it lands, and says what it does.
    EXPECT_TRUE(drop(f.StringGrid1->viewport(), data() / "C" / "notes.txt"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.StatusText().startsWith("「notes.txt」は図面ファイル"); }));
    EXPECT_TRUE(drop(f.TreeView1->viewport(), data() / "A"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.Form().FSearchReady; }));
    EXPECT_EQ(f.Edit1->text(), Folder(data() / "A"));
    EXPECT_EQ(Children(Node("")), QStringList({"A1", "A2"}));

    EXPECT_TRUE(drop(f.Edit2, data() / "B"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QString::fromStdString(f.Form().FDestFolder) == Folder(data() / "B"); }));
    EXPECT_EQ(f.Edit2->text(), Folder(data() / "B"));
}

TEST_F(FolderTree, AFolderTypedIntoEitherFieldIsTakenWithEnter) {
    TForm1& f = Start();
    QTest::keyClicks(f.Edit1, QString::fromStdString(data().string()));
    QTest::keyClick(f.Edit1, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.Form().FSearchReady && !f.Busy(); }));
    EXPECT_EQ(Node("")->text(0), Folder(data()));
    QTest::keyClicks(f.Edit2, QString::fromStdString((data() / "B").string()));
    QTest::keyClick(f.Edit2, Qt::Key_Return);
    EXPECT_EQ(f.Edit2->text(), Folder(data() / "B"));
    EXPECT_TRUE(platform.pickers.empty());
}
