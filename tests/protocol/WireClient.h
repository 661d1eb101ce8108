#pragma once

#include <QByteArray>

#include <ombrelServiceProxy.h>

namespace testserver {
class Server;
}

// A proxy aimed at a test server the way the client sets one up: endpoint,
// SSL client context for https, bounded timeouts, credentials before
// every call (gSOAP clears them after each one).
class WireClient
{
public:
    WireClient(const testserver::Server &server, const QByteArray &user, const QByteArray &password);
    explicit WireClient(const QByteArray &endpoint, const QByteArray &user = "user",
        const QByteArray &password = QByteArray());

    ombrel::Service &proxy() { return m_proxy; }
    struct soap *soap() { return m_proxy.soap; }

    // Sets the credentials again; call before each operation.
    ombrel::Service &operator()();

private:
    void setUp();

    ombrel::Service m_proxy;
    QByteArray m_endpoint;
    QByteArray m_user;
    QByteArray m_password;
};
