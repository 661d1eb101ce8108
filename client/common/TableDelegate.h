#pragma once

#include <QItemDelegate>

// The item delegate of the client's tables: grid lines between cells, a
// little air around each value, and a cut value shown whole as its tooltip.
class TableDelegate : public QItemDelegate
{
    Q_OBJECT

public:
    static constexpr int kPadding = 4;

    explicit TableDelegate(QObject *parent = nullptr);

    void paint(
        QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
        const QModelIndex &index) override;
};
