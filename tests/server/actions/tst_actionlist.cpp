#include "ActionList.h"
#include "PushJobAction.h"
#include "SavedSubmissions.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "SubmitFileAction.h"
#include "SubmitPoint.h"
#include "SubmitStatus.h"
#include "SubmitThread.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest/QTest>

#include <memory>

using TestFiles::settingsStore;
using TestFiles::writeFile;

namespace {

const QString flowId = QStringLiteral("flow-1");
const QString pointId = QStringLiteral("point-1");
const QString checkPointId = QStringLiteral("check-1");

testserver::Flow flow()
{
    testserver::Flow f;
    f.id = flowId;
    f.name = QStringLiteral("Flow");
    testserver::SubmitPoint point;
    point.id = pointId;
    point.name = QStringLiteral("Point");
    f.submitPoints.append(point);
    testserver::CheckPoint check;
    check.id = checkPointId;
    check.name = QStringLiteral("Check");
    for (const char *id : { "job-a", "job-b" }) {
        testserver::Job job;
        job.id = QString::fromLatin1(id);
        job.name = job.id;
        job.connections = { { QStringLiteral("out-1"), QStringLiteral("Approved") } };
        check.jobs.append(job);
    }
    f.checkPoints.append(check);
    return f;
}

std::unique_ptr<testserver::Server> startServerOn(quint16 port)
{
    auto server = std::make_unique<testserver::Server>();
    testserver::Options options;
    options.port = port;
    options.ioTimeoutSeconds = 5;
    if (!server->start(options))
        return nullptr;
    server->setFlows({ flow() });
    return server;
}

PushJobInfo pushTo(const QString &connectionId, bool push = true)
{
    PushJobInfo info;
    info.connectionIds = { connectionId };
    info.jobName = QStringLiteral("pushed");
    info.push = push;
    return info;
}

int count(const testserver::Server &server, const QString &operation)
{
    return int(ServerTest::operations(server).count(operation));
}

} // namespace

class TestActionList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void queueBasics();
    void pushesDoneInOnePassAreDroppedTogether();
    void submitActionsStayUntilTheJobIsSettled();
    void runningUploadIsLeftAlone();
    void submissionQueuedWhileServerIsDownRunsOnce();
    void submissionGoesOverHttpsWhenTheServerSpeaksIt();
    void pushQueuedWhileServerIsDownRunsOnce();
    void refusedPushIsReported();
    void lostPushIsSentAgain();
    void removedConnectionTakesItsActions();

private:
    QString path(const QString &name) const { return m_work + QLatin1Char('/') + name; }

    QString m_work;
    std::unique_ptr<ServerProxy> m_proxy;
};

void TestActionList::initTestCase()
{
    ServerTest::useShortTimeouts();
    SubmitThread::Timeouts timeouts;
    timeouts.connectMs = 3000;
    timeouts.sendMs = 5000;
    timeouts.receiveMs = 5000;
    SubmitThread::setTimeouts(timeouts);
}

void TestActionList::init()
{
    settingsStore().clear();
    m_work
        = QDir::tempPath() + QStringLiteral("/actions-") + QString::fromLatin1(QTest::currentTestFunction());
    QDir(m_work).removeRecursively();
    QVERIFY(QDir().mkpath(m_work));
    m_proxy = std::make_unique<ServerProxy>();
}

void TestActionList::cleanup()
{
    m_proxy.reset();
    if (!QTest::currentTestFailed())
        QDir(m_work).removeRecursively();
}

void TestActionList::queueBasics()
{
    ActionList list;
    QSignalSpy performed(&list, &ActionList::performed);
    ServerConnection connection(
        nullptr, QStringLiteral("user"), QString(), QStringLiteral("127.0.0.1"), ServerTest::closedPort());

    // Nothing queued for the connection: nothing happens.
    list.performActions(&connection);
    list.performAllActions();
    QCOMPARE(performed.count(), 0);

    // No connection: not queued, still the caller's.
    auto *orphan
        = new PushJobAction(nullptr, flowId, checkPointId, QStringLiteral("j"), pushTo(QStringLiteral("o")));
    QVERIFY(!list.addAction(orphan));
    QCOMPARE(list.count(), 0);
    delete orphan;

    // Removing does not delete.
    auto *action = new PushJobAction(
        &connection, flowId, checkPointId, QStringLiteral("j"), pushTo(QStringLiteral("o")));
    QPointer<PushJobAction> guard(action);
    QVERIFY(list.addAction(action));
    QVERIFY(!list.addAction(action));
    QCOMPARE(list.count(), 1);
    QVERIFY(list.removeAction(action));
    QVERIFY(!list.removeAction(action));
    QVERIFY(guard);
    delete action;
}

void TestActionList::pushesDoneInOnePassAreDroppedTogether()
{
    ActionList list;
    QSignalSpy performed(&list, &ActionList::performed);
    ServerConnection connection(
        nullptr, QStringLiteral("user"), QString(), QStringLiteral("127.0.0.1"), ServerTest::closedPort());
    ServerConnection other(
        nullptr, QStringLiteral("user"), QString(), QStringLiteral("127.0.0.1"), ServerTest::closedPort());
    // With the push flag clear there is nothing to send: done at once.
    QPointer<IAction> first
        = new PushJobAction(&connection, flowId, checkPointId, QStringLiteral("a"), pushTo(QString(), false));
    QPointer<IAction> second
        = new PushJobAction(&connection, flowId, checkPointId, QStringLiteral("b"), pushTo(QString(), false));
    QPointer<IAction> elsewhere
        = new PushJobAction(&other, flowId, checkPointId, QStringLiteral("c"), pushTo(QString(), false));
    list.addAction(first);
    list.addAction(second);
    list.addAction(elsewhere);

    list.performActions(&connection);
    QCOMPARE(performed.count(), 1);
    QVERIFY(!first && !second);
    QVERIFY(elsewhere);
    QCOMPARE(list.count(), 1);
    list.performAllActions();
    QCOMPARE(performed.count(), 2);
    QVERIFY(!elsewhere);
}

void TestActionList::submitActionsStayUntilTheJobIsSettled()
{
    const quint16 port = ServerTest::closedPort();
    ServerConnection *connection = ServerTest::addConnection(*m_proxy, port);
    const SubmitPointPtr point(new SubmitPoint(connection, pointId, flowId, QStringLiteral("Point")));
    QVERIFY(writeFile(path(QStringLiteral("a.bin")), 1000));
    const SubmittedFilePtr job = point->addJob(path(QStringLiteral("a.bin")));
    QSignalSpy performed(&m_proxy->actionList(), &ActionList::performed);

    m_proxy->submitFile(point, job);
    QCOMPARE(job->getStatus(), int(SubmitStatus::WaitingConnection));
    QCOMPARE(m_proxy->actionList().count(), 1);
    QCOMPARE(settingsStore()
                 .value(QStringLiteral("Submittions/127.0.0.1:%1/flow-1:point-1/0/job status").arg(port))
                 .toInt(),
        int(SubmitStatus::WaitingConnection));
    m_proxy->performQueuedActions();
    m_proxy->actionList().performActions(connection);
    QCOMPARE(performed.count(), 0);
    QCOMPARE(m_proxy->actionList().count(), 1);

    // Cancelled by the user: the proxy lets go of it.
    m_proxy->finishSubmit(job.get());
    QCOMPARE(m_proxy->actionList().count(), 0);
    QTRY_VERIFY(!m_proxy->hasConnectionActivity(connection));
}

void TestActionList::runningUploadIsLeftAlone()
{
    auto server = ServerTest::startServer();
    QVERIFY(server);
    server->setFlows({ flow() });
    server->setFault(testserver::Operation::SubmitFile08, testserver::Fault::throttleRequest(1 << 20));
    ServerConnection *connection = ServerTest::addConnection(*m_proxy, server->port());
    m_proxy->loginAllConnections();
    QTRY_VERIFY_WITH_TIMEOUT(connection->isOnline(), 10000);

    const SubmitPointPtr point(new SubmitPoint(connection, pointId, flowId, QStringLiteral("Point")));
    QVERIFY(writeFile(path(QStringLiteral("big.bin")), 3 * 1000 * 1000));
    const SubmittedFilePtr job = point->addJob(path(QStringLiteral("big.bin")));
    m_proxy->submitFile(point, job);
    QTRY_VERIFY_WITH_TIMEOUT(job->getSentSize() > 0, 10000);

    m_proxy->performQueuedActions();
    m_proxy->actionList().performActions(connection);
    QCOMPARE(job->getStatus(), int(SubmitStatus::Uploading));
    QTRY_COMPARE_WITH_TIMEOUT(job->getStatus(), int(SubmitStatus::Finished), 20000);
    QCOMPARE(count(*server, QStringLiteral("SubmitFile08")), 1);
    QTRY_COMPARE(m_proxy->actionList().count(), 0);
    QTRY_VERIFY(SavedSubmissions::readAll().isEmpty());
}

void TestActionList::submissionQueuedWhileServerIsDownRunsOnce()
{
    const quint16 port = ServerTest::closedPort();
    ServerConnection *connection = ServerTest::addConnection(*m_proxy, port);
    const SubmitPointPtr point(new SubmitPoint(connection, pointId, flowId, QStringLiteral("Point")));
    QVERIFY(writeFile(path(QStringLiteral("a.bin")), 2 * 1000 * 1000));
    const SubmittedFilePtr job = point->addJob(path(QStringLiteral("a.bin")));
    m_proxy->submitFile(point, job);
    QCOMPARE(job->getStatus(), int(SubmitStatus::WaitingConnection));
    QTRY_VERIFY_WITH_TIMEOUT(!m_proxy->hasConnectionActivity(connection), 10000);
    QVERIFY(!connection->isOnline());

    auto server = startServerOn(port);
    QVERIFY(server);
    // Coming up runs the queue; more passes meanwhile must not send it again.
    m_proxy->loginAllConnections();
    QTRY_VERIFY_WITH_TIMEOUT(job->getStatus() != SubmitStatus::WaitingConnection, 15000);
    m_proxy->performQueuedActions();
    m_proxy->actionList().performActions(connection);
    QTRY_COMPARE_WITH_TIMEOUT(job->getStatus(), int(SubmitStatus::Finished), 20000);
    m_proxy->performQueuedActions();
    m_proxy->loginAllConnections();
    QTRY_VERIFY(!m_proxy->hasConnectionActivity(connection));
    QCOMPARE(count(*server, QStringLiteral("SubmitFile08")), 1);
    QCOMPARE(server->uploads().size(), 1);
    QVERIFY(server->uploads().first().accepted);
    QCOMPARE(m_proxy->actionList().count(), 0);
    QTRY_VERIFY(SavedSubmissions::readAll().isEmpty());
}

void TestActionList::submissionGoesOverHttpsWhenTheServerSpeaksIt()
{
    auto server = ServerTest::startServer(true);
    QVERIFY(server);
    server->setFlows({ flow() });
    ServerConnection *connection = ServerTest::addConnection(*m_proxy, server->port());
    // The job is made before the connection knows that the server speaks HTTPS.
    const SubmitPointPtr point(new SubmitPoint(connection, pointId, flowId, QStringLiteral("Point")));
    QVERIFY(writeFile(path(QStringLiteral("a.bin")), 300000));
    const SubmittedFilePtr job = point->addJob(path(QStringLiteral("a.bin")));
    m_proxy->submitFile(point, job);
    m_proxy->loginAllConnections();
    QTRY_COMPARE_WITH_TIMEOUT(job->getStatus(), int(SubmitStatus::Finished), 20000);
    QVERIFY(connection->isSecure());
    const QList<testserver::Upload> uploads = server->uploads();
    QCOMPARE(uploads.size(), 1);
    QVERIFY(uploads[0].accepted);
    for (const testserver::JournalEntry &entry : server->journal()) {
        if (entry.operation == QStringLiteral("SubmitFile08"))
            QVERIFY(entry.secure);
    }
}

void TestActionList::pushQueuedWhileServerIsDownRunsOnce()
{
    const quint16 port = ServerTest::closedPort();
    ServerConnection *connection = ServerTest::addConnection(*m_proxy, port);
    QSignalSpy answered(m_proxy.get(), &ServerProxy::pushFinished);
    QSignalSpy checkPoints(m_proxy.get(), &ServerProxy::updateCheckPointsRequest);
    QVERIFY(!m_proxy->pushJob(
        connection, flowId, checkPointId, QStringLiteral("job-a"), pushTo(QStringLiteral("out-1"))));
    QCOMPARE(m_proxy->actionList().count(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!m_proxy->hasConnectionActivity(connection), 10000);

    auto server = startServerOn(port);
    QVERIFY(server);
    m_proxy->loginAllConnections();
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, 15000);
    QCOMPARE(answered.at(0).at(0).toString(), QStringLiteral("job-a"));
    QCOMPARE(answered.at(0).at(1).toBool(), true);
    QCOMPARE(m_proxy->actionList().count(), 0);
    QVERIFY(checkPoints.count() >= 1);
    m_proxy->performQueuedActions();
    m_proxy->loginAllConnections();
    QTRY_VERIFY(!m_proxy->hasConnectionActivity(connection));
    const QList<testserver::Push> pushes = server->pushes();
    QCOMPARE(pushes.size(), 1);
    QVERIFY(pushes[0].accepted);
    QCOMPARE(pushes[0].request.connectionIds, QStringList { QStringLiteral("out-1") });
    QCOMPARE(pushes[0].request.jobName, QStringLiteral("pushed"));
}

void TestActionList::refusedPushIsReported()
{
    auto server = ServerTest::startServer();
    QVERIFY(server);
    server->setFlows({ flow() });
    ServerConnection *connection = ServerTest::addConnection(*m_proxy, server->port());
    m_proxy->loginAllConnections();
    QTRY_VERIFY_WITH_TIMEOUT(connection->isOnline(), 10000);
    QSignalSpy answered(m_proxy.get(), &ServerProxy::pushFinished);

    // The job is not (or no longer) waiting there.
    m_proxy->pushJob(
        connection, flowId, checkPointId, QStringLiteral("gone"), pushTo(QStringLiteral("out-1")));
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, 10000);
    QCOMPARE(answered.at(0).at(1).toBool(), false);
    QVERIFY(!answered.at(0).at(2).toString().isEmpty());
    QCOMPARE(m_proxy->actionList().count(), 0);

    // Turned down with a fault.
    server->setFault(testserver::Operation::PushCheckpointJob, testserver::Fault::senderFault().times(1));
    m_proxy->pushJob(
        connection, flowId, checkPointId, QStringLiteral("job-a"), pushTo(QStringLiteral("out-1")));
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 2, 10000);
    QCOMPARE(answered.at(1).at(1).toBool(), false);
    QCOMPARE(m_proxy->actionList().count(), 0);
}

void TestActionList::lostPushIsSentAgain()
{
    auto server = ServerTest::startServer();
    QVERIFY(server);
    server->setFlows({ flow() });
    ServerConnection *connection = ServerTest::addConnection(*m_proxy, server->port());
    m_proxy->loginAllConnections();
    QTRY_VERIFY_WITH_TIMEOUT(connection->isOnline(), 10000);
    QSignalSpy answered(m_proxy.get(), &ServerProxy::pushFinished);

    // The request breaks off before the server took it in.
    server->setFault(
        testserver::Operation::PushCheckpointJob, testserver::Fault::dropRequestAfter(100).times(1));
    m_proxy->pushJob(
        connection, flowId, checkPointId, QStringLiteral("job-b"), pushTo(QStringLiteral("out-1")));
    QTRY_VERIFY_WITH_TIMEOUT(!connection->isOnline(), 10000);
    QCOMPARE(answered.count(), 0);
    QCOMPARE(m_proxy->actionList().count(), 1);
    QVERIFY(server->pushes().isEmpty());

    // Back online: sent again, and only then dropped from the queue.
    m_proxy->loginAllConnections();
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, 15000);
    QCOMPARE(answered.at(0).at(1).toBool(), true);
    QCOMPARE(m_proxy->actionList().count(), 0);
    QCOMPARE(server->pushes().size(), 1);
}

void TestActionList::removedConnectionTakesItsActions()
{
    const quint16 port = ServerTest::closedPort();
    ServerConnection *connection = ServerTest::addConnection(*m_proxy, port);
    const SubmitPointPtr point(new SubmitPoint(connection, pointId, flowId, QStringLiteral("Point")));
    QVERIFY(writeFile(path(QStringLiteral("a.bin")), 1000));
    const SubmittedFilePtr job = point->addJob(path(QStringLiteral("a.bin")));
    m_proxy->submitFile(point, job);
    m_proxy->pushJob(
        connection, flowId, checkPointId, QStringLiteral("job-a"), pushTo(QStringLiteral("out-1")));
    QCOMPARE(m_proxy->actionList().count(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(!m_proxy->hasConnectionActivity(connection), 10000);
    QVERIFY(m_proxy->removeConnection(m_proxy->indexOfConnection(connection)));
    QCOMPARE(m_proxy->actionList().count(), 0);
    QVERIFY(SavedSubmissions::readAll().isEmpty());
    m_proxy->performQueuedActions();
}

VORNEX_TEST_GUILESS_MAIN(TestActionList)
#include "tst_actionlist.moc"
