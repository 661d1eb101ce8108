// ServerProxy's update queue: at most one running and one waiting update
// thread per connection, the end of an update, and the status line text.
#include "ServerProxy.h"

#include "ConnectionThread.h"
#include "WorkFlags.h"

#include <QMutexLocker>
#include <QTimer>

void ServerProxy::startUpdatingData(int updateFlags)
{
    for (const ServerConnectionPtr &connection : connections())
        startUpdatingConData(connection.get(), updateFlags);
}

void ServerProxy::startUpdatingData()
{
    startUpdatingData(UpdateFlags::All);
}

void ServerProxy::startUpdatingConData(ServerConnection *connection)
{
    startUpdatingConData(connection, UpdateFlags::All);
}

void ServerProxy::startUpdatingConData(ServerConnection *connection, int updateFlags)
{
    if (!connection || !connection->isUsable() || connection->isStopRequested())
        return;
    ConnectionThread *toStart = nullptr;
    {
        const QMutexLocker lock(&m_updateMutex);
        QList<ConnectionThread *> &threads = m_updateThreads[connection];
        if (threads.size() >= 2) {
            ConnectionThread *pending = threads.at(1);
            pending->setUpdateParams(m_progressCount, pending->updateFlags() | updateFlags);
            return;
        }
        auto *worker
            = new ConnectionThread(nullptr, connection, ActivityFlags::Login | ActivityFlags::Update);
        worker->setUpdateParams(m_progressCount, updateFlags);
        connect(worker, &ConnectionThread::finished, this, &ServerProxy::finishUpdatingData);
        threads.append(worker);
        if (threads.size() == 1)
            toStart = worker;
    }
    if (toStart) {
        disconnect(connection, &ServerConnection::updateRequest, this, &ServerProxy::updateRequestHandler);
        m_updateGenerations.insert(toStart, connection->serverGeneration());
        toStart->start(QThread::InheritPriority);
    }
}

void ServerProxy::finishUpdatingData(ServerConnection *connection)
{
    const auto *reporter = qobject_cast<const ConnectionThread *>(sender());
    {
        const QMutexLocker lock(&m_updateMutex);
        const auto it = m_updateThreads.constFind(connection);
        if (it == m_updateThreads.cend() || it->isEmpty())
            return;
        if (reporter && it->first() != reporter)
            return;
    }
    // Several servers often finish at once: their results are taken in one
    // server per turn of the event loop, so the window answers in between.
    // The thread stays listed until then, so the connection counts as
    // updating until its data are in.
    if (!m_intakeQueue.contains(connection))
        m_intakeQueue.append(connection);
    if (!m_intakeTimer->isActive())
        m_intakeTimer->start();
}

void ServerProxy::takeInNext()
{
    if (m_intakeQueue.isEmpty())
        return;
    ServerConnection *connection = m_intakeQueue.takeFirst();
    if (!m_intakeQueue.isEmpty())
        m_intakeTimer->start();
    ConnectionThread *ended = nullptr;
    ConnectionThread *pending = nullptr;
    {
        const QMutexLocker lock(&m_updateMutex);
        const auto it = m_updateThreads.find(connection);
        if (it == m_updateThreads.end() || it->isEmpty())
            return;
        ended = it->takeFirst();
        pending = it->value(0, nullptr);
    }
    disconnect(ended, &ConnectionThread::finished, this, &ServerProxy::finishUpdatingData);
    // Held for the length of this call: a receiver of the signals below may
    // remove the connection.
    const ServerConnectionPtr keep = pointerOf(connection);
    if (!keep) {
        ended->deleteLater();
        return;
    }

    // A refresh of a server the connection has left since brings nothing
    // for the one it points at now, neither to show nor to keep.
    const bool stale = m_updateGenerations.take(ended) != connection->serverGeneration();
    // What came in is taken also when a later fetch of the same update
    // failed and took the connection offline.
    const bool takeIn = !stale && (connection->isOnline() || ended->fetchedFlags() != 0);
    if (takeIn)
        acceptUpdatedData(connection, ended);
    // Once, with what this update brought: a server that is gone before the
    // next update still shows it after a restart, and a push deferred for a
    // job it brought finds the job in the file.
    if (!stale)
        saveCachedData(connection, takeIn && connection->isEnabled() && !connection->isStopRequested());
    {
        const QMutexLocker lock(&m_updateMutex);
        m_updateStatusTexts.insert(connection, ended->getStatusText());
    }
    ended->deleteLater();
    connect(connection, &ServerConnection::updateRequest, this, &ServerProxy::updateRequestHandler,
        Qt::UniqueConnection);
    emit updateConnectionViewRequest(connection);
    if (connection->isOnline())
        retryWaitingSubmissions(connection);

    if (!pending)
        return;
    {
        const QMutexLocker lock(&m_updateMutex);
        const QList<ConnectionThread *> threads = m_updateThreads.value(connection);
        if (threads.isEmpty() || threads.first() != pending || pending->isRunning() || pending->isFinished())
            return;
    }
    disconnect(connection, &ServerConnection::updateRequest, this, &ServerProxy::updateRequestHandler);
    m_updateGenerations.insert(pending, connection->serverGeneration());
    pending->start(QThread::InheritPriority);
}

bool ServerProxy::isUpdating(int index)
{
    const ServerConnection *connection = getConnection(index);
    if (!connection)
        return false;
    const QMutexLocker lock(&m_updateMutex);
    const QList<ConnectionThread *> threads = m_updateThreads.value(connection);
    return !threads.isEmpty() && threads.first();
}

QString ServerProxy::getUpdateStatusStr()
{
    QString result;
    const QList<ServerConnectionPtr> all = connections();
    const QMutexLocker lock(&m_updateMutex);
    for (const ServerConnectionPtr &connection : all) {
        const auto it = m_updateThreads.constFind(connection.get());
        if (it == m_updateThreads.cend() || !connection->isUsable())
            continue;
        // A finished update's last step is shown once.
        const QString text
            = it->isEmpty() ? m_updateStatusTexts.take(connection.get()) : it->first()->getStatusText();
        if (text.isEmpty())
            continue;
        if (result.isEmpty())
            result = tr("Updating connection ");
        else
            result += QLatin1String(", ");
        result += connection->serverName() + QLatin1Char(' ') + text;
    }
    return result;
}

QString ServerProxy::fetchFailureNote(int updateFlags) const
{
    QStringList notes;
    for (const ServerConnectionPtr &connection : connections()) {
        if (!connection->isUsable())
            continue;
        for (const int kind : { int(UpdateFlags::SubmitPoints), int(UpdateFlags::CheckPoints),
                 int(UpdateFlags::Messages), int(UpdateFlags::Progress) }) {
            const QString failure = (updateFlags & kind) ? connection->fetchFailure(kind) : QString();
            if (!failure.isEmpty())
                notes.append(connection->serverName() + QLatin1String(": ") + failure);
        }
    }
    return notes.join(QLatin1String("; "));
}

void ServerProxy::acceptUpdatedData(ServerConnection *connection, ConnectionThread *thread)
{
    if (!connection || !thread || !connection->isEnabled() || connection->isStopRequested())
        return;
    acceptPointsData(connection, thread);
    acceptLogData(connection, thread);
    acceptProgressData(connection, thread);
}
