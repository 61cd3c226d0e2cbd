// TForm1's left pane and its commands: choosing the search folder, the interruptible folder
// search that builds the tree, the folder a node stands for, the commands that list the selected
// folder, and choosing the destination folder.
#include "Unit1.h"

#include "QtText.h"
#include "WindowPaths.h"
#include "WindowPlatform.h"
#include "../form/WindowTexts.h"

#include <QCollator>
#include <QCoreApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QFileInfo>
#include <QLineEdit>
#include <QStatusBar>
#include <QStyle>
#include <QTreeWidget>

namespace quellmark {

namespace {

// A folder node; siblings sort by the locale's order of their names.
class FolderItem final : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        static const QCollator collator;
        return collator.compare(text(0), other.text(0)) < 0;
    }
};

// The real folder a node stands for, so a folder reached again through a link is not entered
// again below itself.
constexpr int kCanonicalRole = Qt::UserRole;

// The node after this one in display order as it stands: its first child, else the next
// sibling of it or of its nearest ancestor that has one.
QTreeWidgetItem* NextInDisplayOrder(QTreeWidgetItem* node) {
    if (node->childCount() > 0) return node->child(0);
    for (QTreeWidgetItem* at = node; at; at = at->parent()) {
        QTreeWidgetItem* parent = at->parent();
        if (!parent) return nullptr;
        const int index = parent->indexOfChild(at);
        if (index + 1 < parent->childCount()) return parent->child(index + 1);
    }
    return nullptr;
}

bool IsInsideItself(const QTreeWidgetItem* node, const QString& canonical) {
    for (const QTreeWidgetItem* p = node->parent(); p; p = p->parent()) {
        if (p->data(0, kCanonicalRole).toString() == canonical) return true;
    }
    return false;
}

}  // namespace

void TForm1::MnuFileSFolderClick() {
    if (Refused()) return;
    ShowStatus(QString());
    const QString folder = platform_.ChooseFolder(this, QString::fromUtf8(texts::kSearchFolderDialog), FSearchFolder);
    if (folder.isEmpty()) return;
    FSearchFolder = WithTrailingSlash(folder);
    Edit1->setText(FSearchFolder);
    SearchFolders();
}

void TForm1::SearchFolders() {
    ShowStatus(QString::fromUtf8(texts::kSearchingFolders));
    TreeView1->setSortingEnabled(false);
    if (!QFileInfo(FSearchFolder).isDir()) {
        platform_.Beep();
        platform_.MessageBox(this, QString(), QString::fromUtf8(texts::kDriveNotReady),
                             WindowPlatform::BoxKind::Information, WindowPlatform::Buttons::Ok);
        ShowStatus(QString::fromUtf8(texts::kSpecifySearchFolder));
        return;
    }
    ActivityScope busy(*this, Activity::Searching);
    FListShown = false;
    ResetGrid();
    FSearchReady = false;
    FSearchAborted = false;

    TreeView1->setEnabled(false);
    TreeView1->clear();
    auto* root = new FolderItem(TreeView1, QStringList{FSearchFolder});
    root->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
    AddSubfolders(FSearchFolder, root);
    // Children go in right after the node that was entered, so this walk visits every folder
    // once, depth first, without recursion.
    for (QTreeWidgetItem* node = NextInDisplayOrder(root); node; node = NextInDisplayOrder(node)) {
        if (platform_.EscapeDown()) FSearchAborted = true;
        if (FSearchAborted) break;
        AddSubfolders(NodePath(node), node);
    }
    TreeView1->setEnabled(true);

    ShowStatus(FSearchAborted ? QString::fromUtf8(texts::kSearchInterrupted) : QString());
    if (TreeView1->topLevelItemCount() > 0) {
        FSearchReady = true;
        TreeView1->setSortingEnabled(true);
        TreeView1->sortItems(0, Qt::AscendingOrder);
    }
}

void TForm1::AddSubfolders(const QString& folder, QTreeWidgetItem* node) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    node->setData(0, kCanonicalRole, canonical);
    if (IsInsideItself(node, canonical)) return;
    // Hidden entries (a leading ".") and entries that are neither file nor folder stay out.
    QDirIterator entries(folder, QDir::AllEntries | QDir::NoDotAndDotDot);
    bool first = true;
    while (entries.hasNext()) {
        entries.next();
        if (!first) {
            QCoreApplication::processEvents();
            if (platform_.EscapeDown()) FSearchAborted = true;
            if (FSearchAborted) return;
        }
        first = false;
        const QFileInfo entry = entries.fileInfo();
        if (!entry.isDir()) continue;
        auto* child = new FolderItem(node, QStringList{entry.fileName()});
        child->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
    }
}

QString TForm1::NodePath(const QTreeWidgetItem* node) const {
    if (!node) return {};
    const QTreeWidgetItem* root = node;
    while (root->parent()) root = root->parent();
    // The root's text is the search folder itself, with its "/".
    QString path = node == root ? node->text(0) : node->text(0) + QLatin1Char('/');
    for (const QTreeWidgetItem* p = node->parent(); p; p = p->parent()) {
        path = (p->text(0) == root->text(0) ? p->text(0) : p->text(0) + QLatin1Char('/')) + path;
    }
    return path;
}

void TForm1::AskForSearchFolder() {
    platform_.Beep();
    platform_.MessageBox(this, QString(), QString::fromUtf8(texts::kSpecifySearchFolder),
                         WindowPlatform::BoxKind::Error, WindowPlatform::Buttons::Ok);
    ShowStatus(QString::fromUtf8(texts::kSpecifySearchFolder));
}

void TForm1::TreeView1Click() {
    if (Refused()) return;
    if (!FSearchReady) {
        AskForSearchFolder();
        return;
    }
    ListSelectedFolder();
}

void TForm1::ListSelectedFolder() {
    const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
    if (FSearchReady && !selected.isEmpty()) ListFiles(NodePath(selected.front()));
}

void TForm1::ComboBox1Change() {
    if (Refused()) return;
    ListSelectedFolder();
}

void TForm1::SelectFileType(int index) {
    if (Refused()) return;
    ComboBox1->setCurrentIndex(index);
    ListSelectedFolder();
}

void TForm1::MnuFileType0Click() { SelectFileType(0); }
void TForm1::MnuFileType1Click() { SelectFileType(1); }
void TForm1::MnuFileType2Click() { SelectFileType(2); }
void TForm1::MnuFileType3Click() { SelectFileType(3); }

void TForm1::Button3Click() {
    if (Refused()) return;
    const QString folder = platform_.ChooseFolder(this, QString::fromUtf8(texts::kDestFolderDialog), Edit2->text());
    if (folder.isEmpty()) return;
    Edit2->setText(WithTrailingSlash(folder));
    FDestFolder = Edit2->text();
}

}  // namespace quellmark
