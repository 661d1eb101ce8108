// Streamed DIME uploads and downloads through ombrel::Service against the
// test workflow server: sizes at the callback boundaries, large trees with
// flat memory, compression, payloads that are not attachments, hostile
// packages, uploads cut short, and other calls answered meanwhile.
#include "FilesStreamerW.h"
#include "HostilePackages.h"
#include "Server.h"
#include "StreamHarness.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "TreeTools.h"
#include "WideText.h"
#include "WireClient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QTemporaryDir>

#include <ombrelServiceProxy.h>

#include <atomic>
#include <thread>

using namespace testserver;

namespace {

std::wstring w(const QString &text)
{
    return WideText::fromQString(text);
}

QList<Flow> flows()
{
    Job job;
    job.id = QStringLiteral("j1");
    job.name = QStringLiteral("Job");
    Flow flow;
    flow.id = QStringLiteral("f1");
    flow.name = QStringLiteral("Flow");
    flow.submitPoints = { { QStringLiteral("s1"), QStringLiteral("Submit"), {} } };
    flow.checkPoints = { { QStringLiteral("k1"), QStringLiteral("Check"), { job } } };
    return { flow };
}

ombrel::SubmitEntry entry(const QString &jobName)
{
    ombrel::SubmitEntry result;
    result.flowId = w(QStringLiteral("f1"));
    result.submitPointId = w(QStringLiteral("s1"));
    result.jobName = w(jobName);
    return result;
}

int submit(WireClient &client, UploadStream &upload, qint64 announced = -1)
{
    std::wstring jobId;
    const int rc = client().ombrel__SubmitFile08(entry(QStringLiteral("job")),
        upload.payload(client.soap(), "My Submit"), {}, announced < 0 ? upload.fullSize() : announced, jobId);
    UploadStream::resetOutputMode(client.soap());
    return rc;
}

int download(WireClient &client, DownloadSink &sink, ombrel::xsd__base64Binary &data, int type = 0)
{
    sink.attach(client.soap());
    return client().ombrel__DownloadFile08(
        w(QStringLiteral("f1")), w(QStringLiteral("k1")), w(QStringLiteral("j1")), type, data);
}

QByteArray randomBytes(qint64 size)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bytes"));
    TreeTools::makeRandomFile(path, size);
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace

class TransferTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void rawUploadSizes_data();
    void rawUploadSizes();
    void packageOfWholeBlocks();
    void largeTreeUpload();
    void compressedUpload_data();
    void compressedUpload();
    void compressedUploadRefused();
    void downloadSizes_data();
    void downloadSizes();
    void largeTreeDownload();
    void payloadNotAnAttachment();
    void hostilePackages_data();
    void hostilePackages();
    void uploadsCutShort();
    void announcedSizeChecked();
    void otherCallsAnsweredDuringUpload();
    void replacementIsDownloaded();

private:
    Server m_unpack;
    Server m_raw;
    QTemporaryDir m_files;
};

void TransferTest::initTestCase()
{
    QVERIFY(m_files.isValid());
    QVERIFY2(m_unpack.start(), qPrintable(m_unpack.errorString()));
    Options raw;
    raw.rawUploads = true;
    QVERIFY2(m_raw.start(raw), qPrintable(m_raw.errorString()));
}

void TransferTest::init()
{
    for (Server *server : { &m_unpack, &m_raw }) {
        server->setFlows(flows());
        server->setCompressClientJobs(false);
        server->clearFaults();
        server->clearJournal();
        server->clearReceived();
    }
}

void TransferTest::cleanupTestCase()
{
    m_unpack.stop();
    m_raw.stop();
}

void TransferTest::rawUploadSizes_data()
{
    QTest::addColumn<qint64>("size");
    for (const qint64 size :
        { 0LL, 1LL, 2047LL, 2048LL, 2049LL, 3 * 2048LL, 65536LL, 65537LL, 512 * 2048LL, 5000 * 2048LL + 17 })
        QTest::addRow("%lld", size) << size;
}

void TransferTest::rawUploadSizes()
{
    QFETCH(qint64, size);
    const QByteArray bytes = randomBytes(size);
    WireClient client(m_raw.endpoint());
    UploadStream::installCallbacks(client.soap());
    UploadStream upload(bytes);
    QCOMPARE(submit(client, upload), SOAP_OK);
    QCOMPARE(upload.opens(), 1);
    QCOMPARE(upload.closes(), 1);
    QCOMPARE(upload.sent(), size);

    const Upload received = m_raw.uploads().last();
    QVERIFY2(received.accepted, qPrintable(received.error));
    QVERIFY(received.viaAttachment);
    QCOMPARE(received.bytesReceived, size);
    QCOMPARE(received.sha256, TreeTools::sha256(bytes));
}

void TransferTest::packageOfWholeBlocks()
{
    // A one-file package whose stream is exactly 40 callback buffers long.
    const QString name = QStringLiteral("blocks.bin");
    const qint64 overhead = 8 + (1 + 4 + name.size() + 8) + 1;
    const qint64 streamSize = 40 * 2048;
    const QString path = m_files.filePath(name);
    QVERIFY(TreeTools::makeRandomFile(path, streamSize - overhead));

    WireClient client(m_unpack.endpoint());
    UploadStream::installCallbacks(client.soap());
    UploadStream upload(path);
    QCOMPARE(upload.fullSize(), streamSize);
    QCOMPARE(submit(client, upload), SOAP_OK);

    const Upload received = m_unpack.uploads().last();
    QVERIFY2(received.accepted, qPrintable(received.error));
    QCOMPARE(received.bytesReceived, streamSize);
    QCOMPARE(TestFiles::describeTree(QFileInfo(received.mainFile).absolutePath()),
        TestFiles::describeTree(m_files.path()));
}

void TransferTest::largeTreeUpload()
{
    QTemporaryDir source;
    const QString tree
        = TreeTools::makeTree(source.path(), QStringLiteral("big tree"), 300LL << 20, 24, false);
    QVERIFY(!tree.isEmpty());

    WireClient client(m_unpack.endpoint());
    UploadStream::installCallbacks(client.soap());
    UploadStream upload(tree);
    QVERIFY(upload.fullSize() > (300LL << 20));

    const qint64 before = TreeTools::residentKb();
    TreeTools::resetPeak();
    QCOMPARE(submit(client, upload), SOAP_OK);
    const qint64 growth = TreeTools::peakKb() - before;
    // Client and server in this process together; neither holds the data.
    QVERIFY2(growth < 48 * 1024, qPrintable(QStringLiteral("peak grew by %1 KiB").arg(growth)));

    const Upload received = m_unpack.uploads().last();
    QVERIFY2(received.accepted, qPrintable(received.error));
    QCOMPARE(received.bytesReceived, upload.fullSize());
    QCOMPARE(received.mainFile, QDir(received.folder).absoluteFilePath(QStringLiteral("big tree")));
    QCOMPARE(TestFiles::describeTree(received.mainFile), TestFiles::describeTree(tree));
    QDir(received.folder).removeRecursively();
}

void TransferTest::compressedUpload_data()
{
    QTest::addColumn<bool>("deflate");
    QTest::addColumn<QByteArray>("encoding");
    QTest::newRow("gzip") << false << QByteArray("gzip");
    QTest::newRow("deflate") << true << QByteArray("deflate");
}

void TransferTest::compressedUpload()
{
    QFETCH(bool, deflate);
    QFETCH(QByteArray, encoding);
    m_unpack.setCompressClientJobs(true);
    QTemporaryDir source;
    const QString tree = TreeTools::makeTree(source.path(), QStringLiteral("text"), 24LL << 20, 6, true);
    TreeTools::makeRandomFile(tree + QStringLiteral("/random.bin"), 3 << 20);

    WireClient client(m_unpack.endpoint());
    UploadStream::installCallbacks(client.soap());
    bool compress = false;
    QCOMPARE(client().ombrel__GetCompressClientJobs(compress), SOAP_OK);
    QVERIFY(compress);
    UploadStream upload(tree);
    ombrel::xsd__base64Binary payload = upload.payload(client.soap(), "My Submit");
    soap_set_omode(client.soap(), SOAP_ENC_ZLIB);
    if (deflate)
        client.soap()->zlib_out = SOAP_ZLIB_DEFLATE;
    std::wstring jobId;
    QCOMPARE(
        client().ombrel__SubmitFile08(entry(QStringLiteral("text")), payload, {}, upload.fullSize(), jobId),
        SOAP_OK);
    UploadStream::resetOutputMode(client.soap());

    const JournalEntry request = m_unpack.journal().last();
    QCOMPARE(request.contentEncoding, encoding);
    const Upload received = m_unpack.uploads().last();
    QVERIFY2(received.accepted, qPrintable(received.error));
    QCOMPARE(received.contentEncoding, encoding);
    QCOMPARE(TestFiles::describeTree(received.mainFile), TestFiles::describeTree(tree));
}

void TransferTest::compressedUploadRefused()
{
    const QByteArray package = HostilePackages::validFile(QStringLiteral("a.txt"), "a\n");
    WireClient client(m_unpack.endpoint());
    UploadStream::installCallbacks(client.soap());
    UploadStream upload(package);
    ombrel::xsd__base64Binary payload = upload.payload(client.soap(), "My Submit");
    soap_set_omode(client.soap(), SOAP_ENC_ZLIB);
    std::wstring jobId;
    QCOMPARE(client().ombrel__SubmitFile08(entry(QStringLiteral("a")), payload, {}, upload.fullSize(), jobId),
        SOAP_CLI_FAULT);
    QVERIFY(!m_unpack.uploads().last().accepted);
}

void TransferTest::downloadSizes_data()
{
    rawUploadSizes_data();
}

void TransferTest::downloadSizes()
{
    QFETCH(qint64, size);
    QList<Flow> world = flows();
    world[0].checkPoints[0].jobs[0].package = Package::fromBytes(randomBytes(size));
    world[0].checkPoints[0].jobs[0].report = Package::fromBytes("report");
    m_unpack.setFlows(world);

    WireClient client(m_unpack.endpoint());
    DownloadSink sink;
    ombrel::xsd__base64Binary data;
    QCOMPARE(download(client, sink, data), SOAP_OK);
    QVERIFY(sink.isHandle(data));
    QCOMPARE(sink.closes(), 1);
    QCOMPARE(sink.received(), size);
    QCOMPARE(sink.bytes(), world[0].checkPoints[0].jobs[0].package.bytes);
}

void TransferTest::largeTreeDownload()
{
    QTemporaryDir source;
    const QString tree
        = TreeTools::makeTree(source.path(), QStringLiteral("download tree"), 200LL << 20, 16, false);
    QList<Flow> world = flows();
    world[0].checkPoints[0].jobs[0].package = Package::fromPath(tree);
    m_unpack.setFlows(world);

    QTemporaryDir target;
    WireClient client(m_unpack.endpoint());
    DownloadSink sink(target.path());
    ombrel::xsd__base64Binary data;
    const qint64 before = TreeTools::residentKb();
    TreeTools::resetPeak();
    QCOMPARE(download(client, sink, data), SOAP_OK);
    const qint64 growth = TreeTools::peakKb() - before;
    QVERIFY2(growth < 48 * 1024, qPrintable(QStringLiteral("peak grew by %1 KiB").arg(growth)));
    QVERIFY(sink.isHandle(data));
    QVERIFY(sink.writer()->isComplete());
    QCOMPARE(
        sink.writer()->getMainFile(), QDir(target.path()).absoluteFilePath(QStringLiteral("download tree")));
    QCOMPARE(TestFiles::describeTree(sink.writer()->getMainFile()), TestFiles::describeTree(tree));
}

void TransferTest::payloadNotAnAttachment()
{
    const QByteArray package = HostilePackages::validFile(QStringLiteral("small.txt"), "small\n");
    QList<Flow> world = flows();
    world[0].checkPoints[0].jobs[0].package = Package::fromBytes(package);
    m_unpack.setFlows(world);
    WireClient client(m_unpack.endpoint());

    // Inline: the data arrive in the result itself, the callbacks never run.
    m_unpack.setFault(Operation::DownloadFile08, Fault::inlinePayload().times(1));
    DownloadSink inlineSink;
    ombrel::xsd__base64Binary data;
    QCOMPARE(download(client, inlineSink, data), SOAP_OK);
    QVERIFY(!inlineSink.isHandle(data));
    QCOMPARE(inlineSink.opens(), 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(data.__ptr), data.__size), package);

    // Empty: nothing at all, and no handle either.
    m_unpack.setFault(Operation::DownloadFile08, Fault::emptyPayload().times(1));
    DownloadSink emptySink;
    QCOMPARE(download(client, emptySink, data), SOAP_OK);
    QVERIFY(!emptySink.isHandle(data));
    QCOMPARE(data.__size, 0);
    QCOMPARE(emptySink.opens(), 0);

    // No payload element.
    m_unpack.setFault(Operation::DownloadFile08, Fault::omitResult().times(1));
    DownloadSink noSink;
    QCOMPARE(download(client, noSink, data), SOAP_OK);
    QVERIFY(!data.__ptr);

    // And an upload whose payload went inline (no DIME output mode) is
    // refused by its size, not taken as an empty job.
    UploadStream::installCallbacks(client.soap());
    UploadStream upload(package);
    ombrel::xsd__base64Binary payload = upload.payload(client.soap(), "My Submit");
    UploadStream::resetOutputMode(client.soap());
    std::wstring jobId;
    QCOMPARE(
        client().ombrel__SubmitFile08(entry(QStringLiteral("inline")), payload, {}, upload.fullSize(), jobId),
        SOAP_CLI_FAULT);
    QCOMPARE(m_unpack.uploads().last().viaAttachment, false);
}

void TransferTest::hostilePackages_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::newRow("traversal") << HostilePackages::traversal(QStringLiteral("escape.txt"));
    QTest::newRow("absolute path") << HostilePackages::absolutePath(
        QDir(TestEnv::homeDir()).absoluteFilePath(QStringLiteral("absolute.txt")));
    QTest::newRow("symlink") << HostilePackages::symlink(
        QStringLiteral("link"), QStringLiteral("/etc/passwd"));
    QTest::newRow("truncated") << HostilePackages::truncated(QStringLiteral("short.txt"));
}

void TransferTest::hostilePackages()
{
    QFETCH(QByteArray, package);
    QList<Flow> world = flows();
    world[0].checkPoints[0].jobs[0].package = Package::fromBytes(package);
    m_unpack.setFlows(world);

    QTemporaryDir outer(QDir(TestEnv::homeDir()).absoluteFilePath(QStringLiteral("outer-XXXXXX")));
    const QString folder = QDir(outer.path()).absoluteFilePath(QStringLiteral("a/b"));
    QVERIFY(QDir().mkpath(folder));
    WireClient client(m_unpack.endpoint());
    DownloadSink sink(folder);
    ombrel::xsd__base64Binary data;
    const int rc = download(client, sink, data);
    QVERIFY(!sink.writer()->isComplete());
    if (rc == SOAP_OK)
        QVERIFY(sink.closes() == 1);
    QVERIFY(!QFile::exists(QDir(outer.path()).absoluteFilePath(QStringLiteral("escape.txt"))));
    QVERIFY(!QFile::exists(QDir(outer.path()).absoluteFilePath(QStringLiteral("a/escape.txt"))));
    QVERIFY(!QFile::exists(QDir(TestEnv::homeDir()).absoluteFilePath(QStringLiteral("absolute.txt"))));
    QVERIFY(!QFileInfo(QDir(folder).absoluteFilePath(QStringLiteral("job/link"))).isSymLink());
}

void TransferTest::uploadsCutShort()
{
    const QByteArray bytes = randomBytes(4 << 20);
    WireClient client(m_raw.endpoint());
    UploadStream::installCallbacks(client.soap());

    // The client gives up half-way.
    UploadStream aborted(bytes);
    aborted.abortAfter(256 * 1024);
    QVERIFY(submit(client, aborted) != SOAP_OK);

    // The server closes the connection half-way.
    m_raw.setFault(Operation::SubmitFile08, Fault::dropRequestAfter(1 << 20).times(1));
    UploadStream dropped(bytes);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(submit(client, dropped) != SOAP_OK);
    QVERIFY(timer.elapsed() < 10000);

    // Neither was taken as a job, and the server goes on serving.
    for (const Upload &upload : m_raw.uploads())
        QVERIFY(!upload.accepted);
    UploadStream whole(bytes);
    QCOMPARE(submit(client, whole), SOAP_OK);
    QCOMPARE(m_raw.uploads().last().sha256, TreeTools::sha256(bytes));
}

void TransferTest::announcedSizeChecked()
{
    const QByteArray bytes = randomBytes(10000);
    WireClient client(m_raw.endpoint());
    UploadStream::installCallbacks(client.soap());
    UploadStream upload(bytes);
    QCOMPARE(submit(client, upload, bytes.size() + 1), SOAP_CLI_FAULT);
    QVERIFY(m_raw.uploads().last().error.contains(QStringLiteral("announced")));
    QVERIFY(!m_raw.uploads().last().accepted);
}

void TransferTest::otherCallsAnsweredDuringUpload()
{
    const QByteArray bytes = randomBytes(8 << 20);
    QSemaphore reached;
    QSemaphore resume;
    std::atomic<int> uploadResult { -100 };
    std::thread uploader([&] {
        WireClient client(m_raw.endpoint());
        UploadStream::installCallbacks(client.soap());
        UploadStream upload(bytes);
        upload.pauseAt(2 << 20, &reached, &resume);
        uploadResult = submit(client, upload);
    });
    // However this test ends, the upload is let go and joined.
    struct Joiner
    {
        QSemaphore &resume;
        std::thread &thread;
        ~Joiner()
        {
            if (thread.joinable()) {
                resume.release();
                thread.join();
            }
        }
    } joiner { resume, uploader };
    QVERIFY(reached.tryAcquire(1, 20000));

    // The upload's connection is open and stalled; these are answered.
    WireClient other(m_raw.endpoint());
    int number = 0;
    QCOMPARE(other().ombrel__CheckConnect(number), SOAP_OK);
    QCOMPARE(other().ombrel__SetJobLockStatus(
                 w(QStringLiteral("f1")), w(QStringLiteral("k1")), w(QStringLiteral("j1")), 3, number),
        SOAP_OK);
    QCOMPARE(number, 1);
    std::wstring holder;
    QCOMPARE(other().ombrel__GetJobLockStatus(
                 w(QStringLiteral("f1")), w(QStringLiteral("k1")), w(QStringLiteral("j1")), holder),
        SOAP_OK);
    QVERIFY(!holder.empty());
    // Only the upload's connection stays open.
    QTRY_COMPARE(m_raw.openConnections(), 1);

    resume.release();
    uploader.join();
    QCOMPARE(uploadResult.load(), SOAP_OK);
    QCOMPARE(m_raw.uploads().last().sha256, TreeTools::sha256(bytes));
}

void TransferTest::replacementIsDownloaded()
{
    QTemporaryDir source;
    const QString tree = TreeTools::makeTree(source.path(), QStringLiteral("replacement"), 3 << 20, 4, false);
    WireClient client(m_unpack.endpoint());
    UploadStream::installCallbacks(client.soap());
    UploadStream upload(tree);
    ombrel::ReplaceEntry replace;
    replace.flowId = w(QStringLiteral("f1"));
    replace.checkPointId = w(QStringLiteral("k1"));
    replace.jobId = w(QStringLiteral("j1"));
    replace.fileName = w(QStringLiteral("replacement"));
    int replaced = 0;
    QCOMPARE(client().ombrel__ReplaceFile08(replace, upload.payload(client.soap(), "My Replace"),
                 ombrel::PushJobStatus(), upload.fullSize(), replaced),
        SOAP_OK);
    UploadStream::resetOutputMode(client.soap());
    QCOMPARE(replaced, 1);
    QCOMPARE(m_unpack.uploads().last().optionsText, QByteArray("My Replace"));

    QTemporaryDir target;
    DownloadSink sink(target.path());
    ombrel::xsd__base64Binary data;
    QCOMPARE(download(client, sink, data), SOAP_OK);
    QVERIFY(sink.writer()->isComplete());
    QCOMPARE(TestFiles::describeTree(sink.writer()->getMainFile()), TestFiles::describeTree(tree));

    // Replacing a job the server does not hold is answered with 0.
    replace.jobId = w(QStringLiteral("gone"));
    UploadStream again(tree);
    replaced = 5;
    QCOMPARE(client().ombrel__ReplaceFile08(replace, again.payload(client.soap(), "My Replace"),
                 ombrel::PushJobStatus(), again.fullSize(), replaced),
        SOAP_OK);
    UploadStream::resetOutputMode(client.soap());
    QCOMPARE(replaced, 0);
}

VORNEX_TEST_GUILESS_MAIN(TransferTest)

#include "tst_transfer.moc"
