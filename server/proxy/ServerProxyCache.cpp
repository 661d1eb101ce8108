// ServerProxy's side of the per-server cache files: written from what the
// proxy holds, read back for servers that cannot be reached at start, and
// patched when a push waits for its server or gets answered.
#include "ServerProxy.h"

#include "CacheWriter.h"
#include "PushJobAction.h"
#include "ServerCache.h"

#include <QFile>
#include <QHash>
#include <QMap>
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
    return cachePath(connection->serverKey());
}

QString ServerProxy::cachePath(const ServerConnection::ServerKey &key)
{
    // The server and user as applied: typing in the form moves nothing.
    return ServerCache::filePath(ServerCache::folder(), key.host, key.port, key.user);
}

QString ServerProxy::sharedCachePath(const ServerConnection::ServerKey &key)
{
    // What earlier runs wrote for every user of the server.
    return key.user.isEmpty() ? QString() : ServerCache::filePath(ServerCache::folder(), key.host, key.port);
}

bool ServerProxy::firstOfServer(const ServerConnection *connection) const
{
    const ServerConnection::ServerKey key = connection->serverKey();
    for (const ServerConnectionPtr &held : connections()) {
        const ServerConnection::ServerKey other = held->serverKey();
        if (other.host == key.host && other.port == key.port)
            return held.get() == connection;
    }
    return false;
}

void ServerProxy::saveCachedData(ServerConnection *connection, bool takenIn)
{
    if (!connection || (!connection->isOnline() && !takenIn))
        return;
    writeCachedData(connection, cachePath(connection));
    // The shared file of an earlier run whose pushes this connection took
    // lives on in its own file now; left, it would send them again.
    const QString shared = m_sharedCacheTaken.take(connection);
    if (!shared.isEmpty())
        m_cacheWriter->patch(shared, [shared] { QFile::remove(shared); });
}

void ServerProxy::writeCachedData(const ServerConnection *connection, const QString &path)
{
    if (!connection || path.isEmpty())
        return;

    // The pushes of this server that still wait, with what the user chose:
    // the file keeps them so that a restart sends them. One on its way may
    // have reached the server already: a restart must not send it again.
    QHash<QString, const PushJobAction *> waiting;
    for (IAction *queued : m_actions.actions()) {
        const auto *push = qobject_cast<const PushJobAction *>(queued);
        if (push && push->connection() == connection && push->madeForCurrentServer() && push->pushInfo().push
            && push->state() == PushJobAction::State::Waiting)
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

    m_cacheWriter->save(path, std::move(content));
}

bool ServerProxy::waitForCacheWrites(int ms)
{
    return m_cacheWriter->waitForWrites(ms);
}

struct ServerProxy::CachedFlows
{
    struct CheckPointJobs
    {
        QString id;
        QString name;
        QList<QString> jobIds;
        QMap<QString, CheckPointJobData> jobs;
        // The jobs whose push waits, with their targets.
        QList<ServerCache::Job> pushes;
    };
    struct FlowJobs
    {
        QString id;
        QString name;
        QList<ServerCache::Point> points;
        QList<CheckPointJobs> checkPoints;
    };

    QList<FlowJobs> flows;
    ProgressList progress;

    static CachedFlows from(const ServerCache::Content &content)
    {
        CachedFlows cached;
        for (const ServerCache::FlowEntry &entry : content.flows) {
            FlowJobs flow { entry.id, entry.name, entry.points, {} };
            for (const ServerCache::CheckPointEntry &checkPoint : entry.checkPoints) {
                CheckPointJobs jobs { checkPoint.id, checkPoint.name, {}, {}, {} };
                jobs.jobIds.reserve(checkPoint.jobs.size());
                for (const ServerCache::Job &job : checkPoint.jobs) {
                    // A repeated id keeps its first place and its last record.
                    if (!jobs.jobs.contains(job.id))
                        jobs.jobIds.append(job.id);
                    CheckPointJobData record = job.data;
                    if (record.status == CheckPointJobData::kPushWaiting) {
                        // Without a target there is nothing to send.
                        if (job.chosenConnectionIds.isEmpty())
                            record.status = 0;
                        else
                            jobs.pushes.append(job);
                    }
                    jobs.jobs.insert(job.id, record);
                }
                flow.checkPoints.append(jobs);
            }
            cached.flows.append(flow);
        }
        cached.progress = content.progress;
        return cached;
    }

    // Shown, not sent: the pushes belong to another connection.
    void dropPushes()
    {
        for (FlowJobs &flow : flows) {
            for (CheckPointJobs &checkPoint : flow.checkPoints) {
                for (const ServerCache::Job &job : std::as_const(checkPoint.pushes))
                    checkPoint.jobs[job.id].status = 0;
                checkPoint.pushes.clear();
            }
        }
    }
};

namespace {

struct CachedFile
{
    QPointer<ServerConnection> connection;
    QString path;
    // Read when `path` is missing: the file an earlier run kept for every
    // user of the server. Its pushes go to the first connection to that
    // server alone, so none is sent twice or as a user who never made it.
    QString sharedPath;
    bool takeSharedPushes = false;
    bool readShared = false;
    ServerCache::ReadResult result = ServerCache::ReadResult::Missing;
    QString error;
};

} // namespace

void ServerProxy::loadCachedData()
{
    if (m_cacheReader)
        return;
    std::vector<CachedFile> list;
    for (const ServerConnectionPtr &held : connections()) {
        ServerConnection *connection = held.get();
        if (connection->isOnline() || !connection->settings().enabled)
            continue;
        CachedFile file;
        file.connection = connection;
        file.path = cachePath(connection);
        file.sharedPath = sharedCachePath(connection->serverKey());
        file.takeSharedPushes = firstOfServer(connection);
        list.push_back(file);
    }
    if (list.empty()) {
        QMetaObject::invokeMethod(this, &ServerProxy::cachedDataLoaded, Qt::QueuedConnection);
        return;
    }
    const auto files = std::make_shared<std::vector<CachedFile>>(std::move(list));
    const auto tables = std::make_shared<std::vector<CachedFlows>>(files->size());
    // Parsing a large file and building the tables takes a while: never in
    // the GUI thread, which only hands the tables over.
    m_cacheReader = QThread::create([files, tables] {
        for (size_t i = 0; i < files->size(); ++i) {
            CachedFile &file = (*files)[i];
            ServerCache::Content content;
            file.result = ServerCache::read(file.path, &content, &file.error);
            if (file.result == ServerCache::ReadResult::Missing && !file.sharedPath.isEmpty()) {
                file.result = ServerCache::read(file.sharedPath, &content, &file.error);
                file.readShared = file.result == ServerCache::ReadResult::Read;
            }
            (*tables)[i] = CachedFlows::from(content);
            if (file.readShared && !file.takeSharedPushes)
                (*tables)[i].dropPushes();
        }
    });
    connect(m_cacheReader, &QThread::finished, this, [this, files, tables] {
        m_cacheReader->deleteLater();
        m_cacheReader = nullptr;
        for (size_t i = 0; i < files->size(); ++i) {
            const CachedFile &file = (*files)[i];
            ServerConnection *connection = file.connection;
            // A server that came up meanwhile shows its own data.
            if (!connection || !pointerOf(connection) || connection->isOnline()
                || !connection->settings().enabled)
                continue;
            switch (file.result) {
            case ServerCache::ReadResult::Read:
                takeCachedData(connection, (*tables)[i]);
                if (file.readShared && file.takeSharedPushes)
                    m_sharedCacheTaken.insert(connection, file.sharedPath);
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

void ServerProxy::takeCachedData(ServerConnection *connection, const CachedFlows &cached)
{
    for (const CachedFlows::FlowJobs &entry : cached.flows) {
        connection->addFlow(entry.id, entry.name);
        FlowData *data = flowData(connection, entry.id);
        if (!data)
            continue;
        QVector<FlowPtr> &flows = m_flows[connection];
        if (!flows.contains(data->flow))
            flows.append(data->flow);

        data->submitPoints.clear();
        for (const ServerCache::Point &point : entry.points) {
            SubmitPointPtr &held = data->pointIndex[point.id];
            if (!held)
                held = SubmitPointPtr(new SubmitPoint(connection, point.id, entry.id, point.name));
            held->setName(point.name);
            held->setMetadata(point.metadata);
            data->submitPoints.append(held);
        }

        data->checkPoints.clear();
        for (const CachedFlows::CheckPointJobs &jobs : entry.checkPoints) {
            CheckPointPtr &checkPoint = data->checkPointIndex[jobs.id];
            if (!checkPoint)
                checkPoint = CheckPointPtr(new CheckPoint(connection, jobs.id, entry.id, jobs.name));
            checkPoint->setName(jobs.name);
            // Shared, not copied: the tables were built in the reading thread.
            checkPoint->setListedJobs(jobs.jobIds, jobs.jobs);
            data->checkPoints.append(checkPoint);

            // Queued only: they run when the server comes up.
            for (const ServerCache::Job &job : jobs.pushes) {
                PushJobInfo info;
                info.requiredMetadata = job.data.requiredMetadata;
                info.connectionIds = job.chosenConnectionIds;
                info.jobName = job.data.name;
                info.push = true;
                queuePushJob(connection, entry.id, jobs.id, job.id, info);
                checkPoint->watchPush(job.id);
            }
        }
    }
    m_progress[connection] = cached.progress;
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
    updateCachedJob(cachePath(connection), flowId, checkPointId, jobId, info);
}

void ServerProxy::updateCachedJob(const QString &path, const QString &flowId, const QString &checkPointId,
    const QString &jobId, const PushJobInfo &info)
{
    if (path.isEmpty())
        return;
    // After the saves asked for before it, never overwritten by one of them.
    m_cacheWriter->patch(path, [=] {
        ServerCache::patchWaitingPush(
            path, flowId, checkPointId, jobId, info.connectionIds, info.requiredMetadata);
    });
}

void ServerProxy::cachePushAnswered(const PushJobAction *action, bool accepted)
{
    ServerConnection *connection = action ? action->connection() : nullptr;
    if (!connection)
        return;
    // The file of the server and user the push was decided for.
    const QString path = cachePath(action->serverKey());
    if (path.isEmpty())
        return;
    m_cacheWriter->patch(path,
        [path, flowId = action->flowId(), checkPointId = action->checkPointId(), jobId = action->jobId(),
            accepted] { ServerCache::patchPushDone(path, flowId, checkPointId, jobId, accepted); });
}
