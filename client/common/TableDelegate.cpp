#include "TableDelegate.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QPen>
#include <QToolTip>

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

bool TableDelegate::helpEvent(
    QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option, const QModelIndex &index)
{
    // A tooltip of the model's own wins.
    if (!event || event->type() != QEvent::ToolTip || !index.isValid() || !view
        || index.data(Qt::ToolTipRole).isValid())
        return QItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    // The base painting elides exactly when its size hint does not fit.
    const bool cut = !text.isEmpty() && QItemDelegate::sizeHint(option, index).width() > option.rect.width();
    if (!cut) {
        QToolTip::hideText();
        return false;
    }
    QToolTip::showText(event->globalPos(), text, view, view->visualRect(index));
    return true;
}
