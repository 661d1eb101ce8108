#include "ServerConnection.h"

#include "CallBounds.h"
#include "ConnectionThread.h"
#include "PushJobInfo.h"
#include "ReplyConversions.h"
#include "ServerProxy.h"
#include "ServerTime.h"
#include "ServiceProxyFactory.h"
#include "SoapCanceller.h"
#include "SslFailure.h"
#include "WideText.h"
#include "WorkFlags.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QMutexLocker>
#include <QPointer>
#include <QThread>
#include <QUrl>

#include <ombrelServiceProxy.h>

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

QString ServerConnection::loginFailedText()
{
    return tr("Log-in refused: check the user name and password");
}

QString ServerConnection::failureText(int soapError, CallBounds::Breach breach)
{
    switch (breach) {
    case CallBounds::Breach::TimedOut:
        return tr("The server did not answer in time");
    case CallBounds::Breach::TooLarge:
        return tr("The server's answer was too large");
    case CallBounds::Breach::TooSlow:
        return tr("The transfer was too slow");
    case CallBounds::Breach::None:
        break;
    }
    switch (soapError) {
    case 401:
        return loginFailedText();
    case SOAP_EOF:
    case SOAP_TCP_ERROR:
    case SOAP_SSL_ERROR:
        return tr("Can't reach host");
    case SOAP_CLI_FAULT:
    case SOAP_SVR_FAULT:
    case SOAP_FAULT:
        return tr("The server reported an error");
    default:
        return tr("The server's answer could not be read");
    }
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

ServerConnection::ConnectionSettings ServerConnection::settings() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_edited;
}

void ServerConnection::setUser(const QString &user)
{
    const QMutexLocker lock(&m_dataMutex);
    m_edited.user = user;
}

void ServerConnection::setPassword(const QString &password)
{
    const QMutexLocker lock(&m_dataMutex);
    m_edited.password = password;
}

void ServerConnection::setHost(const QString &host)
{
    const QMutexLocker lock(&m_dataMutex);
    m_edited.host = host;
}

void ServerConnection::setPort(int port)
{
    const QMutexLocker lock(&m_dataMutex);
    m_edited.port = port;
}

void ServerConnection::setUptime(float minutes)
{
    const QMutexLocker lock(&m_dataMutex);
    m_edited.uptime = minutes;
}

void ServerConnection::setEnabled(bool enabled)
{
    const QMutexLocker lock(&m_dataMutex);
    m_edited.enabled = enabled;
}

void ServerConnection::setDisplayName(const QString &name)
{
    const QMutexLocker lock(&m_dataMutex);
    m_edited.serverName = name;
}

void ServerConnection::setSSLUsed(bool secure)
{
    m_secure = secure;
}

bool ServerConnection::isUsable() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_edited.enabled && !m_edited.host.isEmpty() && !m_edited.user.isEmpty() && m_edited.port != 0;
}

void ServerConnection::applySettings()
{
    ConnectionSettings edited;
    {
        const QMutexLocker lock(&m_dataMutex);
        m_host = m_edited.host;
        m_port = m_edited.port;
        m_uptime = m_edited.uptime;
    }
    updateEndPoints();
    {
        // Named after the host as it is called, without a scheme.
        const QMutexLocker lock(&m_dataMutex);
        m_serverName = m_edited.serverName;
        if (m_serverName.isEmpty()) {
            m_serverName = m_host;
            m_edited.serverName = m_host;
        }
        edited = m_edited;
    }
    setUserData(edited.user);
    setPassData(edited.password);
    m_enabled = edited.enabled;
    if (edited.enabled && m_owner)
        connect(this, &ServerConnection::updateRequest, m_owner, &ServerProxy::updateRequestHandler,
            Qt::UniqueConnection);
}

void ServerConnection::setUserData(const QString &user)
{
    const QMutexLocker lock(&m_dataMutex);
    m_user = user;
    m_userUtf8 = user.toUtf8();
}

void ServerConnection::setPassData(const QString &password)
{
    const QMutexLocker lock(&m_dataMutex);
    m_password = password;
    m_passUtf8 = password.toUtf8();
}

void ServerConnection::updateEndPoints()
{
    const QMutexLocker lock(&m_dataMutex);
    m_host.remove(QStringLiteral("https://"));
    m_host.remove(QStringLiteral("http://"));
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(m_host);
    url.setPort(m_port);
    m_plainEndpoint = url.toEncoded();
    url.setScheme(QStringLiteral("https"));
    m_secureEndpoint = url.toEncoded();
    m_endpoint = m_activeSecure ? m_secureEndpoint : m_plainEndpoint;
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
    }
    return m_secureProxy.get();
}

int ServerConnection::prepareCall(ombrel::Service *proxy, Caller caller, bool credentials, int ioMs)
{
    if (caller == Caller::Worker && m_stopRequested)
        return SOAP_TCP_ERROR;
    if (!proxy->soap)
        return SOAP_EOM;
    // Whatever the caller: a connection marked for SSL never hands the
    // user's name and password to plain HTTP.
    if (credentials && m_secure && proxy == m_plainProxy.get())
        return SOAP_SSL_ERROR;
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
    // cut it short.
    if (sayWhy && proxy->soap->error != SOAP_OK && !m_stopRequested)
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

void ServerConnection::noteCallResult(bool ok, bool mayGoOnline)
{
    if (ok && !mayGoOnline)
        return;
    // A call cut short by a stop says nothing about the server; shutdown
    // still saves and closes a connection whose update it interrupted.
    if (!ok && m_stopRequested)
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

bool ServerConnection::connectToServer()
{
    m_connecting = true;
    const CallTimeouts timeouts = callTimeouts();
    ombrel::Service *answered = nullptr;
    // A connection marked for SSL logs in over SSL or not at all; its plain
    // probe (without credentials, like every probe) only tells why it stays
    // offline.
    const bool marked = m_secure;
    bool plainOnly = false;
    bool untrusted = false;
    QString failure = tr("Can't reach host");
    {
        const QMutexLocker soapLock(&m_soapMutex);
        {
            const QMutexLocker lock(&m_dataMutex);
            m_endpoint = m_plainEndpoint;
        }
        struct Probe
        {
            bool secure;
            int timeoutMs;
            ombrel::Service *proxy;
        };
        std::vector<Probe> probes;
        if (!marked)
            probes.push_back({ false, timeouts.shortProbeMs, nullptr });
        probes.push_back({ true, timeouts.shortProbeMs, nullptr });
        probes.push_back({ false, timeouts.longProbeMs, nullptr });
        probes.push_back({ true, timeouts.longProbeMs, nullptr });
        for (Probe &probe : probes) {
            if (m_stopRequested)
                break;
            probe.proxy = probe.secure ? secureProxy() : m_plainProxy.get();
            int result = 0;
            // A probe asks whether the server answers within its time, so
            // the same limit holds for the exchange after connecting.
            int rc = prepareCall(probe.proxy, Caller::Worker, false, probe.timeoutMs);
            if (rc == SOAP_OK)
                rc = probe.proxy->ombrel__CheckConnect(result);
            if (probe.proxy == m_secureProxy.get() && SslFailure::certificateRejected(probe.proxy->soap))
                untrusted = true;
            // A server that took the connection but ran out of a bound
            // is named so; anything else is no answer.
            const CallBounds::Breach breach = CallBounds::breach(probe.proxy->soap);
            if (breach != CallBounds::Breach::None)
                failure = failureText(rc, breach);
            // Only the whole attempt's outcome is told.
            endCall(probe.proxy, false);
            if (rc == SOAP_OK && result == 1) {
                if (marked && probe.proxy == m_plainProxy.get()) {
                    plainOnly = true;
                    break;
                }
                answered = probe.proxy;
                break;
            }
        }
        const bool secure = answered && answered == m_secureProxy.get();
        m_activeProxy = answered ? answered : m_plainProxy.get();
        if (answered)
            m_secure = secure;
        const QMutexLocker lock(&m_dataMutex);
        m_activeSecure = secure;
        m_endpoint = secure ? m_secureEndpoint : m_plainEndpoint;
    }
    m_connecting = false;
    if (!answered && !m_stopRequested)
        setStatusText(untrusted ? tr("The server's certificate is not trusted")
                : plainOnly     ? tr("The server answers only without encryption")
                                : failure);
    noteCallResult(answered != nullptr, true);
    return answered != nullptr;
}

void ServerConnection::login()
{
    if (!m_enabled) {
        disconnectFromServer();
        if (m_owner)
            m_owner->notifyDataUpdated();
        const QMutexLocker lock(&m_dataMutex);
        m_statusText = tr("Disabled");
        m_lastCheck = QDateTime();
    } else {
        QMutexLocker soapLock(&m_soapMutex);
        ombrel::Service *proxy = activeProxy();
        ombrel::ombrel__GetStatusResponse status;
        int rc = prepareCall(proxy, Caller::Worker);
        if (rc == SOAP_OK)
            rc = proxy->ombrel__GetStatus(status);
        endCall(proxy);
        bool loggedIn = false;
        if (rc != SOAP_OK && m_stopRequested) {
            return;
        } else if (rc != SOAP_OK) {
            // The status text says why (endCall), also when the server turns
            // the credentials away already at the status call.
            soapLock.unlock();
        } else {
            {
                const QMutexLocker lock(&m_dataMutex);
                if (!status.res.empty()) {
                    m_serverName = WideText::toQString(status.res.front().mServerName);
                    m_edited.serverName = m_serverName;
                    m_statusText = WideText::toQString(status.res.front().mStatus);
                } else {
                    m_statusText = tr("Connected");
                }
            }
            int result = 0;
            rc = prepareCall(proxy, Caller::Worker);
            if (rc == SOAP_OK)
                rc = proxy->ombrel__CheckUserNameAndPass(result);
            const CallBounds::Breach breach = CallBounds::breach(proxy->soap);
            endCall(proxy);
            soapLock.unlock();
            if (rc != SOAP_OK && m_stopRequested)
                return;
            loggedIn = rc == SOAP_OK;
            if (loggedIn && m_secure)
                setStatusText(tr("Connected securely"));
            else if (!loggedIn)
                setStatusText(breach != CallBounds::Breach::None || rc == SOAP_TCP_ERROR || rc == SOAP_EOF
                            || rc == SOAP_SSL_ERROR
                        ? failureText(rc, breach)
                        : loginFailedText());
        }
        noteCallResult(loggedIn, true);
        const QMutexLocker lock(&m_dataMutex);
        m_lastCheck = QDateTime::currentDateTime();
    }
    const QMutexLocker lock(&m_dataMutex);
    if (m_uptime == 0.0f)
        m_uptime = 3.0f;
}

void ServerConnection::clearOwnerData()
{
    if (!m_owner)
        return;
    if (QThread::currentThread() == m_owner->thread()) {
        m_owner->clearConnectionData(this);
        return;
    }
    // The owner's data belongs to the GUI thread; the connection may be
    // gone by the time the call arrives there.
    QPointer<ServerConnection> self(this);
    ServerProxy *owner = m_owner;
    QMetaObject::invokeMethod(
        owner,
        [owner, self] {
            if (self)
                owner->clearConnectionData(self);
        },
        Qt::QueuedConnection);
}

void ServerConnection::disconnectFromServer()
{
    bool expected = true;
    if (!m_online.compare_exchange_strong(expected, false))
        return;
    m_mustConnect = true;
    emit disconnected(this);
    if (m_owner)
        disconnect(this, &ServerConnection::updateRequest, m_owner, &ServerProxy::updateRequestHandler);
    clearOwnerData();

    if (!lockForUser())
        return;
    const CallTimeouts timeouts = callTimeouts();
    ombrel::Service *proxy = activeProxy();
    int result = 0;
    // Nobody waits for the answer: a server that does not take the
    // connection at once must not hold up removal or shutdown.
    if (prepareCall(proxy, Caller::User, true, timeouts.closeMs) == SOAP_OK)
        proxy->ombrel__CloseConnection(result);
    endCall(proxy);
    m_soapMutex.unlock();
}

QByteArray ServerConnection::getEndPoint() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_endpoint;
}

QByteArray ServerConnection::getUserData() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_userUtf8;
}

QByteArray ServerConnection::getPassData() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_passUtf8;
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
    // A call cut short by a stop says nothing about the server.
    if (rc != SOAP_OK && m_stopRequested)
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

float ServerConnection::uptime() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_uptime;
}

QString ServerConnection::host() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_host;
}

int ServerConnection::port() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_port;
}

QDateTime ServerConnection::lastLogTime() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_lastLogTime;
}

QByteArray ServerConnection::plainEndPoint() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_plainEndpoint;
}

QByteArray ServerConnection::secureEndPoint() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_secureEndpoint;
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
