#pragma once

#include <QSortFilterProxyModel>

namespace Client {

// Sorts the progress records by the model's own keys: a refresh of tens of
// thousands of records is sorted without a QVariant or a date parsed per
// comparison.
class ProgressSortModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;
};

} // namespace Client
