#pragma once

#include "ProgressData.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>

#include <limits>
#include <vector>

namespace Client {

// The progress records of all servers, limited to the jobs submitted
// within the last hours. Keeps every record of the last refresh, so that
// a changed limit shows at once.
class ProgressModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        JobNameColumn,
        UserNameColumn,
        ServerNameColumn,
        FlowNameColumn,
        SubmitPointColumn,
        SubmittedColumn,
        StateColumn,
        EnteredStateColumn,
        OnHoldColumn,
        CheckpointColumn,
        ColumnCount
    };
    // Sort key of a cell: the text, or the date-time of "Submitted" and of
    // an "Entered state" that reads as a time.
    static constexpr int SortRole = Qt::UserRole;
    static constexpr double DefaultAgeLimit = 10.0;

    explicit ProgressModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Replaces the records and shows those within the limit.
    void setRecords(const QList<ProgressData> &records);
    double ageLimit() const { return m_ageLimit; }
    // Shows the records within the new limit; false when it is the same.
    bool setAgeLimit(double hours);
    ProgressData recordAt(int row) const;

    // A record whose time is missing or unreadable has no age and stays.
    static bool isWithin(const ProgressData &record, const QDateTime &threshold);

    // Whether row `left` sorts before row `right` by the column, as the
    // sort role orders them, without a QVariant per cell.
    bool lessThan(int left, int right, int column, Qt::CaseSensitivity cs) const;

private:
    void applyLimit();
    const ProgressData &record(int row) const { return m_all.at(m_rows[std::size_t(row)]); }

    // A missing or unreadable submitted time.
    static constexpr qint64 NoTime = std::numeric_limits<qint64>::min();

    QList<ProgressData> m_all;
    // Per record of m_all: its submitted time and the time it entered its
    // state (ms since the epoch, UTC), read once when the records come.
    std::vector<qint64> m_submitted;
    std::vector<qint64> m_entered;
    // The records shown, as positions in m_all.
    std::vector<int> m_rows;
    double m_ageLimit = DefaultAgeLimit;
};

} // namespace Client
