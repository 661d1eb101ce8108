#include "AcceptThread.h"
#include "CheckPoint.h"
#include "ConnectionThread.h"
#include "DownloadType.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "SubmitPoint.h"
#include "SubmitStatus.h"
#include "SubstituteFile.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "WorkFlags.h"

#include <QDir>
#include <QSignalSpy>
#include <QtTest>

#include <ombrelServiceProxy.h>

using namespace testserver;
using namespace ServerTest;

// A connection marked for SSL, or one whose server answered over SSL: no
// request of it goes over plain HTTP, whoever makes it.
class TestSecureConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sslOnlyServerConnectsSecurely();
    void markedSecureNeverSendsCredentialsInClear_data();
    void markedSecureNeverSendsCredentialsInClear();
    void markedSecureWaitsForASlowSecureAnswer();
    void transfersNeverGoPlainDuringAConnectAttempt();
    void secureContextRefusesAPlainEndpoint();
    void httpsHostNeverSendsCredentialsInClear_data();
    void httpsHostNeverSendsCredentialsInClear();
};

void TestSecureConnection::initTestCase()
{
    useShortTimeouts();
}

void TestSecureConnection::sslOnlyServerConnectsSecurely()
{
    auto server = startServer(true);
    QVERIFY(server);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());

    QVERIFY(connection->connectToServer());
    QVERIFY(connection->isSecure());
    QCOMPARE(connection->getEndPoint(), server->endpoint());
    connection->login();
    QVERIFY(connection->isOnline());
    QCOMPARE(connection->statusText(), QStringLiteral("Connected securely"));
    const QList<JournalEntry> journal = server->journal();
    QCOMPARE(operations(*server),
        (QStringList { QStringLiteral("CheckConnect"), QStringLiteral("GetStatus"),
            QStringLiteral("CheckUserNameAndPass") }));
    for (const JournalEntry &entry : journal)
        QVERIFY(entry.secure);
}

void TestSecureConnection::markedSecureNeverSendsCredentialsInClear_data()
{
    // What listens on the port: TLS with a certificate from a CA the client
    // does not trust, plain HTTP, or both (told apart by the first byte).
    QTest::addColumn<bool>("tls");
    QTest::addColumn<bool>("plain");
    QTest::addColumn<QString>("status");
    QTest::newRow("plain only") << false << true
                                << QStringLiteral("The server answers only without encryption");
    QTest::newRow("untrusted certificate and plain")
        << true << true << QStringLiteral("The server's certificate is not trusted");
    QTest::newRow("untrusted certificate only")
        << true << false << QStringLiteral("The server's certificate is not trusted");
}

void TestSecureConnection::markedSecureNeverSendsCredentialsInClear()
{
    QFETCH(bool, tls);
    QFETCH(bool, plain);
    QFETCH(QString, status);
    Options options;
    options.https = tls;
    options.plainToo = tls && plain;
    options.requireClientCertificate = false;
    options.sslDir = TestEnv::binDir() + QStringLiteral("/ssl_untrusted");
    options.password = QStringLiteral("secret");
    options.ioTimeoutSeconds = 5;
    Server server;
    QVERIFY2(server.start(options), qPrintable(server.errorString()));
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server.port(), QStringLiteral("secret"));
    connection->setSSLUsed(true);
    QSignalSpy connected(connection, &ServerConnection::connected);

    QVERIFY(!connection->connectToServer());
    QCOMPARE(connection->statusText(), status);
    QVERIFY(!connection->isOnline());
    QVERIFY(connection->mustConnect());
    QVERIFY(connection->isSecure());
    // Not even a log-in asked for directly goes out over plain HTTP.
    connection->login();
    QVERIFY(!connection->isOnline());
    QCOMPARE(connected.count(), 0);

    const QList<JournalEntry> journal = server.journal();
    QCOMPARE(journal.isEmpty(), !plain);
    for (const JournalEntry &entry : journal) {
        QCOMPARE(entry.operation, QStringLiteral("CheckConnect"));
        QVERIFY(!entry.secure);
        QVERIFY2(entry.authorization.isEmpty(), entry.authorization.constData());
    }
}

void TestSecureConnection::markedSecureWaitsForASlowSecureAnswer()
{
    // TLS and plain HTTP on one port, each answering later than the short
    // probe allows: the plain answer does not end the probing.
    Options options;
    options.https = true;
    options.plainToo = true;
    options.ioTimeoutSeconds = 5;
    Server server;
    QVERIFY2(server.start(options), qPrintable(server.errorString()));
    server.setFault(Operation::CheckConnect, Fault::delay(1000));
    const ServerConnection::CallTimeouts saved = ServerConnection::callTimeouts();
    ServerConnection::CallTimeouts probes = saved;
    probes.shortProbeMs = 300;
    probes.longProbeMs = 5000;
    ServerConnection::setCallTimeouts(probes);
    const auto restore = qScopeGuard([saved] { ServerConnection::setCallTimeouts(saved); });
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server.port());
    connection->setSSLUsed(true);

    QVERIFY(connection->connectToServer());
    QVERIFY(connection->isSecure());
    QVERIFY(connection->isOnline());
    QCOMPARE(connection->getEndPoint(), connection->secureEndPoint());
}
// A second connect attempt points the connection's current endpoint at
// plain HTTP while its probes run; an upload, a download and a replacement
// started then go over SSL all the same.
void TestSecureConnection::transfersNeverGoPlainDuringAConnectAttempt()
{
    const QString work = QDir::tempPath() + QStringLiteral("/secure-transfers");
    QDir(work).removeRecursively();
    QVERIFY(QDir().mkpath(work));
    const QString upload = work + QStringLiteral("/up.bin");
    const QString package = work + QStringLiteral("/package.bin");
    const QString replacement = work + QStringLiteral("/new.pdf");
    for (const QString &path : { upload, package, replacement })
        QVERIFY(TestFiles::writeFile(path, 200000));
    // TLS and plain HTTP on one port: a request that went plain is in the
    // journal as such.
    Options options;
    options.https = true;
    options.plainToo = true;
    options.ioTimeoutSeconds = 5;
    Server server;
    QVERIFY2(server.start(options), qPrintable(server.errorString()));
    testserver::Flow flow;
    flow.id = QStringLiteral("F1");
    flow.name = QStringLiteral("Flow");
    testserver::SubmitPoint in;
    in.id = QStringLiteral("S1");
    in.name = QStringLiteral("In");
    flow.submitPoints.append(in);
    testserver::CheckPoint check;
    check.id = QStringLiteral("C1");
    check.name = QStringLiteral("Check");
    for (const QString &id : { QStringLiteral("J1"), QStringLiteral("J2") }) {
        testserver::Job job;
        job.id = id;
        job.name = id + QStringLiteral(".pdf");
        job.allowReplacing = true;
        job.package = Package::fromPath(package);
        check.jobs.append(job);
    }
    flow.checkPoints.append(check);
    server.setFlows({ flow });

    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server.port());
    connection->setSSLUsed(true);
    QVERIFY(connection->connectToServer());
    connection->login();
    QVERIFY(connection->isOnline());
    QCOMPARE(connection->statusText(), QStringLiteral("Connected securely"));

    // The second attempt's first probe answers late.
    server.setFault(Operation::CheckConnect, Fault::delay(2000));
    const int before = int(server.journal().size());
    auto *attempt = new ConnectionThread(nullptr, connection, ActivityFlags::Connect);
    QSignalSpy attemptEnded(attempt, &ConnectionThread::finished);
    attempt->start();
    QVERIFY(server.waitForJournal(before + 1, 5000));
    QVERIFY(connection->isConnecting());

    const SubmitPointPtr point(
        new ::SubmitPoint(connection, QStringLiteral("S1"), QStringLiteral("F1"), in.name));
    const SubmittedFilePtr job = point->addJob(upload);
    point->startSubmit(job.get());
    QSignalSpy downloaded(connection, &ServerConnection::acceptFinished);
    QVERIFY(connection->acceptJob(
        QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1"), DownloadType::Job));
    ::CheckPoint checkPoint(connection, QStringLiteral("C1"), QStringLiteral("F1"), check.name);
    const SubstituteFilePtr substitute(
        new SubstituteFile(QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J2"), replacement));
    QSignalSpy replaced(&checkPoint, qOverload<>(&::CheckPoint::replaceFinished));
    QVERIFY(checkPoint.replaceJob(substitute));
    QVERIFY(connection->isConnecting());

    QTRY_COMPARE_WITH_TIMEOUT(job->getStatus(), int(SubmitStatus::Finished), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(downloaded.count(), 1, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(replaced.count(), 1, 20000);
    QVERIFY(attemptEnded.count() == 1 || attemptEnded.wait(10000));
    QVERIFY(connection->isSecure());
    QVERIFY(!downloaded.first().at(1).toString().isEmpty());
    delete downloaded.first().at(0).value<AcceptThread *>();
    QCOMPARE(substitute->getStatus(), int(ReplaceStatus::Replaced));

    QStringList received;
    for (const JournalEntry &entry : server.journal()) {
        received.append(entry.operation);
        QVERIFY2(entry.secure, qPrintable(entry.operation + QStringLiteral(" went over plain HTTP")));
    }
    for (const char *operation : { "SubmitFile08", "DownloadFile08", "ReplaceFile08" })
        QVERIFY2(received.contains(QLatin1String(operation)), operation);
    QDir(work).removeRecursively();
}

// The last guard: a context made for SSL sends nothing to a plain
// endpoint, whatever it is handed.
void TestSecureConnection::secureContextRefusesAPlainEndpoint()
{
    auto server = startServer();
    QVERIFY(server);
    UserCall::Target target;
    target.endpoint = server->endpoint();
    target.user = "user";
    target.secure = true;
    const UserCall::Outcome outcome = UserCall::runHere(target, [](ombrel::Service *proxy) {
        int result = 0;
        return proxy->ombrel__CheckConnect(result);
    });
    QCOMPARE(outcome.soapError, SOAP_SSL_ERROR);
    QCOMPARE(outcome.reach, SendTracker::Reach::NotSent);
    QVERIFY(server->journal().isEmpty());
    QCOMPARE(server->openConnections(), 0);
}

void TestSecureConnection::httpsHostNeverSendsCredentialsInClear_data()
{
    // 0: before any attempt; 1: while one runs; 2: online over plain HTTP
    QTest::addColumn<int>("when");
    QTest::newRow("applied before") << 0;
    QTest::newRow("applied while an attempt runs") << 1;
    QTest::newRow("applied while online") << 2;
}

// A host written "https://host" is all a user can say to ask for SSL: a
// server that answers only plain HTTP gets no credentials, also when the
// edit is applied while an attempt of the plain connection runs or while
// it is online over plain HTTP.
void TestSecureConnection::httpsHostNeverSendsCredentialsInClear()
{
    QFETCH(int, when);
    auto server = startServer();
    QVERIFY(server);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    if (when == 1) {
        // The plain probe answers once the edit is applied.
        server->setFault(Operation::CheckConnect, Fault::delay(1000).times(1));
        proxy.loginAllConnections();
        QVERIFY(server->waitForJournal(1, 5000));
    } else if (when == 2) {
        proxy.loginAllConnections();
        QTRY_VERIFY_WITH_TIMEOUT(connection->isOnline(), 10000);
        QTRY_VERIFY(!proxy.hasConnectionActivity(connection));
    }
    const int before = when == 2 ? int(server->journal().size()) : 0;
    connection->setHost(QStringLiteral("https://127.0.0.1"));
    connection->applySettings();
    proxy.startConnectionActivity(connection, ActivityFlags::Login, false);
    QTRY_VERIFY_WITH_TIMEOUT(!proxy.hasConnectionActivity(connection), 20000);
    const QList<JournalEntry> journal = server->journal().mid(before);
    QVERIFY(!journal.isEmpty());
    for (const JournalEntry &entry : journal) {
        QCOMPARE(entry.operation, QStringLiteral("CheckConnect"));
        QVERIFY2(entry.authorization.isEmpty(), entry.authorization.constData());
    }
    QVERIFY(connection->isSecure());
    QVERIFY(!connection->isOnline());
    QCOMPARE(connection->statusText(), QStringLiteral("The server answers only without encryption"));
}

VORNEX_TEST_GUILESS_MAIN(TestSecureConnection)
#include "tst_secureconnection.moc"
