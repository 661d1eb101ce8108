#include "CheckpointJobsModel.h"

#include "FileHandler.h"
#include "JobTimes.h"

#include <QColor>

namespace Client {

namespace {

QVariant timeValue(const QString &text, int role)
{
    const QDateTime time = JobTimes::parse(text);
    if (!time.isValid())
        return text;
    return role == CheckpointJobsModel::SortRole ? QVariant(time) : QVariant(JobTimes::display(time));
}

} // namespace

CheckpointJobsModel::CheckpointJobsModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

QColor CheckpointJobsModel::pushWaitingColor()
{
    return QColor(220, 150, 0);
}

int CheckpointJobsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CheckpointJobsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CheckpointJobsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || !m_checkPoint)
        return QVariant();
    const CheckPointJob *job = m_rows.at(index.row()).get();
    if (role == Qt::ForegroundRole) {
        const bool waiting = job->status() == CheckPointJobData::kPushWaiting;
        return waiting ? pushWaitingColor() : QColor(Qt::black);
    }
    if (role != Qt::DisplayRole && role != SortRole)
        return QVariant();
    const CheckPointJobData &record = job->record();
    switch (index.column()) {
    case JobNameColumn:
        return record.name;
    case UserNameColumn:
        return record.fullUserName;
    case SizeColumn:
        // By bytes: "900 KB" must not sort above "1.2 MB".
        if (role == SortRole)
            return record.size;
        return Tamsor::FileHandler::formatSize(record.size);
    case SubmittedColumn:
        return timeValue(record.submitTime, role);
    case WaitingColumn:
        return timeValue(record.waitingTime, role);
    default:
        return QVariant();
    }
}

QVariant CheckpointJobsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case JobNameColumn:
        return tr("Job name");
    case UserNameColumn:
        return tr("User name");
    case SizeColumn:
        return tr("Size");
    case SubmittedColumn:
        return tr("Submitted");
    case WaitingColumn:
        return tr("Waiting since");
    default:
        return QVariant();
    }
}

void CheckpointJobsModel::setCheckPoint(CheckPoint *checkPoint)
{
    m_checkPoint = checkPoint;
    rebuild();
}

void CheckpointJobsModel::rebuild()
{
    if (!m_rows.isEmpty()) {
        beginRemoveRows(QModelIndex(), 0, int(m_rows.size()) - 1);
        m_rows.clear();
        endRemoveRows();
    }
    if (!m_checkPoint)
        return;
    const QList<QString> ids = m_checkPoint->getJobIds();
    if (ids.isEmpty())
        return;
    beginInsertRows(QModelIndex(), 0, int(ids.size()) - 1);
    for (const QString &id : ids)
        m_rows.append(CheckPointJobPtr(new CheckPointJob(m_checkPoint, id)));
    endInsertRows();
}

CheckPointJobPtr CheckpointJobsModel::jobAt(int row) const
{
    if (!m_checkPoint || row < 0 || row >= m_rows.size())
        return CheckPointJobPtr();
    return m_rows.at(row);
}

CheckPointJobPtr CheckpointJobsModel::findJob(const QString &jobId) const
{
    return jobAt(rowOfJob(jobId));
}

int CheckpointJobsModel::rowOfJob(const QString &jobId) const
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row)->jobId() == jobId)
            return row;
    }
    return -1;
}

void CheckpointJobsModel::removeJobRow(int row)
{
    if (!m_checkPoint || row < 0 || row >= m_rows.size())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.removeAt(row);
    endRemoveRows();
}

void CheckpointJobsModel::refreshRows()
{
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, ColumnCount - 1));
}

void CheckpointJobsModel::updateRequestHandler()
{
    rebuild();
    emit updated();
}

} // namespace Client
