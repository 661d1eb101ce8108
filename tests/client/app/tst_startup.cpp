#include "ClientNames.h"
#include "InstanceLock.h"
#include "LocalPeer.h"
#include "StartWait.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include <csignal>

using TestFiles::settingsFile;

namespace {

QString clientProgram()
{
    return TestEnv::binDir() + QStringLiteral("/VORNEXclient");
}

// The client, started as a user would, in this run's own home. Waits until
// the process runs: an answer on the channel can come before this process
// has taken the start in, and the state would still read "Starting".
// Each entry of `environment` is "NAME=value", or "-NAME" to start without
// it; with readErrors what the client writes to stderr is kept for
// waitForError() instead of being passed on.
std::unique_ptr<QProcess> startClient(const QStringList &environment = {}, bool readErrors = false)
{
    auto process = std::make_unique<QProcess>();
    process->setProgram(clientProgram());
    QProcessEnvironment changed = QProcessEnvironment::systemEnvironment();
    for (const QString &entry : environment) {
        if (entry.startsWith(QLatin1Char('-')))
            changed.remove(entry.mid(1));
        else
            changed.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    }
    process->setProcessEnvironment(changed);
    process->setProcessChannelMode(readErrors ? QProcess::SeparateChannels : QProcess::ForwardedErrorChannel);
    // This test ignores SIGPIPE itself; the client must not inherit that.
    process->setChildProcessModifier([] { ::signal(SIGPIPE, SIG_DFL); });
    process->start();
    process->waitForStarted(10000);
    return process;
}

// True once the client wrote text to stderr (kept across calls).
bool waitForError(QProcess &process, const QString &text, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QByteArray seen = process.property("errors").toByteArray();
    while (!QString::fromLocal8Bit(seen).contains(text)) {
        if (deadline.hasExpired())
            return false;
        process.waitForReadyRead(100);
        seen += process.readAllStandardError();
        process.setProperty("errors", seen);
    }
    return true;
}

// A start syncs the settings and data folders before the window shows,
// which a disk busy with other work can make slow.
constexpr int kStartMs = 20000;

// True once a running client answers on the channel.
bool clientAnswers()
{
    const LocalPeer probe(ClientNames::instanceId());
    return probe.sendMessage(QStringLiteral("probe"), 1000);
}

// Waits until the client has answered once. (Not with QTRY: it asks again
// after success, and a client still busy starting may miss that second
// probe's second.)
bool clientCameUp()
{
    QDeadlineTimer deadline(kStartMs);
    while (!clientAnswers()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(5000);
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void secondStartWakesTheFirstAndLeavesSettingsAlone();
    void secondStartSendsTheWakeUpMessage_data();
    void secondStartSendsTheWakeUpMessage();
    void restartWhileTheFirstHoldsOn_data();
    void restartWhileTheFirstHoldsOn();
    void socketLeftByAKilledClientDoesNotBlockTheNextStart();
    void brokenPipeDoesNotKillTheClient();
    void leftoversOfAKilledRunAreRemoved();
    void oneClientWhereverTheChannelLives_data();
    void oneClientWhereverTheChannelLives();
};

void TestStartup::initTestCase()
{
    QVERIFY2(QFileInfo(clientProgram()).isExecutable(), qPrintable(clientProgram()));
}

void TestStartup::cleanup()
{
    QFile::remove(settingsFile());
}

void TestStartup::secondStartWakesTheFirstAndLeavesSettingsAlone()
{
    auto first = startClient();
    QVERIFY(first->waitForStarted(5000));
    QVERIFY(clientCameUp());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(settingsFile()), 5000);

    // The second start gets a settings folder of its own (the channel does
    // not depend on it), so whatever it wrote would show there, whatever
    // the first, still starting, writes meanwhile.
    const QString secondConfig = TestEnv::homeDir() + QStringLiteral("/second-config");
    QVERIFY(QDir().mkpath(secondConfig));
    QElapsedTimer clock;
    clock.start();
    auto second = startClient({ QStringLiteral("XDG_CONFIG_HOME=") + secondConfig });
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY2(clock.elapsed() < ClientNames::kWakeUpTimeoutMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(
        QDir(secondConfig).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    QCOMPARE(first->state(), QProcess::Running);
    stop(*first);
}

void TestStartup::secondStartSendsTheWakeUpMessage_data()
{
    QTest::addColumn<QStringList>("environment");
    const QString otherRuntime = TestEnv::homeDir() + QStringLiteral("/other-runtime");
    QVERIFY(QDir().mkpath(otherRuntime));
    QVERIFY(QFile::setPermissions(otherRuntime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QTest::newRow("same runtime folder") << QStringList();
    QTest::newRow("no runtime folder") << QStringList { QStringLiteral("-XDG_RUNTIME_DIR") };
    QTest::newRow("another runtime folder")
        << QStringList { QStringLiteral("XDG_RUNTIME_DIR=") + otherRuntime };
}

void TestStartup::secondStartSendsTheWakeUpMessage()
{
    QFETCH(QStringList, environment);
    // This test plays the running instance: it holds the locks and says
    // in them where its channel is.
    InstanceLock lock(InstanceLock::defaultPaths());
    QCOMPARE(lock.take(), InstanceLock::State::Taken);
    LocalPeer running(ClientNames::instanceId());
    QVERIFY(running.listen());
    lock.publishChannel(running.serverName());
    QSignalSpy received(&running, &LocalPeer::messageReceived);

    auto second = startClient(environment);
    QVERIFY(second->waitForStarted(5000));
    QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, 10000);
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toString(), QStringLiteral("VORNEXclient_check"));
    QVERIFY(!QFileInfo::exists(settingsFile()));
}

void TestStartup::restartWhileTheFirstHoldsOn_data()
{
    QTest::addColumn<bool>("listening");
    QTest::addColumn<bool>("ends");
    // Closing: it no longer listens, and ends a little later.
    QTest::newRow("closing") << false << true;
    // Busy: its channel takes the message but no answer comes; then it ends.
    QTest::newRow("hangs, then ends") << true << true;
    QTest::newRow("holds on") << true << false;
}

void TestStartup::restartWhileTheFirstHoldsOn()
{
    QFETCH(bool, listening);
    QFETCH(bool, ends);
    // This test plays the first client.
    auto lock = std::make_unique<InstanceLock>(InstanceLock::defaultPaths());
    QCOMPARE(lock->take(), InstanceLock::State::Taken);
    const QString channel = LocalPeer(ClientNames::instanceId()).serverName();
    auto server = std::make_unique<QLocalServer>();
    if (listening) {
        QLocalServer::removeServer(channel);
        QVERIFY(server->listen(channel));
        lock->publishChannel(channel);
    }

    auto second = startClient({ QStringLiteral("VORNEXCLIENT_START_WAIT_MS=3000") }, true);
    QVERIFY(second->waitForStarted(5000));
    // The user is told while it waits.
    QVERIFY(waitForError(*second, StartWait::noticeText(), 15000));
    QCOMPARE(second->state(), QProcess::Running);
    if (!ends) {
        QVERIFY(waitForError(*second, StartWait::failureText(), 15000));
        // Until the user has read it.
        QCOMPARE(second->state(), QProcess::Running);
        stop(*second);
        return;
    }
    server.reset();
    lock.reset();
    QVERIFY(clientCameUp());
    QCOMPARE(second->state(), QProcess::Running);
    stop(*second);
}

void TestStartup::socketLeftByAKilledClientDoesNotBlockTheNextStart()
{
    const QString socketPath = LocalPeer(ClientNames::instanceId()).serverName();
    auto first = startClient();
    QVERIFY(clientCameUp());
    ::kill(pid_t(first->processId()), SIGKILL);
    QVERIFY(first->waitForFinished(5000));
    QVERIFY(QFileInfo::exists(socketPath));
    QVERIFY(!clientAnswers());

    auto next = startClient();
    QVERIFY(clientCameUp());
    QCOMPARE(next->state(), QProcess::Running);

    // And it is the instance a further start wakes.
    auto another = startClient();
    QVERIFY(another->waitForFinished(30000));
    QCOMPARE(another->exitCode(), 0);
    QCOMPARE(next->state(), QProcess::Running);
    stop(*next);
}

void TestStartup::brokenPipeDoesNotKillTheClient()
{
    auto client = startClient();
    QVERIFY(clientCameUp());
    QFile status(QStringLiteral("/proc/%1/status").arg(client->processId()));
    QVERIFY(status.open(QIODevice::ReadOnly));
    bool found = false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (!line.startsWith("SigIgn:"))
            continue;
        found = true;
        bool ok = false;
        const qulonglong ignored = line.mid(7).trimmed().toULongLong(&ok, 16);
        QVERIFY(ok);
        QVERIFY2(ignored & (1ULL << (SIGPIPE - 1)), line.constData());
    }
    QVERIFY(found);
    stop(*client);
}

void TestStartup::leftoversOfAKilledRunAreRemoved()
{
    // The data folder that this start's lock guards.
    const QString data
        = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/Marvolt Software/VORNEXclient");
    const QString temp = QDir::tempPath();
    QVERIFY(QDir().mkpath(data) && QDir().mkpath(temp + QStringLiteral("/elsewhere")));
    // Another client's data folder, named by the settings it shares with
    // this start: not guarded by this start's lock, so left alone.
    const QString foreign = TestEnv::homeDir() + QStringLiteral("/foreign-data");
    QVERIFY(QDir().mkpath(foreign));
    {
        QSettings settings(ClientNames::organizationName(), ClientNames::applicationName());
        settings.setValue(ClientNames::applicationPathKey(), foreign);
    }
    auto touch = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write("partial") == 7;
    };
    const QString download = temp + QStringLiteral("/downloaded0123456789abcdef");
    QVERIFY(QDir().mkpath(download) && touch(download + QStringLiteral("/job.pdf")));
    const QString cacheTemp = data + QStringLiteral("/~#~127.0.0.1#51008.xml");
    QVERIFY(touch(cacheTemp));
    const QString foreignTemp = foreign + QStringLiteral("/~#~127.0.0.1#51008.xml");
    QVERIFY(touch(foreignTemp));
    // Not ours, or not of the kind: they stay, and a link is not followed.
    const QString otherName = temp + QStringLiteral("/downloaded-mine");
    QVERIFY(QDir().mkpath(otherName));
    const QString target = temp + QStringLiteral("/elsewhere/keep.txt");
    QVERIFY(touch(target));
    const QString link = temp + QStringLiteral("/downloadedfedcba9876543210");
    QVERIFY(QFile::link(temp + QStringLiteral("/elsewhere"), link));
    const QString cache = data + QStringLiteral("/127.0.0.1#51008.xml");
    QVERIFY(touch(cache));

    auto client = startClient();
    QVERIFY(client->waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(download) && !QFileInfo::exists(cacheTemp), 15000);
    QVERIFY(QFileInfo::exists(otherName));
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo::exists(target));
    QVERIFY(QFileInfo::exists(cache));
    QVERIFY(QFileInfo::exists(foreignTemp));
    stop(*client);
}
void TestStartup::oneClientWhereverTheChannelLives_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::newRow("no runtime folder") << QStringList { QStringLiteral("-XDG_RUNTIME_DIR") };
    QTest::newRow("another data folder") << QStringList { QStringLiteral("XDG_DATA_HOME=")
        + TestEnv::homeDir() + QStringLiteral("/other-data") };
}

void TestStartup::oneClientWhereverTheChannelLives()
{
    QFETCH(QStringList, environment);
    auto first = startClient();
    QVERIFY(clientCameUp());
    // It says in its locks where it listens.
    QTRY_COMPARE(TestFiles::readFile(InstanceLock::tempFolderLockPath()),
        QFile::encodeName(LocalPeer(ClientNames::instanceId()).serverName()));
    // A download the first client holds, made after its own clean-up.
    const QString held = QDir::tempPath() + QStringLiteral("/downloaded00112233445566ff");
    QVERIFY(QDir().mkpath(held));
    QFile file(held + QStringLiteral("/job.pdf"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("held") == 4);
    file.close();

    // Its channel or its data folder is elsewhere, yet it does not run.
    auto second = startClient(environment);
    QVERIFY(second->waitForFinished(ClientNames::kWakeUpTimeoutMs + 10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(QFileInfo::exists(held + QStringLiteral("/job.pdf")));
    QCOMPARE(first->state(), QProcess::Running);
    stop(*first);
    QDir(held).removeRecursively();
}

VORNEX_TEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
