#include "SavedSubmissions.h"
#include "ServerConnection.h"
#include "ServerTestSupport.h"
#include "SubmitPoint.h"
#include "SubmitStatus.h"
#include "SubmitThread.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest/QTest>

#include <memory>

#include <unistd.h>

using TestFiles::describe;
using TestFiles::pattern;
using TestFiles::settingsStore;
using TestFiles::writeFile;

namespace {

const QString flowId = QStringLiteral("flow-1");
const QString pointId = QStringLiteral("point-1");

// What a job's tree looks like under the name it travels with.
QMap<QString, QString> renamed(const QMap<QString, QString> &tree, const QString &from, const QString &to)
{
    QMap<QString, QString> out;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        out.insert(to + it.key().mid(from.size()), it.value());
    return out;
}

testserver::Flow flowWithPoint()
{
    testserver::Flow flow;
    flow.id = flowId;
    flow.name = QStringLiteral("Flow");
    testserver::SubmitPoint point;
    point.id = pointId;
    point.name = QStringLiteral("Point");
    flow.submitPoints.append(point);
    return flow;
}

MetadataToFill field(const QString &label, const QString &value, bool required)
{
    MetadataToFill f;
    f.label = label;
    f.description = label + QStringLiteral(" description");
    f.dataType = QStringLiteral("string");
    f.dataFormat = QStringLiteral("^.+$");
    f.valueIsRequired = required;
    f.rememberLastValue = !required;
    f.value = value;
    f.key = QStringLiteral("never sent");
    return f;
}

} // namespace

class TestSubmitThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void treeArrivesByteIdentical();
    void compressedAndPlainUploads_data();
    void compressedAndPlainUploads();
    void cancelledThrottledUploadEndsInError();
    void cancelReachesAServerThatStoppedReading();
    void serverThatReadsAtATrickleFailsTheUpload();
    void droppedConnectionThenRetryFromTheStart();
    void contentChangingUnderwayAbortsTheTransfer();
    void filesChangedSinceAddingAreSentAsTheyAre_data();
    void filesChangedSinceAddingAreSentAsTheyAre();
    void silentServerHitsTheTimeout_data();
    void silentServerHitsTheTimeout();
    void refusalsAndFailures();
    void pointDeletedDuringUploadStopsIt();

private:
    QString path(const QString &name) const { return m_work + QLatin1Char('/') + name; }
    SubmittedFilePtr submit(const QString &path, bool start = true);
    bool waitForEnd(const SubmittedFilePtr &job, int timeoutMs = 60000);
    QList<testserver::Upload> acceptedUploads() const;

    QString m_work;
    std::unique_ptr<testserver::Server> m_server;
    std::unique_ptr<ServerConnection> m_connection;
    std::unique_ptr<SubmitPoint> m_point;
    QMutex m_statusMutex;
    QList<int> m_statuses;
};

void TestSubmitThread::initTestCase()
{
    ServerTest::useShortTimeouts();
    SubmitThread::Timeouts timeouts;
    timeouts.connectMs = 3000;
    timeouts.sendMs = 5000;
    timeouts.receiveMs = 5000;
    SubmitThread::setTimeouts(timeouts);
    SubmitPoint::setStopWaitMs(3000);
}

void TestSubmitThread::init()
{
    m_work
        = QDir::tempPath() + QStringLiteral("/submit-") + QString::fromLatin1(QTest::currentTestFunction());
    QDir(m_work).removeRecursively();
    QVERIFY(QDir().mkpath(m_work));
    m_server = ServerTest::startServer();
    QVERIFY(m_server);
    m_server->setFlows({ flowWithPoint() });
    m_connection = std::make_unique<ServerConnection>(
        nullptr, QStringLiteral("user"), QString(), QStringLiteral("127.0.0.1"), m_server->port());
    m_point = std::make_unique<SubmitPoint>(m_connection.get(), pointId, flowId, QStringLiteral("Point"));
    m_statuses.clear();
}

void TestSubmitThread::cleanup()
{
    m_point.reset();
    m_connection.reset();
    m_server.reset();
    settingsStore().clear();
    if (!QTest::currentTestFailed())
        QDir(m_work).removeRecursively();
}

SubmittedFilePtr TestSubmitThread::submit(const QString &path, bool start)
{
    const SubmittedFilePtr job = m_point->addJob(path);
    SubmittedFile *raw = job.get();
    // Runs in the upload thread, at each change, in order.
    connect(
        raw, &SubmittedFile::StatusChanged, this,
        [this, raw] {
            const QMutexLocker lock(&m_statusMutex);
            m_statuses.append(raw->getStatus());
        },
        Qt::DirectConnection);
    if (start)
        m_point->startSubmit(raw);
    return job;
}

bool TestSubmitThread::waitForEnd(const SubmittedFilePtr &job, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        const int status = job->getStatus();
        // Waiting for the connection again: the job's request never left.
        if ((status == SubmitStatus::Finished || status == SubmitStatus::Error
                || status == SubmitStatus::WaitingConnection)
            && !m_point->isSubmitting(job.get()))
            return true;
        QTest::qWait(20);
    }
    return false;
}

QList<testserver::Upload> TestSubmitThread::acceptedUploads() const
{
    QList<testserver::Upload> accepted;
    for (const testserver::Upload &upload : m_server->uploads()) {
        if (upload.accepted)
            accepted.append(upload);
    }
    return accepted;
}

void TestSubmitThread::treeArrivesByteIdentical()
{
    const QString root = path(QStringLiteral("Lieferung – März"));
    QVERIFY(writeFile(root + QStringLiteral("/a/b/c/deep.bin"), 20 * 1000 * 1000, 1));
    QVERIFY(writeFile(root + QStringLiteral("/日本/データ.bin"), 27 * 1000 * 1000, 2));
    QVERIFY(writeFile(root + QStringLiteral("/exact.bin"), 2048 * 1500, 3));
    QVERIFY(writeFile(root + QStringLiteral("/a/empty.txt"), 0, 4));
    QVERIFY(writeFile(root + QStringLiteral("/Ωμέγα/😀 small.txt"), 17, 5));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/leer/auch leer")));
    m_point->setMetadata({ field(QStringLiteral("Customer"), QStringLiteral("Müller & Söhne"), true),
        field(QStringLiteral("Order"), QStringLiteral("42"), false) });

    const SubmittedFilePtr job = submit(root);
    QVERIFY(settingsStore().contains(
        QStringLiteral("Submittions/127.0.0.1:%1/flow-1:point-1/0/path").arg(m_server->port())));
    QVERIFY(waitForEnd(job));
    QCOMPARE(job->getStatus(), int(SubmitStatus::Finished));
    {
        const QMutexLocker lock(&m_statusMutex);
        QCOMPARE(m_statuses,
            (QList<int> { SubmitStatus::Uploading, SubmitStatus::Verifying, SubmitStatus::Finished }));
    }

    const QList<testserver::Upload> uploads = m_server->uploads();
    QCOMPARE(uploads.size(), 1);
    const testserver::Upload &upload = uploads.first();
    QVERIFY2(upload.accepted && upload.complete, qPrintable(upload.error));
    QVERIFY(upload.viaAttachment);
    QCOMPARE(upload.fullSubmitSize, job->getTotalSize());
    QCOMPARE(upload.bytesReceived, upload.fullSubmitSize);
    QCOMPARE(upload.jobName, QStringLiteral("Lieferung – März"));
    QCOMPARE(upload.flowId, flowId);
    QCOMPARE(upload.targetId, pointId);
    QCOMPARE(upload.attachmentType, QByteArray("streamer"));
    QCOMPARE(upload.optionsText, QByteArray("My Submit"));
    QCOMPARE(upload.metadata.size(), 2);
    QCOMPARE(upload.metadata[0].label, QStringLiteral("Customer"));
    QCOMPARE(upload.metadata[0].description, QStringLiteral("Customer description"));
    QCOMPARE(upload.metadata[0].dataType, QStringLiteral("string"));
    QCOMPARE(upload.metadata[0].dataFormat, QStringLiteral("^.+$"));
    QCOMPARE(upload.metadata[0].valueIsRequired, true);
    QCOMPARE(upload.metadata[0].rememberLastValue, false);
    QCOMPARE(upload.metadata[0].value, QStringLiteral("Müller & Söhne"));
    QCOMPARE(upload.metadata[1].rememberLastValue, true);
    QCOMPARE(describe(upload.mainFile), describe(root));

    // Finished jobs are no longer kept for the next run.
    QTRY_VERIFY(SavedSubmissions::readAll().isEmpty());
    QTRY_VERIFY(!m_point->hasThread(job.get()));
    m_point->startSubmit(job.get());
    QCOMPARE(job->getStatus(), int(SubmitStatus::Finished));
    QVERIFY(!job->getStartTimeText().isEmpty());
    QCOMPARE(job->getTimeLeftText(), job->getEndTime().toString(Qt::ISODate));
}

void TestSubmitThread::compressedAndPlainUploads_data()
{
    QTest::addColumn<bool>("compress");
    QTest::newRow("plain") << false;
    QTest::newRow("compressed") << true;
}

void TestSubmitThread::compressedAndPlainUploads()
{
    QFETCH(bool, compress);
    m_server->setCompressClientJobs(compress);
    const QString root = path(QStringLiteral("job"));
    QVERIFY(writeFile(root + QStringLiteral("/random.bin"), 3 * 1000 * 1000, 9));
    {
        QFile text(root + QStringLiteral("/text.txt"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        for (int i = 0; i < 100000; ++i)
            text.write("The same line again and again, compressible.\n");
    }
    const SubmittedFilePtr job = submit(root);
    QVERIFY(waitForEnd(job));
    QCOMPARE(job->getStatus(), int(SubmitStatus::Finished));
    const QList<testserver::Upload> uploads = acceptedUploads();
    QCOMPARE(uploads.size(), 1);
    QCOMPARE(uploads[0].contentEncoding, compress ? QByteArray("gzip") : QByteArray());
    QCOMPARE(uploads[0].bytesReceived, job->getTotalSize());
    QCOMPARE(describe(uploads[0].mainFile), describe(root));
    bool seen = false;
    for (const testserver::JournalEntry &entry : m_server->journal()) {
        if (entry.operation != QStringLiteral("SubmitFile08"))
            continue;
        seen = true;
        QCOMPARE(entry.transferEncoding.toLower(), QByteArray("chunked"));
        QCOMPARE(entry.contentEncoding, compress ? QByteArray("gzip") : QByteArray());
        QVERIFY(entry.contentType.contains("application/dime"));
    }
    QVERIFY(seen);

    // The same job named apart from its folder arrives under that name,
    // with nothing copied on the client.
    const SubmittedFilePtr second = m_point->addJob(root);
    QVERIFY(second->setJobName(QStringLiteral("Anders genannt")));
    m_point->startSubmit(second.get());
    QVERIFY(waitForEnd(second));
    QCOMPARE(second->getStatus(), int(SubmitStatus::Finished));
    const QList<testserver::Upload> both = acceptedUploads();
    QCOMPARE(both.size(), 2);
    QCOMPARE(both[1].jobName, QStringLiteral("Anders genannt"));
    QCOMPARE(QFileInfo(both[1].mainFile).fileName(), QStringLiteral("Anders genannt"));
    QCOMPARE(describe(both[1].mainFile),
        renamed(describe(root), QStringLiteral("job"), QStringLiteral("Anders genannt")));
    QCOMPARE(QDir(m_work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
        QStringList { QStringLiteral("job") });
}

void TestSubmitThread::cancelledThrottledUploadEndsInError()
{
    QVERIFY(writeFile(path(QStringLiteral("big.bin")), 16 * 1000 * 1000, 3));
    m_server->setFault(testserver::Operation::SubmitFile08, testserver::Fault::throttleRequest(512 * 1024));
    const SubmittedFilePtr job = submit(path(QStringLiteral("big.bin")));
    QTRY_VERIFY_WITH_TIMEOUT(job->getSentSize() > 256 * 1024, 10000);

    QElapsedTimer timer;
    timer.start();
    m_point->removeJob(job.get());
    const qint64 took = timer.elapsed();
    QVERIFY2(took < 2000, qPrintable(QStringLiteral("cancel took %1 ms").arg(took)));
    QCOMPARE(job->getStatus(), int(SubmitStatus::Error));
    QCOMPARE(m_point->getJobCount(), 0);
    QVERIFY(SavedSubmissions::readAll().isEmpty());
    // The request broke off: the server got nothing it could take for a job.
    QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, 10000);
    QVERIFY(m_server->uploads().isEmpty());
}

void TestSubmitThread::serverThatReadsAtATrickleFailsTheUpload()
{
    // Under 1 KiB taken in a window of one second fails the transfer, also
    // when the server never stops reading altogether.
    SubmitThread::Timeouts timeouts = SubmitThread::timeouts();
    const SubmitThread::Timeouts before = timeouts;
    timeouts.sendMs = 1000;
    SubmitThread::setTimeouts(timeouts);
    const auto restore = qScopeGuard([&] { SubmitThread::setTimeouts(before); });
    // More than the kernel's socket buffers take in at once.
    QVERIFY(writeFile(path(QStringLiteral("big.bin")), 32 * 1000 * 1000, 5));
    m_server->setFault(testserver::Operation::SubmitFile08, testserver::Fault::throttleRequest(300));
    QElapsedTimer timer;
    timer.start();
    const SubmittedFilePtr job = submit(path(QStringLiteral("big.bin")));
    QTRY_COMPARE_WITH_TIMEOUT(job->getStatus(), int(SubmitStatus::Error), 6000);
    QVERIFY(job->getSentSize() < job->getTotalSize());
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
}

void TestSubmitThread::cancelReachesAServerThatStoppedReading()
{
    QVERIFY(writeFile(path(QStringLiteral("big.bin")), 64 * 1000 * 1000, 4));
    m_server->setFault(testserver::Operation::SubmitFile08, testserver::Fault::stallRequestAfter(1 << 20));
    const SubmittedFilePtr job = submit(path(QStringLiteral("big.bin")));
    // The socket buffers fill, then the upload stands still in a send.
    qint64 last = -1;
    QTRY_VERIFY_WITH_TIMEOUT(job->getSentSize() > 0, 10000);
    for (int still = 0; still < 5;) {
        QTest::qWait(100);
        const qint64 now = job->getSentSize();
        still = now == last ? still + 1 : 0;
        last = now;
    }
    QVERIFY(m_point->isSubmitting(job.get()));
    QVERIFY(job->getSentSize() < job->getTotalSize());

    QElapsedTimer timer;
    timer.start();
    m_point->removeJob(job.get());
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QStringLiteral("cancel took %1 ms").arg(timer.elapsed())));
    QCOMPARE(job->getStatus(), int(SubmitStatus::Error));
    m_server->releaseHangingCalls();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, 10000);
    QVERIFY(acceptedUploads().isEmpty());
}

void TestSubmitThread::droppedConnectionThenRetryFromTheStart()
{
    const QString file = path(QStringLiteral("six.bin"));
    // More than the kernel's socket buffers hold, so the drop comes midway.
    QVERIFY(writeFile(file, 64 * 1000 * 1000, 6));
    m_server->setFault(
        testserver::Operation::SubmitFile08, testserver::Fault::dropRequestAfter(2 << 20).times(1));
    const SubmittedFilePtr job = submit(file, false);
    QSignalSpy settledSpy(job.get(), qOverload<SubmittedFile *>(&SubmittedFile::SubmitFinished));
    m_point->startSubmit(job.get());
    QVERIFY(waitForEnd(job));
    QCOMPARE(job->getStatus(), int(SubmitStatus::Error));
    QVERIFY(acceptedUploads().isEmpty());
    // Bytes went out: settled, never sent again alone; the job keeps its
    // thread and its saved entry for the user's own second try.
    QCOMPARE(settledSpy.count(), 1);
    QVERIFY(job->deliveryNote().contains(QStringLiteral("broke off")));
    QVERIFY(m_point->hasThread(job.get()));
    QCOMPARE(SavedSubmissions::readAll().size(), 1);
    QTRY_COMPARE(SavedSubmissions::readAll().first().status, int(SubmitStatus::Error));

    m_point->startSubmit(job.get());
    QVERIFY(waitForEnd(job));
    QCOMPARE(job->getStatus(), int(SubmitStatus::Finished));
    const QList<testserver::Upload> uploads = acceptedUploads();
    QCOMPARE(uploads.size(), 1);
    QCOMPARE(uploads[0].bytesReceived, job->getTotalSize());
    QCOMPARE(describe(uploads[0].mainFile), describe(file));
    QTRY_VERIFY(SavedSubmissions::readAll().isEmpty());
}

void TestSubmitThread::contentChangingUnderwayAbortsTheTransfer()
{
    const QString file = path(QStringLiteral("shrinks.bin"));
    QVERIFY(writeFile(file, 8 * 1000 * 1000, 8));
    m_server->setFault(testserver::Operation::SubmitFile08, testserver::Fault::throttleRequest(1 << 20));
    const SubmittedFilePtr job = submit(file);
    QTRY_VERIFY_WITH_TIMEOUT(job->getSentSize() > 64 * 1024, 10000);
    QVERIFY(::truncate(QFile::encodeName(file).constData(), 1000) == 0);
    QVERIFY(waitForEnd(job, 20000));
    QCOMPARE(job->getStatus(), int(SubmitStatus::Error));
    QVERIFY2(job->deliveryNote().contains(QStringLiteral("File changed while being sent")),
        qPrintable(job->deliveryNote()));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, 10000);
    // Not even a short request that could pass for a whole one.
    QVERIFY(m_server->uploads().isEmpty());

    // Sent again, it goes as the file now is.
    m_server->clearFault(testserver::Operation::SubmitFile08);
    m_point->startSubmit(job.get());
    QVERIFY(waitForEnd(job, 20000));
    QCOMPARE(job->getStatus(), int(SubmitStatus::Finished));
    QCOMPARE(acceptedUploads().size(), 1);
    QCOMPARE(describe(acceptedUploads().first().mainFile), describe(file));
}

void TestSubmitThread::filesChangedSinceAddingAreSentAsTheyAre_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");
    QTest::newRow("file grew") << QStringLiteral("grow") << int(SubmitStatus::Finished) << QString();
    QTest::newRow("file shrank") << QStringLiteral("shrink") << int(SubmitStatus::Finished) << QString();
    QTest::newRow("file added to the folder")
        << QStringLiteral("add") << int(SubmitStatus::Finished) << QString();
    QTest::newRow("file removed from the folder")
        << QStringLiteral("remove") << int(SubmitStatus::Finished) << QString();
    QTest::newRow("folder gone") << QStringLiteral("gone") << int(SubmitStatus::Error)
                                 << QStringLiteral("Cannot read");
}

void TestSubmitThread::filesChangedSinceAddingAreSentAsTheyAre()
{
    QFETCH(QString, change);
    QFETCH(int, status);
    QFETCH(QString, reason);
    const QString root = path(QStringLiteral("job"));
    QVERIFY(writeFile(root + QStringLiteral("/a.bin"), 50000, 1));
    QVERIFY(writeFile(root + QStringLiteral("/b.bin"), 3000, 2));
    const SubmittedFilePtr job = submit(root, false);
    const qint64 sizeWhenAdded = job->getTotalSize();
    if (change == QLatin1String("grow"))
        QVERIFY(writeFile(root + QStringLiteral("/a.bin"), 90000, 3));
    else if (change == QLatin1String("shrink"))
        QVERIFY(writeFile(root + QStringLiteral("/a.bin"), 10, 3));
    else if (change == QLatin1String("add"))
        QVERIFY(writeFile(root + QStringLiteral("/new/c.bin"), 7000, 4));
    else if (change == QLatin1String("remove"))
        QVERIFY(QFile::remove(root + QStringLiteral("/b.bin")));
    else
        QVERIFY(QDir(root).removeRecursively());

    m_point->startSubmit(job.get());
    QVERIFY(waitForEnd(job));
    QCOMPARE(job->getStatus(), status);
    if (status == SubmitStatus::Finished) {
        QCOMPARE(acceptedUploads().size(), 1);
        QCOMPARE(describe(acceptedUploads().first().mainFile), describe(root));
        QCOMPARE(acceptedUploads().first().fullSubmitSize, job->getTotalSize());
        QVERIFY(job->getTotalSize() != sizeWhenAdded);
    } else {
        // Nothing unreadable is announced, and the form can say why.
        QVERIFY(m_server->uploads().isEmpty());
        QVERIFY2(job->deliveryNote().contains(reason), qPrintable(job->deliveryNote()));
        QVERIFY(!job->deliveryNote().contains(QStringLiteral("Send it again when you are ready")));
    }
}

void TestSubmitThread::silentServerHitsTheTimeout_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("status");
    // The job itself never left: it waits for its connection again.
    QTest::newRow("compression question")
        << int(testserver::Operation::GetCompressClientJobs) << int(SubmitStatus::WaitingConnection);
    QTest::newRow("submission") << int(testserver::Operation::SubmitFile08) << int(SubmitStatus::Error);
}

void TestSubmitThread::silentServerHitsTheTimeout()
{
    QFETCH(int, operation);
    QFETCH(int, status);
    SubmitThread::Timeouts timeouts = SubmitThread::timeouts();
    const SubmitThread::Timeouts saved = timeouts;
    timeouts.receiveMs = 1000;
    SubmitThread::setTimeouts(timeouts);
    QVERIFY(writeFile(path(QStringLiteral("a.bin")), 100000, 2));
    m_server->setFault(testserver::Operation(operation), testserver::Fault::hang());
    QElapsedTimer timer;
    timer.start();
    const SubmittedFilePtr job = submit(path(QStringLiteral("a.bin")));
    const bool ended = waitForEnd(job, 15000);
    SubmitThread::setTimeouts(saved);
    m_server->releaseHangingCalls();
    QVERIFY(ended);
    QCOMPARE(job->getStatus(), status);
    QVERIFY(timer.elapsed() < 10000);
}

void TestSubmitThread::refusalsAndFailures()
{
    QVERIFY(writeFile(path(QStringLiteral("a.bin")), 5000, 2));

    // Refused by the server: settled, so a queued submission is dropped.
    m_server->setFault(testserver::Operation::SubmitFile08, testserver::Fault::senderFault().times(1));
    SubmittedFilePtr job = submit(path(QStringLiteral("a.bin")), false);
    QSignalSpy settled(job.get(), qOverload<SubmittedFile *>(&SubmittedFile::SubmitFinished));
    m_point->startSubmit(job.get());
    QVERIFY(waitForEnd(job));
    QCOMPARE(job->getStatus(), int(SubmitStatus::Error));
    QTRY_COMPARE(settled.count(), 1);

    // No answer to the compression question: nothing is sent.
    m_server->setFault(
        testserver::Operation::GetCompressClientJobs, testserver::Fault::receiverFault().times(1));
    job = submit(path(QStringLiteral("a.bin")));
    QVERIFY(waitForEnd(job));
    QCOMPARE(job->getStatus(), int(SubmitStatus::WaitingConnection));

    // A garbled answer to it is told as such, not as an HTTP status.
    m_server->setFault(testserver::Operation::GetCompressClientJobs,
        testserver::Fault::httpStatus(200, QStringLiteral("<<not a reply at all")).times(1));
    job = submit(path(QStringLiteral("a.bin")));
    QVERIFY(waitForEnd(job));
    QCOMPARE(job->getStatus(), int(SubmitStatus::WaitingConnection));
    QVERIFY2(job->deliveryNote().contains(QStringLiteral("(its reply could not be read)")),
        qPrintable(job->deliveryNote()));

    // Without a host nothing leaves, and the note says so.
    ServerConnection hostless(nullptr, QStringLiteral("user"), QString(), QString(), m_server->port());
    hostless.applySettings();
    SubmitPoint hostlessPoint(&hostless, pointId, flowId, QStringLiteral("Point"));
    const SubmittedFilePtr unsent = hostlessPoint.createJob(path(QStringLiteral("a.bin")));
    m_server->clearJournal();
    hostlessPoint.startSubmit(unsent.get());
    QTRY_VERIFY(!hostlessPoint.isSubmitting(unsent.get()));
    QCOMPARE(unsent->getStatus(), int(SubmitStatus::WaitingConnection));
    QVERIFY2(unsent->deliveryNote().startsWith(QStringLiteral("Nothing of the job was sent")),
        qPrintable(unsent->deliveryNote()));
    QVERIFY(ServerTest::operations(*m_server).isEmpty());

    // Wrong password: not settled, it may succeed once the password is right.
    ServerConnection wrong(nullptr, QStringLiteral("user"), QStringLiteral("wrong"),
        QStringLiteral("127.0.0.1"), m_server->port());
    wrong.applySettings();
    SubmitPoint point(&wrong, pointId, flowId, QStringLiteral("Point"));
    const SubmittedFilePtr refused = point.createJob(path(QStringLiteral("a.bin")));
    QSignalSpy refusedSettled(refused.get(), qOverload<SubmittedFile *>(&SubmittedFile::SubmitFinished));
    QSignalSpy attemptEnded(refused.get(), qOverload<>(&SubmittedFile::SubmitFinished));
    point.startSubmit(refused.get());
    QTRY_VERIFY(!point.isSubmitting(refused.get()));
    QCOMPARE(refused->getStatus(), int(SubmitStatus::WaitingConnection));
    QCOMPARE(attemptEnded.count(), 0);
    QCOMPARE(refusedSettled.count(), 0);
    QCOMPARE(acceptedUploads().size(), 0);
}

void TestSubmitThread::pointDeletedDuringUploadStopsIt()
{
    QVERIFY(writeFile(path(QStringLiteral("big.bin")), 16 * 1000 * 1000, 3));
    m_server->setFault(testserver::Operation::SubmitFile08, testserver::Fault::throttleRequest(512 * 1024));
    const SubmittedFilePtr job = submit(path(QStringLiteral("big.bin")));
    QTRY_VERIFY_WITH_TIMEOUT(job->getSentSize() > 0, 10000);
    QElapsedTimer timer;
    timer.start();
    m_point.reset(); // would abort the process if the thread were deleted running
    QVERIFY(timer.elapsed() < 2000);
    QCOMPARE(job->getStatus(), int(SubmitStatus::Error));
    QVERIFY(acceptedUploads().isEmpty());
}

VORNEX_TEST_GUILESS_MAIN(TestSubmitThread)
#include "tst_submitthread.moc"
