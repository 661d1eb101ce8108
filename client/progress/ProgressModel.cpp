#include "ProgressModel.h"

#include "Disposal.h"
#include "JobTimes.h"

#include <cmath>

namespace Client {

namespace {

QString textOf(const ProgressData &record, int column)
{
    switch (column) {
    case ProgressModel::JobNameColumn:
        return record.jobName;
    case ProgressModel::UserNameColumn:
        return record.fullUserName;
    case ProgressModel::ServerNameColumn:
        return record.serverName;
    case ProgressModel::FlowNameColumn:
        return record.flowName;
    case ProgressModel::SubmitPointColumn:
        return record.submitPoint;
    case ProgressModel::SubmittedColumn:
        return record.submittedTime;
    case ProgressModel::StateColumn:
        return record.state;
    case ProgressModel::EnteredStateColumn:
        return record.enteredState;
    case ProgressModel::OnHoldColumn:
        return record.onHold;
    case ProgressModel::CheckpointColumn:
        return record.checkpoint;
    default:
        return QString();
    }
}

} // namespace

ProgressModel::ProgressModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

int ProgressModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ProgressModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ProgressModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != SortRole)
        return QVariant();
    const ProgressData &shown = record(index.row());
    const std::size_t at = std::size_t(m_rows[std::size_t(index.row())]);
    if (index.column() == EnteredStateColumn) {
        // Shown in local time like "Submitted"; a text that is no time as
        // it came.
        const qint64 ms = m_entered[at];
        if (ms == NoTime)
            return shown.enteredState;
        const QDateTime entered = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        return role == SortRole ? QVariant(entered) : QVariant(JobTimes::display(entered));
    }
    if (index.column() != SubmittedColumn || shown.submittedTime.isEmpty())
        return textOf(shown, index.column());
    const qint64 ms = m_submitted[at];
    const QDateTime submitted = ms == NoTime ? QDateTime() : QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    if (role == SortRole)
        return submitted;
    return submitted.isValid() ? JobTimes::display(submitted) : QString();
}

bool ProgressModel::lessThan(int left, int right, int column, Qt::CaseSensitivity cs) const
{
    const ProgressData &a = record(left);
    const ProgressData &b = record(right);
    if (column == SubmittedColumn) {
        // An empty text sorts first, then an unreadable time, then by time.
        if (a.submittedTime.isEmpty() || b.submittedTime.isEmpty())
            return a.submittedTime.isEmpty() && !b.submittedTime.isEmpty();
        return m_submitted[std::size_t(m_rows[std::size_t(left)])]
            < m_submitted[std::size_t(m_rows[std::size_t(right)])];
    }
    if (column == EnteredStateColumn) {
        // Times in time order, before texts that are none.
        const qint64 l = m_entered[std::size_t(m_rows[std::size_t(left)])];
        const qint64 r = m_entered[std::size_t(m_rows[std::size_t(right)])];
        if (l != NoTime && r != NoTime)
            return l < r;
        if (l != NoTime || r != NoTime)
            return l != NoTime;
    }
    return textOf(a, column).compare(textOf(b, column), cs) < 0;
}

QVariant ProgressModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case JobNameColumn:
        return tr("Job name");
    case UserNameColumn:
        return tr("User name");
    case ServerNameColumn:
        return tr("Server name");
    case FlowNameColumn:
        return tr("Flow name");
    case SubmitPointColumn:
        return tr("Submit point");
    case SubmittedColumn:
        return tr("Submitted");
    case StateColumn:
        return tr("State");
    case EnteredStateColumn:
        return tr("Entered state");
    case OnHoldColumn:
        return tr("On hold");
    case CheckpointColumn:
        return tr("Checkpoint");
    default:
        return QVariant();
    }
}

void ProgressModel::setRecords(const QList<ProgressData> &records)
{
    // Mostly the last holder of the old records: what they took goes back
    // to the system once they are freed.
    disposeInBackground(std::exchange(m_all, records), true);
    m_submitted.resize(std::size_t(m_all.size()));
    m_entered.resize(std::size_t(m_all.size()));
    for (qsizetype i = 0; i < m_all.size(); ++i) {
        const QDateTime submitted = JobTimes::parse(m_all.at(i).submittedTime);
        m_submitted[std::size_t(i)] = submitted.isValid() ? submitted.toMSecsSinceEpoch() : NoTime;
        const QDateTime entered = JobTimes::parse(m_all.at(i).enteredState);
        m_entered[std::size_t(i)] = entered.isValid() ? entered.toMSecsSinceEpoch() : NoTime;
    }
    applyLimit();
}

bool ProgressModel::setAgeLimit(double hours)
{
    if (hours == m_ageLimit)
        return false;
    m_ageLimit = hours;
    applyLimit();
    return true;
}

ProgressData ProgressModel::recordAt(int row) const
{
    return row >= 0 && row < rowCount() ? record(row) : ProgressData();
}

bool ProgressModel::isWithin(const ProgressData &record, const QDateTime &threshold)
{
    const QDateTime submitted = JobTimes::parse(record.submittedTime);
    return !submitted.isValid() || submitted > threshold;
}

void ProgressModel::applyLimit()
{
    // Compared as instants: the server's times are UTC, the clock local.
    const qint64 limitSeconds = qint64(std::floor(m_ageLimit * 3600.0));
    const qint64 threshold = QDateTime::currentDateTimeUtc().addSecs(-limitSeconds).toMSecsSinceEpoch();
    std::vector<int> kept;
    kept.reserve(m_submitted.size());
    for (std::size_t i = 0; i < m_submitted.size(); ++i) {
        if (m_submitted[i] == NoTime || m_submitted[i] > threshold)
            kept.push_back(int(i));
    }
    beginResetModel();
    std::swap(m_rows, kept);
    endResetModel();
}

} // namespace Client
