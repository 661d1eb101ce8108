#include "ActionList.h"
#include "CheckPoint.h"
#include "LoopStall.h"
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
#include "WorkFlags.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
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

bool upload(const QString &what)
{
    return what == QLatin1String("submission") || what == QLatin1String("replacement");
}

testserver::Fault faultNamed(const QString &name, bool upload)
{
    using testserver::Fault;
    if (name == QLatin1String("reply lost"))
        return Fault::dropReplyAfter(10).times(1);
    if (name == QLatin1String("HTTP 500"))
        return Fault::httpStatus(500).times(1);
    if (name == QLatin1String("garbage"))
        return Fault::httpStatus(200, QStringLiteral("<<not a reply at all")).times(1);
    if (name == QLatin1String("refusal"))
        return Fault::senderFault().times(1);
    if (name == QLatin1String("dropped midway"))
        return Fault::dropRequestAfter(upload ? 300000 : 200).times(1);
    return Fault();
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
    void deliveryUnderFaults_data();
    void deliveryUnderFaults();
    void removedConnectionTakesItsActions();
    void turnedDownSubmissionGoesAtTheNextRefresh_data();
    void turnedDownSubmissionGoesAtTheNextRefresh();

private:
    QString path(const QString &name) const { return m_work + QLatin1Char('/') + name; }

    QString m_work;
    std::unique_ptr<ServerProxy> m_proxy;
    std::unique_ptr<QTemporaryDir> m_settings;
};

void TestActionList::initTestCase()
{
    // Saved jobs are synced to disk from the GUI thread; on a machine busy
    // with other suites one sync can wait a second for their data. The
    // stall figures here are about the network, so the settings live in
    // memory where there is a memory file system.
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
        m_settings = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/vornex-settings-XXXXXX"));
        if (m_settings->isValid())
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings->path());
    }
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
    server->setFault(testserver::Operation::SubmitFile08, testserver::Fault::throttleRequest(4 << 20));
    ServerConnection *connection = ServerTest::addConnection(*m_proxy, server->port());
    m_proxy->loginAllConnections();
    QTRY_VERIFY_WITH_TIMEOUT(connection->isOnline(), 10000);

    const SubmitPointPtr point(new SubmitPoint(connection, pointId, flowId, QStringLiteral("Point")));
    // Larger than what the kernel's socket buffers take in at once.
    QVERIFY(writeFile(path(QStringLiteral("big.bin")), 16 * 1000 * 1000));
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
    QCOMPARE(answered.at(0).at(2).toString(), QStringLiteral("The server refused to send the job on."));
    QCOMPARE(m_proxy->actionList().count(), 0);

    // Turned down with a fault.
    server->setFault(testserver::Operation::PushCheckpointJob, testserver::Fault::senderFault().times(1));
    m_proxy->pushJob(
        connection, flowId, checkPointId, QStringLiteral("job-a"), pushTo(QStringLiteral("out-1")));
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 2, 10000);
    QCOMPARE(answered.at(1).at(1).toBool(), false);
    QCOMPARE(m_proxy->actionList().count(), 0);
}

void TestActionList::deliveryUnderFaults_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("copies"); // the server's copies (releases: lock gone)
    QTest::addColumn<int>("requests"); // how often the request reached it
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("https");
    const QString operation[] = { QStringLiteral("submission"), QStringLiteral("push"),
        QStringLiteral("replacement"), QStringLiteral("release") };
    // Once a request left, it is never sent again: the server keeps what
    // it carried out, the client says what it knows.
    const QString lost[] = { QStringLiteral("7 may"), QStringLiteral("unanswered gone"),
        QStringLiteral("failed may"), QStringLiteral("sent") };
    const QString refused[] = { QStringLiteral("7 refused"), QStringLiteral("refused listed"),
        QStringLiteral("failed"), QStringLiteral("sent") };
    const QString waited[] = { QStringLiteral("5"), QStringLiteral("accepted gone"), QStringLiteral("failed"),
        QStringLiteral("sent") };
    const QString dropped[] = { QStringLiteral("7 broke"), QStringLiteral("unanswered listed"),
        QStringLiteral("failed"), QStringLiteral("sent") };
    const QString fine[] = { QStringLiteral("5"), QStringLiteral("accepted gone"), QStringLiteral("replaced"),
        QStringLiteral("sent") };
    for (int i = 0; i < 4; ++i) {
        const QString &w = operation[i];
        for (const char *f : { "reply lost", "HTTP 500", "garbage" })
            QTest::addRow("%s, %s", qPrintable(w), f)
                << w << QString::fromLatin1(f) << 1 << 1 << lost[i] << false;
        QTest::addRow("%s, refusal", qPrintable(w))
            << w << QStringLiteral("refusal") << 0 << 1 << refused[i] << false;
        // Never got there: queued ones go once the server is back; a
        // replacement is the user's to start again.
        const int later = w == QLatin1String("replacement") ? 0 : 1;
        QTest::addRow("%s, connection refused", qPrintable(w))
            << w << QStringLiteral("connection refused") << later << later << waited[i] << false;
        QTest::addRow("%s, dropped midway", qPrintable(w))
            << w << QStringLiteral("dropped midway") << 0 << 1 << dropped[i] << false;
        QTest::addRow("%s, slow refresh", qPrintable(w))
            << w << QStringLiteral("slow refresh") << 1 << 1 << fine[i] << false;
    }
    // Over TLS the bytes go out through the same hooks.
    QTest::newRow("submission over https, reply lost")
        << operation[0] << QStringLiteral("reply lost") << 1 << 1 << lost[0] << true;
}

void TestActionList::deliveryUnderFaults()
{
    QFETCH(QString, what);
    QFETCH(QString, fault);
    QFETCH(int, copies);
    QFETCH(int, requests);
    QFETCH(QString, shown);
    QFETCH(bool, https);
    using testserver::Operation;
    const bool isUpload = upload(what);
    const Operation op = what == QLatin1String("submission") ? Operation::SubmitFile08
        : what == QLatin1String("push")                      ? Operation::PushCheckpointJob
        : what == QLatin1String("replacement")               ? Operation::ReplaceFile08
                                                             : Operation::SetJobLockStatus;
    const QString opName = testserver::OperationInfo::name(op);
    ServerConnection::setLockRetryMs(200);

    auto server = ServerTest::startServer(https);
    QVERIFY(server);
    server->setFlows({ flow() });
    const QString jobId = QStringLiteral("job-a");
    server->setLock(flowId, checkPointId, jobId, QStringLiteral("user (127.0.0.1)"));
    ServerConnection *connection = ServerTest::addConnection(*m_proxy, server->port());
    m_proxy->loginAllConnections();
    QTRY_VERIFY_WITH_TIMEOUT(connection->isOnline(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_proxy->hasConnectionActivity(connection), 10000);
    m_proxy->startUpdatingConData(connection, UpdateFlags::CheckPoints);
    QTRY_VERIFY_WITH_TIMEOUT(!m_proxy->getFlows(connection).isEmpty(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(m_proxy->updateThreads(connection).isEmpty(), 10000);
    CheckPoint *check = m_proxy->getCheckPoints(m_proxy->getFlows(connection).first()).first().get();
    QVERIFY(check->hasJob(jobId));

    const SubmitPointPtr point(new SubmitPoint(connection, pointId, flowId, QStringLiteral("Point")));
    // A drop midway needs more than the kernel's socket buffers hold, or
    // every byte has left before the server breaks off.
    const qint64 jobSize = fault == QLatin1String("dropped midway") ? 64 << 20 : 1000 * 1000;
    QVERIFY(writeFile(path(QStringLiteral("job.bin")), jobSize));
    const SubmittedFilePtr job = point->addJob(path(QStringLiteral("job.bin")));
    const SubstituteFilePtr replacement(
        new SubstituteFile(flowId, checkPointId, jobId, path(QStringLiteral("job.bin"))));
    QSignalSpy pushAnswers(m_proxy.get(), &ServerProxy::pushFinished);

    if (fault == QLatin1String("connection refused")) {
        // Long enough for the first attempt to fail; a release tries again
        // by itself until it gets through.
        server->refuseConnectionsFor(3000);
    } else if (fault == QLatin1String("slow refresh")) {
        server->setFault(Operation::GetCheckPoints07, testserver::Fault::delay(4000).times(1));
        m_proxy->startUpdatingConData(connection, UpdateFlags::CheckPoints);
        QTRY_VERIFY_WITH_TIMEOUT(
            ServerTest::operations(*server).count(QStringLiteral("GetCheckPoints07")) == 2, 5000);
    } else {
        server->setFault(op, faultNamed(fault, isUpload));
    }

    // The user's action, and what the client makes of it: the GUI thread
    // never waits for the network meanwhile.
    const auto stall = std::make_unique<LoopStall>();
    if (what == QLatin1String("submission"))
        m_proxy->submitFile(point, job);
    else if (what == QLatin1String("push"))
        check->pushJob(jobId, pushTo(QStringLiteral("out-1")));
    else if (what == QLatin1String("replacement"))
        QVERIFY(check->replaceJob(replacement));
    else
        check->releaseLock(jobId);
    if (fault == QLatin1String("connection refused")) {
        if (what == QLatin1String("replacement"))
            QTRY_VERIFY_WITH_TIMEOUT(!check->isReplacing(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!connection->isOnline(), 10000);
    } else if (what == QLatin1String("submission")) {
        QTRY_VERIFY_WITH_TIMEOUT(
            job->getStatus() == SubmitStatus::Finished || job->getStatus() == SubmitStatus::Error, 15000);
    } else if (what == QLatin1String("push")) {
        QTRY_VERIFY_WITH_TIMEOUT(m_proxy->actionList().count() == 0, 15000);
    } else if (what == QLatin1String("replacement")) {
        QTRY_VERIFY_WITH_TIMEOUT(!check->isReplacing(), 15000);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(connection->pendingLockReleases(), 0, 15000);
    }
    if (fault == QLatin1String("slow refresh"))
        QVERIFY2(!m_proxy->updateThreads(connection).isEmpty(), "the action waited for the refresh");
    const qint64 waited = stall->longestMs();
    qInfo("%s: the GUI thread waited at most %lld ms", QTest::currentDataTag(), waited);
    QVERIFY(waited < 200);

    // The server comes back, or simply answers again: nothing is sent twice.
    if (fault == QLatin1String("connection refused"))
        server->setRefuseConnections(false);
    m_proxy->loginAllConnections();
    QTRY_VERIFY_WITH_TIMEOUT(connection->isOnline(), 10000);
    if (fault == QLatin1String("connection refused") && what != QLatin1String("replacement")) {
        if (what == QLatin1String("submission"))
            QTRY_COMPARE_WITH_TIMEOUT(job->getStatus(), int(SubmitStatus::Finished), 15000);
        else if (what == QLatin1String("push"))
            QTRY_COMPARE_WITH_TIMEOUT(m_proxy->actionList().count(), 0, 15000);
        else
            QTRY_COMPARE_WITH_TIMEOUT(connection->pendingLockReleases(), 0, 15000);
    }
    m_proxy->performQueuedActions();
    m_proxy->startUpdatingConData(connection, UpdateFlags::CheckPoints);
    QTRY_VERIFY_WITH_TIMEOUT(m_proxy->updateThreads(connection).isEmpty(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_proxy->hasConnectionActivity(connection), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(connection->runningUserCalls(), 0, 10000);

    int held = 0;
    if (isUpload) {
        for (const testserver::Upload &received : server->uploads())
            held += received.accepted && received.operation == op ? 1 : 0;
    } else if (what == QLatin1String("push")) {
        for (const testserver::Push &received : server->pushes())
            held += received.accepted ? 1 : 0;
    } else {
        held = server->lock(flowId, checkPointId, jobId).isEmpty() ? 1 : 0;
    }
    QCOMPARE(held, copies);
    QCOMPARE(count(*server, opName), requests);

    QString truth;
    if (what == QLatin1String("submission")) {
        const QString note = job->deliveryNote();
        truth = QString::number(job->getStatus());
        if (note.contains(QStringLiteral("may have taken")))
            truth += QStringLiteral(" may");
        else if (note.contains(QStringLiteral("refused")))
            truth += QStringLiteral(" refused");
        else if (note.contains(QStringLiteral("broke off")))
            truth += QStringLiteral(" broke");
        QCOMPARE(m_proxy->actionList().count(), 0);
    } else if (what == QLatin1String("push")) {
        truth = pushAnswers.isEmpty()            ? QStringLiteral("unanswered")
            : pushAnswers.first().at(1).toBool() ? QStringLiteral("accepted")
                                                 : QStringLiteral("refused");
        truth += check->hasJob(jobId) ? QStringLiteral(" listed") : QStringLiteral(" gone");
    } else if (what == QLatin1String("replacement")) {
        truth = replacement->getStatus() == ReplaceStatus::Replaced ? QStringLiteral("replaced")
                                                                    : QStringLiteral("failed");
        if (replacement->mayHaveArrived())
            truth += QStringLiteral(" may");
    } else {
        truth = connection->pendingLockReleases() == 0 ? QStringLiteral("sent") : QStringLiteral("pending");
    }
    QCOMPARE(truth, shown);
}

void TestActionList::turnedDownSubmissionGoesAtTheNextRefresh_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("told");
    QTest::newRow("SOAP fault") << QStringLiteral("refusal") << QStringLiteral("Refused by the test server");
    QTest::newRow("HTTP 500") << QStringLiteral("HTTP 500") << QStringLiteral("HTTP 500");
}

void TestActionList::turnedDownSubmissionGoesAtTheNextRefresh()
{
    QFETCH(QString, fault);
    QFETCH(QString, told);
    auto server = ServerTest::startServer();
    QVERIFY(server);
    server->setFlows({ flow() });
    ServerConnection *connection = ServerTest::addConnection(*m_proxy, server->port());
    m_proxy->loginAllConnections();
    QTRY_VERIFY_WITH_TIMEOUT(connection->isOnline(), 10000);
    const SubmitPointPtr point(new SubmitPoint(connection, pointId, flowId, QStringLiteral("Point")));
    QVERIFY(writeFile(path(QStringLiteral("a.bin")), 1000));
    const SubmittedFilePtr job = point->addJob(path(QStringLiteral("a.bin")));
    server->setFault(testserver::Operation::GetCompressClientJobs, faultNamed(fault, false));
    m_proxy->submitFile(point, job);
    QTRY_VERIFY_WITH_TIMEOUT(!point->isSubmitting(job.get()), 10000);
    QCOMPARE(job->getStatus(), int(SubmitStatus::WaitingConnection));
    QVERIFY2(job->deliveryNote().contains(told), qPrintable(job->deliveryNote()));
    QVERIFY(connection->isOnline());

    m_proxy->startUpdatingConData(connection, UpdateFlags::SubmitPoints);
    QTRY_COMPARE_WITH_TIMEOUT(job->getStatus(), int(SubmitStatus::Finished), 15000);
    QCOMPARE(count(*server, QStringLiteral("SubmitFile08")), 1);
    QTRY_COMPARE(m_proxy->actionList().count(), 0);
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
