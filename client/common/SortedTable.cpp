#include "SortedTable.h"

#include "TableDelegate.h"

#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QTreeView>

namespace Client {

void setUpSortedTable(QTreeView *view, QSortFilterProxyModel *sortModel)
{
    view->setModel(sortModel);
    view->header()->setSortIndicator(0, Qt::DescendingOrder);
    view->header()->setSortIndicatorShown(true);
    view->header()->setSectionsClickable(true);
    view->setRootIsDecorated(false);
    // Turning sorting on sorts at once: by the column and order just set.
    view->setSortingEnabled(true);
    view->sortByColumn(0, Qt::DescendingOrder);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setItemsExpandable(false);
    view->setItemDelegate(new TableDelegate(view));
}

} // namespace Client
