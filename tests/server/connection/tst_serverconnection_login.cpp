// The log-in: what the server answers and what the connection tells.
#include "HostileServer.h"
#include "ServerConnection.h"
#include "ServerConnectionTest.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"

#include <QSignalSpy>
#include <QtTest>

using namespace testserver;
using namespace ServerTest;

void TestServerConnection::loginCredentials_data()
{
    QTest::addColumn<QString>("serverPassword");
    QTest::addColumn<QString>("clientPassword");
    QTest::addColumn<bool>("accepted");

    const QString utf8 = QString::fromUtf8("p\xc3\xa4ss w\xc3\xb6rd \xe2\x82\xac\xe6\x97\xa5");
    QTest::newRow("ascii right") << QStringLiteral("secret") << QStringLiteral("secret") << true;
    QTest::newRow("ascii wrong") << QStringLiteral("secret") << QStringLiteral("Secret") << false;
    QTest::newRow("utf-8 right") << utf8 << utf8 << true;
    QTest::newRow("utf-8 wrong") << utf8 << QString(utf8).replace(QChar(0x00e4), QChar(0x0061)) << false;
}

void TestServerConnection::loginCredentials()
{
    QFETCH(QString, serverPassword);
    QFETCH(QString, clientPassword);
    QFETCH(bool, accepted);

    auto server = startServer(false, serverPassword);
    QVERIFY(server);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port(), clientPassword);
    QSignalSpy disconnected(connection, &ServerConnection::disconnected);

    QVERIFY(connection->connectToServer());
    connection->login();
    QCOMPARE(connection->isOnline(), accepted);
    QCOMPARE(connection->mustConnect(), !accepted);
    QCOMPARE(disconnected.count(), accepted ? 0 : 1);
    if (accepted) {
        QCOMPARE(connection->statusText(), QStringLiteral("Running"));
        QCOMPARE(server->journal().last().password, serverPassword);
    } else {
        QCOMPARE(connection->statusText(), ServerConnection::loginFailedText());
    }
}

void TestServerConnection::refusedCheckUserNameAndPassKeepsOffline()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFault(Operation::CheckUserNameAndPass, Fault::senderFault());
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());

    QVERIFY(connection->connectToServer());
    connection->login();
    QVERIFY(!connection->isOnline());
    QVERIFY(connection->mustConnect());
    // Not the server's "Running": that would read as logged in.
    QCOMPARE(connection->statusText(), ServerConnection::loginFailedText());
    QCOMPARE(connection->serverName(), QStringLiteral("Test Server"));
}

void TestServerConnection::onlyTheServersNoIsARefusal_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("status");
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\n";
    const auto envelope = [](const QByteArray &body) {
        QByteArray all;
        for (const HostileServer::Piece &piece : HostileServer::envelope(body).pieces)
            all += piece.bytes;
        return all;
    };
    const QString unreadable = QStringLiteral("The server's answer could not be read");
    QTest::newRow("cut after headers") << head + "Content-Length: 400\r\nConnection: close\r\n\r\n"
                                       << unreadable;
    QTest::newRow("cut in the envelope")
        << envelope("<ombrel:CheckUserNameAndPassResponse><param-3>1</param-3>").left(200) << unreadable;
    QTest::newRow("another response")
        << envelope("<ombrel:GetStatusResponse><res><mStatus>R</mStatus></res></ombrel:GetStatusResponse>")
        << unreadable;
    QTest::newRow("garbage") << head + "Content-Length: 12\r\nConnection: close\r\n\r\nnot SOAP <<<"
                             << unreadable;
    QTest::newRow("plain text") << head + "Content-Length: 9\r\nConnection: close\r\n\r\nno markup"
                                << unreadable;
    QTest::newRow("closed unanswered") << QByteArray() << QStringLiteral("Can't reach host");
    QTest::newRow("refused") << envelope("<SOAP-ENV:Fault><faultcode>SOAP-ENV:Client</faultcode>"
                                         "<faultstring>Wrong password</faultstring></SOAP-ENV:Fault>")
                             << ServerConnection::loginFailedText();
    QTest::newRow("401") << QByteArray("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n"
                                       "Content-Length: 0\r\nConnection: close\r\n\r\n")
                         << ServerConnection::loginFailedText();
}

void TestServerConnection::onlyTheServersNoIsARefusal()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, status);
    HostileServer server;
    QVERIFY(server.start());
    server.setReply(QStringLiteral("CheckUserNameAndPass"), HostileServer::Reply { { { reply } } });
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server.port());

    QVERIFY(connection->connectToServer());
    connection->login();
    QVERIFY(!connection->isOnline());
    QVERIFY(connection->mustConnect());
    QCOMPARE(connection->statusText(), status);
}

void TestServerConnection::emptyStatusListLogsIn()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFault(Operation::GetStatus, Fault::rawBody(reply(QStringLiteral("GetStatus"), QString())));
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());

    QVERIFY(connection->connectToServer());
    connection->login();
    QVERIFY(connection->isOnline());
    QCOMPARE(connection->serverName(), QStringLiteral("127.0.0.1"));
    QCOMPARE(connection->statusText(), QStringLiteral("Connected"));
}
