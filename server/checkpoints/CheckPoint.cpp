#include "CheckPoint.h"

#include "Disposal.h"
#include "ServerConnection.h"

#include <QSet>

CheckPoint::CheckPoint(
    ServerConnection *connection, const QString &id, const QString &flowId, const QString &name)
    : m_connection(connection)
    , m_name(name)
    , m_id(id)
    , m_flowId(flowId)
{ }

CheckPoint::~CheckPoint()
{
    stopReplacement();
}

ServerConnection *CheckPoint::getConnection() const
{
    return m_connection.data();
}

QString CheckPoint::getServerName() const
{
    return m_connection ? m_connection->serverName() : QString(QLatin1String(""));
}

QString CheckPoint::getFlowName() const
{
    return m_connection ? m_connection->getFlowName(m_flowId) : QString(QLatin1String(""));
}

void CheckPoint::setJobs(const QList<QString> &jobIds, const QMap<QString, CheckPointJobData> &jobs)
{
    m_jobIds.clear();
    QSet<QString> listed;
    for (const QString &id : jobIds) {
        if (jobs.contains(id) && !listed.contains(id)) {
            listed.insert(id);
            m_jobIds.append(id);
        }
    }
    // The old records go in a pool thread: a busy server's thousands of
    // jobs would take the GUI thread tens of milliseconds to free.
    disposeInBackground(std::exchange(m_jobs, jobs));
    keepPushMarks(m_jobIds);
    // Records nobody lists would only take room. Looked for first: erasing
    // copies the map it shares with the reply.
    if (listed.size() == m_jobs.size())
        return;
    for (auto it = m_jobs.begin(); it != m_jobs.end();) {
        if (listed.contains(it.key()))
            ++it;
        else
            it = m_jobs.erase(it);
    }
}

void CheckPoint::setListedJobs(const QList<QString> &jobIds, const QMap<QString, CheckPointJobData> &jobs)
{
    m_jobIds = jobIds;
    m_jobs = jobs;
    keepPushMarks(m_jobIds);
}

void CheckPoint::keepPushMarks(const QList<QString> &listed)
{
    // A push this client queued still waits, whatever the server lists.
    for (const QString &id : std::as_const(m_pendingPushes))
        setJobStatus(id, CheckPointJobData::kPushWaiting);
    // One whose answer was lost may still be under way while it is listed.
    for (auto it = m_unansweredPushes.begin(); it != m_unansweredPushes.end();) {
        if (listed.contains(*it)) {
            setJobStatus(*it, CheckPointJobData::kPushWaiting);
            ++it;
        } else {
            it = m_unansweredPushes.erase(it);
        }
    }
}

CheckPointJobData &CheckPoint::addJob(const QString &jobId)
{
    if (!m_jobIds.contains(jobId))
        m_jobIds.append(jobId);
    return m_jobs[jobId];
}

bool CheckPoint::setJobStatus(const QString &jobId, int status)
{
    const auto it = m_jobs.find(jobId);
    if (it == m_jobs.end())
        return false;
    it->status = status;
    return true;
}
