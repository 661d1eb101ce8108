#include "ProgressSortModel.h"

#include "ProgressModel.h"

namespace Client {

bool ProgressSortModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const auto *model = qobject_cast<const ProgressModel *>(sourceModel());
    if (!model || sortRole() != ProgressModel::SortRole || left.column() != right.column()
        || left.model() != model || right.model() != model)
        return QSortFilterProxyModel::lessThan(left, right);
    return model->lessThan(left.row(), right.row(), left.column(), sortCaseSensitivity());
}

} // namespace Client
