// The tree, the list and the status text as screen readers take them.
#include "AccessibleViews.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAbstractItemView>

namespace quellmark {

namespace {

const char* const kStatusName = "StatusText";

// A notification inside the status bar: Orca and other readers on AT-SPI say one when it shows,
// wherever the focus is. Qt's own alert event reaches no reader there.
class StatusAccessible final : public QAccessibleWidget {
public:
    explicit StatusAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::Notification), label_(label) {}
    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Name ? label_->text() : QAccessibleWidget::text(kind);
    }

private:
    QLabel* label_;
};

QAccessibleInterface* StatusFactory(const QString&, QObject* object) {
    auto* label = qobject_cast<QLabel*>(object);
    if (!label || label->objectName() != QLatin1String(kStatusName)) return nullptr;
    return new StatusAccessible(label);
}

// Once the view's own focus is told: its current item, as a move to it from none. The view's
// selection and its listeners hear nothing of it.
template <typename View>
void TellCurrentAfterFocus(View* view, void (View::*tell)(const QModelIndex&, const QModelIndex&)) {
    if (!QAccessible::isActive()) return;
    QMetaObject::invokeMethod(
        view,
        [view, tell] {
            if (view->hasFocus() && view->currentIndex().isValid()) (view->*tell)(view->currentIndex(), QModelIndex());
        },
        Qt::QueuedConnection);
}

}  // namespace

void FolderTreeWidget::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);
    TellCurrentAfterFocus<QTreeView>(this, &FolderTreeWidget::currentChanged);
}

void FileTableView::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    TellCurrentAfterFocus<FileTableView>(this, &FileTableView::currentChanged);
}

void FileTableView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    if (hasFocus()) {
        QTableView::currentChanged(current, previous);
    } else {
        // Past QTableView's own, which tells screen readers of a move of the focus.
        QAbstractItemView::currentChanged(current, previous);  // NOLINT(bugprone-parent-virtual-call)
    }
}

void TellBoxValue(QComboBox* box) {
    // As the box's description, which readers say with its name when it takes the focus.
    box->setAccessibleDescription(box->currentText());
    if (!QAccessible::isActive() || !box->hasFocus() || box->view()->isVisible() || box->currentIndex() < 0) return;
    // Changed while the box has the focus and its list is shut (the arrow keys): told as a
    // move to the chosen item of its list, which readers say.
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(box->view());
    QAccessibleTableInterface* table = list ? list->tableInterface() : nullptr;
    QAccessibleInterface* item = table ? table->cellAt(box->currentIndex(), 0) : nullptr;
    if (!item) return;
    QAccessibleEvent moved(list, QAccessible::Focus);
    moved.setChild(list->indexOfChild(item));
    QAccessible::updateAccessibility(&moved);
}

QLabel* NewStatusLabel() {
    static const bool installed = [] {
        QAccessible::installFactory(StatusFactory);
        return true;
    }();
    (void)installed;
    auto* label = new QLabel;
    label->setObjectName(QLatin1String(kStatusName));
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

void ShowStatusText(QLabel* label, const QString& text, bool announce) {
    label->setText(text);
    if (announce && QAccessible::isActive()) {
        QAccessibleEvent shown(label, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&shown);
    }
}

}  // namespace quellmark
