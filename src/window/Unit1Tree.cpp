// TForm1's left pane: the folder tree as the form builds it, the clicks and keys that choose a
// folder, folders dropped on the tree or on the destination field, and the file type.
#include "Unit1.h"

#include "EventHook.h"
#include "QtText.h"

#include <QComboBox>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quellmark {

namespace {

// The form's number of the folder a node stands for.
constexpr int kNodeRole = Qt::UserRole;

// Lets the widget take a drop, as the form judges the paths dragged: one that brings a folder
// when the widget takes folders (takeFolder), one that brings files wherever it lands; each is
// handed to the form once the drop is over. Other drags are left to the widget.
void TakeDrops(QWidget* target, QObject* owner, MainForm& form, std::function<void(const std::string&)> takeFolder) {
    target->setAcceptDrops(true);
    new EventHook(target, owner, [owner, &form, takeFolder = std::move(takeFolder)](QObject*, QEvent* event) {
        if (event->type() != QEvent::DragEnter && event->type() != QEvent::DragMove && event->type() != QEvent::Drop) {
            return false;
        }
        auto* drop = static_cast<QDropEvent*>(event);
        std::vector<std::string> paths;
        if (drop->mimeData()) {
            for (const QUrl& url : drop->mimeData()->urls()) paths.push_back(ToUtf8(url.toLocalFile()));
        }
        const std::string folder = takeFolder ? form.DroppedFolder(paths) : std::string();
        if (folder.empty() && !form.DropBringsFiles(paths)) return false;
        drop->acceptProposedAction();
        if (event->type() != QEvent::Drop) return true;
        QTimer::singleShot(0, owner, [&form, takeFolder, folder, paths] {
            if (folder.empty()) {
                form.FilesDropped(paths);
            } else {
                takeFolder(folder);
            }
        });
        return true;
    });
}

int NodeOf(const QTreeWidgetItem* item) { return item ? item->data(0, kNodeRole).toInt() : -1; }

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
                if (!listed) form_.TreeClicked(NodeOf(node));
                break;
            }
            default: break;
        }
        return false;
    });
    // Enter on a folder lists it, as a click on it does.
    new EventHook(TreeView1, this, [this](QObject*, QEvent* event) {
        if (event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) || key->modifiers() != Qt::NoModifier)
            return false;
        form_.TreeClicked(NodeOf(TreeView1->currentItem()));
        return true;
    });
    // Moving with the keys lists the folder moved to; the search's own changes list nothing.
    connect(TreeView1, &QTreeWidget::currentItemChanged, this, [this, mouse](QTreeWidgetItem* current) {
        if (quietTree_ || mouse->pressed || !current || form_.Activity() == FormActivity::Searching) return;
        form_.FolderChosen(NodeOf(current));
    });
}

void TForm1::ConnectDrops() {
    const auto search = [this](const std::string& folder) { form_.SearchFolderDropped(folder); };
    TakeDrops(TreeView1->viewport(), this, form_, search);
    TakeDrops(Edit1, this, form_, search);
    TakeDrops(Edit2, this, form_, [this](const std::string& folder) { form_.DestFolderDropped(folder); });
    // The rest of the window takes files, and folders go nowhere there.
    TakeDrops(this, this, form_, nullptr);
}

void TForm1::TreeView1Click() { form_.FolderChosen(NodeOf(TreeView1->currentItem())); }

void TForm1::ComboBox1Change() { form_.FileTypeChosen(ComboBox1->currentIndex()); }
void TForm1::MnuFileType0Click() { form_.FileTypeChosen(0); }
void TForm1::MnuFileType1Click() { form_.FileTypeChosen(1); }
void TForm1::MnuFileType2Click() { form_.FileTypeChosen(2); }
void TForm1::MnuFileType3Click() { form_.FileTypeChosen(3); }

QString TForm1::NodePath(const QTreeWidgetItem* node) const { return FromUtf8(form_.NodePath(NodeOf(node))); }

QTreeWidgetItem* TForm1::Item(int node) const {
    return node >= 0 && node < static_cast<int>(items_.size()) ? items_[node] : nullptr;
}

void TForm1::ClearTree() {
    TreeView1->clear();
    items_.clear();
}

void TForm1::AddFolder(int node, int parent, const std::string& name) {
    QTreeWidgetItem* up = Item(parent);
    auto* item = up ? new QTreeWidgetItem(up, QStringList{FromUtf8(name)})
                    : new QTreeWidgetItem(TreeView1, QStringList{FromUtf8(name)});
    item->setData(0, kNodeRole, node);
    if (folderIcon_.isNull()) folderIcon_ = style()->standardIcon(QStyle::SP_DirIcon);
    item->setIcon(0, folderIcon_);
    if (static_cast<int>(items_.size()) <= node) items_.resize(node + 1, nullptr);
    items_[node] = item;
    // The search folder opens as its first folders come, so that the tree is seen to grow.
    if (up && !up->parent() && up->childCount() == 1) up->setExpanded(true);
    // The search folder is the current one from the start: a tree that takes the focus later
    // (when its window becomes active) then has no first folder to make current, and lists none.
    if (!up) {
        quietTree_ = true;
        TreeView1->setCurrentItem(item);
        quietTree_ = false;
    }
}

void TForm1::ShowTree(const std::vector<FolderNode>& tree) {
    // The children of each node in the order the form gives them; the search gives them in that
    // order already, so nodes are moved only where they differ.
    for (int node = 0; node < static_cast<int>(tree.size()); ++node) {
        QTreeWidgetItem* item = Item(node);
        if (!item) continue;
        const std::vector<int>& children = tree[node].children;
        bool same = item->childCount() == static_cast<int>(children.size());
        for (std::size_t i = 0; same && i < children.size(); ++i)
            same = item->child(static_cast<int>(i)) == Item(children[i]);
        if (same) continue;
        const QList<QTreeWidgetItem*> taken = item->takeChildren();
        for (int child : children) {
            if (QTreeWidgetItem* childItem = Item(child)) item->addChild(childItem);
        }
        (void)taken;
    }
}

}  // namespace quellmark
