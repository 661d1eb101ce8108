// A checkpoint's jobs, pushes and replacements against the test server.
#include "CheckPointTest.h"

class TestCheckPoint : public CheckPointTestBase
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void jobRecordsAndStatus();
    void pushGoesOutOnce();
    void pushWaitsForTheServer();
    void pushWithoutFlagOnlyDropsTheJob();
    void refusedPushFreesTheJob();
    void lostPushAnswerKeepsTheJobMarked();
    void queuedPushStaysWithItsServer();
    void pushThreadsStopWithTheirConnection();

    void replacementLocksInOrder();
    void failedReplacementReleasesTheLock();
    void cancelledReplacementLeavesTheJobAlone();
    void staleEndOfACancelledReplacementIsIgnored();
    void checkPointGoingAwayStopsItsReplacement();
};

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

void TestCheckPoint::queuedPushStaysWithItsServer()
{
    CheckPoint *check = fetch(m_connection);
    QVERIFY(check);
    std::unique_ptr<testserver::Server> other = ServerTest::startServer();
    QVERIFY(other);
    other->setFlows({ flow() });
    // Its server is gone: the push waits in the queue.
    m_server.reset();
    check->pushJob(QStringLiteral("J1"), decision({ QStringLiteral("out-1") }));
    const auto waiting = [this] {
        const QList<IAction *> queued = m_proxy->actionList().actions();
        auto *push = queued.size() == 1 ? qobject_cast<PushJobAction *>(queued.first()) : nullptr;
        return push && push->state() == PushJobAction::State::Waiting;
    };
    QTRY_VERIFY_WITH_TIMEOUT(waiting(), 10000);
    // Pointed at another server with the same ids, the connection does
    // not take the decision there.
    m_connection->setPort(other->port());
    m_connection->applySettings();
    QVERIFY(m_connection->connectToServer());
    QTRY_VERIFY_WITH_TIMEOUT(m_proxy->actionList().actions().isEmpty(), 10000);
    // The old server's checkpoints went with it: the one shown now is the
    // new server's, and it holds no decision.
    CheckPoint *now = fetch(m_connection);
    QVERIFY(now);
    QCOMPARE(ServerTest::operations(*other).count(QStringLiteral("PushCheckpointJob")), 0);
    QVERIFY(!now->isPushWaiting(QStringLiteral("J1")));
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

VORNEX_TEST_GUILESS_MAIN(TestCheckPoint)
#include "tst_checkpoint.moc"
