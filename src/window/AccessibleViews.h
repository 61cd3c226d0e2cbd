// What screen readers hear of the window beyond what Qt's widgets tell them: the tree says its
// current folder and the list its current row when they take the focus, the type box says its
// value, the list moves their focus only when it has the keyboard's, and the status text is a notification in the status bar, which they say when it
// shows (the form's announcements: a listing's count, a batch's end, a refusal).
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QTableView>
#include <QTreeWidget>

namespace quellmark {

class FolderTreeWidget final : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;

protected:
    // The tree's own name alone says nothing of where the user is: the current folder is
    // told too, as when the user moves to it.
    void focusInEvent(QFocusEvent* event) override;
};

class FileTableView final : public QTableView {
public:
    using QTableView::QTableView;

protected:
    // Tells the current row when the list takes the focus, as the tree tells its folder.
    void focusInEvent(QFocusEvent* event) override;
    // A row made current by the form (the first after a listing, the same file after a sort)
    // while the keyboard is elsewhere is no move of the focus to tell.
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
};

// Tells screen readers the box's value after it changed: Orca (on AT-SPI) finds no value in a
// Qt box that shows a list, and no selection in it to say when it changes.
void TellBoxValue(QComboBox* box);

// The label that shows the status text; announce: screen readers are to say it now.
QLabel* NewStatusLabel();
void ShowStatusText(QLabel* label, const QString& text, bool announce);

}  // namespace quellmark
