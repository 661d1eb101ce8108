#include "WireClient.h"

#include "ClientSsl.h"
#include "Server.h"
#include "TestEnv.h"

WireClient::WireClient(const testserver::Server &server, const QByteArray &user, const QByteArray &password)
    : m_endpoint(server.endpoint())
    , m_user(user)
    , m_password(password)
{
    setUp();
}

WireClient::WireClient(const QByteArray &endpoint, const QByteArray &user, const QByteArray &password)
    : m_endpoint(endpoint)
    , m_user(user)
    , m_password(password)
{
    setUp();
}

void WireClient::setUp()
{
    m_proxy.endpoint = m_endpoint.constData();
    m_proxy.soap->connect_timeout = 5;
    m_proxy.soap->recv_timeout = 30;
    m_proxy.soap->send_timeout = 30;
    if (m_endpoint.startsWith("https:"))
        ClientSsl::setup(m_proxy.soap, TestEnv::binDir());
}

ombrel::Service &WireClient::operator()()
{
    m_proxy.soap->userid = m_user.constData();
    m_proxy.soap->passwd = m_password.constData();
    return m_proxy;
}
