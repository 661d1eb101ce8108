#include "LocalPeer.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using TestFiles::modeOf;

namespace {

// The sender blocks until the receipt arrives, and the receiver answers
// from this thread's event loop, so the send runs on a thread of its own.
class AsyncSend
{
public:
    AsyncSend(const LocalPeer &peer, const QString &message, int timeoutMs)
    {
        const QString id = peer.id();
        m_thread.reset(QThread::create([this, id, message, timeoutMs] {
            const LocalPeer sender(id);
            m_result = sender.sendMessage(message, timeoutMs) ? 1 : 0;
        }));
        m_thread->start();
    }
    ~AsyncSend() { m_thread->wait(); }
    bool done() const { return m_result.load() >= 0; }
    bool result() const { return m_result.load() == 1; }

private:
    std::unique_ptr<QThread> m_thread;
    std::atomic<int> m_result { -1 };
};

// A socket file such as a killed process leaves: bound, then closed
// without removing the file.
void makeStaleSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    QVERIFY(size_t(encoded.size()) < sizeof(addr.sun_path));
    memcpy(addr.sun_path, encoded.constData(), encoded.size() + 1);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
    ::close(fd);
    QVERIFY(QFileInfo::exists(path));
}

class EnvOverride
{
public:
    EnvOverride(const char *name, const QByteArray &value)
        : m_name(name)
        , m_old(qgetenv(name))
        , m_had(qEnvironmentVariableIsSet(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvOverride()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    QByteArray m_old;
    bool m_had;
};

} // namespace

class TestLocalPeer : public QObject
{
    Q_OBJECT

private slots:
    void socketIsPrivateToTheUser();
    void messageReachesTheListeningPeer();
    void onlyOnePeerListens();
    void staleSocketIsTakenOver();
    void sendToStaleSocketFailsAtOnce();
    void silentListenerTimesOut();
    void malformedClientDoesNotStopTheListener();
    void fallbackFolderWithoutRuntimeDir();
    void takenFallbackNameMovesUnderHome_data();
    void takenFallbackNameMovesUnderHome();
};

void TestLocalPeer::socketIsPrivateToTheUser()
{
    LocalPeer peer(QStringLiteral("private test"));
    const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    QCOMPARE(QFileInfo(peer.serverName()).absolutePath(), runtime);
    QVERIFY(peer.listen());
    QVERIFY(QFileInfo::exists(peer.serverName()));
    QCOMPARE(modeOf(peer.serverName()) & 077, mode_t(0));
    // Ids that differ only in characters a file name cannot hold still differ.
    QVERIFY(LocalPeer(QStringLiteral("a/b")).serverName() != LocalPeer(QStringLiteral("a_b")).serverName());
}

void TestLocalPeer::messageReachesTheListeningPeer()
{
    LocalPeer first(QStringLiteral("message test"));
    QVERIFY(first.listen());
    QSignalSpy received(&first, &LocalPeer::messageReceived);

    const QString text = QStringLiteral("VORNEXclient_check \u00e4\u20ac");
    AsyncSend send(first, text, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(send.done(), 6000);
    QVERIFY(send.result());
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toString(), text);

    // The listener keeps answering.
    AsyncSend again(first, QStringLiteral("second"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(again.done(), 6000);
    QVERIFY(again.result());
    QTRY_COMPARE(received.count(), 2);
}

void TestLocalPeer::onlyOnePeerListens()
{
    LocalPeer first(QStringLiteral("one listener"));
    LocalPeer second(QStringLiteral("one listener"));
    QVERIFY(!second.isClient());
    QVERIFY(first.listen());
    QVERIFY(second.isClient());
    QVERIFY(!second.listen());
    QVERIFY(first.isListening());

    // The first still gets the messages: the second did not take the name.
    QSignalSpy received(&first, &LocalPeer::messageReceived);
    AsyncSend send(first, QStringLiteral("hello"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(send.done(), 6000);
    QVERIFY(send.result());
    QTRY_COMPARE(received.count(), 1);

    // A closing peer is no longer found, and a later one takes the name.
    first.close();
    QVERIFY(!QFileInfo::exists(first.serverName()));
    QVERIFY(!LocalPeer::deliver(first.serverName(), QStringLiteral("late"), 1000));
    QVERIFY(second.listen());
}

void TestLocalPeer::staleSocketIsTakenOver()
{
    LocalPeer peer(QStringLiteral("stale test"));
    makeStaleSocket(peer.serverName());
    QVERIFY(!peer.isClient());
    QVERIFY(peer.listen());

    QSignalSpy received(&peer, &LocalPeer::messageReceived);
    AsyncSend send(peer, QStringLiteral("after recovery"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(send.done(), 6000);
    QVERIFY(send.result());
    QTRY_COMPARE(received.count(), 1);
}

void TestLocalPeer::sendToStaleSocketFailsAtOnce()
{
    LocalPeer peer(QStringLiteral("stale send"));
    makeStaleSocket(peer.serverName());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!peer.sendMessage(QStringLiteral("anyone?"), 5000));
    // Refused at once rather than waiting out the timeout.
    QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
}

void TestLocalPeer::silentListenerTimesOut()
{
    LocalPeer peer(QStringLiteral("silent"));
    QLocalServer silent;
    QVERIFY(silent.listen(peer.serverName()));
    AsyncSend send(peer, QStringLiteral("hello?"), 700);
    QTRY_VERIFY_WITH_TIMEOUT(send.done(), 5000);
    QVERIFY(!send.result());
}

void TestLocalPeer::malformedClientDoesNotStopTheListener()
{
    LocalPeer peer(QStringLiteral("malformed"));
    QVERIFY(peer.listen());
    QSignalSpy received(&peer, &LocalPeer::messageReceived);

    QLocalSocket oversized;
    oversized.connectToServer(peer.serverName());
    QVERIFY(oversized.waitForConnected(2000));
    oversized.write(QByteArray("\xff\xff\xff\xff garbage", 12));
    oversized.flush();
    QTRY_COMPARE(oversized.state(), QLocalSocket::UnconnectedState);

    QLocalSocket truncated;
    truncated.connectToServer(peer.serverName());
    QVERIFY(truncated.waitForConnected(2000));
    truncated.write(QByteArray("\0\0\0\x10half", 8));
    truncated.flush();
    truncated.disconnectFromServer();

    AsyncSend send(peer, QStringLiteral("well formed"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(send.done(), 6000);
    QVERIFY(send.result());
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toString(), QStringLiteral("well formed"));
}

void TestLocalPeer::fallbackFolderWithoutRuntimeDir()
{
    const QString expected = QDir::tempPath() + QStringLiteral("/vornex-") + QString::number(::geteuid());
    {
        EnvOverride unset("XDG_RUNTIME_DIR", QByteArray());
        QCOMPARE(LocalPeer::socketFolder(), expected);
        QCOMPARE(modeOf(expected), mode_t(0700));
        LocalPeer peer(QStringLiteral("fallback"));
        QVERIFY(peer.serverName().startsWith(expected + QLatin1Char('/')));
        QVERIFY(peer.listen());
    }
    // A runtime folder that others can enter is not used either.
    const QString open = TestEnv::homeDir() + QStringLiteral("/open-runtime");
    QVERIFY(QDir().mkpath(open));
    QVERIFY(::chmod(QFile::encodeName(open).constData(), 0777) == 0);
    {
        EnvOverride shared("XDG_RUNTIME_DIR", QFile::encodeName(open));
        QCOMPARE(LocalPeer::socketFolder(), expected);
    }
}

void TestLocalPeer::takenFallbackNameMovesUnderHome_data()
{
    QTest::addColumn<QString>("planted");
    QTest::newRow("file") << QStringLiteral("file");
    QTest::newRow("symlink") << QStringLiteral("symlink");
    QTest::newRow("folder others may enter") << QStringLiteral("open");
    QTest::newRow("folder of another user") << QStringLiteral("foreign");
}

void TestLocalPeer::takenFallbackNameMovesUnderHome()
{
    QFETCH(QString, planted);
    if (planted == QLatin1String("foreign") && ::geteuid() != 0)
        QSKIP("needs root to give a folder to another user");
    const QString tmp = TestEnv::homeDir() + QStringLiteral("/tmp-") + planted;
    QVERIFY(QDir().mkpath(tmp));
    EnvOverride tmpdir("TMPDIR", QFile::encodeName(tmp));
    EnvOverride unset("XDG_RUNTIME_DIR", QByteArray());
    const QString taken = tmp + QStringLiteral("/vornex-") + QString::number(::geteuid());
    const QByteArray name = QFile::encodeName(taken);
    if (planted == QLatin1String("file")) {
        QFile file(taken);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (planted == QLatin1String("symlink")) {
        QVERIFY(QFile::link(TestEnv::homeDir(), taken));
    } else {
        QVERIFY(::mkdir(name.constData(), 0700) == 0);
        if (planted == QLatin1String("open"))
            QVERIFY(::chmod(name.constData(), 0777) == 0);
        else
            QVERIFY(::chown(name.constData(), 65534, 65534) == 0);
    }

    const QString own = QString::fromLocal8Bit(qgetenv("XDG_CACHE_HOME")) + QStringLiteral("/vornex");
    QCOMPARE(LocalPeer::socketFolder(), own);
    QCOMPARE(modeOf(own), mode_t(0700));

    // The check still works: a second start only wakes the first.
    LocalPeer first(QStringLiteral("taken-") + planted);
    QVERIFY(first.serverName().startsWith(own + QLatin1Char('/')));
    QVERIFY(first.listen());
    QVERIFY(!QFileInfo::exists(taken + QLatin1Char('/') + QFileInfo(first.serverName()).fileName()));
    QSignalSpy received(&first, &LocalPeer::messageReceived);
    LocalPeer second(first.id());
    QVERIFY(!second.listen());
    AsyncSend send(first, QStringLiteral("wake"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(send.done(), 6000);
    QVERIFY(send.result());
    QTRY_COMPARE(received.count(), 1);
}

VORNEX_TEST_GUILESS_MAIN(TestLocalPeer)
#include "tst_localpeer.moc"
