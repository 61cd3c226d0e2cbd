// The file list's model: the form's rows as a Qt table, read when the list draws them, with no
// copy of their texts. It tells the list when the form emptied, added to or changed its rows.
#pragma once

#include "../form/MainForm.h"

#include <QAbstractTableModel>

namespace quellmark {

class FileRowsModel final : public QAbstractTableModel {
public:
    FileRowsModel(const MainForm& form, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void Reset();                   // the form emptied its rows
    void Added(std::size_t first);  // the form added rows at the end, from first on
    void Changed(int column);       // the texts of one column changed (-1: of every column)

private:
    const MainForm& form_;
    int shown_ = 0;  // the rows the list has been told of
};

}  // namespace quellmark
