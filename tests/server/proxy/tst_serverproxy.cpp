#include "CallBounds.h"
#include "ConnectionThread.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "TestEnv.h"
#include "WorkFlags.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace testserver;
using namespace ServerTest;

namespace {

const QString completed = QStringLiteral("has completed");

void setData(Server &server)
{
    testserver::Flow flow;
    flow.id = QStringLiteral("F1");
    flow.name = QStringLiteral("Flow one");
    testserver::SubmitPoint point;
    point.id = QStringLiteral("S1");
    point.name = QStringLiteral("In");
    flow.submitPoints.append(point);
    testserver::CheckPoint checkPoint;
    checkPoint.id = QStringLiteral("C1");
    checkPoint.name = QStringLiteral("Review");
    flow.checkPoints.append(checkPoint);
    server.setFlows({ flow });
    LogEntry log;
    log.timeStamp = QStringLiteral("2024-05-01T10:00:00.000Z");
    log.message = QStringLiteral("<LogRecord>Started</LogRecord>");
    server.setLogs({ log });
    ProgressEntry progress;
    progress.jobName = QStringLiteral("a.pdf");
    progress.state = QStringLiteral("Waiting");
    server.setProgress({ progress });
}

bool idle(const ServerProxy &proxy, const ServerConnection *connection)
{
    return proxy.updateThreads(connection).isEmpty();
}

} // namespace

Q_DECLARE_METATYPE(testserver::Fault)

class TestServerProxy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void requestsWhileOneRunsAreMerged();
    void statusTextOfTwoConnections();
    void unusableSettingsStartNothing_data();
    void unusableSettingsStartNothing();
    void ownUpdateRequestIsIgnoredWhileRefreshing();
    void resultsAreTakenIn();
    void offlineResultsAreDropped();
    void failedFetchKeepsTheOthers_data();
    void failedFetchKeepsTheOthers();
    void partlyFailedUpdateIsCached();
    void replyOverItsLimitKeepsTheConnection();
    void removingDuringHangingUpdateIsBounded();
    void removingOfflineConnectionClearsItsData();
    void activitiesOnePerConnection();
    void localServerProbe();
    void disabledConnectionClearsInGuiThread();
    void closeAllConnectionsIsBounded();
    void destroyingProxyWithHangingThreads();
};

void TestServerProxy::initTestCase()
{
    useShortTimeouts();
}

void TestServerProxy::requestsWhileOneRunsAreMerged()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFault(Operation::GetStatus, Fault::delay(600).times(1));
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QSignalSpy views(&proxy, &ServerProxy::updateConnectionViewRequest);

    proxy.startUpdatingData(UpdateFlags::SubmitPoints);
    proxy.startUpdatingData(UpdateFlags::CheckPoints);
    proxy.startUpdatingData(UpdateFlags::Messages);
    const QList<ConnectionThread *> threads = proxy.updateThreads(connection);
    QCOMPARE(threads.size(), 2);
    QVERIFY(threads.at(0)->isRunning());
    QCOMPARE(threads.at(0)->updateFlags(), int(UpdateFlags::SubmitPoints));
    QVERIFY(!threads.at(1)->isRunning());
    QCOMPARE(threads.at(1)->updateFlags(), UpdateFlags::CheckPoints | UpdateFlags::Messages);
    QVERIFY(proxy.isUpdating(0));
    QVERIFY(!proxy.isUpdating(1));
    QVERIFY(!proxy.isUpdating(-1));

    // What the status line shows, polled as it polls, until a while after
    // the last update ended.
    QStringList whileRunning;
    QStringList afterwards;
    QElapsedTimer clock;
    clock.start();
    while (afterwards.size() < 10 && clock.elapsed() < 10000) {
        QTest::qWait(20);
        const bool ended = idle(proxy, connection);
        (ended ? afterwards : whileRunning).append(proxy.getUpdateStatusStr());
    }
    QCOMPARE(views.count(), 2);
    QVERIFY(!proxy.isUpdating(0));
    QVERIFY(whileRunning.contains(QStringLiteral("Updating connection 127.0.0.1 (Logging in)")));
    QCOMPARE(afterwards.first(), QStringLiteral("Updating connection Test Server has completed"));
    QCOMPARE(afterwards.first().count(completed), 1);
    QCOMPARE(afterwards.count(QString()), afterwards.size() - 1);
    // The first thread's data flags and the merged ones each went out once.
    const QStringList sent = operations(*server);
    QCOMPARE(sent.count(QStringLiteral("GetSubmitPoints07")), 1);
    QCOMPARE(sent.count(QStringLiteral("GetCheckPoints07")), 1);
    QCOMPARE(sent.count(QStringLiteral("GetLogData07")), 1);
    QCOMPARE(sent.count(QStringLiteral("GetProgressData")), 0);
}

void TestServerProxy::statusTextOfTwoConnections()
{
    auto first = startServer();
    auto second = startServer();
    QVERIFY(first && second);
    second->setStatus(QStringLiteral("Other"), QStringLiteral("Running"));
    first->setFault(Operation::GetStatus, Fault::delay(500).times(1));
    second->setFault(Operation::GetStatus, Fault::delay(500).times(1));
    ServerProxy proxy;
    ServerConnection *a = addConnection(proxy, first->port());
    ServerConnection *b = addConnection(proxy, second->port());

    proxy.startUpdatingData(UpdateFlags::Progress);
    QTRY_COMPARE_WITH_TIMEOUT(proxy.getUpdateStatusStr(),
        QStringLiteral("Updating connection 127.0.0.1 (Logging in), 127.0.0.1 (Logging in)"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(idle(proxy, a) && idle(proxy, b), 10000);
    QCOMPARE(proxy.getUpdateStatusStr(),
        QStringLiteral("Updating connection Test Server has completed, Other has completed"));
    QCOMPARE(proxy.getUpdateStatusStr(), QString());
}

void TestServerProxy::unusableSettingsStartNothing_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("port 0") << QStringLiteral("127.0.0.1") << 0 << QStringLiteral("user") << true;
    QTest::newRow("no host") << QString() << 51008 << QStringLiteral("user") << true;
    QTest::newRow("no user") << QStringLiteral("127.0.0.1") << 51008 << QString() << true;
    QTest::newRow("disabled") << QStringLiteral("127.0.0.1") << 51008 << QStringLiteral("user") << false;
}

void TestServerProxy::unusableSettingsStartNothing()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, user);
    QFETCH(bool, enabled);
    ServerProxy proxy;
    ServerConnection *connection = proxy.getConnection(proxy.addConnection(user, QString(), host, port));
    connection->setEnabled(enabled);
    proxy.startUpdatingData();
    proxy.startUpdatingConData(connection, UpdateFlags::All);
    QVERIFY(idle(proxy, connection));
    QVERIFY(connection->threads().isEmpty());
    QCOMPARE(proxy.getUpdateStatusStr(), QString());
}

void TestServerProxy::ownUpdateRequestIsIgnoredWhileRefreshing()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFault(Operation::GetStatus, Fault::delay(400).times(1));
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QSignalSpy views(&proxy, &ServerProxy::updateConnectionViewRequest);

    proxy.startUpdatingConData(connection, UpdateFlags::Progress);
    connection->timerUpdate();
    QCOMPARE(proxy.updateThreads(connection).size(), 1);
    QCOMPARE(views.count(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(idle(proxy, connection), 10000);

    connection->timerUpdate();
    QCOMPARE(views.count(), 2);
    const QList<ConnectionThread *> threads = proxy.updateThreads(connection);
    QCOMPARE(threads.size(), 1);
    QCOMPARE(threads.first()->updateFlags(), 7);
    QTRY_VERIFY_WITH_TIMEOUT(idle(proxy, connection), 10000);
}

void TestServerProxy::resultsAreTakenIn()
{
    auto server = startServer();
    QVERIFY(server);
    setData(*server);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QStringList order;
    connect(&proxy, &ServerProxy::aboutUpdateCheckPoints, this, [&] { order << QStringLiteral("about"); });
    connect(
        &proxy, &ServerProxy::updateSubmitPointsRequest, this, [&] { order << QStringLiteral("points"); });
    connect(&proxy, &ServerProxy::updateCheckPointsRequest, this,
        [&] { order << QStringLiteral("checkpoints"); });
    connect(&proxy, &ServerProxy::updateLogRequest, this, [&](const QString &key) { order << key; });
    connect(&proxy, &ServerProxy::updateProgressRequest, this, [&] { order << QStringLiteral("progress"); });
    connect(
        &proxy, &ServerProxy::updateConnectionViewRequest, this, [&] { order << QStringLiteral("view"); });

    proxy.startUpdatingData();
    QTRY_VERIFY_WITH_TIMEOUT(idle(proxy, connection), 10000);
    QCOMPARE(order.size(), 6);
    QCOMPARE(order.mid(0, 3),
        (QStringList { QStringLiteral("about"), QStringLiteral("points"), QStringLiteral("checkpoints") }));
    QCOMPARE(order.mid(4), (QStringList { QStringLiteral("progress"), QStringLiteral("view") }));
    const QString key = order.at(3);
    QVERIFY(key.endsWith(QString::number(connection->connectionId())));

    QList<LogMessage> messages;
    proxy.getLogData(key, messages);
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().message, QStringLiteral("Started"));
    QList<ProgressData> progress;
    proxy.getProgressData(progress);
    QCOMPARE(progress.size(), 1);
    QCOMPARE(progress.first().jobName, QStringLiteral("a.pdf"));
    const QVector<FlowPtr> flows = proxy.getFlows(connection);
    QCOMPARE(flows.size(), 1);
    QCOMPARE(proxy.getSubmitPoints(flows.first()).size(), 1);
    QCOMPARE(proxy.getCheckPoints(flows.first()).size(), 1);

    // A disabled connection's progress is left out.
    connection->setEnabled(false);
    progress.clear();
    proxy.getProgressData(progress);
    QVERIFY(progress.isEmpty());
}

void TestServerProxy::offlineResultsAreDropped()
{
    auto server = startServer();
    QVERIFY(server);
    setData(*server);
    server->setFault(Operation::CheckUserNameAndPass, Fault::senderFault());
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QSignalSpy views(&proxy, &ServerProxy::updateConnectionViewRequest);
    QSignalSpy points(&proxy, &ServerProxy::updateSubmitPointsRequest);

    proxy.startUpdatingData();
    QTRY_VERIFY_WITH_TIMEOUT(idle(proxy, connection), 10000);
    QCOMPARE(views.count(), 1);
    QCOMPARE(points.count(), 0);
    QVERIFY(proxy.getFlows(connection).isEmpty());
    QCOMPARE(proxy.getUpdateStatusStr(),
        QStringLiteral("Updating connection Test Server ") + ServerConnection::loginFailedText());
}

void TestServerProxy::failedFetchKeepsTheOthers_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("checkPoints");
    QTest::addColumn<bool>("log");
    QTest::addColumn<QString>("status");

    QTest::newRow("malformed log reply")
        << int(Operation::GetLogData07)
        << Fault::rawBody(QStringLiteral("<ombrel:GetLogData07Response><logs><recId>x</recId></logs>"
                                         "</ombrel:GetLogData07Response>"))
        << 1 << false << QStringLiteral("The server's answer could not be read");
    QTest::newRow("fault on checkpoints") << int(Operation::GetCheckPoints07) << Fault::receiverFault() << 0
                                          << true << QStringLiteral("The server reported an error");
}

void TestServerProxy::failedFetchKeepsTheOthers()
{
    QFETCH(int, operation);
    QFETCH(Fault, fault);
    QFETCH(int, checkPoints);
    QFETCH(bool, log);
    QFETCH(QString, status);
    auto server = startServer();
    QVERIFY(server);
    setData(*server);
    server->setFault(Operation(operation), fault);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QSignalSpy logs(&proxy, &ServerProxy::updateLogRequest);

    proxy.startUpdatingData();
    QTRY_VERIFY_WITH_TIMEOUT(idle(proxy, connection), 10000);
    QVERIFY(!connection->isOnline());
    // The offline connection says why, not what the server said before.
    QCOMPARE(connection->statusText(), status);
    const QVector<FlowPtr> flows = proxy.getFlows(connection);
    QCOMPARE(flows.size(), 1);
    QCOMPARE(proxy.getSubmitPoints(flows.first()).size(), 1);
    QCOMPARE(proxy.getCheckPoints(flows.first()).size(), checkPoints);
    QCOMPARE(logs.count(), log ? 1 : 0);
    QList<ProgressData> progress;
    proxy.getProgressData(progress);
    QCOMPARE(progress.size(), 1);
}

void TestServerProxy::partlyFailedUpdateIsCached()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString folderKey = QStringLiteral("General/ApplicationPath");
    QSettings().setValue(folderKey, folder.path());
    const auto forget = qScopeGuard([folderKey] { QSettings().remove(folderKey); });
    auto server = startServer();
    QVERIFY(server);
    setData(*server);
    QList<testserver::Flow> flows = server->flows();
    testserver::Job job;
    job.id = QStringLiteral("J1");
    job.name = QStringLiteral("new.pdf");
    job.connections = { { QStringLiteral("out-1"), QStringLiteral("Approved") } };
    flows[0].checkPoints[0].jobs = { job };
    server->setFlows(flows);
    server->setFault(Operation::GetLogData07,
        Fault::rawBody(QStringLiteral("<ombrel:GetLogData07Response>"
                                      "<logs><recId>x</recId></logs>"
                                      "</ombrel:GetLogData07Response>")));
    auto proxy = std::make_unique<ServerProxy>();
    ServerConnection *connection = addConnection(*proxy, server->port());
    proxy->startUpdatingData();
    QTRY_VERIFY_WITH_TIMEOUT(idle(*proxy, connection), 10000);
    QVERIFY(!connection->isOnline());
    const QVector<FlowPtr> shown = proxy->getFlows(connection);
    QCOMPARE(shown.size(), 1);
    ::CheckPoint *checkPoint = proxy->getCheckPoints(shown.first()).value(0).get();
    QVERIFY(checkPoint && checkPoint->hasJob(QStringLiteral("J1")));

    // The server is gone: the push waits, recorded in the file.
    server->setRefuseConnections(true);
    PushJobInfo info;
    info.connectionIds = { QStringLiteral("out-1") };
    info.jobName = job.name;
    info.push = true;
    QVERIFY(!checkPoint->pushJob(QStringLiteral("J1"), info));
    QVERIFY(proxy->waitForCacheWrites(5000));
    proxy.reset();

    // After a restart it shows what was shown, and the push is queued.
    ServerProxy restarted;
    connection = addConnection(restarted, server->port());
    QSignalSpy loaded(&restarted, &ServerProxy::cachedDataLoaded);
    restarted.loadCachedData();
    QVERIFY(loaded.wait(10000));
    const QVector<FlowPtr> cached = restarted.getFlows(connection);
    QCOMPARE(cached.size(), 1);
    checkPoint = restarted.getCheckPoints(cached.first()).value(0).get();
    QVERIFY(checkPoint);
    QCOMPARE(checkPoint->getJobStatus(QStringLiteral("J1")), int(CheckPointJobData::kPushWaiting));
    QCOMPARE(restarted.actionList().count(), 1);
}

void TestServerProxy::replyOverItsLimitKeepsTheConnection()
{
    auto server = startServer();
    QVERIFY(server);
    setData(*server);
    testserver::Flow reviewOnly;
    reviewOnly.id = QStringLiteral("F2");
    reviewOnly.name = QStringLiteral("Review only");
    testserver::CheckPoint checkPoint;
    checkPoint.id = QStringLiteral("C2");
    checkPoint.name = QStringLiteral("Approve");
    for (int i = 0; i < 50; ++i) {
        testserver::Job job;
        job.id = QString::number(i);
        job.name = QStringLiteral("job %1.pdf").arg(i);
        checkPoint.jobs.append(job);
    }
    reviewOnly.checkPoints.append(checkPoint);
    server->setFlows({ server->flows().first(), reviewOnly });
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QSignalSpy logs(&proxy, &ServerProxy::updateLogRequest);
    proxy.startUpdatingData();
    QTRY_VERIFY_WITH_TIMEOUT(idle(proxy, connection), 10000);
    QCOMPARE(proxy.getFlows(connection).size(), 2);

    // Fifty jobs are over this budget; a log message and a progress record
    // are not.
    CallBounds::setRecordBudget(4000);
    const auto restore = qScopeGuard([] { CallBounds::setRecordBudget(CallBounds::kRecordBudget); });
    for (int refresh = 0; refresh < 2; ++refresh) {
        proxy.startUpdatingData();
        QTRY_VERIFY_WITH_TIMEOUT(idle(proxy, connection), 10000);
    }
    QVERIFY(connection->isOnline());
    QCOMPARE(ServerTest::operations(*server).count(QStringLiteral("CheckConnect")), 1);
    QCOMPARE(connection->statusText(), QStringLiteral("The server's answer was too large: checkpoints"));
    QCOMPARE(proxy.fetchFailureNote(UpdateFlags::CheckPoints),
        QStringLiteral("Test Server: The server's answer was too large: checkpoints"));
    QVERIFY(proxy.fetchFailureNote(UpdateFlags::Progress).isEmpty());
    // What the refused reply would have replaced stays, flow included.
    const QVector<FlowPtr> flows = proxy.getFlows(connection);
    QCOMPARE(flows.size(), 2);
    QCOMPARE(proxy.getCheckPoints(flows.last()).size(), 1);
    QCOMPARE(logs.count(), 3);
}

void TestServerProxy::removingDuringHangingUpdateIsBounded()
{
    auto server = startServer();
    QVERIFY(server);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QVERIFY(connection->connectToServer());
    connection->login();
    server->setFault(Operation::GetFlowList07, Fault::hang());
    QSignalSpy points(&proxy, &ServerProxy::updateSubmitPointsRequest);
    QSignalSpy checkPoints(&proxy, &ServerProxy::updateCheckPointsRequest);
    QSignalSpy progress(&proxy, &ServerProxy::updateProgressRequest);
    QSignalSpy cleared(&proxy, &ServerProxy::clearLogRequest);

    proxy.startUpdatingData(UpdateFlags::SubmitPoints);
    proxy.startUpdatingData(UpdateFlags::Progress);
    QVERIFY(server->waitForJournal(5, 5000));
    QPointer<ConnectionThread> running = proxy.updateThreads(connection).at(0);
    QPointer<ConnectionThread> waiting = proxy.updateThreads(connection).at(1);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(proxy.removeConnection(0));
    QVERIFY(clock.elapsed() < 2000);
    QCOMPARE(proxy.getConnectionCount(), 0);
    QCOMPARE(points.count(), 1);
    QCOMPARE(checkPoints.count(), 1);
    QCOMPARE(progress.count(), 1);
    QCOMPARE(cleared.count(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(running.isNull() && waiting.isNull(), 5000);
    QVERIFY(!proxy.removeConnection(0));
    server->releaseHangingCalls();
}

void TestServerProxy::removingOfflineConnectionClearsItsData()
{
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, closedPort());
    QSignalSpy reset(&proxy, &ServerProxy::resetPages);
    QSignalSpy cleared(&proxy, &ServerProxy::clearLogRequest);
    const int id = connection->connectionId();
    QVERIFY(proxy.removeConnection(0));
    QCOMPARE(reset.count(), 1);
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(cleared.first().first().toInt(), id);
}

void TestServerProxy::activitiesOnePerConnection()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFault(Operation::GetStatus, Fault::delay(300).times(2));
    ServerProxy proxy;
    ServerConnection *first = addConnection(proxy, server->port());
    ServerConnection *second = addConnection(proxy, server->port());
    QSignalSpy ended(&proxy, &ServerProxy::refreshConnectionModelRequest);

    proxy.loginAllConnections();
    // Asked for while one runs (Apply's log-in): it waits for that one and
    // then runs once, however often it was asked for.
    proxy.startConnectionActivity(first, ActivityFlags::Login, false);
    proxy.startConnectionActivity(first, ActivityFlags::Login, false);
    proxy.startConnectionActivity(nullptr, ActivityFlags::Login, false);
    QVERIFY(proxy.hasConnectionActivity(first));
    QVERIFY(proxy.hasConnectionActivity(second));
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 3, 10000);
    QVERIFY(!proxy.hasConnectionActivity(first));
    QVERIFY(!proxy.hasConnectionActivity(second));
    QVERIFY(first->isOnline());
    QVERIFY(second->isOnline());
    QCOMPARE(operations(*server).count(QStringLiteral("CheckUserNameAndPass")), 3);
    proxy.startConnectionActivity(first, ActivityFlags::Login, false);
    QVERIFY(proxy.hasConnectionActivity(first));
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 4, 10000);
}

void TestServerProxy::localServerProbe()
{
    auto server = startServer();
    QVERIFY(server);
    ServerProxy proxy;
    ServerConnection *saved = addConnection(proxy, server->port());
    QSignalSpy refresh(&proxy, &ServerProxy::refreshConnectionModelRequest);

    proxy.tryDefaultConnection(QStringLiteral("user"), QString(), QStringLiteral("127.0.0.1"), closedPort());
    QTRY_COMPARE_WITH_TIMEOUT(refresh.count(), 1, 10000);
    QTest::qWait(50);
    QCOMPARE(proxy.getConnectionCount(), 1);

    refresh.clear();
    proxy.tryDefaultConnection(
        QStringLiteral("user"), QString(), QStringLiteral("127.0.0.1"), server->port());
    // Connect ended, probe added, log-in ended.
    QTRY_COMPARE_WITH_TIMEOUT(refresh.count(), 3, 10000);
    QCOMPARE(refresh.at(0).first().toBool(), false);
    QCOMPARE(refresh.at(1).first().toBool(), true);
    QCOMPARE(refresh.at(2).first().toBool(), false);
    QCOMPARE(proxy.getConnectionCount(), 2);
    ServerConnection *probe = proxy.getConnection(1);
    QVERIFY(probe->isOnline());
    QCOMPARE(probe->statusText(), QStringLiteral("Running"));
    QVERIFY(probe->connectionId() != saved->connectionId());
}

void TestServerProxy::disabledConnectionClearsInGuiThread()
{
    auto server = startServer();
    QVERIFY(server);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QVERIFY(connection->connectToServer());
    connection->login();
    QVERIFY(connection->isOnline());
    connection->setEnabled(false);
    connection->applySettings();

    QThread *clearedIn = nullptr;
    connect(&proxy, &ServerProxy::clearLogRequest, this, [&] { clearedIn = QThread::currentThread(); });
    QSignalSpy points(&proxy, &ServerProxy::updateSubmitPointsRequest);
    proxy.startConnectionActivity(connection, ActivityFlags::Login, false);
    QTRY_VERIFY_WITH_TIMEOUT(clearedIn, 5000);
    QCOMPARE(clearedIn, QThread::currentThread());
    QTRY_COMPARE_WITH_TIMEOUT(points.count(), 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!proxy.hasConnectionActivity(connection), 5000);
    QCOMPARE(connection->statusText(), QStringLiteral("Disabled"));
    QVERIFY(!connection->lastCheckTime().isValid());
    QCOMPARE(operations(*server).last(), QStringLiteral("CloseConnection"));
}

void TestServerProxy::closeAllConnectionsIsBounded()
{
    auto good = startServer();
    auto hanging = startServer();
    QVERIFY(good && hanging);
    ServerProxy proxy;
    ServerConnection *first = addConnection(proxy, good->port());
    ServerConnection *second = addConnection(proxy, hanging->port());
    for (ServerConnection *connection : { first, second }) {
        QVERIFY(connection->connectToServer());
        connection->login();
    }
    hanging->setFault(Operation::GetProgressData, Fault::hang());
    hanging->setFault(Operation::CloseConnection, Fault::hang());
    proxy.startUpdatingData(UpdateFlags::Progress);
    QVERIFY(hanging->waitForJournal(6, 5000));
    // The good server's request has arrived too, so that a loaded machine
    // cannot journal it after the close.
    QTRY_VERIFY_WITH_TIMEOUT(operations(*good).contains(QStringLiteral("GetProgressData")), 5000);
    // The good server's update has ended (a slow build may still be in it).
    QTRY_VERIFY_WITH_TIMEOUT(!first->hasRunningThreads(), 5000);

    QElapsedTimer clock;
    clock.start();
    proxy.closeAllConnections();
    QVERIFY(clock.elapsed() < 3000);
    QCOMPARE(operations(*good).last(), QStringLiteral("CloseConnection"));
    QVERIFY(!first->isOnline());
    QVERIFY(first->threads().isEmpty() || !first->hasRunningThreads());
    QVERIFY(!second->hasRunningThreads());
    hanging->releaseHangingCalls();
}

void TestServerProxy::destroyingProxyWithHangingThreads()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFault(Operation::GetStatus, Fault::hang());
    auto proxy = std::make_unique<ServerProxy>();
    ServerConnection *connection = addConnection(*proxy, server->port());
    proxy->startUpdatingData();
    proxy->startConnectionActivity(connection, ActivityFlags::Login, false);
    QVERIFY(server->waitForJournal(3, 5000));

    QElapsedTimer clock;
    clock.start();
    proxy.reset();
    QVERIFY(clock.elapsed() < 2000);
    QTest::qWait(50); // deferred deletes run without touching freed objects
    server->releaseHangingCalls();
}

VORNEX_TEST_GUILESS_MAIN(TestServerProxy)
#include "tst_serverproxy.moc"
