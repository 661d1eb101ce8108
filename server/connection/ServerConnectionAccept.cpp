#include "ServerConnection.h"

#include "AcceptThread.h"
#include "ServerProxy.h"

#include <QMetaMethod>

AcceptThread *ServerConnection::acceptJob(
    const QString &flowId, const QString &checkPointId, const QString &jobId, int downloadType, int request)
{
    if (m_mustConnect) {
        if (!m_connecting && m_owner)
            m_owner->startConnectionActivity(this, 1, false);
        return nullptr;
    }
    const UserCall::Target target = transferTarget();
    auto *thread = new AcceptThread(this, target.endpoint, target.user, target.password, target.secure);
    connect(thread, &AcceptThread::finished, this, &ServerConnection::OnAcceptFinished);
    thread->setJobParams(flowId, checkPointId, jobId, downloadType);
    thread->setRequest(request);
    thread->start(QThread::InheritPriority);
    emit acceptStarted(thread);
    return thread;
}

void ServerConnection::OnAcceptFinished(AcceptThread *thread, const QString &path)
{
    // Nobody to hand the download to: it goes, with its folder.
    if (!isSignalConnected(QMetaMethod::fromSignal(&ServerConnection::acceptFinished))) {
        thread->deleteLater();
        return;
    }
    emit acceptFinished(thread, path);
}
