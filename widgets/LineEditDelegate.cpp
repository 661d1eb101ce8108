#include "LineEditDelegate.h"

#include <QLineEdit>
#include <QModelIndex>
#include <QStyleOptionViewItem>

namespace Velloc {

LineEditDelegate::LineEditDelegate(QObject *parent)
    : QItemDelegate(parent)
{ }

LineEditDelegate::~LineEditDelegate() = default;

QWidget *LineEditDelegate::createEditor(
    QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(option);
    Q_UNUSED(index);
    auto *editor = new QLineEdit(parent);
    editor->setReadOnly(true);
    editor->installEventFilter(const_cast<LineEditDelegate *>(this));
    return editor;
}

void LineEditDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (auto *lineEdit = qobject_cast<QLineEdit *>(editor))
        lineEdit->setText(index.data(Qt::DisplayRole).toString());
}

void LineEditDelegate::setModelData(
    QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    Q_UNUSED(editor);
    Q_UNUSED(model);
    Q_UNUSED(index);
}

void LineEditDelegate::updateEditorGeometry(
    QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(index);
    editor->setGeometry(option.rect);
}

} // namespace Velloc
