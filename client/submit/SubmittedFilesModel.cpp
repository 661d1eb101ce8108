#include "SubmittedFilesModel.h"

#include <QDateTime>
#include <QLocale>

#include "FileHandler.h"
#include "SubmitStatus.h"

namespace Client {

SubmittedFilesModel::SubmittedFilesModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    m_timer.setInterval(RefreshIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &SubmittedFilesModel::timer);
    m_timer.start();
}

int SubmittedFilesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_jobs.size());
}

int SubmittedFilesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString SubmittedFilesModel::statusText(int status)
{
    switch (status) {
    case SubmitStatus::Waiting:
        return tr("Waiting");
    case SubmitStatus::WaitingConnection:
        return tr("Waiting connection");
    case SubmitStatus::PreparingData:
        return tr("Preparing data");
    case SubmitStatus::Uploading:
        return tr("Uploading");
    case SubmitStatus::Verifying:
        return tr("Verifying");
    case SubmitStatus::Finished:
        return tr("Finished");
    case SubmitStatus::None:
        return tr("None");
    default:
        return tr("Error");
    }
}

QString SubmittedFilesModel::transferText(const SubmittedFile &job)
{
    const int status = job.getStatus();
    if (status != SubmitStatus::Uploading)
        return statusText(status);
    const qint64 total = job.getTotalSize();
    const qint64 sent = job.getSentSize();
    // An empty job has nothing left to send.
    const quint64 percent = total > 0 && sent > 0 ? quint64(sent) * 100u / quint64(total) : 0u;
    return QString::number(percent) + QLatin1Char('%');
}

QVariant SubmittedFilesModel::timeValue(const QString &text, bool parse, int role) const
{
    if (text.isEmpty() || !parse)
        return text;
    const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    if (role == SortRole)
        return time;
    return time.isValid() ? QLocale::system().toString(time, QLocale::ShortFormat) : text;
}

QVariant SubmittedFilesModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) || !m_point)
        return {};
    if (role != Qt::DisplayRole && role != SortRole)
        return {};
    const SubmittedFilePtr &job = m_jobs.at(index.row());
    if (!job)
        return {};
    switch (index.column()) {
    case JobNameColumn:
        return job->getJobName();
    case SizeColumn:
        return Tamsor::FileHandler::formatSize(job->getTotalSize());
    case TransferredColumn:
        return transferText(*job);
    case StartColumn:
        return timeValue(job->getStartTimeText(), true, role);
    case EndColumn:
        // While uploading this is the time left, not a time.
        return timeValue(job->getTimeLeftText(), job->getStatus() != SubmitStatus::Uploading, role);
    default:
        return {};
    }
}

QVariant SubmittedFilesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case JobNameColumn:
        return tr("Job name");
    case SizeColumn:
        return tr("Size");
    case TransferredColumn:
        return tr("Transferred");
    case StartColumn:
        return tr("Start");
    case EndColumn:
        return tr("End");
    default:
        return {};
    }
}

void SubmittedFilesModel::setSubmitPoint(const SubmitPointPtr &point)
{
    if (m_point)
        disconnect(m_point.get(), &SubmitPoint::jobAdded, this, &SubmittedFilesModel::jobAdded);
    if (!m_jobs.isEmpty()) {
        beginRemoveRows(QModelIndex(), 0, int(m_jobs.size()) - 1);
        m_jobs.clear();
        endRemoveRows();
    }
    m_point = point;
    if (!m_point)
        return;
    const QVector<SubmittedFilePtr> jobs = m_point->getJobs();
    if (!jobs.isEmpty()) {
        beginInsertRows(QModelIndex(), 0, int(jobs.size()) - 1);
        m_jobs = jobs;
        endInsertRows();
    }
    connect(m_point.get(), &SubmitPoint::jobAdded, this, &SubmittedFilesModel::jobAdded);
}

SubmittedFilePtr SubmittedFilesModel::jobAt(int row) const
{
    return row >= 0 && row < m_jobs.size() ? m_jobs.at(row) : SubmittedFilePtr();
}

int SubmittedFilesModel::rowOf(const SubmittedFile *job) const
{
    if (!job)
        return -1;
    for (int row = 0; row < m_jobs.size(); ++row) {
        if (m_jobs.at(row).get() == job)
            return row;
    }
    return -1;
}

SubmittedFilePtr SubmittedFilesModel::fileAt(int row)
{
    if (!m_point || row < 0)
        return m_current;
    if (m_current)
        disconnect(
            m_current.get(), &SubmittedFile::saveJobRequest, this, &SubmittedFilesModel::jobNameChanged);
    m_current = jobAt(row);
    if (m_current)
        connect(m_current.get(), &SubmittedFile::saveJobRequest, this, &SubmittedFilesModel::jobNameChanged);
    return m_current;
}

void SubmittedFilesModel::removeJob(int row)
{
    if (!m_point || row < 0 || row >= m_jobs.size())
        return;
    const SubmittedFilePtr job = m_jobs.at(row);
    beginRemoveRows(QModelIndex(), row, row);
    m_jobs.removeAt(row);
    endRemoveRows();
    if (m_current == job) {
        disconnect(
            m_current.get(), &SubmittedFile::saveJobRequest, this, &SubmittedFilesModel::jobNameChanged);
        m_current = SubmittedFilePtr();
    }
    // May wait for the upload to stop; the row is gone by then.
    m_point->removeJob(job.get());
}

void SubmittedFilesModel::jobAdded(const QString &path)
{
    Q_UNUSED(path);
    followPoint();
}

void SubmittedFilesModel::followPoint()
{
    if (!m_point)
        return;
    const QVector<SubmittedFilePtr> jobs = m_point->getJobs();
    if (jobs == m_jobs)
        return;
    if (jobs.size() > m_jobs.size() && jobs.mid(0, m_jobs.size()) == m_jobs) {
        beginInsertRows(QModelIndex(), int(m_jobs.size()), int(jobs.size()) - 1);
        m_jobs = jobs;
        endInsertRows();
        return;
    }
    beginResetModel();
    m_jobs = jobs;
    endResetModel();
}

void SubmittedFilesModel::timer()
{
    followPoint();
    if (m_jobs.isEmpty())
        return;
    emit dataChanged(index(0, TransferredColumn), index(int(m_jobs.size()) - 1, ColumnCount - 1));
}

void SubmittedFilesModel::jobNameChanged()
{
    if (m_jobs.isEmpty())
        return;
    emit dataChanged(index(0, JobNameColumn), index(int(m_jobs.size()) - 1, JobNameColumn));
}

} // namespace Client
