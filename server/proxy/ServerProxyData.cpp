// ServerProxy's data for the pages: taking in what an update brought
// (flows, submit points, checkpoints, log batches, progress) and dropping
// a connection's data.
#include "ServerProxy.h"

#include "ConnectionThread.h"
#include "Disposal.h"
#include "FetchedPoints.h"
#include "PointConversions.h"
#include "WideText.h"
#include "WorkFlags.h"

#include <QScopeGuard>
#include <QSet>

namespace {

// Batches the Messages page has not taken yet; beyond this the oldest go,
// so a client nobody looks at does not grow for ever.
constexpr int kMaxLogBatches = 32;

} // namespace

QVector<FlowPtr> ServerProxy::getFlows(const ServerConnection *connection) const
{
    return m_flows.value(connection);
}

QVector<SubmitPointPtr> ServerProxy::getSubmitPoints(const Flow *flow) const
{
    const auto it = m_flowData.constFind(flow);
    return it == m_flowData.cend() ? QVector<SubmitPointPtr>() : it->submitPoints;
}

QVector<SubmitPointPtr> ServerProxy::getSubmitPoints(const FlowPtr &flow) const
{
    return getSubmitPoints(flow.get());
}

QVector<CheckPointPtr> ServerProxy::getCheckPoints(const Flow *flow) const
{
    const auto it = m_flowData.constFind(flow);
    return it == m_flowData.cend() ? QVector<CheckPointPtr>() : it->checkPoints;
}

QVector<CheckPointPtr> ServerProxy::getCheckPoints(const FlowPtr &flow) const
{
    return getCheckPoints(flow.get());
}

ServerProxy::FlowData *ServerProxy::flowData(ServerConnection *connection, const QString &flowId)
{
    const FlowPtr flow = connection->getFlow(flowId);
    if (!flow)
        return nullptr;
    auto it = m_flowData.find(flow.get());
    if (it != m_flowData.end())
        return &it.value();
    FlowData data;
    data.flow = flow;
    data.connection = connection;
    // A flow table rebuilt after a failed fetch holds new Flow objects: the
    // points and checkpoints of the old one are still reused by id, and
    // what it showed stays, in its place, until a fetch of that kind
    // replaces it.
    QVector<FlowPtr> &flows = m_flows[connection];
    for (auto old = m_flowData.begin(); old != m_flowData.end();) {
        if (old->connection == connection && old->flow->id() == flowId) {
            data.pointIndex.insert(old->pointIndex);
            data.checkPointIndex.insert(old->checkPointIndex);
            if (data.submitPoints.isEmpty())
                data.submitPoints = old->submitPoints;
            if (data.checkPoints.isEmpty())
                data.checkPoints = old->checkPoints;
            const qsizetype at = flows.indexOf(old->flow);
            if (at >= 0 && !flows.contains(flow))
                flows[at] = flow;
            else
                flows.removeAll(old->flow);
            old = m_flowData.erase(old);
        } else {
            ++old;
        }
    }
    it = m_flowData.insert(flow.get(), data);
    return &it.value();
}

void ServerProxy::acceptPointsData(ServerConnection *connection, ConnectionThread *thread)
{
    if (!connection || !thread)
        return;
    const int flags = thread->updateFlags() & thread->fetchedFlags();
    const bool withPoints = flags & UpdateFlags::SubmitPoints;
    const bool withCheckPoints = flags & UpdateFlags::CheckPoints;
    if (!withPoints && !withCheckPoints)
        return;
    std::unique_ptr<FetchedPoints> fetched = thread->takeFetchedPoints();
    if (!fetched)
        return;
    // The reply's own records go in a pool thread once read, and the memory
    // of the checkpoints' replaced job maps back to the system with them.
    const auto release = qScopeGuard([&fetched] { disposeInBackground(std::move(fetched), true); });

    const ServerConnection::ConnectionSettings applied = connection->appliedSettings();
    // A kind that was asked for but failed keeps what it showed, and so do
    // the flows that hold it.
    const int failed = thread->updateFlags() & ~thread->fetchedFlags();
    QVector<FlowPtr> &flows = m_flows[connection];
    QVector<FlowPtr> kept;
    for (const FlowPtr &flow : flows) {
        const auto it = m_flowData.constFind(flow.get());
        if (it != m_flowData.cend()
            && (((failed & UpdateFlags::SubmitPoints) && !it->submitPoints.isEmpty())
                || ((failed & UpdateFlags::CheckPoints) && !it->checkPoints.isEmpty())))
            kept.append(flow);
    }
    flows = kept;
    // Entries of a flow missing from the flow table (the flow list of the
    // same update did not name it) have nothing to hang on and are skipped.
    if (withPoints) {
        for (const ombrel::SubmitPoints07 &entry : fetched->submitPoints) {
            const QString flowId = WideText::toQString(entry.flowId);
            FlowData *data = flowData(connection, flowId);
            if (!data)
                continue;
            data->submitPoints.clear();
            if (entry.submitPoints.empty())
                continue;
            QVector<FlowPtr> &flows = m_flows[connection];
            if (!flows.contains(data->flow))
                flows.append(data->flow);
            for (const ombrel::SubmitPointInfo07 &info : entry.submitPoints) {
                const QString id = WideText::toQString(info.spId);
                const QString name = WideText::toQString(info.spData.name);
                const QList<MetadataToFill> metadata
                    = PointConversions::toMetadataToFill(info.spData.metadata,
                        PointConversions::metadataKeyPrefix(applied.host, applied.port, flowId, id));
                SubmitPointPtr &point = data->pointIndex[id];
                if (!point)
                    point = SubmitPointPtr(new SubmitPoint(connection, id, flowId, name));
                point->setName(name);
                point->setMetadata(metadata);
                if (!data->submitPoints.contains(point))
                    data->submitPoints.append(point);
            }
        }
    }
    if (withCheckPoints) {
        emit aboutUpdateCheckPoints();
        for (const FetchedCheckPointFlow &entry : fetched->checkPoints) {
            FlowData *data = flowData(connection, entry.flowId);
            if (!data)
                continue;
            data->checkPoints.clear();
            if (entry.checkPoints.isEmpty())
                continue;
            QVector<FlowPtr> &flows = m_flows[connection];
            if (!flows.contains(data->flow))
                flows.append(data->flow);
            for (const FetchedCheckPoint &fetchedPoint : entry.checkPoints) {
                CheckPointPtr &checkPoint = data->checkPointIndex[fetchedPoint.id];
                if (!checkPoint)
                    checkPoint = CheckPointPtr(
                        new CheckPoint(connection, fetchedPoint.id, entry.flowId, fetchedPoint.name));
                checkPoint->setName(fetchedPoint.name);
                // Listed in the job map's key order, whatever order the
                // server sent them in.
                checkPoint->setJobs(fetchedPoint.jobs.keys(), fetchedPoint.jobs);
                if (!data->checkPoints.contains(checkPoint))
                    data->checkPoints.append(checkPoint);
            }
        }
    }
    if (withPoints)
        emit updateSubmitPointsRequest();
    if (withCheckPoints)
        emit updateCheckPointsRequest();
}

void ServerProxy::acceptLogData(ServerConnection *connection, ConnectionThread *thread)
{
    if (!connection || !thread || !(thread->updateFlags() & thread->fetchedFlags() & UpdateFlags::Messages))
        return;
    // The thread's key is the fetch time followed by the connection id.
    QString key = thread->getLogTime();
    const std::unique_ptr<LogBatch> batch = thread->takeLogBatch();
    if (key.isEmpty() || !batch)
        return;
    while (m_logBatches.contains(key))
        key += QLatin1Char('#');
    m_logBatches.insert(key, *batch);
    m_logOrder.append(key);
    while (m_logOrder.size() > kMaxLogBatches)
        m_logBatches.remove(m_logOrder.takeFirst());
    emit updateLogRequest(key);
}

void ServerProxy::getLogData(const QString &key, QList<LogMessage> &list) const
{
    const auto it = m_logBatches.constFind(key);
    if (it == m_logBatches.cend())
        return;
    // Shared, not copied record by record.
    if (list.isEmpty())
        list = it.value();
    else
        list += it.value();
}

void ServerProxy::clearLogBatches()
{
    m_logBatches.clear();
    m_logOrder.clear();
}

void ServerProxy::dropLogBatch(const QString &key)
{
    if (m_logBatches.remove(key))
        m_logOrder.removeOne(key);
}

int ServerProxy::logBatchCount() const
{
    return int(m_logBatches.size());
}

void ServerProxy::acceptProgressData(ServerConnection *connection, ConnectionThread *thread)
{
    if (!connection || !thread || !(thread->updateFlags() & thread->fetchedFlags() & UpdateFlags::Progress))
        return;
    const std::unique_ptr<ProgressList> records = thread->takeProgressList();
    ProgressList &held = m_progress[connection];
    disposeInBackground(std::move(held));
    held = records ? *records : ProgressList();
    emit updateProgressRequest();
}

void ServerProxy::clearConnectionData(ServerConnection *connection)
{
    emit resetPages();
    if (!connection)
        return;
    // Index entries of flows that dropped out of the flow vector go too:
    // nothing may stay keyed by a connection about to go.
    for (auto it = m_flowData.begin(); it != m_flowData.end();) {
        if (it->connection == connection)
            it = m_flowData.erase(it);
        else
            ++it;
    }
    m_progress.remove(connection);
    m_flows.remove(connection);
    const int id = connection->connectionId();
    for (int i = int(m_logOrder.size()) - 1; i >= 0; --i) {
        const LogBatch batch = m_logBatches.value(m_logOrder.at(i));
        if (!batch.isEmpty() && batch.first().connectionId == id)
            m_logBatches.remove(m_logOrder.takeAt(i));
    }
    emit clearLogRequest(id);
}
