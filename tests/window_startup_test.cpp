// The main window's start-up and shut-down: the design layout and texts on a first run, the
// settings file written at close and read at the next start (every key, values that are no
// numbers, cut folders, file types out of range), where the settings file and the temp folder go
// when the program folder is out of reach, and exiting with and without the question.
#include "window_testkit.h"

#include "form/UnitIni.h"
#include "form/WindowTexts.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include <fstream>
#include <utility>

using namespace quellmark;
using namespace qmtest;

namespace {

std::string Setting(const fs::path& ini, const char* section, const char* key) {
    std::string value;
    ReadIniString(RealFileSystem(), section, key, value, 4096, ini);
    return value;
}

std::vector<int> ColumnWidths(const TForm1& form) {
    std::vector<int> widths;
    for (int c = 0; c < 6; ++c) widths.push_back(form.StringGrid1->horizontalHeader()->sectionSize(c));
    return widths;
}

std::vector<std::string> Lines(const fs::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

using StartUp = WindowTest;

}  // namespace

TEST_F(StartUp, AFirstRunShowsTheDesignLayoutAndAsksForASearchFolder) {
    TForm1& f = Start();
    EXPECT_EQ(f.windowTitle(), "Quellmark Ver.1.00");
    EXPECT_EQ(f.ComboBox1->currentIndex(), 0);
    EXPECT_EQ(f.ComboBox1->currentText(), "全てのファイル(*.*)");
    EXPECT_EQ(f.Edit1->text(), "");
    EXPECT_EQ(f.Edit2->text(), "");
    EXPECT_EQ(f.TreeView1->topLevelItemCount(), 0);
    EXPECT_EQ(f.StatusText(), "検索フォルダを指定して下さい。");
    EXPECT_FALSE(f.Form().FSearchReady);
    EXPECT_FALSE(f.Form().FListShown);
    EXPECT_EQ(QString::fromStdString(quellmark::PathText(f.Form().SettingsFile())), AppDir() + "Quellmark.ini");
    EXPECT_EQ(f.TempFolder(), AppDir() + "TEMP/");
    EXPECT_TRUE(fs::is_directory(appDir / "TEMP"));

    QStringList headers;
    for (int c = 0; c < 6; ++c) headers << f.StringGrid1->model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers, QStringList({"ファイル名", "Bytes", "種類", "図面メモ", "更新日時", "属性"}));

    // The search folder dialog starts in the program folder.
    f.MnuFileSFolderClick();
    ASSERT_EQ(platform.pickers.size(), 1u);
    EXPECT_EQ(platform.pickers[0].title, "検索フォルダの指定");
    EXPECT_EQ(platform.pickers[0].start, AppDir());
    EXPECT_FALSE(f.Form().FSearchReady);
}

TEST_F(StartUp, EveryComponentAndMenuItemIsThereByItsName) {
    TForm1& f = Start();
    const std::pair<const char*, const char*> actions[] = {
        {"MnuFileSFolder", "検索フォルダの指定 (&S)"},
        {"MnuFileType0", "全てのファイル(*.*) (&0)"},
        {"MnuFileType1", "(*.jw?) (&1)"},
        {"MnuFileType2", "(*.jww) (&2)"},
        {"MnuFileType3", "(*.jws) (&3)"},
        {"MnuFileSave", "保存先フォルダの指定 (&H)"},
        {"MnuConvert", "変換 (&C)"},
        {"MnuExit", "終了 (&X)"},
    };
    for (const auto& [name, text] : actions) {
        const QAction* action = f.findChild<QAction*>(name);
        ASSERT_NE(action, nullptr) << name;
        EXPECT_EQ(action->text(), QString::fromUtf8(text));
    }
    EXPECT_EQ(f.MnuFile->title(), "ファイル (&F)");
    EXPECT_EQ(f.MnuFileType->title(), "ファイルの種類 (&T)");
    const QList<QAction*> file = f.MnuFile->actions();
    ASSERT_EQ(file.size(), 6);
    EXPECT_EQ(file[0], f.MnuFileSFolder);
    EXPECT_EQ(file[1], f.MnuFileType->menuAction());
    EXPECT_EQ(file[2], f.MnuFileSave);
    EXPECT_EQ(file[3], f.MnuConvert);
    EXPECT_TRUE(file[4]->isSeparator());
    EXPECT_EQ(file[5], f.MnuExit);
    EXPECT_EQ(f.MnuFileType->actions(),
              QList<QAction*>({f.MnuFileType0, f.MnuFileType1, f.MnuFileType2, f.MnuFileType3}));
    ASSERT_EQ(f.MainMenu1->actions().size(), 3);  // ファイル, 表示 with the preview, ヘルプ with the About box
    EXPECT_EQ(f.MainMenu1->actions()[0], f.MnuFile->menuAction());
    EXPECT_EQ(f.Label1->text(), "ファイルの種類");
    EXPECT_EQ(f.Label2->text(), "保存先フォルダ");
    // The captions with their access keys: Alt+B, Alt+C.
    EXPECT_EQ(f.Button3->text(), "参照(&B)");
    EXPECT_EQ(f.Button4->text(), "変換(&C)");
    EXPECT_FALSE(f.Edit1->isReadOnly());  // folders are typed or pasted too
    EXPECT_FALSE(f.Edit2->isReadOnly());
    for (const char* name :
         {"Splitter1", "Panel1", "Panel2", "Edit1", "TreeView1", "Panel3", "Panel4", "Label1", "ComboBox1", "Label2",
          "Edit2", "Button3", "Button4", "StringGrid1", "Splitter2", "Preview", "StatusBar1", "MainMenu1"}) {
        EXPECT_NE(f.findChild<QWidget*>(name), nullptr) << name;
    }
}

TEST_F(StartUp, TheLabelsShowWhole) {
    TForm1& f = Start();
    for (const auto& [label, field] : {std::pair<QLabel*, QWidget*>{f.Label1, f.ComboBox1}, {f.Label2, f.Edit2}}) {
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        EXPECT_LT(label->geometry().right(), field->geometry().left()) << label->text().toStdString();
        EXPECT_LE(label->geometry().bottom(), f.Panel4->height()) << label->text().toStdString();
    }
}

TEST_F(StartUp, TheWindowComesBackWhereItWasAndAlwaysOnAScreen) {
    TForm1& f = Start();
    const QRect placed(150, 120, 600, 400);
    f.setGeometry(placed);
    for (int run = 0; run < 3; ++run) {
        Stop();
        EXPECT_EQ(Start().geometry(), placed) << "start " << run + 2;
    }
    Stop();

    // Saved on a screen that is gone, or larger than this one: on this screen, whole.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const std::string saved :
         {"F1_X=-3000\nF1_Y=5000\nF1_W=600\nF1_H=400\n", "F1_X=40\nF1_Y=30\nF1_W=5000\nF1_H=4000\n"}) {
        WriteText(Ini(), "[Form]\n" + saved);
        TForm1& g = Start();
        EXPECT_TRUE(screen.contains(g.frameGeometry())) << saved;
        Stop();
    }
}

TEST_F(StartUp, TheLastSearchFolderIsSearchedAgainAndEscapeStopsIt) {
    fs::create_directories(dir / "data" / "A" / "A1");
    fs::create_directories(dir / "data" / "B");
    WriteText(Ini(), "[Set]\nFLD1=" + (dir / "data").string() + "/\n");
    TForm1& f = Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.Form().FSearchReady; }));
    EXPECT_EQ(f.Edit1->text(), Folder(dir / "data"));
    EXPECT_EQ(f.TreeView1->topLevelItem(0)->childCount(), 2);
    EXPECT_EQ(f.StatusText(), "フォルダ検索を完了しました。（4 フォルダ）");
    Stop();

    FolderGate files("B");  // the search waits there until Escape has been looked at
    platform.escape = [&] {
        files.Open();
        return true;
    };
    TForm1& g = Start(files);
    ASSERT_TRUE(QTest::qWaitFor([&] { return g.Form().FSearchReady; }));
    EXPECT_TRUE(g.Form().FSearchAborted);
    EXPECT_TRUE(g.StatusText().startsWith("フォルダ検索を中断しました。（見つかった ")) << g.StatusText().toStdString();
    Stop();  // before the file system goes
}

TEST_F(StartUp, QtsOwnDialogsSpeakJapanese) {
    QMessageBox box;
    box.setDetailedText("details");
    QStringList buttons;
    for (const QPushButton* button : box.findChildren<QPushButton*>()) buttons << button->text();
    EXPECT_FALSE(buttons.join(' ').contains("Details")) << buttons.join(' ').toStdString();
    EXPECT_TRUE(buttons.join(' ').contains("詳細")) << buttons.join(' ').toStdString();

    QFileDialog dialog(nullptr, "folder");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) texts << label->text();
    for (const QPushButton* button : dialog.findChildren<QPushButton*>()) texts << button->text();
    EXPECT_FALSE(texts.contains("Cancel")) << texts.join(' ').toStdString();
    EXPECT_FALSE(texts.contains("Look in:")) << texts.join(' ').toStdString();
    EXPECT_TRUE(texts.contains("キャンセル")) << texts.join(' ').toStdString();
}

TEST_F(StartUp, TheSearchFolderEditFollowsTheWidthOfItsPane) {
    TForm1& f = Start();
    EXPECT_EQ(f.Edit1->width(), f.Panel1->width());
    f.Splitter1->setSizes({230, f.Splitter1->width() - 233});
    EXPECT_EQ(f.Panel1->width(), 230);
    EXPECT_EQ(f.Edit1->width(), 230);
}

TEST_F(StartUp, AFirstCloseWritesEveryKeyInThreeSections) {
    Start();
    Stop();
    std::vector<std::string> keys;
    for (const std::string& line : Lines(Ini())) keys.push_back(line.substr(0, line.find('=')));
    EXPECT_EQ(keys, (std::vector<std::string>{"[Form]", "F1_X", "F1_Y", "F1_W", "F1_H", "F1MX", "[Comp]", "F1P1",
                                              "F1S0",   "F1S1", "F1S2", "F1S3", "F1S4", "F1S5", "PVON",   "PVSZ",
                                              "[Set]",  "FLD1", "FLD2", "FNAM", "FTYP", "SORT", "SDSC"}));
    EXPECT_EQ(Setting(Ini(), "Set", "FLD1"), appDir.string() + "/");
    EXPECT_EQ(Setting(Ini(), "Set", "FLD2"), "");
    EXPECT_EQ(Setting(Ini(), "Set", "FTYP"), "0");
    // The temp folder goes with the window when nothing is left in it.
    EXPECT_FALSE(fs::exists(appDir / "TEMP"));
}

TEST_F(StartUp, SettingsWrittenAtCloseAreReadAtTheNextStart) {
    const std::string longFolder = "/" + std::string(598, 'x') + "/";
    WriteText(Ini(),
              "[Form]\nF1_X=12\nF1_Y=34\nF1_W=780\nF1_H=400\n"
              "[Comp]\nF1P1=200\nF1S0=100\nF1S1=90\nF1S2=1x\nF1S3=150\nF1S4=100\nF1S5=40\n"
              "[Set]\nFLD1=" +
                  longFolder + "\nFLD2=/some/dest/\nFNAM=last one.jww\nFTYP=9\n");
    TForm1& f = Start();
    EXPECT_EQ(f.geometry(), QRect(12, 34, 780, 400));
    EXPECT_EQ(f.Panel1->width(), 200);
    // A stray letter reads as 0, and no column is narrower than 16 pixels, so none can vanish.
    // The memo column takes the width the others leave, on top of its own.
    std::vector<int> widths = ColumnWidths(f);
    EXPECT_GE(std::exchange(widths[3], 150), 150);
    EXPECT_EQ(widths, (std::vector<int>{100, 90, 16, 150, 100, 40}));
    EXPECT_EQ(f.Form().FSearchFolder, longFolder.substr(0, 511));
    EXPECT_EQ(f.Edit1->text(), "");  // the tree and Edit1 wait for a search
    EXPECT_EQ(QString::fromStdString(f.Form().FDestFolder), "/some/dest/");
    EXPECT_EQ(f.Edit2->text(), "/some/dest/");
    EXPECT_EQ(QString::fromStdString(f.Form().FLastFileName), "last one.jww");
    EXPECT_EQ(f.ComboBox1->currentIndex(), 0);  // no type for 9: the first

    // The user moves things about; the next start finds them so.
    f.setGeometry(30, 40, 760, 420);
    f.Splitter1->setSizes({180, f.Splitter1->width() - 183});
    f.StringGrid1->horizontalHeader()->resizeSection(3, 170);
    Stop();
    EXPECT_EQ(Setting(Ini(), "Form", "F1_X"), "30");
    EXPECT_EQ(Setting(Ini(), "Form", "F1_W"), "760");
    EXPECT_EQ(Setting(Ini(), "Comp", "F1P1"), "180");
    EXPECT_EQ(Setting(Ini(), "Comp", "F1S2"), "16");
    EXPECT_EQ(Setting(Ini(), "Comp", "F1S3"), "170");
    EXPECT_EQ(Setting(Ini(), "Set", "FLD1"), longFolder.substr(0, 511));
    EXPECT_EQ(Setting(Ini(), "Set", "FNAM"), "last one.jww");
    EXPECT_EQ(Setting(Ini(), "Set", "FTYP"), "0");

    TForm1& again = Start();
    EXPECT_EQ(again.geometry(), QRect(30, 40, 760, 420));
    EXPECT_EQ(again.Panel1->width(), 180);
    widths = ColumnWidths(again);
    EXPECT_GE(std::exchange(widths[3], 170), 170);
    EXPECT_EQ(widths, (std::vector<int>{100, 90, 16, 170, 100, 40}));
    EXPECT_EQ(again.Edit2->text(), "/some/dest/");
    EXPECT_EQ(again.ComboBox1->currentIndex(), 0);
}

TEST_F(StartUp, WithoutARightToTheProgramFolderSettingsAndTempGoToTheUsersFolders) {
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    const QByteArray temp = qgetenv("TMPDIR");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((dir / "config").string()));
    qputenv("TMPDIR", QByteArray::fromStdString((dir / "tmp").string()));
    fs::create_directories(dir / "tmp");
    appDir = dir / "gone";  // a program folder that is not there can be written to by nobody

    TForm1& f = Start();
    EXPECT_EQ(quellmark::PathText(f.Form().SettingsFile()), (dir / "config" / "Quellmark" / "Quellmark.ini").string());
    // A batch then makes its own folder in the system's temp folder, which only this user may enter.
    EXPECT_EQ(f.TempFolder().toStdString(), (dir / "tmp").string() + "/");
    Stop();
    EXPECT_EQ(Setting(dir / "config" / "Quellmark" / "Quellmark.ini", "Form", "F1_W"), "696");
    EXPECT_FALSE(fs::exists(dir / "gone"));

    qputenv("XDG_CONFIG_HOME", config);
    qputenv("TMPDIR", temp);
    if (config.isNull()) qunsetenv("XDG_CONFIG_HOME");
    if (temp.isNull()) qunsetenv("TMPDIR");
}

TEST_F(StartUp, ASettingsFileBesideTheProgramIsUsedWhereverItIs) {
    WriteText(Ini(), "[Form]\nF1_W=650\n");
    TForm1& f = Start();
    EXPECT_EQ(QString::fromStdString(quellmark::PathText(f.Form().SettingsFile())), AppDir() + "Quellmark.ini");
    EXPECT_EQ(f.width(), 650);
}

using Exit = WindowTest;

TEST_F(Exit, TheMenuAsksFirstAndNoKeepsTheWindowOpen) {
    TForm1& f = Start();
    platform.answer = RecordingPlatform::Answer::No;
    f.MnuExitClick();
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "終了します。よろしいですか？");
    EXPECT_EQ(platform.boxes[0].kind, RecordingPlatform::BoxKind::Confirmation);
    EXPECT_EQ(platform.boxes[0].buttons, RecordingPlatform::Buttons::YesNo);
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(fs::exists(Ini()));

    platform.answer = RecordingPlatform::Answer::Yes;
    f.MnuExitClick();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(Setting(Ini(), "Form", "F1_W"), "696");
}

TEST_F(Exit, TheCloseBoxAsksAsTheMenuDoesAndWritesTheSettings) {
    TForm1& f = Start();
    platform.answer = RecordingPlatform::Answer::No;
    EXPECT_FALSE(f.close());
    platform.answer = RecordingPlatform::Answer::Yes;
    EXPECT_TRUE(f.close());
    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(platform.boxes[1].text, "終了します。よろしいですか？");
    EXPECT_EQ(Setting(Ini(), "Set", "FTYP"), "0");
}
