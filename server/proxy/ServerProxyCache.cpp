// ServerProxy's side of the per-server cache files: written from what the
// proxy holds, read back for servers that cannot be reached at start, and
// patched when a push waits for its server or gets answered.
#include "ServerProxy.h"

#include "PushJobAction.h"
#include "ServerCache.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QThread>

#include <memory>
#include <vector>

namespace {

QString jobKey(const QString &flowId, const QString &checkPointId, const QString &jobId)
{
    return flowId + QLatin1Char('\n') + checkPointId + QLatin1Char('\n') + jobId;
}

// Each failing file is reported once per run, not at every update.
void warnOnce(const QString &path, const char *what, const QString &detail = QString())
{
    static QSet<QString> warned;
    if (warned.contains(path))
        return;
    warned.insert(path);
    qWarning("Server data cache %s: %s %s", what, qPrintable(path), qPrintable(detail));
}

} // namespace

QString ServerProxy::cachePath(const ServerConnection *connection)
{
    const ServerConnection::ConnectionSettings edited = connection->settings();
    return ServerCache::filePath(ServerCache::folder(), edited.host, edited.port);
}

void ServerProxy::saveCachedData(ServerConnection *connection)
{
    if (!connection || !connection->isOnline())
        return;
    const QString path = cachePath(connection);
    if (path.isEmpty())
        return;

    // The pushes of this server that still wait, with what the user chose:
    // the file keeps them so that a restart sends them.
    QHash<QString, const PushJobAction *> waiting;
    for (IAction *queued : m_actions.actions()) {
        const auto *push = qobject_cast<const PushJobAction *>(queued);
        if (push && push->connection() == connection && push->pushInfo().push
            && (push->state() == PushJobAction::State::Waiting
                || push->state() == PushJobAction::State::Pushing))
            waiting.insert(jobKey(push->flowId(), push->checkPointId(), push->jobId()), push);
    }

    ServerCache::Content content;
    for (const FlowPtr &flow : m_flows.value(connection)) {
        ServerCache::FlowEntry entry;
        entry.id = flow->id();
        entry.name = flow->name();
        const auto data = m_flowData.constFind(flow.get());
        if (data != m_flowData.cend()) {
            for (const SubmitPointPtr &point : data->submitPoints)
                entry.points.append({ point->getId(), point->getName(), point->getMetadata() });
            for (const CheckPointPtr &checkPoint : data->checkPoints) {
                ServerCache::CheckPointEntry cached;
                cached.id = checkPoint->getId();
                cached.name = checkPoint->getName();
                for (const QString &jobId : checkPoint->getJobIds()) {
                    ServerCache::Job job;
                    job.id = jobId;
                    job.data = checkPoint->getJob(jobId);
                    const PushJobAction *push = waiting.value(jobKey(entry.id, cached.id, jobId));
                    if (push) {
                        const PushJobInfo info = push->pushInfo();
                        ServerCache::markWaitingPush(job, info.connectionIds, info.requiredMetadata);
                    } else if (job.data.status == CheckPointJobData::kPushWaiting) {
                        // Nothing queued any more: a restart must not send it.
                        job.data.status = 0;
                    }
                    cached.jobs.append(job);
                }
                entry.checkPoints.append(cached);
            }
        }
        content.flows.append(entry);
    }
    content.progress = m_progress.value(connection);

    if (!ServerCache::save(content, path))
        warnOnce(path, "not written");
}

namespace {

struct CachedFile
{
    QPointer<ServerConnection> connection;
    QString path;
    ServerCache::ReadResult result = ServerCache::ReadResult::Missing;
    ServerCache::Content content;
    QString error;
};

} // namespace

void ServerProxy::loadCachedData()
{
    if (m_cacheReader)
        return;
    auto files = std::make_shared<std::vector<CachedFile>>();
    for (const ServerConnectionPtr &held : connections()) {
        ServerConnection *connection = held.get();
        if (connection->isOnline() || !connection->settings().enabled)
            continue;
        CachedFile file;
        file.connection = connection;
        file.path = cachePath(connection);
        files->push_back(file);
    }
    if (files->empty()) {
        QMetaObject::invokeMethod(this, &ServerProxy::cachedDataLoaded, Qt::QueuedConnection);
        return;
    }
    // Parsing a large file takes a while: never in the GUI thread.
    m_cacheReader = QThread::create([files] {
        for (CachedFile &file : *files)
            file.result = ServerCache::read(file.path, &file.content, &file.error);
    });
    connect(m_cacheReader, &QThread::finished, this, [this, files] {
        m_cacheReader->deleteLater();
        m_cacheReader = nullptr;
        for (const CachedFile &file : *files) {
            ServerConnection *connection = file.connection;
            // A server that came up meanwhile shows its own data.
            if (!connection || !pointerOf(connection) || connection->isOnline()
                || !connection->settings().enabled)
                continue;
            switch (file.result) {
            case ServerCache::ReadResult::Read:
                takeCachedData(connection, file.content);
                break;
            case ServerCache::ReadResult::Malformed:
                // Skipped: the other servers' files are still read, and the
                // next save replaces this one.
                warnOnce(file.path, "unreadable, skipped:", file.error);
                break;
            case ServerCache::ReadResult::Missing:
                break;
            }
            emit updateSubmitPointsRequest();
            emit updateCheckPointsRequest();
            emit updateProgressRequest();
        }
        emit cachedDataLoaded();
    });
    m_cacheReader->start(QThread::LowPriority);
}

void ServerProxy::takeCachedData(ServerConnection *connection, const ServerCache::Content &content)
{
    for (const ServerCache::FlowEntry &entry : content.flows) {
        connection->addFlow(entry.id, entry.name);
        FlowData *data = flowData(connection, entry.id);
        if (!data)
            continue;
        QVector<FlowPtr> &flows = m_flows[connection];
        if (!flows.contains(data->flow))
            flows.append(data->flow);

        data->submitPoints.clear();
        for (const ServerCache::Point &cached : entry.points) {
            SubmitPointPtr &point = data->pointIndex[cached.id];
            if (!point)
                point = SubmitPointPtr(new SubmitPoint(connection, cached.id, entry.id, cached.name));
            point->setName(cached.name);
            point->setMetadata(cached.metadata);
            data->submitPoints.append(point);
        }

        data->checkPoints.clear();
        for (const ServerCache::CheckPointEntry &cached : entry.checkPoints) {
            CheckPointPtr &checkPoint = data->checkPointIndex[cached.id];
            if (!checkPoint)
                checkPoint = CheckPointPtr(new CheckPoint(connection, cached.id, entry.id, cached.name));
            checkPoint->setName(cached.name);
            QList<QString> jobIds;
            QMap<QString, CheckPointJobData> jobs;
            QList<const ServerCache::Job *> pushes;
            for (const ServerCache::Job &job : cached.jobs) {
                jobIds.append(job.id);
                CheckPointJobData record = job.data;
                if (record.status == CheckPointJobData::kPushWaiting) {
                    // Without a target there is nothing to send.
                    if (job.chosenConnectionIds.isEmpty())
                        record.status = 0;
                    else
                        pushes.append(&job);
                }
                jobs.insert(job.id, record);
            }
            checkPoint->setJobs(jobIds, jobs);
            data->checkPoints.append(checkPoint);

            // Queued only: they run when the server comes up.
            for (const ServerCache::Job *job : pushes) {
                PushJobInfo info;
                info.requiredMetadata = job->data.requiredMetadata;
                info.connectionIds = job->chosenConnectionIds;
                info.jobName = job->data.name;
                info.push = true;
                queuePushJob(connection, entry.id, cached.id, job->id, info);
                checkPoint->watchPush(job->id);
            }
        }
    }
    m_progress[connection] = content.progress;
}

void ServerProxy::updateCachedJob(CheckPoint *checkPoint, const QString &jobId, const PushJobInfo &info)
{
    if (checkPoint)
        updateCachedJob(
            checkPoint->getConnection(), checkPoint->getFlowId(), checkPoint->getId(), jobId, info);
}

void ServerProxy::updateCachedJob(ServerConnection *connection, const QString &flowId,
    const QString &checkPointId, const QString &jobId, const PushJobInfo &info)
{
    // Also while the connection counts as online: a push that could not
    // start is lost at a crash unless the file has it.
    if (!connection || !connection->settings().enabled || !info.push)
        return;
    const QString path = cachePath(connection);
    if (path.isEmpty())
        return;
    ServerCache::patchWaitingPush(
        path, flowId, checkPointId, jobId, info.connectionIds, info.requiredMetadata);
}

void ServerProxy::cachePushAnswered(const PushJobAction *action, bool accepted)
{
    ServerConnection *connection = action ? action->connection() : nullptr;
    if (!connection)
        return;
    const QString path = cachePath(connection);
    if (path.isEmpty())
        return;
    ServerCache::patchPushDone(path, action->flowId(), action->checkPointId(), action->jobId(), accepted);
}
