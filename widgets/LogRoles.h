#pragma once

#include <Qt>

namespace Velloc {

// Roles through which the log pane and a model serving it talk. The filter
// roles are used with headerData/setHeaderData in horizontal orientation;
// the record roles with data() on column 0.
enum LogRole {
    RecordIdRole = Qt::UserRole, // 32: record id (int), the sort key of the time column
    FilterTextRole, // 33: a column's filter text; setting it filters again
    FilterHistoryRole, // 34: a column's filter history (QStringList)
    TimeStampRole, // 35: the record's time stamp (QDateTime)
    FilterTextResetRole, // 36: store a restored or reset filter text without filtering
    FilterHistoryResetRole, // 37: store a restored or cleared history
    FilterToolTipRole, // 38: what a column's filter box filters, when the model says it itself
};

} // namespace Velloc
