#pragma once

#include <QItemDelegate>

namespace Velloc {

// Opens a cell in a read-only line edit, so part of its text can be
// selected and copied but never changed.
class LineEditDelegate : public QItemDelegate
{
    Q_OBJECT

public:
    explicit LineEditDelegate(QObject *parent = nullptr);
    ~LineEditDelegate() override;

    QWidget *createEditor(
        QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    // The editor only shows text: nothing goes back to the model.
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(
        QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

} // namespace Velloc
