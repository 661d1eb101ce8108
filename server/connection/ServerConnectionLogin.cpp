#include "ServerConnection.h"

#include "CallBounds.h"
#include "ServerProxy.h"
#include "SslFailure.h"
#include "WideText.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QPointer>
#include <QThread>
#include <QUrl>

#include <ombrelServiceProxy.h>

namespace {

// gSOAP 2.8 stubs return the reply's HTTP status (200) where the reply held
// no answer: the codes a caller decides on are another element where the
// response belongs (tag mismatch) and a reply that ended before its Body
// (cut short).
int replyCode(const struct soap *soap, int rc)
{
    if (rc < 200 || rc >= 300)
        return rc;
    return soap->part >= SOAP_IN_BODY ? SOAP_TAG_MISMATCH : SOAP_EOF;
}

// The server's own no: a fault it sent, or HTTP's refusal of the
// credentials. A reply that says nothing refuses nothing.
bool refused(int rc)
{
    return rc == 401 || rc == SOAP_CLI_FAULT || rc == SOAP_SVR_FAULT || rc == SOAP_FAULT;
}

} // namespace

QString ServerConnection::loginFailedText()
{
    return tr("Log-in refused: check the user name and password");
}

QString ServerConnection::hostMissingText()
{
    return tr("The host name is missing or not valid");
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

bool ServerConnection::connectToServer()
{
    m_connecting = true;
    const CallTimeouts timeouts = callTimeouts();
    ombrel::Service *answered = nullptr;
    bool plainOnly = false;
    bool untrusted = false;
    QString failure = tr("Can't reach host");
    {
        const QMutexLocker soapLock(&m_soapMutex);
        // A connection marked for SSL logs in over SSL or not at all; its
        // plain probe (without credentials, like every probe) only tells why
        // it stays offline. Read here: an attempt that ran before this one
        // may have found SSL.
        const bool marked = m_secure;
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
        // A marked connection decides on its secure probes alone: its plain
        // probe comes after them all, so a plain answer never cuts short a
        // secure one that takes longer.
        std::vector<Probe> probes;
        if (!marked)
            probes.push_back({ false, timeouts.shortProbeMs, nullptr });
        probes.push_back({ true, timeouts.shortProbeMs, nullptr });
        if (!marked)
            probes.push_back({ false, timeouts.longProbeMs, nullptr });
        probes.push_back({ true, timeouts.longProbeMs, nullptr });
        if (marked)
            probes.push_back({ false, timeouts.longProbeMs, nullptr });
        for (Probe &probe : probes) {
            if (cutShort())
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
        // Marked for SSL while the probes ran (a host applied with
        // "https://"): a plain answer does not count. The mark is never
        // taken back here.
        if (answered == m_plainProxy.get() && m_secure) {
            answered = nullptr;
            plainOnly = true;
        }
        const bool secure = answered && answered == m_secureProxy.get();
        m_activeProxy = answered ? answered : m_plainProxy.get();
        if (secure)
            m_secure = true;
        const QMutexLocker lock(&m_dataMutex);
        m_activeSecure = secure;
        m_endpoint = secure ? m_secureEndpoint : m_plainEndpoint;
    }
    m_connecting = false;
    // No probe went anywhere without a host (the transport refuses it).
    const bool noHost = !hasHost();
    if (!answered && !cutShort())
        setStatusText(noHost ? hostMissingText()
                : untrusted  ? tr("The server's certificate is not trusted")
                : plainOnly  ? tr("The server answers only without encryption")
                             : failure);
    noteCallResult(answered != nullptr, true);
    return answered != nullptr;
}

bool ServerConnection::hasHost() const
{
    return !QUrl::fromEncoded(plainEndPoint()).host().isEmpty();
}

bool ServerConnection::plainButMarked() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_secure && !m_activeSecure;
}

void ServerConnection::markDisabled()
{
    disconnectFromServer();
    if (m_owner)
        m_owner->notifyDataUpdated();
    const QMutexLocker lock(&m_dataMutex);
    m_statusText = tr("Disabled");
    m_lastCheck = QDateTime();
}

void ServerConnection::login()
{
    if (!m_enabled) {
        markDisabled();
    } else {
        QMutexLocker soapLock(&m_soapMutex);
        ombrel::Service *proxy = activeProxy();
        ombrel::ombrel__GetStatusResponse status;
        int rc = prepareCall(proxy, Caller::Worker);
        if (rc == SOAP_OK)
            rc = proxy->ombrel__GetStatus(status);
        endCall(proxy);
        bool loggedIn = false;
        if (rc != SOAP_OK && cutShort()) {
            // Disabled while it ran: the log-in ends here and says so.
            soapLock.unlock();
            if (!m_enabled && !m_stopRequested)
                markDisabled();
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
                rc = replyCode(proxy->soap, proxy->ombrel__CheckUserNameAndPass(result));
            // An answer came (its HTTP status did) that holds no answer:
            // cut short, another operation's or no SOAP at all.
            const bool unreadable = (rc == SOAP_EOF && proxy->soap->status != 0) || rc == SOAP_TAG_MISMATCH;
            const CallBounds::Breach breach = CallBounds::breach(proxy->soap);
            endCall(proxy);
            soapLock.unlock();
            if (rc != SOAP_OK && cutShort()) {
                if (!m_enabled && !m_stopRequested)
                    markDisabled();
                return;
            }
            loggedIn = rc == SOAP_OK;
            if (loggedIn && m_secure)
                setStatusText(tr("Connected securely"));
            else if (!loggedIn)
                setStatusText(breach != CallBounds::Breach::None ? failureText(rc, breach)
                        : refused(rc)                            ? loginFailedText()
                        : unreadable                             ? failureText(SOAP_TAG_MISMATCH, breach)
                                                                 : failureText(rc, breach));
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
