// Helpers for the main window's tests.
#include "window_testkit.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include <fstream>

#include "window/QtText.h"

namespace qmtest {

using namespace quellmark;

Answer RecordingPlatform::MessageBox(const std::string& title, const std::string& text, BoxKind kind, Buttons buttons) {
    boxes.push_back({FromUtf8(title), FromUtf8(text), kind, buttons});
    return buttons == Buttons::YesNo ? answer : Answer::Ok;
}

std::string RecordingPlatform::ChooseFolder(const std::string& title, const std::string& startFolder) {
    pickers.push_back({FromUtf8(title), FromUtf8(startFolder)});
    if (folders.empty()) return {};
    QString folder = folders.front();
    folders.pop_front();
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return ToUtf8(folder);
}

void RecordingPlatform::OpenWithShell(const std::filesystem::path& path, std::function<void(OpenProblem)> failed) {
    opened << FromPath(path);
    if (noApplication) failed(OpenProblem::NoApplication);
}

bool RecordingPlatform::EscapeDown() {
    ++escapePolls;
    return escape();
}

void RecordingPlatform::Reset() {
    boxes.clear();
    beeps = 0;
    pickers.clear();
    opened.clear();
}

void DoubleClickAt(QWidget* widget, QPoint at) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    QTest::mousePress(widget, Qt::LeftButton, {}, at);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
}

void WindowTest::SetUp() {
    appDir = dir / "app";
    fs::create_directories(appDir);
}

void WindowTest::TearDown() {
    if (form) Stop();
}

TForm1& WindowTest::Start(FileSystem& fileSystem) {
    form = std::make_unique<TForm1>(platform, AppDir(), fileSystem);
    form->show();
    return *form;
}

void WindowTest::Stop() {
    form->close();
    form.reset();
}

void WindowTest::Search(const fs::path& folder) {
    platform.folders.push_back(Folder(folder));
    form->MnuFileSFolder->trigger();
    // The search runs on its own thread; the window's tree is whole once the form is idle.
    EXPECT_TRUE(QTest::qWaitFor([this] { return !form->Busy(); }));
}

QTreeWidgetItem* WindowTest::Node(const QString& path) const {
    QTreeWidgetItem* node = form->TreeView1->topLevelItem(0);
    for (const QString& name : path.split('/', Qt::SkipEmptyParts)) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; node && i < node->childCount(); ++i) {
            if (node->child(i)->text(0) == name) next = node->child(i);
        }
        node = next;
    }
    return node;
}

namespace {

// Where the node's name is shown, its branch opened up to it and scrolled into view.
QRect ShownNode(QTreeWidget* tree, QTreeWidgetItem* node) {
    for (QTreeWidgetItem* parent = node->parent(); parent; parent = parent->parent()) parent->setExpanded(true);
    tree->doItemsLayout();
    tree->scrollToItem(node);
    return tree->visualItemRect(node);
}

}  // namespace

void WindowTest::Click(QTreeWidgetItem* node) {
    const QRect name = ShownNode(form->TreeView1, node);
    QTest::mouseClick(form->TreeView1->viewport(), Qt::LeftButton, {}, QPoint(name.left() + 4, name.center().y()));
}

void WindowTest::ClickArrow(QTreeWidgetItem* node) {
    const QRect name = ShownNode(form->TreeView1, node);
    QTest::mouseClick(form->TreeView1->viewport(), Qt::LeftButton, {},
                      QPoint(name.left() - form->TreeView1->indentation() / 2, name.center().y()));
}

void WindowTest::List(const fs::path& folder) {
    Search(folder);
    Click(Node(""));
}

QStringList WindowTest::Column(int col) const {
    QStringList cells;
    for (int row = 1; row < form->RowCount(); ++row) cells << form->Cell(col, row);
    return cells;
}

void WindowTest::SelectRows(int first, int last) {
    QTableView* grid = form->StringGrid1;
    grid->setCurrentIndex(grid->model()->index(first - 1, 0));
    grid->selectionModel()->select(QItemSelection(grid->model()->index(first - 1, 0), grid->model()->index(last - 1, 5)),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void WindowTest::ClickHeader(int col) {
    QHeaderView* header = form->StringGrid1->horizontalHeader();
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(col) + header->sectionSize(col) / 2, header->height() / 2));
}

void WindowTest::SelectFiles(const QString& first, const QString& last) {
    QTableView* grid = form->StringGrid1;
    const auto clickRow = [&](const QString& name, Qt::KeyboardModifiers keys) {
        const int row = static_cast<int>(Column(0).indexOf(name));
        ASSERT_GE(row, 0) << name.toStdString();
        grid->scrollTo(grid->model()->index(row, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, keys,
                          grid->visualRect(grid->model()->index(row, 0)).center());
    };
    clickRow(first, {});
    clickRow(last, Qt::ShiftModifier);
}

QStringList WindowTest::SelectedFiles() const {
    QStringList names;
    for (int row = 1; row < form->RowCount(); ++row) {
        if (form->StringGrid1->selectionModel()->isRowSelected(row - 1)) names << form->Cell(0, row);
    }
    return names;
}

}  // namespace qmtest
