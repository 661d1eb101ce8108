#include "TableDelegate.h"

#include <QPainter>
#include <QPen>

TableDelegate::TableDelegate(QObject *parent)
    : QItemDelegate(parent)
{ }

void TableDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(QPen(QBrush(Qt::darkGray), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const QRect cell = option.rect;
    if (index.column() != 0)
        painter->drawLine(cell.topLeft(), cell.bottomLeft());
    painter->drawLine(QPoint(0, cell.bottom()), cell.bottomRight());
    painter->restore();
}

QSize TableDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return QItemDelegate::sizeHint(option, index) + QSize(kPadding, kPadding);
}
