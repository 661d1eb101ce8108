#include "ServerTestSupport.h"

#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServiceProxyFactory.h"
#include "TestEnv.h"

#include <QHostAddress>
#include <QTcpServer>

namespace ServerTest {

void useShortTimeouts()
{
    ServerConnection::CallTimeouts timeouts;
    timeouts.workerIoMs = 2000;
    timeouts.userIoMs = 1000;
    timeouts.closeMs = 500;
    timeouts.soapWaitMs = 300;
    ServerConnection::setCallTimeouts(timeouts);
    ServerProxy::setStopWaitMs(4000);
    setSslProgramDir(TestEnv::binDir());
}

std::unique_ptr<testserver::Server> startServer(bool https, const QString &password)
{
    auto server = std::make_unique<testserver::Server>();
    testserver::Options options;
    options.https = https;
    options.password = password;
    options.ioTimeoutSeconds = 5;
    if (!server->start(options)) {
        qWarning("Test server did not start: %s", qPrintable(server->errorString()));
        return nullptr;
    }
    server->setStatus(QStringLiteral("Test Server"), QStringLiteral("Running"));
    return server;
}

std::unique_ptr<testserver::Server> startServerWithUsers(const QMap<QString, QString> &users)
{
    auto server = std::make_unique<testserver::Server>();
    testserver::Options options;
    options.moreUsers = users;
    options.ioTimeoutSeconds = 5;
    if (!server->start(options))
        return nullptr;
    server->setStatus(QStringLiteral("Test Server"), QStringLiteral("Running"));
    return server;
}

quint16 closedPort()
{
    QTcpServer listener;
    listener.listen(QHostAddress::LocalHost, 0);
    return listener.serverPort();
}

ServerConnection *addConnection(
    ServerProxy &proxy, quint16 port, const QString &password, const QString &user)
{
    ServerConnection *connection
        = proxy.getConnection(proxy.addConnection(user, password, QStringLiteral("127.0.0.1"), port));
    connection->setConnectionId(ServerConnection::nextConnectionId());
    connection->applySettings();
    return connection;
}

QStringList operations(const testserver::Server &server)
{
    QStringList names;
    for (const testserver::JournalEntry &entry : server.journal())
        names.append(entry.operation);
    return names;
}

QString reply(const QString &operation, const QString &inner)
{
    return QStringLiteral("<ombrel:%1Response>%2</ombrel:%1Response>").arg(operation, inner);
}

} // namespace ServerTest
