// What a connection keeps (saved jobs, cache file, queued work, log time)
// follows the server and user it was applied with, through edits, restarts
// and two users of one server; judged by what the test servers receive.
#include "IAction.h"
#include "PushJobAction.h"
#include "SavedSubmissions.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "SubmitStatus.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "WorkFlags.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace testserver;
using namespace ServerTest;

namespace {

QList<testserver::Flow> world(const QString &flowId)
{
    testserver::Flow flow;
    flow.id = flowId;
    flow.name = QStringLiteral("Flow ") + flowId;
    flow.submitPoints.append({ QStringLiteral("S1"), QStringLiteral("In"), {} });
    testserver::CheckPoint review;
    review.id = QStringLiteral("C1");
    review.name = QStringLiteral("Review");
    testserver::Job job;
    job.id = QStringLiteral("J1");
    job.name = QStringLiteral("brochure.pdf");
    job.connections.append({ QStringLiteral("c1"), QStringLiteral("Print") });
    review.jobs.append(job);
    flow.checkPoints.append(review);
    return { flow };
}

bool update(ServerProxy &proxy, ServerConnection *connection)
{
    proxy.startUpdatingConData(connection, UpdateFlags::All);
    return QTest::qWaitFor([&] { return proxy.updateThreads(connection).isEmpty(); }, 15000);
}

bool login(ServerProxy &proxy, ServerConnection *connection)
{
    proxy.startConnectionActivity(connection, ActivityFlags::Login, false);
    return QTest::qWaitFor(
        [&] { return connection->isOnline() && !proxy.hasConnectionActivity(connection); }, 15000);
}

bool loadCache(ServerProxy &proxy)
{
    QSignalSpy loaded(&proxy, &ServerProxy::cachedDataLoaded);
    proxy.loadCachedData();
    return loaded.wait(15000);
}

int actionsOf(ServerProxy &proxy, const char *kind)
{
    int count = 0;
    for (IAction *action : proxy.actionList().actions())
        count += action->inherits(kind);
    return count;
}

// The users who sent these operations, in order.
QStringList usersOf(const Server &server, const QString &operation)
{
    QStringList users;
    for (const JournalEntry &entry : server.journal()) {
        if (entry.operation == operation)
            users.append(entry.user);
    }
    return users;
}

PushJobInfo decision()
{
    PushJobInfo info;
    info.connectionIds = { QStringLiteral("c1") };
    info.jobName = QStringLiteral("brochure.pdf");
    info.push = true;
    return info;
}

} // namespace

class TestServerChange : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void editsSettleEveryJob_data();
    void editsSettleEveryJob();
    void anotherServerStartsAfresh_data();
    void anotherServerStartsAfresh();
    void twoUsersKeepTheirPushes_data();
    void twoUsersKeepTheirPushes();

private:
    QString m_folder;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestServerChange::initTestCase()
{
    useShortTimeouts();
}

void TestServerChange::init()
{
    TestFiles::settingsStore().clear();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_folder = m_dir->path();
    QSettings().setValue(QStringLiteral("General/ApplicationPath"), m_folder);
}

void TestServerChange::editsSettleEveryJob_data()
{
    QTest::addColumn<QString>("edit");
    // Typed in the form, never applied, and typed back.
    QTest::newRow("typed, not applied") << QStringLiteral("typed");
    // Applied while the job waits for its server.
    QTest::newRow("applied while waiting") << QStringLiteral("waiting");
    // Applied while the job is on its way to the first server.
    QTest::newRow("applied while uploading") << QStringLiteral("uploading");
}

// Each job is sent at most once, to the server it was made for, and leaves
// no saved entry behind once settled: a restart sends nothing again.
void TestServerChange::editsSettleEveryJob()
{
    QFETCH(QString, edit);
    auto first = startServer();
    auto second = startServer();
    QVERIFY(first && second);
    first->setFlows(world(QStringLiteral("F1")));
    second->setFlows(world(QStringLiteral("F1")));
    const QString file = m_folder + QStringLiteral("/job.bin");
    // Larger than what the kernel's socket buffers take in at once, when it
    // is to be caught on its way.
    QVERIFY(TestFiles::writeFile(file, edit == QStringLiteral("uploading") ? 16 * 1000 * 1000 : 64 * 1024));

    auto runUntilSettled = [&](int firstUploads, int secondUploads) {
        ServerProxy proxy;
        ServerConnection *connection = addConnection(proxy, first->port());
        QVERIFY(update(proxy, connection));
        const SubmitPointPtr point = proxy.getSubmitPoints(proxy.getFlows(connection).value(0)).value(0);
        QVERIFY(point);
        if (edit.isEmpty()) {
            // The next run: what was saved for this point is sent again.
            for (const SavedSubmissions::SavedJob &saved : SavedSubmissions::readAll()) {
                const SubmittedFilePtr job = point->restoreJob(saved);
                if (job && job->getStatus() == SubmitStatus::WaitingConnection)
                    proxy.submitFile(point, job);
            }
        } else {
            const SubmittedFilePtr job = point->addJob(file);
            if (edit == QStringLiteral("typed")) {
                connection->setHost(QStringLiteral("typed.example"));
                connection->setPort(1);
                proxy.submitFile(point, job);
                QTRY_COMPARE_WITH_TIMEOUT(job->getStatus(), int(SubmitStatus::Finished), 10000);
                connection->setHost(QStringLiteral("127.0.0.1"));
                connection->setPort(first->port());
            } else if (edit == QStringLiteral("waiting")) {
                first->setRefuseConnections(true);
                proxy.submitFile(point, job);
                QTRY_VERIFY_WITH_TIMEOUT(!connection->isOnline() && !point->isSubmitting(job.get()), 10000);
                QCOMPARE(job->getStatus(), int(SubmitStatus::WaitingConnection));
                connection->setPort(second->port());
                connection->applySettings();
                QVERIFY(login(proxy, connection));
                // Says so, and is no longer queued for anyone.
                QCOMPARE(job->getStatus(), int(SubmitStatus::Error));
                QCOMPARE(job->deliveryNote(), IAction::otherServerText());
                QTRY_COMPARE(actionsOf(proxy, "SubmitFileAction"), 0);
                first->setRefuseConnections(false);
            } else {
                first->setFault(Operation::SubmitFile08, Fault::throttleRequest(8 << 20));
                proxy.submitFile(point, job);
                QTRY_VERIFY_WITH_TIMEOUT(job->getSentSize() > 0, 10000);
                QCOMPARE(job->getStatus(), int(SubmitStatus::Uploading));
                connection->setPort(second->port());
                connection->applySettings();
                QTRY_COMPARE_WITH_TIMEOUT(job->getStatus(), int(SubmitStatus::Finished), 20000);
            }
            QTRY_VERIFY(!point->hasThread(job.get()) || job->getStatus() == SubmitStatus::Error);
        }
        QTRY_COMPARE(actionsOf(proxy, "SubmitFileAction"), 0);
        proxy.closeAllConnections();
        QCOMPARE(first->uploads().size(), firstUploads);
        QCOMPARE(second->uploads().size(), secondUploads);
    };
    const int sent = edit == QStringLiteral("waiting") ? 0 : 1;
    runUntilSettled(sent, 0);
    QCOMPARE(SavedSubmissions::readAll().size(), 0);
    edit.clear();
    runUntilSettled(sent, 0);
}

void TestServerChange::anotherServerStartsAfresh_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("log time") << QStringLiteral("log");
    QTest::newRow("refresh running at the edit") << QStringLiteral("refresh");
    QTest::newRow("push waiting at the edit") << QStringLiteral("push");
}

// Host or port changed and applied: nothing of the old server is shown, kept
// or sent under the new one.
void TestServerChange::anotherServerStartsAfresh()
{
    QFETCH(QString, kind);
    auto first = startServer();
    auto second = startServer();
    QVERIFY(first && second);
    first->setFlows(world(QStringLiteral("OLD")));
    second->setFlows(world(QStringLiteral("NEW")));
    LogEntry late;
    late.timeStamp = QStringLiteral("2031-01-01T00:00:00.000Z");
    late.message = QStringLiteral("<LogRecord>old</LogRecord>");
    first->setLogs({ late });
    QList<LogEntry> logs;
    for (int i = 0; i < 3; ++i) {
        LogEntry entry;
        entry.timeStamp = QStringLiteral("2024-05-01T10:00:0%1.000Z").arg(i);
        entry.message = QStringLiteral("<LogRecord>new %1</LogRecord>").arg(i);
        logs.append(entry);
    }
    second->setLogs(logs);

    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, first->port());
    QVERIFY(update(proxy, connection));
    QCOMPARE(proxy.getFlows(connection).value(0)->id(), QStringLiteral("OLD"));
    QSignalSpy batches(&proxy, &ServerProxy::updateLogRequest);
    QSignalSpy pushes(&proxy, &ServerProxy::pushFinished);
    const QString secondFile = m_folder + QStringLiteral("/127.0.0.1#%1#user.xml").arg(second->port());

    if (kind == QStringLiteral("refresh")) {
        first->setFault(Operation::GetCheckPoints07, Fault::delay(1500).times(1));
        proxy.startUpdatingConData(connection, UpdateFlags::All);
        QTRY_VERIFY(
            !first->journal().isEmpty() && usersOf(*first, QStringLiteral("GetCheckPoints07")).size() == 2);
    } else if (kind == QStringLiteral("push")) {
        first->setRefuseConnections(true);
        const CheckPointPtr review = proxy.getCheckPoints(proxy.getFlows(connection).value(0)).value(0);
        QVERIFY(review);
        review->pushJob(QStringLiteral("J1"), decision());
        QCOMPARE(actionsOf(proxy, "PushJobAction"), 1);
        const auto *push = qobject_cast<PushJobAction *>(proxy.actionList().actions().value(0));
        QVERIFY(push);
        // Its request never left: it waits for the server.
        QTRY_VERIFY_WITH_TIMEOUT(
            !connection->isOnline() && push->state() == PushJobAction::State::Waiting, 10000);
    }
    batches.clear();
    connection->setPort(second->port());
    connection->applySettings();
    QVERIFY(!connection->isOnline());
    QVERIFY(proxy.getFlows(connection).isEmpty());
    QVERIFY(login(proxy, connection));
    QVERIFY(QTest::qWaitFor([&] { return proxy.updateThreads(connection).isEmpty(); }, 10000));
    QVERIFY(update(proxy, connection));
    QVERIFY(proxy.waitForCacheWrites(10000));

    // Only the new server's data, from its first record on.
    QCOMPARE(proxy.getFlows(connection).size(), 1);
    QCOMPARE(proxy.getFlows(connection).value(0)->id(), QStringLiteral("NEW"));
    QFile cached(secondFile);
    QVERIFY(cached.open(QIODevice::ReadOnly));
    QVERIFY(!cached.readAll().contains("OLD"));
    QStringList since;
    for (const JournalEntry &entry : second->journal()) {
        if (entry.operation == QStringLiteral("GetLogData07"))
            since.append(entry.arguments.value(QStringLiteral("lastTime")));
    }
    QVERIFY(!since.isEmpty());
    QCOMPARE(since.first(), QStringLiteral("2007-01-01T00:00:00.000Z"));
    int received = 0;
    for (const QList<QVariant> &batch : std::as_const(batches)) {
        QList<LogMessage> messages;
        proxy.getLogData(batch.at(0).toString(), messages);
        received += int(messages.size());
    }
    QCOMPARE(received, 3);
    // A push decided on the old server is not sent to the new one, and says so.
    QVERIFY(second->pushes().isEmpty());
    QCOMPARE(usersOf(*second, QStringLiteral("PushCheckpointJob")).size(), 0);
    if (kind == QStringLiteral("push")) {
        QCOMPARE(pushes.size(), 1);
        QCOMPARE(pushes.at(0).at(1).toBool(), false);
        QCOMPARE(pushes.at(0).at(2).toString(), IAction::otherServerText());
        QCOMPARE(actionsOf(proxy, "PushJobAction"), 0);
    }
    proxy.closeAllConnections();
}

void TestServerChange::twoUsersKeepTheirPushes_data()
{
    QTest::addColumn<QString>("atQuit");
    QTest::addColumn<QString>("sender");
    QTest::newRow("both offline at quit") << QStringLiteral("offline") << QStringLiteral("ann");
    QTest::newRow("bob online at quit") << QStringLiteral("bob online") << QStringLiteral("ann");
    // The one file an earlier run kept for both: its push goes once, as the
    // first connection to the server.
    QTest::newRow("earlier run's shared file") << QStringLiteral("shared") << QStringLiteral("ann");
}

// Ann decides a push while the server is away; after a restart the server
// gets it exactly once, as Ann, never as Bob.
void TestServerChange::twoUsersKeepTheirPushes()
{
    QFETCH(QString, atQuit);
    QFETCH(QString, sender);
    auto server = startServerWithUsers(
        { { QStringLiteral("ann"), QString() }, { QStringLiteral("bob"), QString() } });
    QVERIFY(server);
    server->setFlows(world(QStringLiteral("F1")));
    const QString ownFile = m_folder + QStringLiteral("/127.0.0.1#%1#ann.xml").arg(server->port());
    const QString sharedFile = m_folder + QStringLiteral("/127.0.0.1#%1.xml").arg(server->port());
    {
        ServerProxy proxy;
        ServerConnection *ann = addConnection(proxy, server->port(), QString(), QStringLiteral("ann"));
        ServerConnection *bob = addConnection(proxy, server->port(), QString(), QStringLiteral("bob"));
        QVERIFY(update(proxy, ann) && update(proxy, bob));
        QVERIFY(proxy.waitForCacheWrites(10000));
        server->setRefuseConnections(true);
        const CheckPointPtr review = proxy.getCheckPoints(proxy.getFlows(ann).value(0)).value(0);
        QVERIFY(review);
        review->pushJob(QStringLiteral("J1"), decision());
        QTRY_VERIFY_WITH_TIMEOUT(!ann->isOnline(), 10000);
        if (atQuit == QStringLiteral("bob online")) {
            server->setRefuseConnections(false);
            QVERIFY(update(proxy, bob));
            QVERIFY(bob->isOnline());
        } else {
            update(proxy, bob);
            QVERIFY(!bob->isOnline());
        }
        proxy.closeAllConnections();
    }
    if (atQuit == QStringLiteral("shared")) {
        // As an earlier run would have left it: one file for the server.
        QDir folder(m_folder);
        for (const QString &name : folder.entryList({ QStringLiteral("*.xml") }, QDir::Files))
            if (name != QFileInfo(ownFile).fileName())
                QVERIFY(folder.remove(name));
        QVERIFY(QFile::rename(ownFile, sharedFile));
    }
    QVERIFY(server->pushes().isEmpty());
    server->setRefuseConnections(false);
    server->clearJournal();
    for (int run = 0; run < 2; ++run) {
        ServerProxy proxy;
        addConnection(proxy, server->port(), QString(), QStringLiteral("ann"));
        addConnection(proxy, server->port(), QString(), QStringLiteral("bob"));
        QVERIFY(loadCache(proxy));
        QCOMPARE(actionsOf(proxy, "PushJobAction"), run == 0 ? 1 : 0);
        proxy.loginAllConnections();
        QTRY_COMPARE_WITH_TIMEOUT(actionsOf(proxy, "PushJobAction"), 0, 15000);
        for (int i = 0; i < proxy.getConnectionCount(); ++i)
            QVERIFY(update(proxy, proxy.getConnection(i)));
        proxy.closeAllConnections();
        QVERIFY(proxy.waitForCacheWrites(10000));
    }
    QCOMPARE(usersOf(*server, QStringLiteral("PushCheckpointJob")), QStringList { sender });
    QCOMPARE(server->pushes().size(), 1);
    // Taken over into Ann's own file: the shared one is gone.
    QVERIFY(!QFile::exists(sharedFile));
}

VORNEX_TEST_GUILESS_MAIN(TestServerChange)
#include "tst_serverchange.moc"
