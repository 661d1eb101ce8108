#include "ProgressModel.h"

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
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= ColumnCount)
        return QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != SortRole)
        return QVariant();
    const ProgressData &record = m_rows.at(index.row());
    if (index.column() != SubmittedColumn || record.submittedTime.isEmpty())
        return textOf(record, index.column());
    const QDateTime submitted = JobTimes::parse(record.submittedTime);
    if (role == SortRole)
        return submitted;
    return submitted.isValid() ? JobTimes::display(submitted) : QString();
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
    m_all = records;
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
    return row >= 0 && row < m_rows.size() ? m_rows.at(row) : ProgressData();
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
    const QDateTime threshold = QDateTime::currentDateTimeUtc().addSecs(-limitSeconds);
    QList<ProgressData> kept;
    for (const ProgressData &record : std::as_const(m_all)) {
        if (isWithin(record, threshold))
            kept.append(record);
    }
    beginResetModel();
    m_rows = kept;
    endResetModel();
}

} // namespace Client
