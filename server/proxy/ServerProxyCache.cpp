// ServerProxy's side of the per-server cache files: written from what the
// proxy holds, read back for servers that cannot be reached at start, and
// patched when a push waits for its server or gets answered.
#include "ServerProxy.h"

#include "CacheWriter.h"
#include "PushJobAction.h"
#include "ServerCache.h"

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
    const ServerConnection::ConnectionSettings edited = connection->settings();
    return ServerCache::filePath(ServerCache::folder(), edited.host, edited.port);
}

void ServerProxy::saveCachedData(ServerConnection *connection, bool takenIn)
{
    if (!connection || (!connection->isOnline() && !takenIn))
        return;
    const QString path = cachePath(connection);
    if (path.isEmpty())
        return;

    // The pushes of this server that still wait, with what the user chose:
    // the file keeps them so that a restart sends them. One on its way may
    // have reached the server already: a restart must not send it again.
    QHash<QString, const PushJobAction *> waiting;
    for (IAction *queued : m_actions.actions()) {
        const auto *push = qobject_cast<const PushJobAction *>(queued);
        if (push && push->connection() == connection && push->pushInfo().push
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
};

namespace {

struct CachedFile
{
    QPointer<ServerConnection> connection;
    QString path;
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
            (*tables)[i] = CachedFlows::from(content);
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
    const QString path = cachePath(connection);
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
    const QString path = cachePath(connection);
    if (path.isEmpty())
        return;
    m_cacheWriter->patch(path,
        [path, flowId = action->flowId(), checkPointId = action->checkPointId(), jobId = action->jobId(),
            accepted] { ServerCache::patchPushDone(path, flowId, checkPointId, jobId, accepted); });
}
