// Throughput of streamed DIME transfers on loopback and the client's peak
// memory. The server runs in a child process (this program with --serve),
// so the memory figures are the client's alone.
//
// Then the client's download alone: whole client processes (this program
// with --download-from, the client's AcceptThread) fetch a package from a
// null source, paired run by run with curl writing the same stream to a
// file, over HTTP and HTTPS.
//
//   bench_transfer [--size MiB] [--zlib-size MiB] [--https] [--runs N] [--null-only]
#include "AcceptThread.h"
#include "BenchTools.h"
#include "DownloadType.h"
#include "FilesStreamerW.h"
#include "NullServer.h"
#include "Server.h"
#include "ServiceProxyFactory.h"
#include "SoapRuntime.h"
#include "StreamHarness.h"
#include "TreeTools.h"
#include "WideText.h"
#include "WireClient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <ombrelServiceProxy.h>

#include <csignal>
#include <cstdio>

namespace {

std::wstring w(const char *text)
{
    return WideText::fromQString(QString::fromUtf8(text));
}

int serve(const QString &package, bool raw, bool https)
{
    testserver::Options options;
    options.rawUploads = raw;
    options.https = https;
    options.user.clear();
    testserver::Server server;
    if (!server.start(options)) {
        std::fprintf(stderr, "server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    testserver::Job job;
    job.id = QStringLiteral("j1");
    job.name = QStringLiteral("big");
    job.package = testserver::Package::fromPath(package);
    testserver::Flow flow;
    flow.id = QStringLiteral("f1");
    flow.name = QStringLiteral("Bench");
    flow.submitPoints = { { QStringLiteral("s1"), QStringLiteral("Submit"), {} } };
    flow.checkPoints = { { QStringLiteral("k1"), QStringLiteral("Check"), { job } } };
    server.setFlows({ flow });
    server.setCompressClientJobs(true);
    std::printf("%u\n", static_cast<unsigned>(server.port()));
    std::fflush(stdout);
    // Runs until the parent closes our input.
    char byte;
    while (std::fread(&byte, 1, 1, stdin) == 1) { }
    server.stop();
    return 0;
}

struct Child
{
    QProcess process;
    QByteArray endpoint;

    bool start(const QString &package, bool raw, bool https)
    {
        QStringList arguments { QStringLiteral("--serve"), package };
        if (raw)
            arguments << QStringLiteral("--raw");
        if (https)
            arguments << QStringLiteral("--https");
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QCoreApplication::applicationFilePath(), arguments);
        if (!process.waitForStarted(10000) || !process.waitForReadyRead(30000))
            return false;
        const QByteArray port = process.readLine().trimmed();
        endpoint = (https ? "https://127.0.0.1:" : "http://127.0.0.1:") + port;
        return !port.isEmpty();
    }

    ~Child()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(30000))
            process.kill();
    }
};

struct Figures
{
    QString label;
    qint64 bytes = 0;
    qint64 ms = 0;
    qint64 peakGrowthKb = 0;
    qint64 peakKb = 0;
    int rc = -1;
};

void print(const Figures &f)
{
    const double mib = f.bytes / 1048576.0;
    const double seconds = f.ms / 1000.0;
    std::printf("%-38s %8.0f MiB %7.2f s %8.1f MiB/s   client peak %6.1f MiB (+%.1f MiB)%s\n",
        qPrintable(f.label), mib, seconds, seconds > 0 ? mib / seconds : 0.0, f.peakKb / 1024.0,
        f.peakGrowthKb / 1024.0, f.rc == SOAP_OK ? "" : "   FAILED");
    std::fflush(stdout);
}

Figures upload(const QString &label, const QByteArray &endpoint, const QString &path, bool zlib)
{
    WireClient client(endpoint);
    client.soap()->recv_timeout = 600;
    client.soap()->send_timeout = 600;
    UploadStream::installCallbacks(client.soap());
    UploadStream stream(path);
    ombrel::SubmitEntry entry;
    entry.flowId = w("f1");
    entry.submitPointId = w("s1");
    entry.jobName = w("bench");
    Figures figures;
    figures.label = label;
    figures.bytes = stream.fullSize();
    const qint64 before = TreeTools::residentKb();
    TreeTools::resetPeak();
    QElapsedTimer timer;
    timer.start();
    ombrel::xsd__base64Binary payload = stream.payload(client.soap(), "My Submit");
    if (zlib)
        soap_set_omode(client.soap(), SOAP_ENC_ZLIB);
    std::wstring jobId;
    figures.rc = client().ombrel__SubmitFile08(entry, payload, {}, stream.fullSize(), jobId);
    figures.ms = timer.elapsed();
    figures.peakKb = TreeTools::peakKb();
    figures.peakGrowthKb = figures.peakKb - before;
    return figures;
}

Figures download(const QString &label, const QByteArray &endpoint, const QString &folder)
{
    WireClient client(endpoint);
    client.soap()->recv_timeout = 600;
    DownloadSink sink(folder);
    sink.attach(client.soap());
    Figures figures;
    figures.label = label;
    const qint64 before = TreeTools::residentKb();
    TreeTools::resetPeak();
    QElapsedTimer timer;
    timer.start();
    ombrel::xsd__base64Binary data;
    figures.rc = client().ombrel__DownloadFile08(w("f1"), w("k1"), w("j1"), 0, data);
    figures.ms = timer.elapsed();
    figures.peakKb = TreeTools::peakKb();
    figures.peakGrowthKb = figures.peakKb - before;
    figures.bytes = sink.received();
    if (figures.rc == SOAP_OK && !sink.writer()->isComplete())
        figures.rc = SOAP_DIME_ERROR;
    return figures;
}

// The client process of a null-source run: downloads, prints the folder.
int downloadFrom(const QByteArray &endpoint, bool https)
{
    setSslProgramDir(QString::fromUtf8(VORNEX_BIN_DIR));
    AcceptThread thread(nullptr, endpoint, QByteArray(), QByteArray(), https);
    thread.setJobParams(QStringLiteral("f1"), QStringLiteral("k1"), QStringLiteral("j1"), DownloadType::Job);
    thread.start();
    thread.wait();
    const QString folder = thread.takeFolder();
    std::printf("%s\n", qPrintable(folder));
    return thread.getResultPath().isEmpty() ? 1 : 0;
}

int nullSourceRuns(const QString &file, const QString &workDir, int runs)
{
    const QString curl = BenchTools::curlPath();
    const qint64 bytes = QFileInfo(file).size();
    NullServerProcess plain;
    NullServerProcess secure;
    if (!plain.start(QCoreApplication::applicationFilePath(), false, file)
        || !secure.start(QCoreApplication::applicationFilePath(), true, file)) {
        std::fprintf(stderr, "cannot start the null sources\n");
        return 1;
    }
    const QString curlTarget = QDir(workDir).filePath(QStringLiteral("curl.out"));
    const auto curlDownload = [&](const NullServerProcess &source) {
        const BenchTools::ProcessRun run = BenchTools::run(curl,
            { QStringLiteral("-sS"), QStringLiteral("-k"), QStringLiteral("-o"), curlTarget,
                QString::fromLatin1(source.endpoint() + "/package") });
        QFile::remove(curlTarget);
        return run;
    };
    const auto client = [&](const NullServerProcess &source, bool https) {
        QStringList arguments { QStringLiteral("--download-from"), QString::fromLatin1(source.endpoint()) };
        if (https)
            arguments << QStringLiteral("--https");
        const BenchTools::ProcessRun run
            = BenchTools::run(QCoreApplication::applicationFilePath(), arguments);
        const QString folder = QString::fromLocal8Bit(run.output.trimmed());
        if (!folder.isEmpty() && folder.startsWith(QDir::tempPath()))
            QDir(folder).removeRecursively();
        return run;
    };
    BenchTools::Series curlPlain, clientPlain, curlSecure, clientSecure;
    std::printf(
        "\nNull source, whole processes, %d paired runs (curl, client, curl HTTPS, client HTTPS):\n", runs);
    for (int run = 0; run < runs; ++run) {
        if (!curl.isEmpty())
            curlPlain.add(curlDownload(plain), bytes);
        clientPlain.add(client(plain, false), bytes);
        if (!curl.isEmpty())
            curlSecure.add(curlDownload(secure), bytes);
        clientSecure.add(client(secure, true), bytes);
        std::printf("  run %d: curl %s, client %s, curl HTTPS %s, client HTTPS %s\n", run + 1,
            qPrintable(curlPlain.text(run)), qPrintable(clientPlain.text(run)),
            qPrintable(curlSecure.text(run)), qPrintable(clientSecure.text(run)));
        std::fflush(stdout);
    }
    std::printf("%lld MiB each; min / median / max:\n", bytes >> 20);
    BenchTools::printSeries("curl download to a file", curlPlain, bytes);
    BenchTools::printSeries("client download (unpacks to disk)", clientPlain, bytes);
    BenchTools::printSeries("curl download to a file, HTTPS", curlSecure, bytes);
    BenchTools::printSeries("client download, HTTPS", clientSecure, bytes);
    BenchTools::printRatio("client time / curl time", clientPlain.seconds, curlPlain.seconds);
    BenchTools::printRatio("client CPU / curl CPU", clientPlain.cpuPerGiB, curlPlain.cpuPerGiB);
    BenchTools::printRatio("client HTTPS time / curl HTTPS time", clientSecure.seconds, curlSecure.seconds);
    BenchTools::printRatio("client HTTPS rate / client HTTP rate", clientPlain.seconds, clientSecure.seconds);
    return curlPlain.failures + clientPlain.failures + curlSecure.failures + clientSecure.failures;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SoapRuntime::initOnce();
    QCommandLineParser parser;
    const QCommandLineOption serveOption(
        QStringLiteral("serve"), QStringLiteral("Child: serve this package."), QStringLiteral("path"));
    const QCommandLineOption rawOption(QStringLiteral("raw"), QStringLiteral("Child: count uploads only."));
    const QCommandLineOption httpsOption(QStringLiteral("https"), QStringLiteral("Over HTTPS."));
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("Transfer size in MiB."),
        QStringLiteral("MiB"), QStringLiteral("1024"));
    const QCommandLineOption zlibOption(QStringLiteral("zlib-size"),
        QStringLiteral("Size of the compressed upload in MiB (0: none)."), QStringLiteral("MiB"),
        QStringLiteral("128"));
    const QCommandLineOption nullServeOption(QStringLiteral("null-serve"),
        QStringLiteral("Child: null source of this package."), QStringLiteral("path"));
    const QCommandLineOption downloadOption(QStringLiteral("download-from"),
        QStringLiteral("Child: download with the client's thread."), QStringLiteral("endpoint"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Paired null-source runs."),
        QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption nullOnlyOption(
        QStringLiteral("null-only"), QStringLiteral("Only the null-source runs."));
    parser.addOptions({ serveOption, rawOption, httpsOption, sizeOption, zlibOption, nullServeOption,
        downloadOption, runsOption, nullOnlyOption });
    parser.addHelpOption();
    parser.process(app);
    const bool https = parser.isSet(httpsOption);
    if (parser.isSet(serveOption))
        return serve(parser.value(serveOption), parser.isSet(rawOption), https);
    if (parser.isSet(nullServeOption)) {
        NullServer::Options options;
        options.https = https;
        options.sslDir = QStringLiteral(VORNEX_BIN_DIR "/ssl_testserver");
        options.package = parser.value(nullServeOption);
        return NullServer::serveUntilInputCloses(options);
    }
    if (parser.isSet(downloadOption))
        return downloadFrom(parser.value(downloadOption).toLatin1(), https);

    // The test certificates for --https live beside the client.
    if (qEnvironmentVariableIsEmpty("VORNEX_BIN_DIR"))
        qputenv("VORNEX_BIN_DIR", VORNEX_BIN_DIR);

    const qint64 size = parser.value(sizeOption).toLongLong() << 20;
    const qint64 zlibSize = parser.value(zlibOption).toLongLong() << 20;
    QTemporaryDir work;
    const QString file = work.filePath(QStringLiteral("payload.bin"));
    std::printf("Making a %lld MiB file...\n", size >> 20);
    std::fflush(stdout);
    if (!TreeTools::makeRandomFile(file, size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return 1;
    }
    std::printf("Loopback %s, one file of %lld bytes (packed stream %lld bytes); client baseline %.1f MiB\n",
        https ? "HTTPS" : "HTTP", size, size + 8 + 1 + 4 + 11 + 8 + 1, TreeTools::residentKb() / 1024.0);

    int failures = 0;
    if (parser.isSet(nullOnlyOption))
        return nullSourceRuns(file, work.path(), parser.value(runsOption).toInt()) == 0 ? 0 : 1;
    {
        Child child;
        if (!child.start(file, true, https))
            return 1;
        const Figures f
            = upload(QStringLiteral("upload (server counts and hashes)"), child.endpoint, file, false);
        print(f);
        failures += f.rc != SOAP_OK;
    }
    {
        Child child;
        if (!child.start(file, false, https))
            return 1;
        const Figures up
            = upload(QStringLiteral("upload (server unpacks to disk)"), child.endpoint, file, false);
        print(up);
        failures += up.rc != SOAP_OK;
        const QString target = work.filePath(QStringLiteral("download"));
        QDir().mkpath(target);
        const Figures down
            = download(QStringLiteral("download (client unpacks to disk)"), child.endpoint, target);
        print(down);
        failures += down.rc != SOAP_OK;
        QDir(target).removeRecursively();
    }
    if (zlibSize > 0) {
        const QString small = work.filePath(QStringLiteral("zlib.bin"));
        TreeTools::makeRandomFile(small, zlibSize);
        Child child;
        if (!child.start(small, true, https))
            return 1;
        const Figures f = upload(QStringLiteral("upload, zlib (random data)"), child.endpoint, small, true);
        print(f);
        failures += f.rc != SOAP_OK;
    }
    failures += nullSourceRuns(file, work.path(), parser.value(runsOption).toInt());
    return failures == 0 ? 0 : 1;
}
