// Helpers for the main window's tests: a desktop double that records boxes, beeps, pickers and
// opened files and plays the Escape key from a script, and a fixture that starts and stops TForm1 on a program folder
// of its own.
#pragma once

#include "testkit.h"

#include "window/Unit1.h"
#include "form/FormDesktop.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>

class QTreeWidgetItem;

namespace qmtest {

class RecordingPlatform final : public quellmark::FormDesktop {
public:
    using Answer = quellmark::Answer;
    using BoxKind = quellmark::BoxKind;
    using Buttons = quellmark::Buttons;
    struct Box {
        QString title;
        QString text;
        BoxKind kind;
        Buttons buttons;
    };
    struct Picker {
        QString title;
        QString start;
    };

    std::vector<Box> boxes;
    int beeps = 0;
    std::vector<Picker> pickers;
    std::deque<QString> folders;  // what the pickers answer, in turn; empty means cancelled
    QStringList opened;
    bool noApplication = false;   // the desktop has no application for the files opened
    Answer answer = Answer::Yes;  // to Yes/No boxes
    int escapePolls = 0;
    // Asked at each poll of the Escape key, after escapePolls has counted it.
    std::function<bool()> escape = [] { return false; };

    Answer MessageBox(const std::string& title, const std::string& text, BoxKind kind, Buttons buttons) override;
    void Beep() override { ++beeps; }
    void DismissBox() override {}
    std::string ChooseFolder(const std::string& title, const std::string& startFolder) override;
    void OpenWithShell(const std::filesystem::path& path, std::function<void(quellmark::OpenProblem)> failed) override;
    bool EscapeDown() override;

    // Forgets what was recorded.
    void Reset();
};

// A double click as the window system delivers it: a click, then a press that arrives as a
// double click, then its release.
void DoubleClickAt(QWidget* widget, QPoint at);

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates and shows the window on the program folder (FormShow runs).
    quellmark::TForm1& Start(quellmark::FileSystem& fileSystem = quellmark::RealFileSystem());
    // Closes the window (FormClose runs) and destroys it.
    void Stop();

    QString AppDir() const { return QString::fromStdString(appDir.string()) + "/"; }
    fs::path Ini() const { return appDir / "Quellmark.ini"; }
    static QString Folder(const fs::path& path) { return QString::fromStdString(path.string()) + "/"; }

    // Chooses the folder with ファイル → 検索フォルダの指定 and its picker, and waits for its search.
    void Search(const fs::path& folder);
    // The node at the path below the root ("A/A1"), or the root for "".
    QTreeWidgetItem* Node(const QString& path) const;
    // A mouse click on the node's name (its branch opened up to it first).
    void Click(QTreeWidgetItem* node);
    // A mouse click on the arrow that opens or closes the node's branch.
    void ClickArrow(QTreeWidgetItem* node);
    // Search the folder and list it.
    void List(const fs::path& folder);
    // Column col of the file rows.
    QStringList Column(int col) const;
    // Selects the file rows first..last (row 1 is the first file).
    void SelectRows(int first, int last);
    // A mouse click in the middle of a column's header cell.
    void ClickHeader(int col);
    // A click on the row of the file first, and one with Shift held on the row of last: the
    // rows from one to the other are selected.
    void SelectFiles(const QString& first, const QString& last);
    // The names of the file rows selected, top to bottom.
    QStringList SelectedFiles() const;

    TempDir dir;
    fs::path appDir;
    RecordingPlatform platform;
    std::unique_ptr<quellmark::TForm1> form;
};

}  // namespace qmtest
