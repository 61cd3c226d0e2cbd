// Makes docs/screenshot.png: starts the main window on a prepared program folder (its settings
// file names the sample folder as the last search folder, so the window searches it again at
// start), lists the folder that holds the drawings, selects a few rows and saves a picture of
// the window.
//   quellmark-screenshot PROGRAM_FOLDER OUTPUT.png
#include "QtPlatform.h"
#include "Unit1.h"
#include "../form/WindowTexts.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QPixmap>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

namespace {

// A user who takes the folder each picker proposes and answers every box with Yes or OK.
class ScriptedPlatform final : public quellmark::FormDesktop {
public:
    quellmark::Answer MessageBox(const std::string& title, const std::string& text, quellmark::BoxKind,
                                 quellmark::Buttons buttons) override {
        std::fprintf(stderr, "box: %s %s\n", title.c_str(), text.c_str());
        return buttons == quellmark::Buttons::YesNo ? quellmark::Answer::Yes : quellmark::Answer::Ok;
    }
    void Beep() override {}
    void DismissBox() override {}
    std::string ChooseFolder(const std::string&, const std::string& start) override { return start; }
    void OpenWithShell(const std::filesystem::path&, std::function<void(quellmark::OpenProblem)>) override {}
    bool EscapeDown() override { return false; }
};

// Settles pending layout and paint work before the picture is taken.
void Settle() {
    for (int i = 0; i < 5; ++i) QTest::qWait(50);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quellmark-screenshot PROGRAM_FOLDER OUTPUT.png\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(quellmark::texts::kProductName));
    quellmark::InstallQtTranslations();
    QString appDir = QString::fromLocal8Bit(argv[1]);
    if (!appDir.endsWith(QLatin1Char('/'))) appDir += QLatin1Char('/');

    ScriptedPlatform platform;
    quellmark::TForm1 form(platform, appDir, quellmark::RealFileSystem());
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        std::fprintf(stderr, "quellmark-screenshot: the window did not appear\n");
        return 1;
    }
    if (!QTest::qWaitFor([&] { return form.Form().FSearchReady && !form.Busy(); })) {
        std::fprintf(stderr, "quellmark-screenshot: the folder search found nothing\n");
        return 1;
    }
    QTreeWidgetItem* root = form.TreeView1->topLevelItem(0);
    form.TreeView1->expandAll();
    form.TreeView1->setCurrentItem(root);
    form.Form().FolderChosen(0);  // lists it, as a click on it does
    const int files = form.StringGrid1->model()->rowCount();
    form.StringGrid1->clearSelection();
    // One drawing current, so the preview shows it.
    const int first = std::min(5, files - 1);
    const int last = first;
    form.StringGrid1->setCurrentIndex(form.StringGrid1->model()->index(first, 0));
    form.StringGrid1->selectionModel()->select(
        QItemSelection(form.StringGrid1->model()->index(first, 0), form.StringGrid1->model()->index(last, 5)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    Settle();

    const QPixmap picture = form.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "quellmark-screenshot: cannot write %s\n", argv[2]);
        return 1;
    }
    std::fprintf(stderr, "%s: %dx%d, status \"%s\"\n", argv[2], picture.width(), picture.height(),
                 qPrintable(form.StatusText()));
    form.close();
    return 0;
}
