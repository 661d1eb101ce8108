#include "ServerConnection.h"

#include "CallBounds.h"
#include "ConnectionThread.h"
#include "ServerProxy.h"
#include "ServerTime.h"
#include "ServiceProxyFactory.h"
#include "SoapCanceller.h"
#include "WorkFlags.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

#include <ombrelServiceProxy.h>

#include <chrono>

namespace {

QMutex timeoutsMutex;
ServerConnection::CallTimeouts currentTimeouts;

std::atomic<int> connectionCounter { 0 };

} // namespace

ServerConnection::CallTimeouts ServerConnection::callTimeouts()
{
    const QMutexLocker lock(&timeoutsMutex);
    return currentTimeouts;
}

void ServerConnection::setCallTimeouts(const CallTimeouts &timeouts)
{
    const QMutexLocker lock(&timeoutsMutex);
    currentTimeouts = timeouts;
}

int ServerConnection::nextConnectionId()
{
    return connectionCounter.fetch_add(1);
}

ServerConnection::ServerConnection(
    ServerProxy *owner, const QString &user, const QString &password, const QString &host, int port)
    : m_owner(owner)
    , m_user(user)
    , m_password(password)
    , m_host(host)
    , m_port(port)
    , m_lastLogTime(ServerTime::logStart())
    , m_statusText(tr("Never connected"))
    , m_userUtf8(user.toUtf8())
    , m_passUtf8(password.toUtf8())
    , m_plainProxy(createServiceProxy(false))
{
    m_edited.host = host;
    m_edited.port = port;
    m_edited.user = user;
    m_edited.password = password;
    m_applied = m_edited;
    m_plainCanceller = std::make_unique<SoapCanceller>(m_plainProxy->soap);
    updateEndPoints();
}

ServerConnection::~ServerConnection()
{
    // The owner stops and waits for the threads before it lets a connection
    // go; the ones left are finished and only wait to be deleted.
    requestStop();
    if (!waitForThreads(callTimeouts().longProbeMs))
        qWarning("A connection goes while one of its threads still runs.");
    const QMutexLocker lock(&m_threadsMutex);
    for (ConnectionThread *thread : std::as_const(m_threads))
        thread->m_connection = nullptr;
    m_threads.clear();
    stopUserCalls();
}

ombrel::Service *ServerConnection::activeProxy() const
{
    ombrel::Service *proxy = m_activeProxy;
    return proxy ? proxy : m_plainProxy.get();
}

SoapCanceller *ServerConnection::cancellerOf(const ombrel::Service *proxy) const
{
    return proxy == m_secureProxy.get() ? m_secureCanceller.get() : m_plainCanceller.get();
}

ombrel::Service *ServerConnection::secureProxy()
{
    const QMutexLocker lock(&m_secureMutex);
    if (!m_secureProxy) {
        m_secureProxy.reset(createServiceProxy(true));
        m_secureCanceller = std::make_unique<SoapCanceller>(m_secureProxy->soap);
        m_secureCanceller->setHeld(!m_enabled);
    }
    return m_secureProxy.get();
}

int ServerConnection::prepareCall(ombrel::Service *proxy, Caller caller, bool credentials, int ioMs)
{
    if (caller == Caller::Worker && cutShort())
        return SOAP_TCP_ERROR;
    if (!proxy->soap)
        return SOAP_EOM;
    // Whatever the caller: a connection marked for SSL never hands the
    // user's name and password to plain HTTP.
    // The context keeps the error, so the call's end says why.
    if (credentials && m_secure && proxy == m_plainProxy.get())
        return proxy->soap->error = SOAP_SSL_ERROR;
    {
        const QMutexLocker lock(&m_dataMutex);
        m_callEndpoint = proxy == m_secureProxy.get() ? m_secureEndpoint : m_plainEndpoint;
        m_callUser = credentials ? m_userUtf8 : QByteArray("");
        m_callPassword = credentials ? m_passUtf8 : QByteArray("");
    }
    if (ioMs < 0) {
        const CallTimeouts timeouts = callTimeouts();
        ioMs = caller == Caller::Worker ? timeouts.workerIoMs : timeouts.userIoMs;
    }
    proxy->endpoint = m_callEndpoint.constData();
    // Without credentials no Authorization header goes out at all (gSOAP
    // sends one for empty strings).
    proxy->soap->userid = credentials ? m_callUser.constData() : nullptr;
    proxy->soap->passwd = credentials ? m_callPassword.constData() : nullptr;
    // The total holds from here: connecting counts in.
    CallBounds::boundEnvelope(proxy->soap, ioMs, std::min(ioMs, callTimeouts().longProbeMs));
    cancellerOf(proxy)->setCancellable(caller == Caller::Worker);
    return SOAP_OK;
}

void ServerConnection::endCall(ombrel::Service *proxy, bool sayWhy)
{
    if (!proxy->soap)
        return;
    // A failed call says why the connection is offline now, unless a stop
    // or disabling cut it short.
    if (sayWhy && proxy->soap->error != SOAP_OK && !cutShort())
        setStatusText(failureText(proxy->soap->error, CallBounds::breach(proxy->soap)));
    // Replies are copied out by the stubs; what the context allocated
    // would otherwise pile up call after call.
    soap_destroy(proxy->soap);
    soap_end(proxy->soap);
}

bool ServerConnection::lockForUser()
{
    return m_soapMutex.tryLock(callTimeouts().soapWaitMs);
}

qint64 ServerConnection::steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void ServerConnection::noteCallResult(bool ok, bool mayGoOnline)
{
    if (ok)
        m_lastSuccessNs = steadyNs();
    // A disabled connection stays offline whatever answers (a lock release
    // still goes out): its queued work would follow it online.
    if (ok && (!mayGoOnline || !m_enabled))
        return;
    // A call cut short by a stop or by disabling says nothing about the
    // server; shutdown still saves and closes a connection whose update it
    // interrupted, and a disabled one is taken offline as such.
    if (!ok && cutShort())
        return;
    bool expected = !ok;
    if (!m_online.compare_exchange_strong(expected, ok))
        return;
    m_mustConnect = !ok;
    if (ok)
        emit connected(this);
    else
        emit disconnected(this);
}

void ServerConnection::setStatusText(const QString &text)
{
    const QMutexLocker lock(&m_dataMutex);
    m_statusText = text;
}

QString ServerConnection::serverName() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_serverName;
}

QString ServerConnection::statusText() const
{
    const QMutexLocker lock(&m_dataMutex);
    // A fetch that failed while the connection stayed online is what a
    // look at the connection must tell, not the server's own status.
    if (m_online && !m_fetchFailures.isEmpty())
        return QStringList(m_fetchFailures.values()).join(QLatin1String("; "));
    return m_statusText;
}

QString ServerConnection::fetchFailure(int kind) const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_fetchFailures.value(kind);
}

void ServerConnection::noteFetch(int kinds, int rc, CallBounds::Breach breach)
{
    // A call cut short by a stop or by disabling says nothing about the
    // server.
    if (rc != SOAP_OK && cutShort())
        return;
    {
        const QMutexLocker lock(&m_dataMutex);
        for (const int kind : { int(UpdateFlags::SubmitPoints), int(UpdateFlags::CheckPoints),
                 int(UpdateFlags::Messages), int(UpdateFlags::Progress) }) {
            if (!(kinds & kind))
                continue;
            if (rc == SOAP_OK)
                m_fetchFailures.remove(kind);
            else
                m_fetchFailures.insert(kind,
                    tr("%1: %2", "why a fetch failed: the kind of data")
                        .arg(failureText(rc, breach), dataKindText(kind)));
        }
    }
    // A reply over a limit is no sign of a network fault: the connection
    // stays online and logged in, and the other fetches go on.
    if (rc != SOAP_OK && breach != CallBounds::Breach::TooLarge)
        noteCallResult(false, false);
}

QString ServerConnection::dataKindText(int kind)
{
    switch (kind) {
    case UpdateFlags::SubmitPoints:
        return tr("submit points");
    case UpdateFlags::CheckPoints:
        return tr("checkpoints");
    case UpdateFlags::Messages:
        return tr("log messages");
    case UpdateFlags::Progress:
        return tr("progress records");
    default:
        return QString();
    }
}

QDateTime ServerConnection::lastCheckTime() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_lastCheck;
}

QDateTime ServerConnection::lastLogTime() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_lastLogTime;
}

FlowPtr ServerConnection::addFlow(const QString &id, const QString &name)
{
    const QMutexLocker lock(&m_dataMutex);
    FlowPtr &flow = m_flows[id];
    if (flow)
        flow->setName(name);
    else
        flow = FlowPtr(new Flow(id, name));
    return flow;
}

FlowPtr ServerConnection::getFlow(const QString &id) const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_flows.value(id);
}

QString ServerConnection::getFlowName(const QString &id) const
{
    const QMutexLocker lock(&m_dataMutex);
    const FlowPtr flow = m_flows.value(id);
    return flow ? flow->name() : QString(QLatin1String(""));
}

void ServerConnection::timerUpdate()
{
    emit updateRequest(this);
}

void ServerConnection::holdWorkerCalls(bool held)
{
    m_plainCanceller->setHeld(held);
    const QMutexLocker lock(&m_secureMutex);
    if (m_secureCanceller)
        m_secureCanceller->setHeld(held);
}

void ServerConnection::requestStop()
{
    m_stopRequested = true;
    m_plainCanceller->cancel();
    const QMutexLocker lock(&m_secureMutex);
    if (m_secureCanceller)
        m_secureCanceller->cancel();
}

QList<ConnectionThread *> ServerConnection::threads() const
{
    const QMutexLocker lock(&m_threadsMutex);
    return m_threads;
}

bool ServerConnection::hasRunningThreads() const
{
    const QMutexLocker lock(&m_threadsMutex);
    for (const ConnectionThread *thread : m_threads) {
        if (thread->isRunning())
            return true;
    }
    return false;
}

bool ServerConnection::waitForThreads(int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    for (ConnectionThread *thread : threads()) {
        if (!thread->wait(deadline))
            return false;
    }
    return true;
}

void ServerConnection::attachThread(ConnectionThread *thread)
{
    const QMutexLocker lock(&m_threadsMutex);
    m_threads.append(thread);
}

void ServerConnection::detachThread(ConnectionThread *thread)
{
    const QMutexLocker lock(&m_threadsMutex);
    m_threads.removeOne(thread);
}
