#include "ReplaceJobThread.h"
#include "ServerTestSupport.h"
#include "StreamedUpload.h"
#include "SubstituteFile.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QSignalSpy>
#include <QtTest/QTest>

#include <memory>

using TestFiles::pattern;
using TestFiles::readFile;
using TestFiles::writeFile;

namespace {

const QString flowId = QStringLiteral("flow-1");
const QString checkPointId = QStringLiteral("check-1");
const QString jobId = QStringLiteral("job-a");

testserver::Flow flow(const QString &packagePath)
{
    testserver::Flow f;
    f.id = flowId;
    f.name = QStringLiteral("Flow");
    testserver::CheckPoint check;
    check.id = checkPointId;
    check.name = QStringLiteral("Check");
    testserver::Job job;
    job.id = jobId;
    job.name = QStringLiteral("original.pdf");
    job.allowReplacing = true;
    job.connections = { { QStringLiteral("out-1"), QStringLiteral("Approved") } };
    job.package = testserver::Package::fromPath(packagePath);
    check.jobs.append(job);
    f.checkPoints.append(check);
    return f;
}

PushJobInfo decision()
{
    MetadataToFill field;
    field.label = QStringLiteral("Approved by");
    field.description = QStringLiteral("Your name");
    field.dataType = QStringLiteral("string");
    field.dataFormat = QStringLiteral("^.+$");
    field.valueIsRequired = true;
    field.value = QStringLiteral("Jürgen");
    field.key = QStringLiteral("never sent");
    PushJobInfo info;
    info.requiredMetadata = { field };
    info.connectionIds = { QStringLiteral("out-1") };
    info.jobName = QStringLiteral("original.pdf");
    info.push = true;
    return info;
}

} // namespace

class TestReplaceJobThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fileReplacesTheJobByteIdentical();
    void folderReplacement();
    void compressedReplacement();
    void notReplacedAndRefusedEndInFailure_data();
    void notReplacedAndRefusedEndInFailure();
    void cancelAbortsTheTransfer();
    void cancelledBeforeTheStartSendsNothing();
    void sizesBeyondFourGigabytes();

private:
    QString path(const QString &name) const { return m_work + QLatin1Char('/') + name; }
    SubstituteFilePtr makeFile(const QString &path, const QString &job = jobId);
    // Starts the thread; its file's statuses are recorded in order.
    std::unique_ptr<ReplaceJobThread> start(const SubstituteFilePtr &file);
    QList<int> statuses();
    QString serverPackagePath() const;

    QString m_work;
    QString m_original;
    std::unique_ptr<testserver::Server> m_server;
    QMutex m_statusMutex;
    QList<int> m_statuses;
};

void TestReplaceJobThread::initTestCase()
{
    ServerTest::useShortTimeouts();
    StreamedUpload::Timeouts timeouts;
    timeouts.connectMs = 3000;
    timeouts.sendMs = 5000;
    timeouts.receiveMs = 5000;
    StreamedUpload::setTimeouts(timeouts);
}

void TestReplaceJobThread::init()
{
    m_work
        = QDir::tempPath() + QStringLiteral("/replace-") + QString::fromLatin1(QTest::currentTestFunction());
    QDir(m_work).removeRecursively();
    QVERIFY(QDir().mkpath(m_work));
    m_original = path(QStringLiteral("server/original.pdf"));
    QVERIFY(writeFile(m_original, "the job as it was"));
    m_server = ServerTest::startServer();
    QVERIFY(m_server);
    m_server->setFlows({ flow(m_original) });
    const QMutexLocker lock(&m_statusMutex);
    m_statuses.clear();
}

void TestReplaceJobThread::cleanup()
{
    m_server.reset();
    if (!QTest::currentTestFailed())
        QDir(m_work).removeRecursively();
}

SubstituteFilePtr TestReplaceJobThread::makeFile(const QString &path, const QString &job)
{
    SubstituteFilePtr file(new SubstituteFile(flowId, checkPointId, job, path));
    file->setPushJobInfo(decision());
    SubstituteFile *raw = file.get();
    connect(
        raw, &SubstituteFile::statusChanged, this,
        [this](int status) {
            const QMutexLocker lock(&m_statusMutex);
            m_statuses.append(status);
        },
        Qt::DirectConnection);
    return file;
}

std::unique_ptr<ReplaceJobThread> TestReplaceJobThread::start(const SubstituteFilePtr &file)
{
    auto thread = std::make_unique<ReplaceJobThread>(
        nullptr, m_server->endpoint(), QByteArray("user"), QByteArray(), file, false);
    thread->start();
    return thread;
}

QList<int> TestReplaceJobThread::statuses()
{
    const QMutexLocker lock(&m_statusMutex);
    return m_statuses;
}

QString TestReplaceJobThread::serverPackagePath() const
{
    return m_server->flows().value(0).checkPoints.value(0).jobs.value(0).package.path;
}

void TestReplaceJobThread::fileReplacesTheJobByteIdentical()
{
    const QByteArray content = pattern(3 * 1000 * 1000 + 17, 1);
    QVERIFY(writeFile(path(QStringLiteral("Korrektur März.pdf")), content));
    const SubstituteFilePtr file = makeFile(path(QStringLiteral("Korrektur März.pdf")));
    QCOMPARE(file->getStatus(), int(ReplaceStatus::Waiting));
    QVERIFY(file->isReadable());
    QCOMPARE(file->getFileName(), QStringLiteral("Korrektur März.pdf"));
    QCOMPARE(file->getProgressTotal(), qint64(0));

    const auto thread = start(file);
    QSignalSpy finished(thread.get(), &ReplaceJobThread::finished);
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().first().value<SubstituteFile *>(), file.get());
    QVERIFY(thread->wait(5000));
    QCOMPARE(statuses(),
        (QList<int> { ReplaceStatus::Uploading, ReplaceStatus::AllSent, ReplaceStatus::Replaced }));
    QCOMPARE(thread->lastError(), 0);
    QCOMPARE(thread->isReplacedAnswer(), 1);
    QCOMPARE(file->getBytesSent(), file->getFullSize());

    const QList<testserver::Upload> uploads = m_server->uploads();
    QCOMPARE(uploads.size(), 1);
    const testserver::Upload &upload = uploads.first();
    QVERIFY2(upload.accepted && upload.complete, qPrintable(upload.error));
    QCOMPARE(upload.operation, testserver::Operation::ReplaceFile08);
    QCOMPARE(upload.flowId, flowId);
    QCOMPARE(upload.targetId, checkPointId);
    QCOMPARE(upload.jobId, jobId);
    QCOMPARE(upload.fileName, QStringLiteral("Korrektur März.pdf"));
    QCOMPARE(upload.fullSubmitSize, file->getFullSize());
    QCOMPARE(upload.bytesReceived, upload.fullSubmitSize);
    QVERIFY(upload.viaAttachment);
    QCOMPARE(upload.attachmentType, QByteArray("streamer"));
    QCOMPARE(upload.optionsText, QByteArray("My Replace"));
    QCOMPARE(upload.jobInfo.connectionIds, QStringList { QStringLiteral("out-1") });
    QCOMPARE(upload.jobInfo.jobName, QStringLiteral("original.pdf"));
    QCOMPARE(upload.jobInfo.requiredMetadata.size(), 1);
    QCOMPARE(upload.jobInfo.requiredMetadata[0].label, QStringLiteral("Approved by"));
    QCOMPARE(upload.jobInfo.requiredMetadata[0].description, QStringLiteral("Your name"));
    QCOMPARE(upload.jobInfo.requiredMetadata[0].dataFormat, QStringLiteral("^.+$"));
    QCOMPARE(upload.jobInfo.requiredMetadata[0].valueIsRequired, true);
    QCOMPARE(upload.jobInfo.requiredMetadata[0].value, QStringLiteral("Jürgen"));
    QVERIFY(readFile(upload.mainFile) == content);
    // Sent with outgoing connections, the replacement went on along them:
    // the job has left its checkpoint.
    for (const testserver::Job &job : m_server->flows().value(0).checkPoints.value(0).jobs)
        QVERIFY(job.id != jobId);
}

void TestReplaceJobThread::folderReplacement()
{
    const QString root = path(QStringLiteral("Neue Fassung"));
    const QByteArray first = pattern(70000, 2);
    const QByteArray second = pattern(2048 * 3, 3);
    QVERIFY(writeFile(root + QStringLiteral("/a.bin"), first));
    QVERIFY(writeFile(root + QStringLiteral("/sub/b.bin"), second));
    const SubstituteFilePtr file = makeFile(root + QLatin1Char('/'));
    // Replaced only, not pushed on.
    PushJobInfo stay = decision();
    stay.connectionIds.clear();
    stay.push = false;
    file->setPushJobInfo(stay);
    QVERIFY(!file->isFile());
    QCOMPARE(file->getFileName(), QStringLiteral("Neue Fassung"));
    const auto thread = start(file);
    QVERIFY(thread->wait(30000));
    QCOMPARE(file->getStatus(), int(ReplaceStatus::Replaced));
    const testserver::Upload upload = m_server->uploads().value(0);
    QVERIFY2(upload.accepted, qPrintable(upload.error));
    QCOMPARE(QFileInfo(upload.mainFile).fileName(), QStringLiteral("Neue Fassung"));
    QVERIFY(readFile(upload.mainFile + QStringLiteral("/a.bin")) == first);
    QVERIFY(readFile(upload.mainFile + QStringLiteral("/sub/b.bin")) == second);
    // What the server now delivers for the job is the replacement.
    QCOMPARE(serverPackagePath(), upload.mainFile);
}

void TestReplaceJobThread::compressedReplacement()
{
    m_server->setCompressClientJobs(true);
    QByteArray content;
    for (int i = 0; i < 50000; ++i)
        content += "a line the stream compresses well\n";
    QVERIFY(writeFile(path(QStringLiteral("text.txt")), content));
    const SubstituteFilePtr file = makeFile(path(QStringLiteral("text.txt")));
    const auto thread = start(file);
    QVERIFY(thread->wait(30000));
    QCOMPARE(file->getStatus(), int(ReplaceStatus::Replaced));
    const testserver::Upload upload = m_server->uploads().value(0);
    QCOMPARE(upload.contentEncoding, QByteArray("gzip"));
    QVERIFY(readFile(upload.mainFile) == content);
}

void TestReplaceJobThread::notReplacedAndRefusedEndInFailure_data()
{
    QTest::addColumn<QString>("job");
    QTest::addColumn<int>("faultyOperation");
    QTest::addColumn<QList<int>>("expected");
    const QList<int> sentThenFailed { ReplaceStatus::Uploading, ReplaceStatus::AllSent,
        ReplaceStatus::Failed };
    // The server answers isReplaced 0 for a job it does not hold.
    QTest::newRow("not replaced") << QStringLiteral("job-gone") << -1 << sentThenFailed;
    QTest::newRow("refused") << jobId << int(testserver::Operation::ReplaceFile08) << sentThenFailed;
    QTest::newRow("no compression answer")
        << jobId << int(testserver::Operation::GetCompressClientJobs) << QList<int> { ReplaceStatus::Failed };
}

void TestReplaceJobThread::notReplacedAndRefusedEndInFailure()
{
    QFETCH(QString, job);
    QFETCH(int, faultyOperation);
    QFETCH(QList<int>, expected);
    if (faultyOperation >= 0)
        m_server->setFault(testserver::Operation(faultyOperation), testserver::Fault::senderFault());
    QVERIFY(writeFile(path(QStringLiteral("new.pdf")), pattern(100000, 4)));
    const SubstituteFilePtr file = makeFile(path(QStringLiteral("new.pdf")), job);
    const auto thread = start(file);
    QVERIFY(thread->wait(30000));
    QCOMPARE(statuses(), expected);
    QCOMPARE(serverPackagePath(), m_original);
}

void TestReplaceJobThread::cancelAbortsTheTransfer()
{
    QVERIFY(writeFile(path(QStringLiteral("big.pdf")), pattern(48 * 1000 * 1000, 5)));
    m_server->setFault(testserver::Operation::ReplaceFile08, testserver::Fault::stallRequestAfter(1 << 20));
    const SubstituteFilePtr file = makeFile(path(QStringLiteral("big.pdf")));
    const auto thread = start(file);
    QTRY_VERIFY_WITH_TIMEOUT(file->getProgressValue() > 0, 10000);
    QCOMPARE(file->getProgressTotal(), file->getFullSize());

    QElapsedTimer timer;
    timer.start();
    thread->cancel();
    QVERIFY(thread->wait(3000));
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QStringLiteral("cancel took %1 ms").arg(timer.elapsed())));
    QCOMPARE(file->getStatus(), int(ReplaceStatus::Failed));
    QVERIFY(!statuses().contains(ReplaceStatus::AllSent));
    QVERIFY(!statuses().contains(ReplaceStatus::Replaced));
    QVERIFY(thread->lastError() != 0);
    m_server->releaseHangingCalls();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, 10000);
    for (const testserver::Upload &upload : m_server->uploads())
        QVERIFY(!upload.accepted);
    QCOMPARE(serverPackagePath(), m_original);
    QCOMPARE(readFile(m_original), QByteArray("the job as it was"));
}

void TestReplaceJobThread::cancelledBeforeTheStartSendsNothing()
{
    QVERIFY(writeFile(path(QStringLiteral("new.pdf")), pattern(1000, 6)));
    const SubstituteFilePtr file = makeFile(path(QStringLiteral("new.pdf")));
    file->cancel();
    const auto thread = start(file);
    QVERIFY(thread->wait(5000));
    QCOMPARE(statuses(), QList<int> { ReplaceStatus::Failed });
    QVERIFY(m_server->journal().isEmpty());
}

void TestReplaceJobThread::sizesBeyondFourGigabytes()
{
    const QString big = path(QStringLiteral("sparse.bin"));
    const qint64 size = (qint64(5) << 30) + 123;
    {
        QFile file(big);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size));
    }
    m_server->setFault(testserver::Operation::ReplaceFile08, testserver::Fault::stallRequestAfter(1 << 20));
    const SubstituteFilePtr file = makeFile(big);
    QVERIFY(file->getFullSize() > size);
    const auto thread = start(file);
    QTRY_VERIFY_WITH_TIMEOUT(file->getProgressValue() > 0, 10000);
    // Not the low 32 bits: the dialog's percentage stays right.
    QCOMPARE(file->getProgressTotal(), file->getFullSize());
    QVERIFY(file->getProgressValue() < file->getProgressTotal());
    thread->cancel();
    QVERIFY(thread->wait(3000));
    QCOMPARE(file->getStatus(), int(ReplaceStatus::Failed));
    m_server->releaseHangingCalls();
}

VORNEX_TEST_GUILESS_MAIN(TestReplaceJobThread)
#include "tst_replacejobthread.moc"
