#include "ConnectionThread.h"
#include "ServerConnection.h"
#include "ServerConnectionTest.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "TestEnv.h"
#include "WorkFlags.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace testserver;
using namespace ServerTest;

namespace {

// gSOAP, given an endpoint without a host, talks over the process's own
// standard streams. While this lives, standard input is a pipe that nobody
// writes to, so a read from it blocks, and standard output is caught.
class HeldStdStreams
{
public:
    HeldStdStreams()
    {
        std::fflush(stdout);
        if (::pipe2(m_in, O_CLOEXEC) != 0 || ::pipe2(m_out, O_CLOEXEC) != 0)
            qFatal("no pipes");
        m_savedIn = ::dup(0);
        m_savedOut = ::dup(1);
        ::dup2(m_in[0], 0);
        ::dup2(m_out[1], 1);
        ::fcntl(m_out[0], F_SETFL, O_NONBLOCK);
    }
    ~HeldStdStreams() { restore(); }

    // A blocked read ends: nobody will write any more.
    void endInput()
    {
        if (m_in[1] >= 0)
            ::close(m_in[1]);
        m_in[1] = -1;
    }

    // Puts the streams back; returns what was written to standard output.
    QByteArray restore()
    {
        if (!m_held)
            return m_written;
        m_held = false;
        endInput();
        std::fflush(stdout);
        ::dup2(m_savedIn, 0);
        ::dup2(m_savedOut, 1);
        for (int fd : { m_savedIn, m_savedOut, m_in[0], m_out[1] })
            ::close(fd);
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_out[0], buffer, sizeof buffer)) > 0)
            m_written.append(buffer, n);
        ::close(m_out[0]);
        return m_written;
    }

private:
    int m_in[2] {};
    int m_out[2] {};
    int m_savedIn = -1;
    int m_savedOut = -1;
    bool m_held = true;
    QByteArray m_written;
};

} // namespace

void TestServerConnection::initTestCase()
{
    useShortTimeouts();
}

void TestServerConnection::endpointsDropSchemePrefixes()
{
    ServerProxy proxy;
    ServerConnection *connection = proxy.getConnection(
        proxy.addConnection(QStringLiteral("u"), QString(), QStringLiteral("https://localhost"), 51008));
    connection->applySettings();
    QCOMPARE(connection->host(), QStringLiteral("localhost"));
    QCOMPARE(connection->plainEndPoint(), QByteArray("http://localhost:51008"));
    QCOMPARE(connection->secureEndPoint(), QByteArray("https://localhost:51008"));
    // Written with "https://", the host asks for SSL.
    QVERIFY(connection->isSecure());
    QCOMPARE(connection->getEndPoint(), QByteArray("https://localhost:51008"));
    // No display name: the host stands in.
    QCOMPARE(connection->serverName(), QStringLiteral("localhost"));
    QCOMPARE(connection->settings().serverName, QStringLiteral("localhost"));

    connection->setHost(QStringLiteral("http://srv"));
    connection->setPort(4000);
    connection->setDisplayName(QStringLiteral("Main"));
    connection->applySettings();
    QCOMPARE(connection->host(), QStringLiteral("srv"));
    QCOMPARE(connection->plainEndPoint(), QByteArray("http://srv:4000"));
    QVERIFY(connection->isSecure()); // never taken back
    QCOMPARE(connection->serverName(), QStringLiteral("Main"));
    QCOMPARE(connection->statusText(), QStringLiteral("Never connected"));

    // Pasted as an address: a scheme in capitals and a closing slash.
    connection->setHost(QStringLiteral(" HTTPS://srv2/ "));
    connection->applySettings();
    QCOMPARE(connection->host(), QStringLiteral("srv2"));
    QCOMPARE(connection->getEndPoint(), QByteArray("https://srv2:4000"));
}

void TestServerConnection::plainServerAnswersFirstProbe()
{
    auto server = startServer();
    QVERIFY(server);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QSignalSpy connected(connection, &ServerConnection::connected);

    QVERIFY(connection->connectToServer());
    QVERIFY(!connection->isSecure());
    QVERIFY(connection->isOnline());
    QVERIFY(!connection->mustConnect());
    QCOMPARE(connected.count(), 1);
    QCOMPARE(connection->getEndPoint(), server->endpoint());
    QCOMPARE(operations(*server), QStringList { QStringLiteral("CheckConnect") });
    // The probe goes out without credentials.
    QVERIFY(server->journal().first().user.isEmpty());
    QVERIFY(server->journal().first().password.isEmpty());

    connection->login();
    QCOMPARE(connection->statusText(), QStringLiteral("Running"));
    QCOMPARE(connection->serverName(), QStringLiteral("Test Server"));
    QCOMPARE(connection->settings().serverName, QStringLiteral("Test Server"));
    QVERIFY(connection->lastCheckTime().isValid());
    QCOMPARE(connected.count(), 1);
    QCOMPARE(operations(*server).mid(1),
        (QStringList { QStringLiteral("GetStatus"), QStringLiteral("CheckUserNameAndPass") }));
}

void TestServerConnection::checkConnectAnsweringZeroIsNoAnswer()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFault(Operation::CheckConnect,
        Fault::rawBody(reply(QStringLiteral("CheckConnect"), QStringLiteral("<param-1>0</param-1>"))));
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());

    QVERIFY(!connection->connectToServer());
    QVERIFY(connection->mustConnect());
    QVERIFY(!connection->isOnline());
    // Both plain probes reached the server.
    QCOMPARE(operations(*server).count(QStringLiteral("CheckConnect")), 2);
    QCOMPARE(connection->getEndPoint(), server->endpoint());
}

void TestServerConnection::unreachableHostStaysOffline()
{
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, closedPort());
    QSignalSpy disconnected(connection, &ServerConnection::disconnected);

    auto *thread = new ConnectionThread(nullptr, connection, ActivityFlags::Login);
    thread->setUpdateParams(10, UpdateFlags::All); // keep it for its status text
    QSignalSpy finished(thread, &ConnectionThread::finished);
    thread->start();
    QVERIFY(finished.wait(5000));
    QCOMPARE(thread->getStatusText(), QStringLiteral("(Not connected)"));
    delete thread;

    QVERIFY(!connection->isOnline());
    QVERIFY(connection->mustConnect());
    QCOMPARE(connection->statusText(), QStringLiteral("Can't reach host"));
    QCOMPARE(connection->getEndPoint(), connection->plainEndPoint());
    QCOMPARE(disconnected.count(), 0); // it never was online
}

void TestServerConnection::connectionThatCannotBeAskedSaysWhy_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("status");
    const QString missing = QStringLiteral("The host name is missing or not valid");
    QTest::newRow("no host") << QString() << true << missing;
    QTest::newRow("scheme only") << QStringLiteral("https://") << true << missing;
    QTest::newRow("blanks") << QStringLiteral("   ") << true << missing;
    QTest::newRow("not a host name") << QStringLiteral("ser ver") << true << missing;
    QTest::newRow("disabled") << QStringLiteral("127.0.0.1") << false << QStringLiteral("Disabled");
}

void TestServerConnection::connectionThatCannotBeAskedSaysWhy()
{
    QFETCH(QString, host);
    QFETCH(bool, enabled);
    QFETCH(QString, status);
    ServerProxy proxy;
    ServerConnection *connection
        = proxy.getConnection(proxy.addConnection(QStringLiteral("user"), QString(), host, closedPort()));
    connection->setEnabled(enabled);
    connection->applySettings();

    HeldStdStreams streams;
    auto *thread = new ConnectionThread(nullptr, connection, ActivityFlags::Login);
    thread->setUpdateParams(10, UpdateFlags::All); // keep it
    thread->start();
    const bool ended = thread->wait(QDeadlineTimer(5000));
    streams.endInput();
    const bool stopped = thread->wait(QDeadlineTimer(20000));
    const QByteArray written = streams.restore();
    QVERIFY(stopped);
    delete thread;
    QVERIFY2(ended, "blocked on standard input");
    QVERIFY2(written.isEmpty(), written.constData());
    QCOMPARE(connection->statusText(), status);
    QVERIFY(!connection->isOnline());
    QVERIFY(connection->mustConnect());
    QVERIFY(!connection->lastCheckTime().isValid());

    // A job lock released meanwhile fails, and says nothing new.
    connection->releaseJobLock(QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1"));
    QCOMPARE(connection->runningUserCalls(), 1);
    QTRY_COMPARE(connection->runningUserCalls(), 0);
    QCOMPARE(connection->statusText(), status);
    QTRY_VERIFY(!proxy.hasConnectionActivity(connection));
    QCOMPARE(connection->statusText(), status);
}

void TestServerConnection::silentListenerCostsOnlyTheProbeTimes()
{
    // Connections are taken into the backlog and never answered, over
    // plain HTTP or TLS.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    const ServerConnection::CallTimeouts saved = ServerConnection::callTimeouts();
    ServerConnection::CallTimeouts probes = saved;
    probes.shortProbeMs = 300;
    probes.longProbeMs = 600;
    ServerConnection::setCallTimeouts(probes);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, silent.serverPort());

    QElapsedTimer clock;
    clock.start();
    QVERIFY(!connection->connectToServer());
    const qint64 elapsed = clock.elapsed();
    ServerConnection::setCallTimeouts(saved);
    QVERIFY2(elapsed < 2 * 300 + 2 * 600 + 1500, qPrintable(QString::number(elapsed)));
    QVERIFY(connection->mustConnect());
}

void TestServerConnection::slowServerHitsReceiveTimeout()
{
    auto server = startServer();
    QVERIFY(server);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QVERIFY(connection->connectToServer());
    server->setFault(Operation::GetStatus, Fault::delay(ServerConnection::callTimeouts().workerIoMs + 3000));

    QElapsedTimer clock;
    clock.start();
    connection->login();
    QVERIFY(clock.elapsed() < ServerConnection::callTimeouts().workerIoMs + 2000);
    QVERIFY(!connection->isOnline());
    QCOMPARE(connection->statusText(), QStringLiteral("The server did not answer in time"));
}

void TestServerConnection::pingGoesThroughWhileWorkerHangs()
{
    auto server = startServer();
    QVERIFY(server);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QVERIFY(connection->connectToServer());
    connection->login();
    QVERIFY(connection->isOnline());
    QVERIFY(connection->ping());

    server->setFault(Operation::GetFlowList07, Fault::hang());
    auto *thread = new ConnectionThread(nullptr, connection, ActivityFlags::Update);
    thread->setUpdateParams(10, UpdateFlags::SubmitPoints);
    thread->start();
    QVERIFY(server->waitForJournal(int(server->journal().size()) + 1, 5000));

    // User calls have contexts of their own: they do not wait for the
    // worker's call, blocking or not.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(connection->ping());
    QVERIFY(clock.elapsed() < 1000);
    bool answered = false;
    connection->pingAsync(this, [&answered](bool ok) { answered = ok; });
    QTRY_VERIFY_WITH_TIMEOUT(answered, 2000);
    QVERIFY(connection->isOnline());

    clock.restart();
    QVERIFY(thread->stop(5000));
    QVERIFY(clock.elapsed() < 1000);
    delete thread;
    server->releaseHangingCalls();
}

void TestServerConnection::pingOnNeverConnectedAsksForConnect()
{
    auto server = startServer();
    QVERIFY(server);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QSignalSpy activityEnded(&proxy, &ServerProxy::refreshConnectionModelRequest);

    QVERIFY(!connection->ping());
    QVERIFY(proxy.hasConnectionActivity(connection));
    QVERIFY(!connection->ping()); // a second request starts nothing new
    QVERIFY(activityEnded.wait(5000));
    QCOMPARE(activityEnded.count(), 1);
    QCOMPARE(activityEnded.first().first().toBool(), false);
    QVERIFY(!proxy.hasConnectionActivity(connection));
    QVERIFY(connection->isOnline());
    QCOMPARE(operations(*server), QStringList { QStringLiteral("CheckConnect") });
    QVERIFY(connection->ping());
}

void TestServerConnection::jobLocks()
{
    auto server = startServer();
    QVERIFY(server);
    testserver::Flow flow;
    flow.id = QStringLiteral("F1");
    flow.name = QStringLiteral("Flow one");
    testserver::CheckPoint checkPoint;
    checkPoint.id = QStringLiteral("C1");
    checkPoint.name = QStringLiteral("Check");
    testserver::Job job;
    job.id = QStringLiteral("J1");
    job.name = QStringLiteral("a.pdf");
    checkPoint.jobs.append(job);
    flow.checkPoints.append(checkPoint);
    server->setFlows({ flow });
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());

    // Not connected yet: nothing is sent.
    QVERIFY(
        !connection->setJobLockStatus(QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1"), 1));
    QVERIFY(connection->getJobLockStatus(QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1"))
                .isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!proxy.hasConnectionActivity(connection), 5000);
    QVERIFY(connection->isOnline());

    QVERIFY(
        connection->setJobLockStatus(QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1"), 1));
    const QString held = server->lock(QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1"));
    QVERIFY(!held.isEmpty());
    QCOMPARE(
        connection->getJobLockStatus(QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1")), held);
    QVERIFY(
        !connection->setJobLockStatus(QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("nope"), 1));
    QVERIFY(connection->isOnline());
    QVERIFY(
        connection->setJobLockStatus(QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1"), 0));
    QVERIFY(server->lock(QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1")).isEmpty());

    const JournalEntry last = server->journal().last();
    QCOMPARE(last.operation, QStringLiteral("SetJobLockStatus"));
    QCOMPARE(last.arguments.value(QStringLiteral("lockStatus")), QStringLiteral("0"));

    server->setFault(Operation::GetJobLockStatus, Fault::receiverFault());
    QSignalSpy disconnected(connection, &ServerConnection::disconnected);
    QVERIFY(connection->getJobLockStatus(QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1"))
                .isEmpty());
    QCOMPARE(disconnected.count(), 1);
    QVERIFY(connection->mustConnect());
}

// A lock check that hangs until its bound, while a later ping answers: the
// late failure does not take the connection offline (a queued push would
// wait for a reconnect nobody asks for).
void TestServerConnection::failureOvertakenBySuccessKeepsOnline()
{
    auto server = startServer();
    QVERIFY(server);
    const ServerConnection::CallTimeouts saved = ServerConnection::callTimeouts();
    ServerConnection::CallTimeouts bounds = saved;
    bounds.userIoMs = 1500;
    ServerConnection::setCallTimeouts(bounds);
    const auto restore = qScopeGuard([saved] { ServerConnection::setCallTimeouts(saved); });
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QVERIFY(connection->connectToServer());
    connection->login();
    QVERIFY(connection->isOnline());

    server->setFault(Operation::GetJobLockStatus, Fault::hang());
    QSignalSpy disconnected(connection, &ServerConnection::disconnected);
    bool answered = true;
    bool done = false;
    connection->getJobLockStatusAsync(QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1"),
        connection, [&](bool ok, const QString &) {
            answered = ok;
            done = true;
        });
    QTRY_VERIFY_WITH_TIMEOUT(server->journal().count() > 0
            && server->journal().last().operation == QStringLiteral("GetJobLockStatus"),
        5000);
    QVERIFY(connection->ping());
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    QVERIFY(!answered);
    QCOMPARE(disconnected.count(), 0);
    QVERIFY(connection->isOnline());

    // A failure with no later success still counts.
    connection->getJobLockStatusAsync(QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1"),
        connection, [&](bool, const QString &) {});
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 10000);
    QVERIFY(!connection->isOnline());
}

void TestServerConnection::closingSendsCloseOnlyWhenOnline()
{
    auto server = startServer();
    QVERIFY(server);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QSignalSpy disconnected(connection, &ServerConnection::disconnected);
    QSignalSpy cleared(&proxy, &ServerProxy::clearLogRequest);

    connection->disconnectFromServer();
    QCOMPARE(disconnected.count(), 0);
    QCOMPARE(cleared.count(), 0);
    QVERIFY(server->journal().isEmpty());

    QVERIFY(connection->connectToServer());
    connection->login();
    server->clearJournal();
    connection->disconnectFromServer();
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(cleared.first().first().toInt(), connection->connectionId());
    QCOMPARE(operations(*server), QStringList { QStringLiteral("CloseConnection") });
    QVERIFY(!server->journal().first().authorization.isEmpty());
    QVERIFY(!connection->isOnline());

    // A server that takes the close and never answers does not hold the
    // caller up.
    QVERIFY(connection->connectToServer());
    connection->login();
    server->setFault(Operation::CloseConnection, Fault::hang());
    QElapsedTimer clock;
    clock.start();
    connection->disconnectFromServer();
    QVERIFY(clock.elapsed() < ServerConnection::callTimeouts().closeMs + 1000);
    server->releaseHangingCalls();
}

void TestServerConnection::flowTable()
{
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, 1);
    QVERIFY(!connection->getFlow(QStringLiteral("F1")));
    QCOMPARE(connection->getFlowName(QStringLiteral("F1")), QStringLiteral(""));
    const FlowPtr first = connection->addFlow(QStringLiteral("F1"), QStringLiteral("One"));
    const FlowPtr again = connection->addFlow(QStringLiteral("F1"), QStringLiteral("Renamed"));
    QCOMPARE(first.get(), again.get());
    QCOMPARE(connection->getFlowName(QStringLiteral("F1")), QStringLiteral("Renamed"));
    QCOMPARE(connection->getFlow(QStringLiteral("F1")).get(), first.get());
}

VORNEX_TEST_GUILESS_MAIN(TestServerConnection)
