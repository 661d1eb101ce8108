#include "CheckPoint.h"
#include "ConnectionThread.h"
#include "JobLockCheck.h"
#include "ReplaceJobThread.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "StreamedUpload.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "WorkFlags.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkInterface>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using TestFiles::writeFile;

namespace {

const QString flowId = QStringLiteral("F1");
const QString checkPointId = QStringLiteral("C1");

testserver::Job job(const QString &id)
{
    testserver::Job made;
    made.id = id;
    made.name = id + QStringLiteral(".pdf");
    made.allowReplacing = true;
    made.connections = { { QStringLiteral("out-1"), QStringLiteral("Approved") },
        { QStringLiteral("out-2"), QStringLiteral("Rejected") } };
    return made;
}

testserver::Flow flow(const QString &packagePath = QString())
{
    testserver::Flow made;
    made.id = flowId;
    made.name = QStringLiteral("Flow");
    testserver::CheckPoint check;
    check.id = checkPointId;
    check.name = QStringLiteral("Check");
    check.jobs = { job(QStringLiteral("J1")), job(QStringLiteral("J2")), job(QStringLiteral("J3")) };
    if (!packagePath.isEmpty()) {
        for (testserver::Job &each : check.jobs)
            each.package = testserver::Package::fromPath(packagePath);
    }
    made.checkPoints = { check };
    return made;
}

PushJobInfo decision(const QStringList &ids)
{
    MetadataToFill field;
    field.label = QStringLiteral("Reason");
    field.description = QStringLiteral("Why");
    field.dataType = QStringLiteral("string");
    field.valueIsRequired = true;
    field.value = QStringLiteral("looks fine");
    field.key = QStringLiteral("not sent");
    PushJobInfo info;
    info.requiredMetadata = { field };
    info.connectionIds = ids;
    info.jobName = QStringLiteral("renamed.pdf");
    info.push = true;
    return info;
}

QStringList lockModesSent(const testserver::Server &server)
{
    QStringList modes;
    for (const testserver::JournalEntry &call : server.journal()) {
        if (call.operation == QLatin1String("SetJobLockStatus"))
            modes.append(call.arguments.value(QStringLiteral("lockStatus")));
    }
    return modes;
}

} // namespace

class TestCheckPoint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void jobRecordsAndStatus();
    void pushGoesOutOnce();
    void pushWaitsForTheServer();
    void pushWithoutFlagOnlyDropsTheJob();
    void refusedPushFreesTheJob();
    void lostPushAnswerKeepsTheJobMarked();
    void pushThreadsStopWithTheirConnection();

    void replacementLocksInOrder();
    void failedReplacementReleasesTheLock();
    void cancelledReplacementLeavesTheJobAlone();
    void staleEndOfACancelledReplacementIsIgnored();
    void checkPointGoingAwayStopsItsReplacement();

    void lockHeldElsewhere();
    void ownLockIsNotElsewhere();
    void lockByServerMachineNamesTheHost();
    void lockCheckCutShortIsAnswered();
    void lostLockIsReleasedAfterIt_data();
    void lostLockIsReleasedAfterIt();
    void olderReleaseNeverTakesANewerLock();

private:
    // Logs in, fetches the checkpoints and returns the one of the flow.
    CheckPoint *fetch(ServerConnection *connection);
    QString path(const QString &name) const { return m_work + QLatin1Char('/') + name; }
    SubstituteFilePtr substitute(const QString &jobId, qint64 size);

    QString m_work;
    std::unique_ptr<testserver::Server> m_server;
    std::unique_ptr<ServerProxy> m_proxy;
    ServerConnection *m_connection = nullptr;
};

void TestCheckPoint::initTestCase()
{
    ServerTest::useShortTimeouts();
    StreamedUpload::Timeouts timeouts;
    timeouts.connectMs = 3000;
    timeouts.sendMs = 5000;
    timeouts.receiveMs = 5000;
    StreamedUpload::setTimeouts(timeouts);
    CheckPoint::setReplaceStopWaitMs(5000);
}

void TestCheckPoint::init()
{
    m_work = QDir::tempPath() + QStringLiteral("/checkpoint-")
        + QString::fromLatin1(QTest::currentTestFunction());
    QDir(m_work).removeRecursively();
    QVERIFY(QDir().mkpath(m_work));
    QVERIFY(writeFile(path(QStringLiteral("server/job.pdf")), 1000));
    m_server = ServerTest::startServer();
    QVERIFY(m_server);
    m_server->setFlows({ flow(path(QStringLiteral("server/job.pdf"))) });
    m_proxy = std::make_unique<ServerProxy>();
    m_connection = ServerTest::addConnection(*m_proxy, m_server->port());
}

void TestCheckPoint::cleanup()
{
    m_proxy.reset();
    m_connection = nullptr;
    m_server.reset();
    if (!QTest::currentTestFailed())
        QDir(m_work).removeRecursively();
}

CheckPoint *TestCheckPoint::fetch(ServerConnection *connection)
{
    QSignalSpy updated(m_proxy.get(), &ServerProxy::updateCheckPointsRequest);
    m_proxy->startUpdatingConData(connection, UpdateFlags::CheckPoints);
    if (!updated.wait(10000))
        return nullptr;
    const QVector<FlowPtr> flows = m_proxy->getFlows(connection);
    if (flows.isEmpty() || m_proxy->getCheckPoints(flows.first()).isEmpty())
        return nullptr;
    return m_proxy->getCheckPoints(flows.first()).first().get();
}

SubstituteFilePtr TestCheckPoint::substitute(const QString &jobId, qint64 size)
{
    const QString file = path(QStringLiteral("new-%1.pdf").arg(jobId));
    if (!writeFile(file, size))
        return SubstituteFilePtr();
    SubstituteFilePtr made(new SubstituteFile(flowId, checkPointId, jobId, file));
    made->setPushJobInfo(decision({ QStringLiteral("out-1") }));
    return made;
}

void TestCheckPoint::jobRecordsAndStatus()
{
    CheckPoint check(nullptr, checkPointId, flowId, QStringLiteral("Check"));
    CheckPointJobData record;
    record.name = QStringLiteral("a.pdf");
    check.setJobs({ QStringLiteral("A"), QStringLiteral("B") },
        { { QStringLiteral("A"), record }, { QStringLiteral("B"), record } });
    QCOMPARE(check.getJobStatus(QStringLiteral("A")), 0);
    QCOMPARE(check.getJobStatus(QStringLiteral("missing")), 0);
    QVERIFY(!check.hasJob(QStringLiteral("missing")));
    QVERIFY(check.setJobStatus(QStringLiteral("B"), CheckPointJobData::kPushWaiting));
    QCOMPARE(check.getJobStatus(QStringLiteral("B")), 1);
    // Without a connection nothing can be sent: the job stays as it was.
    QVERIFY(!check.pushJob(QStringLiteral("A"), decision({ QStringLiteral("o") })));
    QCOMPARE(check.getJobCount(), 2);
    QVERIFY(!check.replaceJob(SubstituteFilePtr()));
    QVERIFY(!check.lockJob(QStringLiteral("A"), 1));
    QString text = QStringLiteral("left alone?");
    QVERIFY(!check.isJobLockedElsewhere(QStringLiteral("A"), &text));
    QCOMPARE(text, QString());
}

void TestCheckPoint::pushGoesOutOnce()
{
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    QCOMPARE(check->getJobIds(),
        (QList<QString> { QStringLiteral("J1"), QStringLiteral("J2"), QStringLiteral("J3") }));
    QSignalSpy answered(m_proxy.get(), &ServerProxy::pushFinished);

    QVERIFY(
        check->pushJob(QStringLiteral("J2"), decision({ QStringLiteral("out-2"), QStringLiteral("out-1") })));
    // Listed, marked, until the server answered.
    QCOMPARE(check->getJobStatus(QStringLiteral("J2")), int(CheckPointJobData::kPushWaiting));
    QVERIFY(check->isPushWaiting(QStringLiteral("J2")));
    // Asking again while it is on its way sends nothing.
    QVERIFY(!check->pushJob(QStringLiteral("J2"), decision({ QStringLiteral("out-1") })));
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, 10000);
    QVERIFY(!check->isPushWaiting(QStringLiteral("J2")));
    QCOMPARE(check->getJobIds(), (QList<QString> { QStringLiteral("J1"), QStringLiteral("J3") }));
    QTRY_COMPARE_WITH_TIMEOUT(m_proxy->actionList().count(), 0, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_connection->hasRunningThreads(), 5000);

    const QList<testserver::Push> pushes = m_server->pushes();
    QCOMPARE(pushes.size(), 1);
    QVERIFY(pushes[0].accepted);
    QCOMPARE(pushes[0].flowId, flowId);
    QCOMPARE(pushes[0].checkPointId, checkPointId);
    QCOMPARE(pushes[0].jobId, QStringLiteral("J2"));
    QCOMPARE(
        pushes[0].request.connectionIds, (QStringList { QStringLiteral("out-2"), QStringLiteral("out-1") }));
    QCOMPARE(pushes[0].request.jobName, QStringLiteral("renamed.pdf"));
    QCOMPARE(pushes[0].request.requiredMetadata.size(), 1);
    QCOMPARE(pushes[0].request.requiredMetadata[0].label, QStringLiteral("Reason"));
    QCOMPARE(pushes[0].request.requiredMetadata[0].value, QStringLiteral("looks fine"));
    QCOMPARE(ServerTest::operations(*m_server).count(QStringLiteral("PushCheckpointJob")), 1);
}

void TestCheckPoint::pushWaitsForTheServer()
{
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    QSignalSpy changed(check, &CheckPoint::jobsChanged);
    m_server->setRefuseConnections(true);

    check->pushJob(QStringLiteral("J1"), decision({ QStringLiteral("out-1") }));
    QCOMPARE(check->getJobStatus(QStringLiteral("J1")), int(CheckPointJobData::kPushWaiting));
    QVERIFY(check->hasJob(QStringLiteral("J1")));
    QVERIFY(check->isPushWaiting(QStringLiteral("J1")));
    QCOMPARE(m_proxy->actionList().count(), 1);
    // A second decision on a waiting job is not queued again.
    QVERIFY(!check->pushJob(QStringLiteral("J1"), decision({ QStringLiteral("out-2") })));
    QCOMPARE(m_proxy->actionList().count(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!m_connection->isOnline(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_proxy->hasConnectionActivity(m_connection), 10000);

    // A refresh from the cache or a late update keeps the mark.
    CheckPointJobData record = check->getJob(QStringLiteral("J1"));
    record.status = 0;
    check->setJobs({ QStringLiteral("J1") }, { { QStringLiteral("J1"), record } });
    QCOMPARE(check->getJobStatus(QStringLiteral("J1")), int(CheckPointJobData::kPushWaiting));
    QVERIFY(m_server->pushes().isEmpty());

    // The server is back: the next log-in sends the push, once.
    m_server->setRefuseConnections(false);
    m_proxy->startUpdatingConData(m_connection, UpdateFlags::CheckPoints);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->pushes().size(), 1, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(!check->isPushWaiting(QStringLiteral("J1")), 10000);
    QVERIFY(changed.count() >= 1);
    QTRY_VERIFY_WITH_TIMEOUT(!check->hasJob(QStringLiteral("J1")), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(m_proxy->actionList().count(), 0, 5000);
    QVERIFY(m_server->pushes().first().accepted);
    QCOMPARE(m_server->pushes().first().request.connectionIds, QStringList { QStringLiteral("out-1") });
    m_proxy->startUpdatingConData(m_connection, UpdateFlags::CheckPoints);
    QTRY_VERIFY_WITH_TIMEOUT(m_proxy->updateThreads(m_connection).isEmpty(), 10000);
    QCOMPARE(m_server->pushes().size(), 1);
    QCOMPARE(check->getJobIds(), (QList<QString> { QStringLiteral("J2"), QStringLiteral("J3") }));
}

void TestCheckPoint::pushWithoutFlagOnlyDropsTheJob()
{
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    m_server->clearJournal();
    PushJobInfo carried = decision({ QStringLiteral("out-1") });
    carried.push = false;
    QVERIFY(check->pushJob(QStringLiteral("J3"), carried));
    QVERIFY(!check->hasJob(QStringLiteral("J3")));
    QCOMPARE(check->getJobCount(), 2);
    QCOMPARE(m_proxy->actionList().count(), 0);
    QTest::qWait(200);
    QVERIFY(m_server->journal().isEmpty());
}

void TestCheckPoint::refusedPushFreesTheJob()
{
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    m_server->setFault(testserver::Operation::PushCheckpointJob, testserver::Fault::senderFault().times(1));
    QSignalSpy changed(check, &CheckPoint::jobsChanged);
    QVERIFY(check->pushJob(QStringLiteral("J1"), decision({ QStringLiteral("out-1") })));
    QVERIFY(changed.wait(10000));
    QVERIFY(!check->isPushWaiting(QStringLiteral("J1")));
    // The job comes back with the next update and may be pushed again.
    m_proxy->startUpdatingConData(m_connection, UpdateFlags::CheckPoints);
    QTRY_VERIFY_WITH_TIMEOUT(check->hasJob(QStringLiteral("J1")), 10000);
    QCOMPARE(check->getJobStatus(QStringLiteral("J1")), 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_proxy->updateThreads(m_connection).isEmpty(), 10000);
    QVERIFY(check->pushJob(QStringLiteral("J1"), decision({ QStringLiteral("out-1") })));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->pushes().size(), 1, 10000);
}

void TestCheckPoint::lostPushAnswerKeepsTheJobMarked()
{
    const QString j1 = QStringLiteral("J1");
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    // Answered after the call's limit: the server is still at it.
    m_server->setFault(testserver::Operation::PushCheckpointJob, testserver::Fault::delay(4000).times(1));
    QVERIFY(check->pushJob(j1, decision({ QStringLiteral("out-1") })));
    QTRY_VERIFY_WITH_TIMEOUT(check->isPushUnanswered(j1), 10000);
    // A list made meanwhile names it: still marked, not pushed again.
    QCOMPARE(fetch(m_connection), check);
    QVERIFY(check->hasJob(j1));
    QCOMPARE(check->getJobStatus(j1), int(CheckPointJobData::kPushWaiting));
    QVERIFY(!check->pushJob(j1, decision({ QStringLiteral("out-2") })));
    // The server took it; the next list no longer names it.
    QTRY_COMPARE_WITH_TIMEOUT(m_server->pushes().size(), 1, 10000);
    QCOMPARE(fetch(m_connection), check);
    QVERIFY(!check->hasJob(j1));
    QVERIFY(!check->isPushUnanswered(j1));
    QCOMPARE(ServerTest::operations(*m_server).count(QStringLiteral("PushCheckpointJob")), 1);
    QCOMPARE(m_server->pushes().first().request.connectionIds, QStringList { QStringLiteral("out-1") });

    // Confirmed by the user, a job so marked goes again.
    m_server->setFault(testserver::Operation::PushCheckpointJob, testserver::Fault::delay(4000).times(1));
    QVERIFY(check->pushJob(QStringLiteral("J2"), decision({ QStringLiteral("out-1") })));
    QTRY_VERIFY_WITH_TIMEOUT(check->isPushUnanswered(QStringLiteral("J2")), 10000);
    check->pushAgainConfirmed(QStringLiteral("J2"));
    QCOMPARE(check->getJobStatus(QStringLiteral("J2")), 0);
    QVERIFY(check->pushJob(QStringLiteral("J2"), decision({ QStringLiteral("out-2") })));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->pushes().size(), 3, 10000);
}

void TestCheckPoint::pushThreadsStopWithTheirConnection()
{
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    QTRY_VERIFY_WITH_TIMEOUT(!m_connection->hasRunningThreads(), 5000);
    m_server->setFault(testserver::Operation::PushCheckpointJob, testserver::Fault::hang());
    QVERIFY(check->pushJob(QStringLiteral("J1"), decision({ QStringLiteral("out-1") })));
    QTRY_VERIFY_WITH_TIMEOUT(
        ServerTest::operations(*m_server).contains(QStringLiteral("PushCheckpointJob")), 5000);
    // The push runs on a context of its own, not over the connection's.
    QCOMPARE(m_connection->runningUserCalls(), 1);

    QElapsedTimer timer;
    timer.start();
    QVERIFY(m_proxy->removeConnection(m_proxy->indexOfConnection(m_connection)));
    m_connection = nullptr;
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QStringLiteral("removal took %1 ms").arg(timer.elapsed())));
    QCOMPARE(m_proxy->actionList().count(), 0);
    m_server->releaseHangingCalls();
}

void TestCheckPoint::replacementLocksInOrder()
{
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    QSignalSpy started(check, &CheckPoint::replaceStarted);
    QSignalSpy ended(check, qOverload<>(&CheckPoint::replaceFinished));
    const SubstituteFilePtr file = substitute(QStringLiteral("J2"), 200000);
    QVERIFY(file);

    QVERIFY(check->lockJob(QStringLiteral("J2"), 1));
    QVERIFY(check->lockJob(QStringLiteral("J2"), 3));
    QVERIFY(check->replaceJob(file));
    QCOMPARE(started.count(), 1);
    QVERIFY(check->isReplacing());
    // One at a time.
    QVERIFY(!check->replaceJob(substitute(QStringLiteral("J1"), 10)));
    QVERIFY(ended.wait(20000));
    QVERIFY(!check->isReplacing());
    QCOMPARE(file->getStatus(), int(ReplaceStatus::Replaced));
    QCOMPARE(lockModesSent(*m_server), (QStringList { QStringLiteral("1"), QStringLiteral("3") }));
    const testserver::Upload upload = m_server->uploads().value(0);
    QVERIFY2(upload.accepted, qPrintable(upload.error));
    QCOMPARE(upload.jobId, QStringLiteral("J2"));
    QCOMPARE(QFileInfo(upload.mainFile).size(), qint64(200000));
    QCOMPARE(ServerTest::operations(*m_server).count(QStringLiteral("ReplaceFile08")), 1);
}

void TestCheckPoint::failedReplacementReleasesTheLock()
{
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    m_server->setFault(testserver::Operation::ReplaceFile08, testserver::Fault::senderFault());
    QSignalSpy ended(check, qOverload<>(&CheckPoint::replaceFinished));
    const SubstituteFilePtr file = substitute(QStringLiteral("J1"), 5000);
    QVERIFY(check->lockJob(QStringLiteral("J1"), 1));
    QVERIFY(check->lockJob(QStringLiteral("J1"), 3));
    QVERIFY(!m_server->lock(flowId, checkPointId, QStringLiteral("J1")).isEmpty());
    QVERIFY(check->replaceJob(file));
    QVERIFY(ended.wait(20000));
    QCOMPARE(file->getStatus(), int(ReplaceStatus::Failed));
    QTRY_COMPARE_WITH_TIMEOUT(lockModesSent(*m_server),
        (QStringList { QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("0") }), 5000);
    QCOMPARE(m_server->lock(flowId, checkPointId, QStringLiteral("J1")), QString());
}

void TestCheckPoint::cancelledReplacementLeavesTheJobAlone()
{
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    m_server->setFault(testserver::Operation::ReplaceFile08, testserver::Fault::stallRequestAfter(1 << 20));
    QSignalSpy ended(check, qOverload<>(&CheckPoint::replaceFinished));
    const SubstituteFilePtr file = substitute(QStringLiteral("J3"), 40 * 1000 * 1000);
    QVERIFY(check->lockJob(QStringLiteral("J3"), 1));
    QVERIFY(check->lockJob(QStringLiteral("J3"), 3));
    QVERIFY(check->replaceJob(file));
    QTRY_VERIFY_WITH_TIMEOUT(file->getProgressValue() > 0, 10000);

    QElapsedTimer timer;
    timer.start();
    QVERIFY(check->cancelReplace(file.get()));
    QVERIFY(timer.elapsed() < 3000);
    QVERIFY(!check->isReplacing());
    QCOMPARE(file->getStatus(), int(ReplaceStatus::Failed));
    // Released only after the transfer stopped.
    QTRY_COMPARE_WITH_TIMEOUT(lockModesSent(*m_server),
        (QStringList { QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("0") }), 5000);
    QCOMPARE(m_server->lock(flowId, checkPointId, QStringLiteral("J3")), QString());
    m_server->releaseHangingCalls();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, 10000);
    for (const testserver::Upload &upload : m_server->uploads())
        QVERIFY(!upload.accepted);
    QCOMPARE(m_server->flows().first().checkPoints.first().jobs.at(2).package.path,
        path(QStringLiteral("server/job.pdf")));
    QTest::qWait(100);
    QCOMPARE(ended.count(), 0);
}

void TestCheckPoint::staleEndOfACancelledReplacementIsIgnored()
{
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    m_server->setFault(testserver::Operation::ReplaceFile08, testserver::Fault::stallRequestAfter(1 << 20));
    const SubstituteFilePtr first = substitute(QStringLiteral("J1"), 40 * 1000 * 1000);
    const SubstituteFilePtr second = substitute(QStringLiteral("J2"), 40 * 1000 * 1000);
    QSignalSpy ended(check, qOverload<>(&CheckPoint::replaceFinished));

    QVERIFY(check->replaceJob(first));
    QTRY_VERIFY_WITH_TIMEOUT(first->getProgressValue() > 0, 10000);
    QVERIFY(check->cancelReplace(first.get()));
    // The first thread's end is still on its way when the second starts.
    QVERIFY(check->replaceJob(second));
    QCoreApplication::processEvents();
    QTest::qWait(100);
    QVERIFY(check->isReplacing());
    QCOMPARE(check->runningReplacement()->file().get(), second.get());
    check->replaceFinished(first.get());
    QCOMPARE(check->runningReplacement()->file().get(), second.get());
    QCOMPARE(ended.count(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(second->getProgressValue() > 0, 10000);
    QVERIFY(check->cancelReplace(second.get()));
    m_server->releaseHangingCalls();
}

void TestCheckPoint::checkPointGoingAwayStopsItsReplacement()
{
    m_server->setFault(testserver::Operation::ReplaceFile08, testserver::Fault::stallRequestAfter(1 << 20));
    auto check = std::make_unique<CheckPoint>(m_connection, checkPointId, flowId, QStringLiteral("Check"));
    const SubstituteFilePtr file = substitute(QStringLiteral("J1"), 40 * 1000 * 1000);
    QVERIFY(check->replaceJob(file));
    QTRY_VERIFY_WITH_TIMEOUT(file->getProgressValue() > 0, 10000);
    QPointer<ReplaceJobThread> thread = check->runningReplacement();
    QElapsedTimer timer;
    timer.start();
    check.reset();
    QVERIFY(timer.elapsed() < 3000);
    QVERIFY(thread.isNull());
    QCOMPARE(file->getStatus(), int(ReplaceStatus::Failed));
    m_server->releaseHangingCalls();
}

void TestCheckPoint::lockHeldElsewhere()
{
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    QSignalSpy checked(check, &CheckPoint::jobLockChecked);

    check->checkJobLock(QStringLiteral("J1"));
    QVERIFY(checked.wait(5000));
    QCOMPARE(checked.last().at(0).toString(), QStringLiteral("J1"));
    QCOMPARE(checked.last().at(1).toBool(), false);
    QCOMPARE(checked.last().at(2).toString(), QString());

    // 192.0.2.0/24 is reserved for documentation: another machine.
    m_server->setLock(flowId, checkPointId, QStringLiteral("J1"), QStringLiteral("bert (192.0.2.44)"));
    check->checkJobLock(QStringLiteral("J1"));
    QVERIFY(checked.wait(5000));
    QCOMPARE(checked.last().at(1).toBool(), true);
    QCOMPARE(checked.last().at(2).toString(), QStringLiteral("bert (192.0.2.44)"));
    QString text;
    QVERIFY(check->isJobLockedElsewhere(QStringLiteral("J1"), &text));
    QCOMPARE(text, QStringLiteral("bert (192.0.2.44)"));

    // A holder without an address could be anyone.
    m_server->setLock(flowId, checkPointId, QStringLiteral("J1"), QStringLiteral("bert"));
    QVERIFY(check->isJobLockedElsewhere(QStringLiteral("J1"), &text));
}

void TestCheckPoint::ownLockIsNotElsewhere()
{
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    // The lock this client takes names the address the server saw it by.
    QVERIFY(check->lockJob(QStringLiteral("J2"), 1));
    QString text;
    QVERIFY(!check->isJobLockedElsewhere(QStringLiteral("J2"), &text));
    QVERIFY(text.contains(QStringLiteral("127.0.0.1")));
    // Any of this machine's own addresses.
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        const QString holder = QStringLiteral("me (%1)").arg(address.toString());
        m_server->setLock(flowId, checkPointId, QStringLiteral("J2"), holder);
        QSignalSpy checked(check, &CheckPoint::jobLockChecked);
        check->checkJobLock(QStringLiteral("J2"));
        QVERIFY(checked.wait(5000));
        QVERIFY2(!checked.last().at(1).toBool(), qPrintable(holder));
    }
}

void TestCheckPoint::lockByServerMachineNamesTheHost()
{
    ServerConnection *byName = m_proxy->getConnection(m_proxy->addConnection(
        QStringLiteral("user"), QString(), QStringLiteral("localhost"), m_server->port()));
    byName->setConnectionId(ServerConnection::nextConnectionId());
    byName->applySettings();
    CheckPoint *check = fetch(byName);
    QVERIFY(check);
    m_server->setLock(flowId, checkPointId, QStringLiteral("J3"), QStringLiteral("anna (127.0.0.1)"));
    QSignalSpy checked(check, &CheckPoint::jobLockChecked);
    check->checkJobLock(QStringLiteral("J3"));
    QVERIFY(checked.wait(5000));
    QCOMPARE(checked.last().at(1).toBool(), false);
    QCOMPARE(checked.last().at(2).toString(), QStringLiteral("anna (localhost)"));
}

void TestCheckPoint::lockCheckCutShortIsAnswered()
{
    auto connection = std::make_unique<ServerConnection>(
        nullptr, QStringLiteral("user"), QString(), QStringLiteral("127.0.0.1"), m_server->port());
    connection->applySettings();
    QVERIFY(connection->connectToServer());
    CheckPoint check(connection.get(), checkPointId, flowId, QStringLiteral("Check"));
    QSignalSpy failed(&check, &CheckPoint::jobLockCheckFailed);
    m_server->setFault(testserver::Operation::GetJobLockStatus, testserver::Fault::hang());
    check.checkJobLock(QStringLiteral("J1"));
    QTRY_VERIFY_WITH_TIMEOUT(
        ServerTest::operations(*m_server).contains(QStringLiteral("GetJobLockStatus")), 5000);
    // The connection goes while the call hangs: whoever waits hears of it.
    connection.reset();
    QVERIFY(failed.wait(5000));
    QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("J1"));
    m_server->releaseHangingCalls();
}

void TestCheckPoint::lostLockIsReleasedAfterIt_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("releaseAsked");
    QTest::addColumn<bool>("othersLock");
    QTest::newRow("for the user, not released by its caller") << 1 << false << false;
    QTest::newRow("while replacing, released at once by its caller") << 3 << true << false;
    QTest::newRow("never set; another user's lock from this machine shows") << 1 << false << true;
}

void TestCheckPoint::lostLockIsReleasedAfterIt()
{
    QFETCH(int, mode);
    QFETCH(bool, releaseAsked);
    QFETCH(bool, othersLock);
    const QString j1 = QStringLiteral("J1");
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    // The lock is set after the call's limit, its answer lost (or the
    // server drops it unset).
    const int delayMs = 2500;
    m_server->setFault(testserver::Operation::SetJobLockStatus,
        (othersLock ? testserver::Fault::hang() : testserver::Fault::delay(delayMs)).times(1));
    m_server->clearJournal();
    QElapsedTimer sinceLock;
    sinceLock.start();
    QList<bool> answers;
    check->lockJobAsync(j1, mode, this, [&answers](bool isSet) { answers.append(isSet); });
    QTRY_COMPARE_WITH_TIMEOUT(answers, QList<bool> { false }, 10000);
    if (othersLock) {
        // Not this user's to take away, from whatever machine.
        const QString bobs = QStringLiteral("bob (127.0.0.1)");
        m_server->setLock(flowId, checkPointId, j1, bobs);
        QTRY_COMPARE_WITH_TIMEOUT(check->lostLockCount(), 0, 15000);
        m_server->releaseHangingCalls();
        QCOMPARE(m_server->lock(flowId, checkPointId, j1), bobs);
        QCOMPARE(lockModesSent(*m_server), QStringList { QString::number(mode) });
        return;
    }
    if (releaseAsked)
        check->releaseLock(j1);
    // Released once it is set, never ahead of it.
    QTRY_VERIFY_WITH_TIMEOUT(sinceLock.elapsed() > delayMs + 500
            && m_server->lock(flowId, checkPointId, j1).isEmpty()
            && lockModesSent(*m_server) == (QStringList { QString::number(mode), QStringLiteral("0") }),
        15000);
    QCOMPARE(check->lostLockCount(), 0);
}

void TestCheckPoint::olderReleaseNeverTakesANewerLock()
{
    const QString j1 = QStringLiteral("J1");
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    const quint16 port = m_server->port();
    // The release finds no server and is tried again later.
    m_server.reset();
    ServerConnection::setLockRetryMs(2000);
    check->releaseLock(j1);
    QTRY_VERIFY_WITH_TIMEOUT(!m_connection->isOnline(), 10000);
    QCOMPARE(m_connection->pendingLockReleases(), 1);
    // The server is back and the user locks the job again meanwhile.
    m_server = std::make_unique<testserver::Server>();
    testserver::Options options;
    options.port = port;
    options.ioTimeoutSeconds = 5;
    QVERIFY(m_server->start(options));
    m_server->setFlows({ flow() });
    QVERIFY(m_connection->connectToServer());
    QList<bool> answers;
    check->lockJobAsync(j1, 3, this, [&answers](bool isSet) { answers.append(isSet); });
    QTRY_COMPARE_WITH_TIMEOUT(answers, QList<bool> { true }, 10000);
    // Past the retry: the older release stays out.
    QTRY_COMPARE_WITH_TIMEOUT(m_connection->pendingLockReleases(), 0, 15000);
    ServerConnection::setLockRetryMs(3000);
    QVERIFY(!m_server->lock(flowId, checkPointId, j1).isEmpty());
    QCOMPARE(lockModesSent(*m_server), QStringList { QStringLiteral("3") });
}

VORNEX_TEST_GUILESS_MAIN(TestCheckPoint)
#include "tst_checkpoint.moc"
