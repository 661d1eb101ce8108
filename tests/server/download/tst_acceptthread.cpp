#include "AcceptThread.h"
#include "DownloadType.h"
#include "HostilePackages.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "SubmitPoint.h"
#include "SubmitStatus.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QtTest/QTest>

#include <csignal>
#include <memory>

#include <sys/resource.h>

using TestFiles::describe;
using TestFiles::downloadFolders;
using TestFiles::FileSizeLimit;
using TestFiles::pattern;
using TestFiles::writeFile;

namespace {

const QString flowId = QStringLiteral("flow-1");
const QString pointId = QStringLiteral("check-1");
const QString jobId = QStringLiteral("job-7");

} // namespace

class TestAcceptThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void jobAndReportArriveByteIdentical_data();
    void jobAndReportArriveByteIdentical();
    void repliesWithoutUsableAttachment_data();
    void repliesWithoutUsableAttachment();
    void hostilePackagesStayInTheirFolder_data();
    void hostilePackagesStayInTheirFolder();
    void writeFailureFailsTheDownload();
    void droppedDownloadLeavesNoFolder();
    void folderGoesWithTheThreadUnlessTaken();
    void mustConnectStartsNothing();
    void jobOverTwoGigabytesGoesUpAndComesDownWhole();

private:
    QString path(const QString &name) const { return m_work + QLatin1Char('/') + name; }
    void serveJob(const testserver::Package &package, const testserver::Package &report = {});
    // Starts a download on the connection and waits for its end.
    AcceptThread *download(int type, QString *resultPath, int request = 0);
    // False (and told) when no server runs or the connection fails.
    bool connectTo(bool https = false);

    QString m_work;
    std::unique_ptr<testserver::Server> m_server;
    std::unique_ptr<ServerProxy> m_proxy;
    ServerConnection *m_connection = nullptr;
};

void TestAcceptThread::initTestCase()
{
    ServerTest::useShortTimeouts();
}

void TestAcceptThread::init()
{
    m_work = QDir::tempPath() + QStringLiteral("/work-") + QString::fromLatin1(QTest::currentTestFunction());
    QDir(m_work).removeRecursively();
    QVERIFY(QDir().mkpath(m_work));
    m_proxy = std::make_unique<ServerProxy>();
}

void TestAcceptThread::cleanup()
{
    m_proxy.reset();
    m_connection = nullptr;
    m_server.reset();
    if (!QTest::currentTestFailed())
        QDir(m_work).removeRecursively();
}

bool TestAcceptThread::connectTo(bool https)
{
    m_server = ServerTest::startServer(https);
    if (!m_server) {
        qWarning("The test server did not start (run the test through ctest for its environment)");
        return false;
    }
    m_connection = ServerTest::addConnection(*m_proxy, m_server->port());
    return m_connection->connectToServer() && m_connection->isSecure() == https;
}

void TestAcceptThread::serveJob(const testserver::Package &package, const testserver::Package &report)
{
    testserver::Job job;
    job.id = jobId;
    job.name = QStringLiteral("Job");
    job.reportName = QStringLiteral("report.xml");
    job.enableReportViewing = true;
    job.package = package;
    job.report = report;
    testserver::CheckPoint point;
    point.id = pointId;
    point.name = QStringLiteral("Check");
    point.jobs.append(job);
    testserver::Flow flow;
    flow.id = flowId;
    flow.name = QStringLiteral("Flow");
    flow.checkPoints.append(point);
    m_server->setFlows({ flow });
}

AcceptThread *TestAcceptThread::download(int type, QString *resultPath, int request)
{
    QSignalSpy started(m_connection, &ServerConnection::acceptStarted);
    QSignalSpy finished(m_connection, &ServerConnection::acceptFinished);
    AcceptThread *thread = m_connection->acceptJob(flowId, pointId, jobId, type, request);
    if (!thread || started.count() != 1 || started.at(0).at(0).value<AcceptThread *>() != thread)
        return nullptr;
    if (!finished.wait(20000) || finished.at(0).at(0).value<AcceptThread *>() != thread)
        return nullptr;
    *resultPath = finished.at(0).at(1).toString();
    return thread;
}

void TestAcceptThread::jobAndReportArriveByteIdentical_data()
{
    QTest::addColumn<bool>("https");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("folder");
    QTest::newRow("file over http") << false << int(DownloadType::Job) << false;
    QTest::newRow("folder over http") << false << int(DownloadType::Job) << true;
    QTest::newRow("report over http") << false << int(DownloadType::Report) << false;
    QTest::newRow("folder over https") << true << int(DownloadType::Job) << true;
}

void TestAcceptThread::jobAndReportArriveByteIdentical()
{
    QFETCH(bool, https);
    QFETCH(int, type);
    QFETCH(bool, folder);
    QVERIFY(connectTo(https));
    QVERIFY(writeFile(path(QStringLiteral("job/scan.pdf")), pattern(3 * 1024 * 1024 + 17, 1)));
    QVERIFY(writeFile(path(QStringLiteral("job/sub/empty.txt")), QByteArray()));
    QVERIFY(QDir().mkpath(path(QStringLiteral("job/empty folder"))));
    QVERIFY(writeFile(path(QStringLiteral("report/result.xml")), pattern(70000, 2)));
    const QString jobSource = folder ? path(QStringLiteral("job")) : path(QStringLiteral("job/scan.pdf"));
    const QString reportSource = path(QStringLiteral("report/result.xml"));
    serveJob(testserver::Package::fromPath(jobSource), testserver::Package::fromPath(reportSource));

    QString result;
    AcceptThread *thread = download(type, &result, 42);
    QVERIFY(thread);
    QCOMPARE(thread->getJobId(), jobId);
    QCOMPARE(thread->getDownloadType(), type);
    QCOMPARE(thread->getRequest(), 42);
    QCOMPARE(thread->lastError(), 0);
    QVERIFY(!thread->serverHadNothing());
    QVERIFY(!result.isEmpty());
    QCOMPARE(thread->getResultPath(), result);
    QVERIFY(QFileInfo(result).isAbsolute());
    QCOMPARE(QFileInfo(result).absolutePath(), thread->getFolder());
    QVERIFY(QFileInfo(thread->getFolder()).fileName().startsWith(QStringLiteral("downloaded")));
    const QString source = type == DownloadType::Report ? reportSource : jobSource;
    QCOMPARE(describe(result), describe(source));

    const QList<testserver::JournalEntry> journal = m_server->journal();
    QCOMPARE(journal.last().operation, QStringLiteral("DownloadFile08"));
    QCOMPARE(journal.last().arguments.value(QStringLiteral("downloadType")), QString::number(type));
    QCOMPARE(journal.last().arguments.value(QStringLiteral("flowId")), flowId);
    QCOMPARE(journal.last().arguments.value(QStringLiteral("checkPointId")), pointId);
    QCOMPARE(journal.last().arguments.value(QStringLiteral("jobId")), jobId);
    QCOMPARE(journal.last().user, QStringLiteral("user"));

    // The receiver that takes the folder keeps it past the thread.
    const QString kept = thread->takeFolder();
    delete thread;
    QVERIFY(QFileInfo::exists(result));
    QVERIFY(QDir(kept).removeRecursively());
}

void TestAcceptThread::repliesWithoutUsableAttachment_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("unknownJob");
    QTest::newRow("inline payload") << int(testserver::Fault::InlinePayload) << false;
    QTest::newRow("empty payload") << int(testserver::Fault::EmptyPayload) << false;
    QTest::newRow("no payload element") << int(testserver::Fault::OmitResult) << false;
    QTest::newRow("sender fault") << int(testserver::Fault::SenderFault) << false;
    QTest::newRow("unknown job") << int(testserver::Fault::None) << true;
}

void TestAcceptThread::repliesWithoutUsableAttachment()
{
    QFETCH(int, fault);
    QFETCH(bool, unknownJob);
    QVERIFY(connectTo());
    QVERIFY(writeFile(path(QStringLiteral("scan.pdf")), pattern(5000, 3)));
    if (!unknownJob)
        serveJob(testserver::Package::fromPath(path(QStringLiteral("scan.pdf"))));
    testserver::Fault injected;
    injected.kind = testserver::Fault::Kind(fault);
    if (fault == testserver::Fault::SenderFault)
        injected = testserver::Fault::senderFault();
    m_server->setFault(testserver::Operation::DownloadFile08, injected);

    QString result = QStringLiteral("unset");
    AcceptThread *thread = download(DownloadType::Job, &result);
    QVERIFY(thread);
    QVERIFY(result.isEmpty());
    QVERIFY(thread->serverHadNothing());
    QVERIFY(thread->getFolder().isEmpty());
    QVERIFY(downloadFolders().isEmpty());
    delete thread;
}

void TestAcceptThread::hostilePackagesStayInTheirFolder_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("climbs out") << QStringLiteral("traversal");
    QTest::newRow("absolute path") << QStringLiteral("absolute");
    QTest::newRow("symbolic link") << QStringLiteral("symlink");
    QTest::newRow("truncated") << QStringLiteral("truncated");
}

void TestAcceptThread::hostilePackagesStayInTheirFolder()
{
    QFETCH(QString, kind);
    QVERIFY(connectTo());
    const QString outside = path(QStringLiteral("outside.txt"));
    QByteArray bytes;
    if (kind == QLatin1String("traversal"))
        bytes = testserver::HostilePackages::traversal(QStringLiteral("escaped.txt"));
    else if (kind == QLatin1String("absolute"))
        bytes = testserver::HostilePackages::absolutePath(outside);
    else if (kind == QLatin1String("symlink"))
        bytes = testserver::HostilePackages::symlink(QStringLiteral("link"), m_work);
    else
        bytes = testserver::HostilePackages::truncated(QStringLiteral("short.bin"));
    serveJob(testserver::Package::fromBytes(bytes));
    const QStringList tempBefore = QDir(QDir::tempPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    QString result = QStringLiteral("unset");
    AcceptThread *thread = download(DownloadType::Job, &result);
    QVERIFY(thread);
    QVERIFY(result.isEmpty());
    QVERIFY(!thread->serverHadNothing());
    delete thread;
    QVERIFY(!QFileInfo::exists(outside));
    QVERIFY(!QFileInfo::exists(QDir::tempPath() + QStringLiteral("/escaped.txt")));
    QCOMPARE(QDir(m_work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QCOMPARE(QDir(QDir::tempPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), tempBefore);
    QVERIFY(downloadFolders().isEmpty());
}

void TestAcceptThread::writeFailureFailsTheDownload()
{
    QVERIFY(connectTo());
    QVERIFY(writeFile(path(QStringLiteral("big.bin")), pattern(4 * 1024 * 1024, 4)));
    serveJob(testserver::Package::fromPath(path(QStringLiteral("big.bin"))));

    QString result = QStringLiteral("unset");
    AcceptThread *thread;
    {
        // No file of this process may grow past 1 MiB: the disk is full.
        const FileSizeLimit limit(1024 * 1024);
        thread = download(DownloadType::Job, &result);
    }
    QVERIFY(thread);
    QVERIFY(result.isEmpty());
    QVERIFY(thread->lastError() != 0);
    QVERIFY(!thread->serverHadNothing());
    QVERIFY(downloadFolders().isEmpty());
    delete thread;

    // The same download without the limit goes through.
    thread = download(DownloadType::Job, &result);
    QVERIFY(thread);
    QCOMPARE(describe(result), describe(path(QStringLiteral("big.bin"))));
    delete thread;
    QVERIFY(downloadFolders().isEmpty());
}

void TestAcceptThread::droppedDownloadLeavesNoFolder()
{
    QVERIFY(connectTo());
    QVERIFY(writeFile(path(QStringLiteral("big.bin")), pattern(8 * 1024 * 1024, 5)));
    serveJob(testserver::Package::fromPath(path(QStringLiteral("big.bin"))));

    // The server breaks off in the middle of the attachment.
    m_server->setFault(
        testserver::Operation::DownloadFile08, testserver::Fault::dropReplyAfter(2 * 1024 * 1024));
    QString result = QStringLiteral("unset");
    AcceptThread *thread = download(DownloadType::Job, &result);
    QVERIFY(thread);
    QVERIFY(result.isEmpty());
    QVERIFY(!thread->serverHadNothing());
    QVERIFY(downloadFolders().isEmpty());
    delete thread;

    // A server that goes silent: the thread is cancelled when its
    // connection goes, and takes its folder with it.
    m_server->setFault(testserver::Operation::DownloadFile08, testserver::Fault::hang());
    QPointer<AcceptThread> hanging = m_connection->acceptJob(flowId, pointId, jobId, DownloadType::Job);
    QVERIFY(hanging);
    QVERIFY(m_server->waitForJournal(m_server->journal().size() + 1, 5000));
    QVERIFY(hanging->isRunning());
    const int connectionIndex = m_proxy->getConnectionCount() - 1;
    QElapsedTimer timer;
    timer.start();
    m_proxy->removeConnection(connectionIndex);
    m_connection = nullptr;
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(hanging.isNull());
    m_server->releaseHangingCalls();
    QVERIFY(downloadFolders().isEmpty());
}

void TestAcceptThread::folderGoesWithTheThreadUnlessTaken()
{
    QVERIFY(connectTo());
    QVERIFY(writeFile(path(QStringLiteral("a.txt")), "a"));
    serveJob(testserver::Package::fromPath(path(QStringLiteral("a.txt"))));

    QString result;
    AcceptThread *thread = download(DownloadType::Job, &result);
    QVERIFY(thread);
    QVERIFY(QFileInfo::exists(result));
    delete thread;
    QVERIFY(!QFileInfo::exists(result));
    QVERIFY(downloadFolders().isEmpty());

    // With nobody listening, the connection lets the finished thread go.
    QPointer<AcceptThread> unheard = m_connection->acceptJob(flowId, pointId, jobId, DownloadType::Job);
    QVERIFY(unheard);
    QTRY_VERIFY_WITH_TIMEOUT(unheard.isNull(), 10000);
    QVERIFY(downloadFolders().isEmpty());
}

void TestAcceptThread::mustConnectStartsNothing()
{
    m_server = ServerTest::startServer();
    QVERIFY(m_server);
    serveJob(
        testserver::Package::fromBytes(testserver::HostilePackages::validFile(QStringLiteral("a"), "a")));
    m_connection = ServerTest::addConnection(*m_proxy, m_server->port());
    QVERIFY(m_connection->mustConnect());
    QSignalSpy started(m_connection, &ServerConnection::acceptStarted);
    QSignalSpy finished(m_connection, &ServerConnection::acceptFinished);
    QVERIFY(!m_connection->acceptJob(flowId, pointId, jobId, DownloadType::Report));
    QCOMPARE(started.count(), 0);
    // The connect activity it asked for brings the connection up, and
    // no download ever starts from that request.
    QTRY_VERIFY_WITH_TIMEOUT(m_connection->isOnline(), 10000);
    QCOMPARE(started.count(), 0);
    QCOMPARE(finished.count(), 0);
    QVERIFY(!ServerTest::operations(*m_server).contains(QStringLiteral("DownloadFile08")));
}

namespace {

qint64 peakMemoryKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool sameContent(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly)
        || first.size() != second.size())
        return false;
    while (!first.atEnd()) {
        if (first.read(1 << 20) != second.read(1 << 20))
            return false;
    }
    return true;
}

} // namespace

void TestAcceptThread::jobOverTwoGigabytesGoesUpAndComesDownWhole()
{
    // Past the toolkit's default limit of 2 GB per message, both ways.
    constexpr qint64 size = 2200LL * 1000 * 1000;
    // The source is sparse; the server's copy and the download are not.
    if (QStorageInfo(QDir::tempPath()).bytesAvailable() < 2 * size + (1LL << 30))
        QSKIP("The temporary folder's file system has too little room for two copies of 2.2 GB");
    QVERIFY(connectTo());
    const QString source = path(QStringLiteral("big/huge.bin"));
    QVERIFY(QDir().mkpath(QFileInfo(source).absolutePath()));
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size));
        for (const qint64 at : { qint64(0), (qint64(1) << 31) - 3, size - 5 }) {
            QVERIFY(file.seek(at));
            QCOMPARE(file.write(pattern(5, int(at % 97))), qint64(5));
        }
    }
    testserver::Flow flow;
    flow.id = flowId;
    flow.name = QStringLiteral("Flow");
    flow.submitPoints.append({ QStringLiteral("in"), QStringLiteral("In"), {} });
    m_server->setFlows({ flow });
    const qint64 memoryBefore = peakMemoryKb();

    SubmitPoint point(m_connection, QStringLiteral("in"), flowId, QStringLiteral("In"));
    const SubmittedFilePtr job = point.createJob(source);
    point.startSubmit(job.get());
    QTRY_VERIFY_WITH_TIMEOUT(!point.isSubmitting(job.get()), 240000);
    QCOMPARE(job->getStatus(), int(SubmitStatus::Finished));
    const QList<testserver::Upload> uploads = m_server->uploads();
    QCOMPARE(uploads.size(), 1);
    QVERIFY2(uploads[0].accepted, qPrintable(uploads[0].error));
    QCOMPARE(uploads[0].bytesReceived, job->getTotalSize());
    QVERIFY(sameContent(uploads[0].mainFile, source));

    // What the server took is the job it offers for download.
    serveJob(testserver::Package::fromPath(uploads[0].mainFile));
    QSignalSpy finished(m_connection, &ServerConnection::acceptFinished);
    QVERIFY(m_connection->acceptJob(flowId, pointId, jobId, DownloadType::Job));
    QVERIFY(finished.wait(240000));
    const QString result = finished.at(0).at(1).toString();
    std::unique_ptr<AcceptThread> thread(finished.at(0).at(0).value<AcceptThread *>());
    QVERIFY2(!result.isEmpty(), qPrintable(QStringLiteral("error %1").arg(thread->lastError())));
    QVERIFY(sameContent(result, source));
    const qint64 grownKb = peakMemoryKb() - memoryBefore;
    qInfo("Peak memory grew by %lld KiB for 2.2 GB up and down", grownKb);
    QVERIFY(grownKb < 200 * 1024);
}

VORNEX_TEST_GUILESS_MAIN(TestAcceptThread)
#include "tst_acceptthread.moc"
