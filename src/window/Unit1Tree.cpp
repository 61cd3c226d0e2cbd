// TForm1's left pane and its commands: choosing the search folder (by the picker, by dropping a
// folder on the tree, or again at start), the interruptible folder search that builds the tree,
// the folder a node stands for, the clicks and keys that list a folder, and choosing the
// destination folder (by the picker or by dropping a folder on its field).
#include "Unit1.h"

#include "EventHook.h"
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
#include <QMimeData>
#include <QMouseEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>

#include <memory>
#include <utility>

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

// The folder a drag carries, with a trailing "/": one local folder, else empty.
QString DraggedFolder(const QMimeData* data) {
    if (!data || data->urls().size() != 1) return {};
    const QString path = data->urls().front().toLocalFile();
    return !path.isEmpty() && QFileInfo(path).isDir() ? WithTrailingSlash(path) : QString();
}

// Lets the widget take a folder dropped on it and hands the folder to take, once the drop is
// over; other drags are left to the widget.
void TakeDroppedFolders(QWidget* target, QObject* owner, std::function<void(const QString&)> take) {
    target->setAcceptDrops(true);
    new EventHook(target, owner, [owner, take = std::move(take)](QObject*, QEvent* event) {
        if (event->type() != QEvent::DragEnter && event->type() != QEvent::DragMove && event->type() != QEvent::Drop) {
            return false;
        }
        auto* drop = static_cast<QDropEvent*>(event);
        const QString folder = DraggedFolder(drop->mimeData());
        if (folder.isEmpty()) return false;
        drop->acceptProposedAction();
        if (event->type() == QEvent::Drop) QTimer::singleShot(0, owner, [take, folder] { take(folder); });
        return true;
    });
}

}  // namespace

void TForm1::ConnectTree() {
    // The mouse in the tree, press by press: a press may make another folder current, and its
    // release lists it.
    struct Mouse {
        bool pressed = false;
        bool doubleClicked = false;
        QString clickedLast;  // the folder the last release listed, if it listed one
    };
    auto mouse = std::make_shared<Mouse>();
    new EventHook(TreeView1->viewport(), this, [this, mouse](QObject*, QEvent* event) {
        switch (event->type()) {
            case QEvent::MouseButtonPress: mouse->pressed = true; break;
            case QEvent::MouseButtonDblClick:
                mouse->pressed = true;
                mouse->doubleClicked = true;
                break;
            case QEvent::MouseButtonRelease: {
                mouse->pressed = false;
                const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
                QTreeWidgetItem* node = TreeView1->itemAt(at);
                // Left of the node's own rectangle lies its branch's arrow.
                if (node && at.x() < TreeView1->visualItemRect(node).left()) node = nullptr;
                const QString folder = node ? NodePath(node) : QString();
                // When the first click of a double click listed the folder, the second only
                // opens or closes its branch.
                const bool listed = std::exchange(mouse->doubleClicked, false) && folder == mouse->clickedLast;
                mouse->clickedLast = folder;
                if (!listed && (node || !FSearchReady)) TreeView1Click();
                break;
            }
            default: break;
        }
        return false;
    });
    // Moving with the keys lists the folder moved to; the search's own changes list nothing.
    connect(TreeView1, &QTreeWidget::currentItemChanged, this, [this, mouse](QTreeWidgetItem* current) {
        if (mouse->pressed || !current || activity_ == Activity::Searching) return;
        TreeView1Click();
    });
}

void TForm1::ConnectDrops() {
    TakeDroppedFolders(TreeView1->viewport(), this, [this](const QString& folder) {
        if (Refused()) return;
        FSearchFolder = folder;
        Edit1->setText(FSearchFolder);
        SearchFolders();
    });
    TakeDroppedFolders(Edit2, this, [this](const QString& folder) {
        if (Refused()) return;
        Edit2->setText(folder);
        FDestFolder = Edit2->text();
    });
}

void TForm1::SearchAgainAtStart(const QString& storedFolder) {
    // A run that never chose a search folder stores the program's own folder.
    if (storedFolder.isEmpty() || storedFolder == FAppDir || !QFileInfo(storedFolder).isDir()) return;
    // Once the window shows; not when the user has already started a search of their own.
    QTimer::singleShot(0, this, [this] {
        if (FSearchReady || Busy() || closed_ || !isVisible()) return;
        Edit1->setText(FSearchFolder);
        SearchFolders();
    });
}

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
    listedFolder_.clear();
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

bool TForm1::MayList() { return activity_ == Activity::Listing || !Refused(); }

void TForm1::TreeView1Click() {
    if (!MayList()) return;
    if (!FSearchReady) {
        AskForSearchFolder();
        return;
    }
    ListSelectedFolder();
}

void TForm1::ListSelectedFolder() {
    QTreeWidgetItem* node = TreeView1->currentItem();
    if (FSearchReady && node) ListFiles(NodePath(node));
}

// A new file type lists the list's own folder again.
void TForm1::ComboBox1Change() {
    if (!MayList()) return;
    if (!listedFolder_.isEmpty()) ListFiles(listedFolder_);
}

void TForm1::SelectFileType(int index) {
    if (!MayList()) return;
    ComboBox1->setCurrentIndex(index);
    ComboBox1Change();
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
