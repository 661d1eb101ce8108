#include "ConnectionThread.h"
#include "FetchedPoints.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "ServerTime.h"
#include "TestEnv.h"
#include "WorkFlags.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace testserver;
using namespace ServerTest;

namespace {

LogEntry logEntry(const QString &stamp, const QString &message, const QString &job = QString())
{
    LogEntry entry;
    entry.timeStamp = stamp;
    entry.module = QStringLiteral("Mover");
    entry.serverName = QStringLiteral("Test Server");
    entry.flowName = QStringLiteral("Flow one");
    entry.jobName = job;
    entry.message = message;
    entry.type = QStringLiteral("info");
    return entry;
}

QList<testserver::Flow> twoFlows()
{
    testserver::Flow first;
    first.id = QStringLiteral("F1");
    first.name = QStringLiteral("Flow one");
    testserver::SubmitPoint point;
    point.id = QStringLiteral("S1");
    point.name = QStringLiteral("In");
    first.submitPoints.append(point);
    testserver::Flow second;
    second.id = QStringLiteral("F2");
    second.name = QStringLiteral("Flow two");
    testserver::CheckPoint checkPoint;
    checkPoint.id = QStringLiteral("C1");
    checkPoint.name = QStringLiteral("Review");
    testserver::Job job;
    job.id = QStringLiteral("J1");
    job.name = QStringLiteral("a.pdf");
    checkPoint.jobs.append(job);
    second.checkPoints.append(checkPoint);
    return { first, second };
}

// Runs one thread to its end; the thread stays for its results.
std::unique_ptr<ConnectionThread> runThread(
    ServerConnection *connection, int activity, int updateFlags = UpdateFlags::All)
{
    auto thread = std::make_unique<ConnectionThread>(nullptr, connection, activity);
    thread->setUpdateParams(10, updateFlags);
    QSignalSpy finished(thread.get(), &ConnectionThread::finished);
    thread->start();
    if (!finished.wait(15000))
        return nullptr;
    return thread;
}

} // namespace

class TestConnectionThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fullUpdateOnNeverConnectedServer();
    void logRecords();
    void logTimeKeptWhenFirstStampDoesNotParse();
    void emptyLogReplyMovesToFetchTime();
    void messagesAloneFetchNoFlowList();
    void failedFetchGoesOfflineAndLaterStepsStillRun();
    void pushSendsAndFetchesNothing();
    void pushOnUnreachableServerSendsNothing();
    void selfDeletingThreadReportsOnce();
    void stopEndsAHangingCallAtOnce();
    void disablingEndsAHangingAttempt_data();
    void disablingEndsAHangingAttempt();
    void userCallLeavesADisabledConnectionOffline();
};

void TestConnectionThread::initTestCase()
{
    useShortTimeouts();
}

void TestConnectionThread::fullUpdateOnNeverConnectedServer()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFlows(twoFlows());
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());

    const auto thread = runThread(connection, ActivityFlags::Login | ActivityFlags::Update);
    QVERIFY(thread);
    QCOMPARE(thread->getStatusText(), QStringLiteral("has completed"));
    QCOMPARE(operations(*server),
        (QStringList { QStringLiteral("CheckConnect"), QStringLiteral("GetStatus"),
            QStringLiteral("CheckUserNameAndPass"), QStringLiteral("GetFlowList07"),
            QStringLiteral("GetSubmitPoints07"), QStringLiteral("GetCheckPoints07"),
            QStringLiteral("GetLogData07"), QStringLiteral("GetProgressData") }));
    const QList<JournalEntry> journal = server->journal();
    QCOMPARE(journal.at(4).arguments.value(QStringLiteral("flowIds[0]")), QStringLiteral("F1"));
    QCOMPARE(journal.at(4).arguments.value(QStringLiteral("flowIds[1]")), QStringLiteral("F2"));
    QCOMPARE(journal.at(5).arguments.value(QStringLiteral("withJobs")), QStringLiteral("1"));
    QCOMPARE(journal.at(6).arguments.value(QStringLiteral("lastTime")),
        QStringLiteral("2007-01-01T00:00:00.000Z"));
    QCOMPARE(journal.at(7).arguments.value(QStringLiteral("lastHours")), QStringLiteral("10"));

    const std::unique_ptr<FetchedPoints> points = thread->takeFetchedPoints();
    QVERIFY(points);
    QCOMPARE(points->submitPoints.size(), size_t(2));
    QCOMPARE(points->checkPoints.size(), 2);
    QCOMPARE(connection->getFlowName(QStringLiteral("F2")), QStringLiteral("Flow two"));
    QVERIFY(!thread->getLogTime().isEmpty());
    QVERIFY(thread->getLogTime().endsWith(QString::number(connection->connectionId())));
}

void TestConnectionThread::logRecords()
{
    auto server = startServer();
    QVERIFY(server);
    server->setLogs({ logEntry(QStringLiteral("2024-03-31T02:30:00.250Z"),
                          QStringLiteral("<LogRecord>Moved</LogRecord>"), QStringLiteral("a.pdf")),
        logEntry(QStringLiteral("2024-03-31T01:00:00.000Z"), QStringLiteral("not <xml")) });
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());

    auto thread = runThread(connection, ActivityFlags::Login | ActivityFlags::Update, UpdateFlags::Messages);
    QVERIFY(thread);
    // Three records came (the server's head record and two), two became
    // messages.
    const std::unique_ptr<LogBatch> batch = thread->takeLogBatch();
    QVERIFY(batch);
    QCOMPARE(batch->size(), 2);
    const LogMessage &first = batch->at(0);
    QCOMPARE(first.connectionId, connection->connectionId());
    QCOMPARE(first.timeStamp, ServerTime::parse(QStringLiteral("2024-03-31T02:30:00.250Z")));
    QCOMPARE(first.timeStamp.toUTC().time().hour(), 2);
    QCOMPARE(first.module, QStringLiteral("Mover"));
    QCOMPARE(first.server, QStringLiteral("Test Server"));
    QCOMPARE(first.flow, QStringLiteral("Flow one"));
    QCOMPARE(first.job, QStringLiteral("a.pdf"));
    QCOMPARE(first.type, QStringLiteral("info"));
    QCOMPARE(first.message, QStringLiteral("Moved"));
    QVERIFY(batch->at(1).message.isNull());

    // The head record's stamp, the newest, is where the next fetch starts;
    // it is UTC with a real "Z".
    QCOMPARE(connection->lastLogTime(), ServerTime::parse(QStringLiteral("2024-03-31T02:30:00.250Z")));
    server->clearJournal();
    thread = runThread(connection, ActivityFlags::Update, UpdateFlags::Messages);
    QVERIFY(thread);
    QCOMPARE(server->journal().first().arguments.value(QStringLiteral("lastTime")),
        QStringLiteral("2024-03-31T02:30:00.250Z"));
    QCOMPARE(thread->takeLogBatch()->size(), 0);
}

void TestConnectionThread::logTimeKeptWhenFirstStampDoesNotParse()
{
    auto server = startServer();
    QVERIFY(server);
    const QString record = QStringLiteral("<recId>%1</recId><timeStamp>%2</timeStamp><module/><serverName/>"
                                          "<flowName/><jobName/><message/><type/>");
    server->setFault(Operation::GetLogData07,
        Fault::rawBody(reply(QStringLiteral("GetLogData07"),
            QStringLiteral("<logs>%1</logs><logs>%2</logs>")
                .arg(record.arg(0).arg(QStringLiteral("yesterday")),
                    record.arg(7).arg(QStringLiteral("2024-01-02T03:04:05.006Z"))))));
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    const QDateTime before = connection->lastLogTime();

    auto thread = runThread(connection, ActivityFlags::Login | ActivityFlags::Update, UpdateFlags::Messages);
    QVERIFY(thread);
    const std::unique_ptr<LogBatch> batch = thread->takeLogBatch();
    QVERIFY(batch);
    QCOMPARE(batch->size(), 1);
    QCOMPARE(batch->first().recordId, 7);
    QCOMPARE(connection->lastLogTime(), before);
}

void TestConnectionThread::emptyLogReplyMovesToFetchTime()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFault(
        Operation::GetLogData07, Fault::rawBody(reply(QStringLiteral("GetLogData07"), QString())));
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    const QDateTime start = QDateTime::currentDateTimeUtc().addMSecs(-1);

    auto thread = runThread(connection, ActivityFlags::Login | ActivityFlags::Update, UpdateFlags::Messages);
    QVERIFY(thread);
    const std::unique_ptr<LogBatch> batch = thread->takeLogBatch();
    QVERIFY(batch);
    QVERIFY(batch->isEmpty());
    QVERIFY(!thread->getLogTime().isEmpty());
    QVERIFY(connection->lastLogTime() >= start);
    QVERIFY(connection->lastLogTime() <= QDateTime::currentDateTimeUtc());
    QVERIFY(thread->getLogTime().startsWith(ServerTime::format(connection->lastLogTime())));
}

void TestConnectionThread::messagesAloneFetchNoFlowList()
{
    auto server = startServer();
    QVERIFY(server);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());

    auto thread = runThread(connection, ActivityFlags::Login | ActivityFlags::Update,
        UpdateFlags::Messages | UpdateFlags::Progress);
    QVERIFY(thread);
    QCOMPARE(operations(*server).mid(3),
        (QStringList { QStringLiteral("GetLogData07"), QStringLiteral("GetProgressData") }));
    QVERIFY(!thread->takeFetchedPoints());
    QVERIFY(thread->takeProgressList());
}

void TestConnectionThread::failedFetchGoesOfflineAndLaterStepsStillRun()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFlows(twoFlows());
    server->setFault(Operation::GetFlowList07, Fault::receiverFault());
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    connection->addFlow(QStringLiteral("old"), QStringLiteral("Old"));
    QSignalSpy disconnected(connection, &ServerConnection::disconnected);

    auto thread = runThread(connection, ActivityFlags::Login | ActivityFlags::Update);
    QVERIFY(thread);
    QCOMPARE(disconnected.count(), 1);
    QVERIFY(!connection->isOnline());
    // The flow table went with the failed flow list; the steps after it
    // were still made, with no flow ids.
    QVERIFY(!connection->getFlow(QStringLiteral("old")));
    QCOMPARE(operations(*server).mid(3),
        (QStringList { QStringLiteral("GetFlowList07"), QStringLiteral("GetSubmitPoints07"),
            QStringLiteral("GetCheckPoints07"), QStringLiteral("GetLogData07"),
            QStringLiteral("GetProgressData") }));
    QVERIFY(!server->journal().at(4).arguments.contains(QStringLiteral("flowIds[0]")));
    QCOMPARE(thread->getStatusText(), QStringLiteral("has completed"));
}

void TestConnectionThread::pushSendsAndFetchesNothing()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFlows(twoFlows());
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());

    PushJobInfo info;
    info.jobName = QStringLiteral("renamed.pdf");
    info.connectionIds = QStringList { QStringLiteral("out1"), QStringLiteral("out2") };
    MetadataToFill field;
    field.label = QStringLiteral("Approved by");
    field.value = QStringLiteral("Ann");
    field.valueIsRequired = true;
    field.key = QStringLiteral("never:sent");
    info.requiredMetadata.append(field);
    info.push = true;

    auto thread = std::make_unique<ConnectionThread>(
        nullptr, connection, ActivityFlags::Push | ActivityFlags::Update);
    thread->setUpdateParams(10, UpdateFlags::All);
    thread->setPushParams(QStringLiteral("F2"), QStringLiteral("C1"), QStringLiteral("J1"), info);
    QSignalSpy finished(thread.get(), &ConnectionThread::finished);
    thread->start();
    QVERIFY(finished.wait(10000));

    QCOMPARE(operations(*server),
        (QStringList { QStringLiteral("CheckConnect"), QStringLiteral("PushCheckpointJob") }));
    const QList<Push> pushes = server->pushes();
    QCOMPARE(pushes.size(), 1);
    QCOMPARE(pushes.first().jobId, QStringLiteral("J1"));
    QCOMPARE(pushes.first().request.jobName, QStringLiteral("renamed.pdf"));
    QCOMPARE(pushes.first().request.connectionIds, info.connectionIds);
    QCOMPARE(pushes.first().request.requiredMetadata.size(), 1);
    QCOMPARE(pushes.first().request.requiredMetadata.first().value, QStringLiteral("Ann"));
    QVERIFY(!thread->takeFetchedPoints());
}

void TestConnectionThread::pushOnUnreachableServerSendsNothing()
{
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, closedPort());
    auto thread = runThread(connection, ActivityFlags::Push);
    QVERIFY(thread);
    QCOMPARE(thread->getStatusText(), QStringLiteral("(Not connected)"));
    QVERIFY(connection->mustConnect());
}

void TestConnectionThread::selfDeletingThreadReportsOnce()
{
    auto server = startServer();
    QVERIFY(server);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());

    QPointer<ConnectionThread> thread = new ConnectionThread(nullptr, connection, ActivityFlags::Login);
    QSignalSpy finished(thread.data(), &ConnectionThread::finished);
    thread->start();
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().value<ServerConnection *>(), connection);
    QTRY_VERIFY_WITH_TIMEOUT(thread.isNull(), 5000);
    QVERIFY(connection->threads().isEmpty());
    QVERIFY(connection->isOnline());
}

void TestConnectionThread::stopEndsAHangingCallAtOnce()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFault(Operation::GetStatus, Fault::hang());
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());

    auto thread = std::make_unique<ConnectionThread>(
        nullptr, connection, ActivityFlags::Login | ActivityFlags::Update);
    thread->setUpdateParams(10, UpdateFlags::All);
    thread->start();
    QVERIFY(server->waitForJournal(2, 5000));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(thread->stop(5000));
    QVERIFY(clock.elapsed() < 1000);
    // Nothing after the stop reached the server.
    QCOMPARE(
        operations(*server), (QStringList { QStringLiteral("CheckConnect"), QStringLiteral("GetStatus") }));
    // The cut call tells nothing about the server.
    QVERIFY(connection->isOnline());
    QVERIFY(connection->statusText() != QStringLiteral("Can't reach host"));
    server->releaseHangingCalls();
}

void TestConnectionThread::disablingEndsAHangingAttempt_data()
{
    QTest::addColumn<int>("hanging");
    QTest::newRow("connect") << int(Operation::CheckConnect);
    QTest::newRow("status") << int(Operation::GetStatus);
    QTest::newRow("log-in") << int(Operation::CheckUserNameAndPass);
}

// Unticked and applied, as the Connections page does, while the first
// log-in hangs: the attempt ends at once and the connection says
// "Disabled"; ticked again, it logs in.
void TestConnectionThread::disablingEndsAHangingAttempt()
{
    QFETCH(int, hanging);
    const ServerConnection::CallTimeouts saved = ServerConnection::callTimeouts();
    ServerConnection::CallTimeouts bounds = saved;
    // Longer than the waits below: only a stopped attempt ends in time.
    bounds.shortProbeMs = 15000;
    bounds.longProbeMs = 15000;
    bounds.workerIoMs = 15000;
    ServerConnection::setCallTimeouts(bounds);
    const auto restore = qScopeGuard([saved] { ServerConnection::setCallTimeouts(saved); });
    auto server = startServer();
    QVERIFY(server);
    const Operation operation = Operation(hanging);
    server->setFault(operation, Fault::hang());
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    proxy.loginAllConnections();
    QTRY_VERIFY_WITH_TIMEOUT(operations(*server).contains(OperationInfo::name(operation)), 5000);

    connection->setEnabled(false);
    connection->applySettings();
    proxy.startConnectionActivity(connection, ActivityFlags::Login, false);
    QTRY_VERIFY_WITH_TIMEOUT(!proxy.hasConnectionActivity(connection), 5000);
    QCOMPARE(connection->statusText(), QStringLiteral("Disabled"));
    QVERIFY(!connection->isOnline());
    QVERIFY(!connection->lastCheckTime().isValid());

    server->clearFaults();
    server->releaseHangingCalls();
    connection->setEnabled(true);
    connection->applySettings();
    proxy.startConnectionActivity(connection, ActivityFlags::Login, false);
    QTRY_VERIFY_WITH_TIMEOUT(connection->isOnline(), 10000);
    QCOMPARE(connection->statusText(), QStringLiteral("Running"));
}

// A lock release still goes out for a disabled connection, but its answer
// does not bring the connection online: queued work would follow.
void TestConnectionThread::userCallLeavesADisabledConnectionOffline()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFlows(twoFlows());
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    proxy.loginAllConnections();
    QTRY_VERIFY_WITH_TIMEOUT(connection->isOnline(), 10000);
    QTRY_VERIFY(!proxy.hasConnectionActivity(connection));
    connection->setEnabled(false);
    connection->applySettings();
    proxy.startConnectionActivity(connection, ActivityFlags::Login, false);
    QTRY_VERIFY_WITH_TIMEOUT(!proxy.hasConnectionActivity(connection), 5000);
    QCOMPARE(connection->statusText(), QStringLiteral("Disabled"));

    QSignalSpy connected(connection, &ServerConnection::connected);
    connection->releaseJobLock(QStringLiteral("F2"), QStringLiteral("C1"), QStringLiteral("J1"));
    QTRY_COMPARE_WITH_TIMEOUT(connection->pendingLockReleases(), 0, 5000);
    QVERIFY(operations(*server).contains(QStringLiteral("SetJobLockStatus")));
    QVERIFY(!connection->isOnline());
    QCOMPARE(connected.count(), 0);
    QCOMPARE(connection->statusText(), QStringLiteral("Disabled"));
}

VORNEX_TEST_GUILESS_MAIN(TestConnectionThread)
#include "tst_connectionthread.moc"
