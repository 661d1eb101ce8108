#pragma once

#include "Server.h"

#include <QString>
#include <QStringList>

#include <memory>

class ServerConnection;
class ServerProxy;

// Set-up shared by the server access tests: test workflow servers on
// 127.0.0.1 and limits short enough that hanging servers cost seconds.
namespace ServerTest {

// Short I/O limits; the probe timeouts stay as in production.
void useShortTimeouts();

std::unique_ptr<testserver::Server> startServer(bool https = false, const QString &password = QString());
// A plain server that also takes these users (name -> password).
std::unique_ptr<testserver::Server> startServerWithUsers(const QMap<QString, QString> &users);

// A port on 127.0.0.1 that nothing listens on.
quint16 closedPort();

// Adds a connection for 127.0.0.1 and the port and applies its settings.
ServerConnection *addConnection(ServerProxy &proxy, quint16 port, const QString &password = QString(),
    const QString &user = QStringLiteral("user"));

// Operation names of the server's journal, oldest first.
QStringList operations(const testserver::Server &server);

// A SOAP Body that answers `operation` with the given inner XML.
QString reply(const QString &operation, const QString &inner);

} // namespace ServerTest
