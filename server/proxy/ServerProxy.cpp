#include "ServerProxy.h"

#include "CacheWriter.h"
#include "ConnectionThread.h"
#include "WorkFlags.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QMetaObject>
#include <QMutexLocker>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace {

std::atomic<int> stopWait { 15000 };

} // namespace

int ServerProxy::stopWaitMs()
{
    return stopWait;
}

void ServerProxy::setStopWaitMs(int ms)
{
    stopWait = ms;
}

ServerProxy::ServerProxy(QObject *parent)
    : QObject(parent)
    , m_cacheWriter(std::make_unique<CacheWriter>())
    , m_intakeTimer(new QTimer(this))
{
    m_intakeTimer->setSingleShot(true);
    m_intakeTimer->setInterval(0);
    connect(m_intakeTimer, &QTimer::timeout, this, &ServerProxy::takeInNext);
    connect(&m_actions, &ActionList::performed, this, &ServerProxy::updateCheckPointsRequest);
}

ServerProxy::~ServerProxy()
{
    // Reading is bounded by the files' size limit.
    if (m_cacheReader) {
        m_cacheReader->wait();
        delete m_cacheReader;
    }
    QList<ServerConnectionPtr> all = m_connections + m_probes + m_retired;
    for (const ServerConnectionPtr &connection : std::as_const(all))
        connection->requestStop();
    const QDeadlineTimer deadline(stopWaitMs());
    for (const ServerConnectionPtr &connection : std::as_const(all)) {
        connection->waitForThreads(int(deadline.remainingTime()));
        connection->disconnect(this);
    }
    for (ConnectionThread *thread : std::as_const(m_activityThreads))
        thread->disconnect(this);
    for (const QList<ConnectionThread *> &threads : std::as_const(m_updateThreads)) {
        for (ConnectionThread *thread : threads) {
            thread->disconnect(this);
            if (thread->isRunning())
                connect(thread, &QThread::finished, thread, &QObject::deleteLater);
            else
                delete thread;
        }
    }
    // Deleting a running thread, or the connection it works on, would end
    // the process; what did not stop in time is left to the end of it.
    for (const ServerConnectionPtr &connection : std::as_const(all)) {
        if (connection->hasRunningThreads()) {
            qWarning("A server connection's thread did not stop in time; it is left running.");
            new ServerConnectionPtr(connection);
        }
    }
}

void ServerProxy::wire(ServerConnection *connection)
{
    connect(connection, &ServerConnection::updateRequest, this, &ServerProxy::updateRequestHandler,
        Qt::UniqueConnection);
    connect(connection, &ServerConnection::connected, &m_actions, &ActionList::performActions,
        Qt::UniqueConnection);
    connect(connection, &ServerConnection::serverChanged, this, &ServerProxy::connectionServerChanged,
        Qt::UniqueConnection);
}

void ServerProxy::connectionServerChanged(
    ServerConnection *connection, const ServerConnection::ServerKey &before, bool wasOnline)
{
    if (!connection || !pointerOf(connection))
        return;
    // Queued work made for the old server is settled as not sent: a job says
    // so, a push's row is open again.
    m_actions.performActions(connection);
    // The old server's file keeps its latest state; a shared file of an
    // earlier run this connection had taken over goes with it.
    const QString shared = m_sharedCacheTaken.take(connection);
    if (wasOnline || !shared.isEmpty())
        writeCachedData(connection, cachePath(before));
    if (!shared.isEmpty())
        m_cacheWriter->patch(shared, [shared] { QFile::remove(shared); });
    // A refresh still running asks the old server: it is not taken in (its
    // generation no longer matches).
    clearConnectionData(connection);
    emit updateSubmitPointsRequest();
    emit updateCheckPointsRequest();
    emit updateProgressRequest();
}

int ServerProxy::addConnection(const QString &user, const QString &password, const QString &host, int port)
{
    appendConnection(ServerConnectionPtr(new ServerConnection(this, user, password, host, port)));
    return getConnectionCount() - 1;
}

void ServerProxy::appendConnection(const ServerConnectionPtr &connection)
{
    // The list changes only in this thread, so the index announced is the
    // one the entry gets. Receivers may read the list: no lock while they run.
    const int index = getConnectionCount();
    emit connectionAboutToBeAdded(index);
    {
        const QMutexLocker lock(&m_listMutex);
        wire(connection.get());
        m_connections.append(connection);
    }
    emit connectionAdded(index);
}

ServerConnection *ServerProxy::getConnection(int index) const
{
    const QMutexLocker lock(&m_listMutex);
    if (index < 0 || index >= m_connections.size())
        return nullptr;
    return m_connections.at(index).get();
}

int ServerProxy::getConnectionCount() const
{
    const QMutexLocker lock(&m_listMutex);
    return int(m_connections.size());
}

int ServerProxy::indexOfConnection(const ServerConnection *connection) const
{
    const QMutexLocker lock(&m_listMutex);
    for (int i = 0; i < m_connections.size(); ++i) {
        if (m_connections.at(i).get() == connection)
            return i;
    }
    return -1;
}

ServerConnectionPtr ServerProxy::pointerOf(const ServerConnection *connection) const
{
    const QMutexLocker lock(&m_listMutex);
    for (const ServerConnectionPtr &entry : m_connections) {
        if (entry.get() == connection)
            return entry;
    }
    return ServerConnectionPtr();
}

QList<ServerConnectionPtr> ServerProxy::connections() const
{
    const QMutexLocker lock(&m_listMutex);
    return m_connections;
}

void ServerProxy::releaseThreads(const ServerConnectionPtr &connection, bool stopped)
{
    ServerConnection *key = connection.get();
    m_waitingActivities.remove(key);
    if (ConnectionThread *activity = m_activityThreads.take(key)) {
        // It deletes itself once its finished signal has been handled.
        activity->disconnect(this);
    }
    QList<ConnectionThread *> updates;
    {
        const QMutexLocker lock(&m_updateMutex);
        updates = m_updateThreads.take(key);
        m_updateStatusTexts.remove(key);
    }
    m_intakeQueue.removeAll(key);
    for (ConnectionThread *thread : std::as_const(updates)) {
        m_updateGenerations.remove(thread);
        thread->disconnect(this);
        if (thread->isRunning())
            connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        else
            thread->deleteLater();
    }
    if (!stopped)
        retire(connection);
}

void ServerProxy::retire(const ServerConnectionPtr &connection)
{
    m_retired.append(connection);
    for (ConnectionThread *thread : connection->threads()) {
        if (thread->isRunning())
            connect(thread, &QThread::finished, this, &ServerProxy::collectRetired, Qt::QueuedConnection);
    }
}

void ServerProxy::collectRetired()
{
    for (int i = int(m_retired.size()) - 1; i >= 0; --i) {
        if (!m_retired.at(i)->hasRunningThreads())
            m_retired.removeAt(i);
    }
}

bool ServerProxy::removeConnection(int index)
{
    if (index < 0 || index >= getConnectionCount())
        return false;
    emit connectionAboutToBeRemoved(index);
    ServerConnectionPtr connection;
    {
        const QMutexLocker lock(&m_listMutex);
        connection = m_connections.takeAt(index);
    }
    emit connectionRemoved(index);
    ServerConnection *key = connection.get();
    connection->disconnect(this);
    // Cuts a hanging call short; whatever still runs gets a bounded wait.
    connection->requestStop();
    const bool stopped = connection->waitForThreads(stopWaitMs());
    releaseThreads(connection, stopped);
    const bool wasOnline = connection->isOnline();
    connection->disconnectFromServer();
    // An offline connection's data too: nothing may stay keyed by a
    // pointer that is about to dangle.
    if (!wasOnline)
        clearConnectionData(key);
    m_actions.removeActionsOf(key);
    m_sharedCacheTaken.remove(key);
    SubmitPoint::removeSavedJobs(key);
    connection = ServerConnectionPtr();
    emit updateSubmitPointsRequest();
    emit updateCheckPointsRequest();
    emit updateProgressRequest();
    return true;
}

void ServerProxy::tryDefaultConnection(
    const QString &user, const QString &password, const QString &host, int port)
{
    ServerConnectionPtr connection(new ServerConnection(this, user, password, host, port));
    // Its own id: id 0 belongs to the first saved connection.
    connection->setConnectionId(ServerConnection::nextConnectionId());
    connection->applySettings();
    m_probes.append(connection);
    // Kept when a server answers; it logs in once it is listed, and one that
    // turns the default user away is listed saying so.
    startConnectionActivity(connection.get(), ActivityFlags::Connect, true);
}

void ServerProxy::checkDefaultFinished(ServerConnection *connection)
{
    if (!connection)
        return;
    int found = -1;
    for (int i = 0; i < m_probes.size(); ++i) {
        if (m_probes.at(i).get() == connection)
            found = i;
    }
    if (found < 0)
        return;
    ServerConnectionPtr probe = m_probes.takeAt(found);
    if (probe->mustConnect()) {
        // Let go once the finished signal that brought us here has been
        // handled by everyone.
        QMetaObject::invokeMethod(
            this, [probe]() mutable { probe = ServerConnectionPtr(); }, Qt::QueuedConnection);
        return;
    }
    appendConnection(probe);
    emit refreshConnectionModelRequest(true);
    startConnectionActivity(connection, ActivityFlags::Login, false);
}

void ServerProxy::loginAllConnections()
{
    for (const ServerConnectionPtr &connection : connections())
        startConnectionActivity(connection.get(), ActivityFlags::Login, false);
}

void ServerProxy::closeAllConnections()
{
    const QList<ServerConnectionPtr> all = connections();
    const QList<ServerConnectionPtr> probes = m_probes;
    for (const ServerConnectionPtr &connection : all + probes)
        connection->requestStop();
    const QDeadlineTimer deadline(stopWaitMs());
    for (const ServerConnectionPtr &connection : all + probes) {
        const bool stopped = connection->waitForThreads(int(deadline.remainingTime()));
        releaseThreads(connection, stopped);
    }
    for (const ServerConnectionPtr &connection : all) {
        saveCachedData(connection.get());
        connection->disconnectFromServer();
    }
    // Every file on disk before the window goes, within the writer's bound.
    if (!m_cacheWriter->waitForWrites(CacheWriter::stopWaitMs()))
        qWarning("The server data cache is still being written.");
}

void ServerProxy::startConnectionActivity(ServerConnection *connection, int activity, bool watchProbe)
{
    if (!connection)
        return;
    if (QThread::currentThread() != thread()) {
        QPointer<ServerConnection> target(connection);
        QMetaObject::invokeMethod(
            this,
            [this, target, activity, watchProbe] {
                if (target)
                    startConnectionActivity(target, activity, watchProbe);
            },
            Qt::QueuedConnection);
        return;
    }
    if (connection->isStopRequested())
        return;
    if (m_activityThreads.contains(connection)) {
        m_waitingActivities[connection] |= activity;
        return;
    }
    auto *worker = new ConnectionThread(nullptr, connection, activity);
    m_activityThreads.insert(connection, worker);
    connect(worker, &ConnectionThread::finished, this, &ServerProxy::connectionActivityFinished);
    if (watchProbe)
        connect(worker, &ConnectionThread::finished, this, &ServerProxy::checkDefaultFinished);
    worker->start(QThread::InheritPriority);
}

bool ServerProxy::hasConnectionActivity(const ServerConnection *connection) const
{
    return m_activityThreads.contains(connection);
}

void ServerProxy::connectionActivityFinished(ServerConnection *connection)
{
    const auto it = m_activityThreads.constFind(connection);
    if (it == m_activityThreads.cend())
        return;
    const auto *reporter = qobject_cast<const ConnectionThread *>(sender());
    if (reporter && it.value() != reporter)
        return;
    m_activityThreads.erase(it);
    const int waiting = m_waitingActivities.take(connection);
    emit refreshConnectionModelRequest(false);
    // A connect asked for meanwhile may have been made by the thread that
    // ended; only listed connections go on (a probe is decided elsewhere).
    const bool connectDone = waiting == ActivityFlags::Connect && !connection->mustConnect();
    if (waiting && !connectDone && pointerOf(connection))
        startConnectionActivity(connection, waiting, false);
}

void ServerProxy::updateRequestHandler(ServerConnection *connection)
{
    if (!connection)
        return;
    startUpdatingConData(
        connection, UpdateFlags::SubmitPoints | UpdateFlags::CheckPoints | UpdateFlags::Messages);
    emit updateConnectionViewRequest(connection);
}

void ServerProxy::setProgressCount(int count)
{
    m_progressCount = count;
}

int ServerProxy::progressCount() const
{
    return m_progressCount;
}

void ServerProxy::getProgressData(QList<ProgressData> &list) const
{
    QList<const QList<ProgressData> *> parts;
    qsizetype total = list.size();
    for (const ServerConnectionPtr &connection : connections()) {
        if (!connection->settings().enabled)
            continue;
        const auto found = m_progress.constFind(connection.get());
        if (found == m_progress.cend() || found->isEmpty())
            continue;
        parts.append(&*found);
        total += found->size();
    }
    // Shared, not copied record by record, when one list makes it; else
    // grown once, as tens of thousands of records move with every refresh.
    if (parts.size() == 1 && list.isEmpty()) {
        list = *parts.first();
        return;
    }
    list.reserve(total);
    for (const QList<ProgressData> *part : std::as_const(parts))
        list += *part;
}

void ServerProxy::notifyDataUpdated()
{
    emit updateSubmitPointsRequest();
    emit updateCheckPointsRequest();
    emit updateProgressRequest();
}

QList<ConnectionThread *> ServerProxy::updateThreads(const ServerConnection *connection) const
{
    const QMutexLocker lock(&m_updateMutex);
    return m_updateThreads.value(connection);
}
