#pragma once

class QSortFilterProxyModel;
class QTreeView;

namespace Client {

// The look every table of the pages shares: a flat tree view over a sort
// proxy, sorted by the first column descending with the indicator shown,
// whole-row single selection, no editing, and the grid-line delegate.
void setUpSortedTable(QTreeView *view, QSortFilterProxyModel *sortModel);

} // namespace Client
