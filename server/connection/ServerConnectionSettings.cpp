#include "ServerConnection.h"

#include "ServerProxy.h"
#include "ServerTime.h"

#include <QMutexLocker>
#include <QUrl>

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
    const ServerKey before = serverKey();
    ConnectionSettings edited;
    {
        const QMutexLocker lock(&m_dataMutex);
        m_host = m_edited.host;
        m_port = m_edited.port;
        m_uptime = m_edited.uptime;
        // A host written with "https://" asks for SSL: it marks the
        // connection as a stored "isSSLUsed" does, never the other way.
        if (m_host.trimmed().startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
            m_secure = true;
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
        m_applied = m_edited;
    }
    setUserData(edited.user);
    setPassData(edited.password);
    m_enabled = edited.enabled;
    holdWorkerCalls(!edited.enabled);
    // A connection made without a host had no server whose state to drop.
    if (!before.host.isEmpty() && !before.sameServer(serverKey()))
        leaveServer(before);
    if (edited.enabled && m_owner)
        connect(this, &ServerConnection::updateRequest, m_owner, &ServerProxy::updateRequestHandler,
            Qt::UniqueConnection);
}

void ServerConnection::leaveServer(const ServerKey &before)
{
    ++m_serverGeneration;
    {
        const QMutexLocker lock(&m_dataMutex);
        m_lastLogTime = ServerTime::logStart();
        m_fetchFailures.clear();
        m_flows.clear();
    }
    m_flowListFailed = false;
    // Logged in to the old server only: the next call connects anew.
    const bool wasOnline = m_online.exchange(false);
    m_mustConnect = true;
    if (wasOnline)
        setStatusText(tr("Never connected"));
    emit serverChanged(this, before, wasOnline);
}

ServerConnection::ConnectionSettings ServerConnection::appliedSettings() const
{
    const QMutexLocker lock(&m_dataMutex);
    return m_applied;
}

QString ServerConnection::plainHost(const QString &host)
{
    // A scheme in any case and a closing slash are how people paste an
    // address; neither is part of the host.
    QString plain = host.trimmed();
    for (const QLatin1String scheme : { QLatin1String("https://"), QLatin1String("http://") }) {
        if (plain.startsWith(scheme, Qt::CaseInsensitive))
            plain.remove(0, scheme.size());
    }
    while (plain.endsWith(QLatin1Char('/')))
        plain.chop(1);
    return plain.trimmed();
}

ServerConnection::ServerKey ServerConnection::serverKey() const
{
    ServerKey key;
    const QMutexLocker lock(&m_dataMutex);
    key.host = plainHost(m_host);
    key.port = m_port;
    key.user = m_user;
    key.generation = m_serverGeneration;
    return key;
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
    m_host = plainHost(m_host);
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(m_host);
    url.setPort(m_port);
    m_plainEndpoint = url.toEncoded();
    url.setScheme(QStringLiteral("https"));
    m_secureEndpoint = url.toEncoded();
    m_endpoint = m_activeSecure ? m_secureEndpoint : m_plainEndpoint;
}

UserCall::Target ServerConnection::transferTarget() const
{
    UserCall::Target target;
    const QMutexLocker lock(&m_dataMutex);
    // Once SSL, always SSL: the probes of a connect attempt point the
    // current endpoint at plain HTTP while they run.
    target.secure = m_secure || m_activeSecure;
    target.endpoint = target.secure ? m_secureEndpoint : m_endpoint;
    if (QUrl::fromEncoded(target.endpoint).host().isEmpty())
        target.endpoint.clear();
    target.user = m_userUtf8;
    target.password = m_passUtf8;
    return target;
}

QByteArray ServerConnection::getEndPoint() const
{
    return transferTarget().endpoint;
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
