#include "ConnectionThread.h"

#include "FetchedPoints.h"
#include "ServerConnection.h"
#include "WorkFlags.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QScopeGuard>

#include <stdsoap2.h>

ConnectionThread::ConnectionThread(QObject *parent, ServerConnection *connection, int activity)
    : QThread(parent)
    , m_connection(connection)
    , m_activity(activity)
{
    if (m_connection)
        m_connection->attachThread(this);
    connect(this, &QThread::finished, this, &ConnectionThread::OnFinished);
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

ConnectionThread::~ConnectionThread()
{
    // Owners wait before they delete; this only guards against a thread
    // object destroyed while its body runs, which Qt turns into an abort.
    if (isRunning()) {
        if (m_connection)
            m_connection->requestStop();
        wait();
    }
    if (m_connection)
        m_connection->detachThread(this);
}

void ConnectionThread::setUpdateParams(int progressCount, int updateFlags)
{
    disconnect(this, &QThread::finished, this, &QObject::deleteLater);
    m_progressCount = progressCount;
    m_updateFlags = updateFlags;
}

void ConnectionThread::setPushParams(
    const QString &flowId, const QString &checkPointId, const QString &jobId, const PushJobInfo &info)
{
    m_pushFlowId = flowId;
    m_pushCheckPointId = checkPointId;
    m_pushJobId = jobId;
    m_pushInfo = info;
}

void ConnectionThread::setStatusText(const QString &text)
{
    const QMutexLocker lock(&m_statusMutex);
    m_statusText = text;
}

QString ConnectionThread::getStatusText() const
{
    const QMutexLocker lock(&m_statusMutex);
    return m_statusText;
}

bool ConnectionThread::stop(int timeoutMs)
{
    if (m_connection)
        m_connection->requestStop();
    return wait(QDeadlineTimer(timeoutMs));
}

std::unique_ptr<FetchedPoints> ConnectionThread::takeFetchedPoints()
{
    return std::move(m_points);
}

std::unique_ptr<LogBatch> ConnectionThread::takeLogBatch()
{
    return std::move(m_logBatch);
}

std::unique_ptr<ProgressList> ConnectionThread::takeProgressList()
{
    return std::move(m_progress);
}

void ConnectionThread::OnFinished()
{
    if (m_connection)
        emit finished(m_connection);
}

void ConnectionThread::run()
{
    QThread::currentThread()->setPriority(QThread::LowestPriority);
    int pushError = SOAP_TCP_ERROR;
    int pushAnswer = 0;
    const auto reportPush = qScopeGuard([&] {
        if (m_activity & ActivityFlags::Push)
            emit pushFinished(pushError, pushAnswer);
    });
    ServerConnection *connection = m_connection;
    if (!connection || connection->isStopRequested())
        return;
    // A disabled connection asks nothing of its server; its log-in step
    // only marks it so.
    if (!connection->isEnabled()) {
        if (m_activity & ActivityFlags::Login) {
            connection->login();
            setStatusText(connection->statusText());
        }
        return;
    }
    const bool reconnect = connection->mustConnect() || connection->plainButMarked();
    if ((m_activity & ActivityFlags::Connect) || (reconnect && !connection->isConnecting())) {
        setStatusText(tr("(Connecting)"));
        const bool connected = connection->connectToServer();
        // Disabled while it connected: the attempt ended there, and the
        // connection says it is disabled, not how the attempt broke off.
        if (!connection->isEnabled() && !connection->isStopRequested()) {
            connection->login();
            setStatusText(connection->statusText());
            return;
        }
        if (!connected) {
            setStatusText(tr("(Not connected)"));
            return;
        }
        connection->updateEndPoints();
    }
    if (connection->isStopRequested())
        return;
    if (m_activity & ActivityFlags::Login) {
        setStatusText(tr("(Logging in)"));
        connection->login();
        setStatusText(connection->statusText());
        if (!connection->isOnline())
            return;
    }
    if (connection->isStopRequested() || !connection->isEnabled())
        return;
    if (m_activity & ActivityFlags::Push) {
        connection->pushCheckpointJob(
            m_pushFlowId, m_pushCheckPointId, m_pushJobId, m_pushInfo, &pushAnswer, &pushError);
        return;
    }
    if (m_activity & ActivityFlags::Update)
        updateData();
}

void ConnectionThread::updateData()
{
    ServerConnection *connection = m_connection;
    if (!connection->isOnline())
        return;
    // A connection pointed at another server meanwhile: the rest of the
    // pass would ask the new one on the old one's behalf.
    const int generation = connection->serverGeneration();
    const auto ended = [connection, generation] {
        return connection->isStopRequested() || !connection->isEnabled()
            || connection->serverGeneration() != generation;
    };
    // Each step runs even when an earlier one failed; a stop or disabling
    // ends the pass.
    if (m_updateFlags & (UpdateFlags::SubmitPoints | UpdateFlags::CheckPoints)) {
        m_points = std::make_unique<FetchedPoints>();
        m_points->updateFlags = m_updateFlags;
        QStringList flowIds;
        // Without the flow list the points would be asked for no flow and
        // an empty answer would wipe what is shown.
        const bool flows = connection->getFlowList(flowIds);
        if (ended())
            return;
        if (m_updateFlags & UpdateFlags::SubmitPoints) {
            setStatusText(tr("(Submit Poins view)"));
            if (connection->getSubmitPoints(flowIds, m_points->submitPoints) && flows)
                m_fetched |= UpdateFlags::SubmitPoints;
            if (ended())
                return;
        }
        if (m_updateFlags & UpdateFlags::CheckPoints) {
            setStatusText(tr("(Checkpoints view)"));
            if (connection->getCheckPoints(flowIds, true, m_points->checkPoints) && flows)
                m_fetched |= UpdateFlags::CheckPoints;
            if (ended())
                return;
        }
    }
    if (m_updateFlags & UpdateFlags::Messages) {
        setStatusText(tr("(Messages view)"));
        auto batch = std::make_unique<LogBatch>();
        const QString fetchTime = connection->getLogData(batch.get());
        if (!fetchTime.isEmpty()) {
            m_logKey = fetchTime + QString::number(connection->connectionId());
            m_logBatch = std::move(batch);
            m_fetched |= UpdateFlags::Messages;
        }
        if (ended())
            return;
    }
    if (m_updateFlags & UpdateFlags::Progress) {
        setStatusText(tr("(Progress view)"));
        m_progress = std::make_unique<ProgressList>();
        if (connection->getProgressData(m_progressCount, m_progress.get()))
            m_fetched |= UpdateFlags::Progress;
        if (ended())
            return;
    }
    setStatusText(tr("has completed"));
}
