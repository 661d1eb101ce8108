// Job locks of a checkpoint: whose lock it is, and locks and releases whose
// answers come late or not at all.
#include "CheckPointTest.h"

class TestCheckPointLocks : public CheckPointTestBase
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void lockHeldElsewhere();
    void ownLockIsNotElsewhere();
    void lockByServerMachineNamesTheHost();
    void lockCheckCutShortIsAnswered();
    void lostLockIsReleasedAfterIt_data();
    void lostLockIsReleasedAfterIt();
    void olderReleaseNeverTakesANewerLock();
};

void TestCheckPointLocks::lockHeldElsewhere()
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

void TestCheckPointLocks::ownLockIsNotElsewhere()
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

void TestCheckPointLocks::lockByServerMachineNamesTheHost()
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

void TestCheckPointLocks::lockCheckCutShortIsAnswered()
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

void TestCheckPointLocks::lostLockIsReleasedAfterIt_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("releaseAsked");
    QTest::addColumn<bool>("othersLock");
    QTest::newRow("for the user, not released by its caller") << 1 << false << false;
    QTest::newRow("while replacing, released at once by its caller") << 3 << true << false;
    QTest::newRow("never set; another user's lock from this machine shows") << 1 << false << true;
}

void TestCheckPointLocks::lostLockIsReleasedAfterIt()
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

void TestCheckPointLocks::olderReleaseNeverTakesANewerLock()
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

VORNEX_TEST_GUILESS_MAIN(TestCheckPointLocks)
#include "tst_checkpointlocks.moc"
