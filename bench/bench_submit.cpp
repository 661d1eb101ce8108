// Throughput and peak memory of the client's job submission (submit point,
// upload thread, packed stream as a DIME attachment) against the test
// workflow server on loopback, next to a plain socket copy of the same file
// on the same machine as the limit. The server runs in a child process
// (this program with --serve), so the memory figures are the client's.
//
// Then the client alone: whole client processes (this program with
// --submit-to) submit to a null sink that drops what it reads, paired run
// by run with curl's chunked upload of the same file to the same sink and
// with a plain socket copy, over HTTP and HTTPS.
//
//   bench_submit [--size MiB] [--small-size MiB] [--zlib-size MiB] [--runs N] [--null-only]
#include "BenchTools.h"
#include "NullServer.h"
#include "Server.h"
#include "ServerConnection.h"
#include "ServiceProxyFactory.h"
#include "SoapRuntime.h"
#include "SubmitPoint.h"
#include "SubmitStatus.h"
#include "SubmitThread.h"
#include "TreeTools.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

qint64 cpuMs()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return (qint64(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

const QString flowId = QStringLiteral("f1");
const QString pointId = QStringLiteral("s1");

int serve(bool compress)
{
    testserver::Options options;
    options.rawUploads = true;
    options.user.clear();
    options.ioTimeoutSeconds = 600;
    testserver::Server server;
    if (!server.start(options)) {
        std::fprintf(stderr, "server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    testserver::Flow flow;
    flow.id = flowId;
    flow.name = QStringLiteral("Bench");
    flow.submitPoints = { { pointId, QStringLiteral("Submit"), {} } };
    server.setFlows({ flow });
    server.setCompressClientJobs(compress);
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
    quint16 port = 0;

    bool start(bool compress)
    {
        QStringList arguments { QStringLiteral("--serve") };
        if (compress)
            arguments << QStringLiteral("--compress");
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QCoreApplication::applicationFilePath(), arguments);
        if (!process.waitForStarted(10000) || !process.waitForReadyRead(30000))
            return false;
        port = quint16(process.readLine().trimmed().toUInt());
        return port != 0;
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
    qint64 peakKb = 0;
    qint64 peakGrowthKb = -1;
    qint64 cpuMs = -1; // the client's, all threads
    bool ok = false;
};

void print(const Figures &f)
{
    const double mib = f.bytes / 1048576.0;
    const double seconds = f.ms / 1000.0;
    std::printf("%-44s %7.0f MiB %7.2f s %8.1f MiB/s", qPrintable(f.label), mib, seconds,
        seconds > 0 ? mib / seconds : 0.0);
    if (f.peakGrowthKb >= 0)
        std::printf("   client peak %6.1f MiB (+%.1f MiB)", f.peakKb / 1024.0, f.peakGrowthKb / 1024.0);
    if (f.cpuMs >= 0)
        std::printf("   client CPU %.2f s", f.cpuMs / 1000.0);
    std::printf("%s\n", f.ok ? "" : "   FAILED");
    std::fflush(stdout);
}

// The limit: the file read in 1 MiB blocks and written to a loopback TCP
// socket, a second thread reading and dropping everything.
Figures socketCopy(const QString &path)
{
    Figures figures;
    figures.label = QStringLiteral("plain socket copy (the limit)");
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(listener, 1) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return figures;
    qint64 received = 0;
    std::thread sink([listener, &received] {
        const int peer = ::accept(listener, nullptr, nullptr);
        std::vector<char> buffer(1 << 20);
        for (;;) {
            const ssize_t n = ::read(peer, buffer.data(), buffer.size());
            if (n <= 0)
                break;
            received += n;
        }
        ::close(peer);
    });
    const int out = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int in = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    QElapsedTimer timer;
    timer.start();
    bool ok
        = out >= 0 && in >= 0 && ::connect(out, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    std::vector<char> block(1 << 20);
    while (ok) {
        const ssize_t n = ::read(in, block.data(), block.size());
        if (n <= 0)
            break;
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t sent = ::write(out, block.data() + done, size_t(n - done));
            ok = sent > 0;
            done += sent;
        }
    }
    ::shutdown(out, SHUT_WR);
    sink.join();
    figures.ms = timer.elapsed();
    ::close(out);
    ::close(in);
    ::close(listener);
    figures.bytes = received;
    figures.ok = ok && received == QFileInfo(path).size();
    return figures;
}

Figures submit(const QString &label, quint16 port, const QString &path)
{
    Figures figures;
    figures.label = label;
    ServerConnection connection(
        nullptr, QStringLiteral("bench"), QString(), QStringLiteral("127.0.0.1"), port);
    SubmitPoint point(&connection, pointId, flowId, QStringLiteral("Submit"));
    const SubmittedFilePtr job = point.createJob(path);
    figures.bytes = job->getTotalSize();

    QEventLoop loop;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        const int status = job->getStatus();
        if ((status == SubmitStatus::Finished || status == SubmitStatus::Error)
            && !point.isSubmitting(job.get()))
            loop.quit();
    });
    const qint64 before = TreeTools::residentKb();
    TreeTools::resetPeak();
    const qint64 cpuBefore = cpuMs();
    QElapsedTimer timer;
    timer.start();
    point.startSubmit(job.get());
    poll.start();
    loop.exec();
    figures.ms = timer.elapsed();
    figures.cpuMs = cpuMs() - cpuBefore;
    figures.peakKb = TreeTools::peakKb();
    figures.peakGrowthKb = figures.peakKb - before;
    figures.ok = job->getStatus() == SubmitStatus::Finished;
    return figures;
}

// The client process of a null-sink run: connects, submits the file, ends.
int submitTo(quint16 port, const QString &path, bool https)
{
    setSslProgramDir(QString::fromUtf8(VORNEX_BIN_DIR));
    ServerConnection connection(
        nullptr, QStringLiteral("bench"), QString(), QStringLiteral("127.0.0.1"), port);
    connection.setSSLUsed(https);
    if (!connection.connectToServer() || connection.isSecure() != https) {
        std::fprintf(stderr, "submit: no %s connection\n", https ? "HTTPS" : "HTTP");
        return 2;
    }
    SubmitPoint point(&connection, pointId, flowId, QStringLiteral("Submit"));
    const SubmittedFilePtr job = point.createJob(path);
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        const int status = job->getStatus();
        if ((status == SubmitStatus::Finished || status == SubmitStatus::Error)
            && !point.isSubmitting(job.get()))
            loop.quit();
    });
    point.startSubmit(job.get());
    poll.start();
    loop.exec();
    return job->getStatus() == SubmitStatus::Finished ? 0 : 1;
}

// Client against curl and the plain copy on the null sink, paired per run.
int nullSinkRuns(const QString &large, int runs)
{
    const QString curl = BenchTools::curlPath();
    const qint64 bytes = QFileInfo(large).size();
    NullServerProcess plainSink;
    NullServerProcess secureSink;
    if (!plainSink.start(QCoreApplication::applicationFilePath(), false, QString())
        || !secureSink.start(QCoreApplication::applicationFilePath(), true, QString())) {
        std::fprintf(stderr, "cannot start the null sinks\n");
        return 1;
    }
    BenchTools::Series curlPlain, clientPlain, curlSecure, clientSecure;
    QList<double> copySeconds;
    const auto curlUpload = [&](const NullServerProcess &sink) {
        return BenchTools::run(curl,
            { QStringLiteral("-sS"), QStringLiteral("-k"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                QStringLiteral("-T"), large, QStringLiteral("-H"),
                QStringLiteral("Transfer-Encoding: chunked"),
                QString::fromLatin1(sink.endpoint() + "/sink") });
    };
    const auto client = [&](const NullServerProcess &sink, bool https) {
        QStringList arguments { QStringLiteral("--submit-to"), QString::number(sink.port()), large };
        if (https)
            arguments << QStringLiteral("--https");
        return BenchTools::run(QCoreApplication::applicationFilePath(), arguments);
    };
    std::printf(
        "\nNull sink, whole processes, %d paired runs (curl, client, curl HTTPS, client HTTPS, copy):\n",
        runs);
    for (int run = 0; run < runs; ++run) {
        if (!curl.isEmpty())
            curlPlain.add(curlUpload(plainSink), bytes);
        clientPlain.add(client(plainSink, false), bytes);
        if (!curl.isEmpty())
            curlSecure.add(curlUpload(secureSink), bytes);
        clientSecure.add(client(secureSink, true), bytes);
        const Figures copy = socketCopy(large);
        if (copy.ok)
            copySeconds << copy.ms / 1000.0;
        std::printf("  run %d: curl %s, client %s, curl HTTPS %s, client HTTPS %s, copy %.2f s\n", run + 1,
            qPrintable(curlPlain.text(run)), qPrintable(clientPlain.text(run)),
            qPrintable(curlSecure.text(run)), qPrintable(clientSecure.text(run)), copySeconds.value(run));
        std::fflush(stdout);
    }
    std::printf("%lld MiB each; min / median / max:\n", bytes >> 20);
    BenchTools::printSeries("curl -T chunked upload", curlPlain, bytes);
    BenchTools::printSeries("client submission", clientPlain, bytes);
    BenchTools::printSeries("curl -T chunked upload, HTTPS", curlSecure, bytes);
    BenchTools::printSeries("client submission, HTTPS", clientSecure, bytes);
    BenchTools::Series copy;
    copy.seconds = copySeconds;
    BenchTools::printSeries("plain socket copy (in process)", copy, bytes);
    BenchTools::printRatio("client time / curl time", clientPlain.seconds, curlPlain.seconds);
    BenchTools::printRatio("client CPU / curl CPU", clientPlain.cpuPerGiB, curlPlain.cpuPerGiB);
    BenchTools::printRatio("client time / plain copy time", clientPlain.seconds, copySeconds);
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
    const QCommandLineOption serveOption(QStringLiteral("serve"), QStringLiteral("Child: serve."));
    const QCommandLineOption compressOption(
        QStringLiteral("compress"), QStringLiteral("Child: ask clients to compress."));
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("Large file in MiB."),
        QStringLiteral("MiB"), QStringLiteral("1024"));
    const QCommandLineOption smallOption(QStringLiteral("small-size"),
        QStringLiteral("Small file in MiB (memory must not depend on the size)."), QStringLiteral("MiB"),
        QStringLiteral("64"));
    const QCommandLineOption zlibOption(QStringLiteral("zlib-size"),
        QStringLiteral("Compressed submission in MiB (0: none)."), QStringLiteral("MiB"),
        QStringLiteral("128"));
    const QCommandLineOption nullServeOption(
        QStringLiteral("null-serve"), QStringLiteral("Child: null sink."), QStringLiteral("package"));
    const QCommandLineOption httpsOption(QStringLiteral("https"), QStringLiteral("Child: over HTTPS."));
    const QCommandLineOption submitToOption(QStringLiteral("submit-to"),
        QStringLiteral("Child: submit the file given as argument to this port."), QStringLiteral("port"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Paired null-sink runs."),
        QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption nullOnlyOption(
        QStringLiteral("null-only"), QStringLiteral("Only the null-sink runs."));
    parser.addOptions({ serveOption, compressOption, sizeOption, smallOption, zlibOption, nullServeOption,
        httpsOption, submitToOption, runsOption, nullOnlyOption });
    parser.addHelpOption();
    parser.process(app);
    if (parser.isSet(serveOption))
        return serve(parser.isSet(compressOption));
    if (parser.isSet(nullServeOption)) {
        NullServer::Options options;
        options.https = parser.isSet(httpsOption);
        options.sslDir = QStringLiteral(VORNEX_BIN_DIR "/ssl_testserver");
        options.package = parser.value(nullServeOption);
        return NullServer::serveUntilInputCloses(options);
    }
    if (parser.isSet(submitToOption) && !parser.positionalArguments().isEmpty())
        return submitTo(quint16(parser.value(submitToOption).toUInt()), parser.positionalArguments().first(),
            parser.isSet(httpsOption));

    SubmitThread::Timeouts timeouts;
    timeouts.receiveMs = 600000;
    SubmitThread::setTimeouts(timeouts);

    const qint64 size = parser.value(sizeOption).toLongLong() << 20;
    const qint64 smallSize = parser.value(smallOption).toLongLong() << 20;
    const qint64 zlibSize = parser.value(zlibOption).toLongLong() << 20;
    QTemporaryDir work;
    const QString large = work.filePath(QStringLiteral("large.bin"));
    const QString small = work.filePath(QStringLiteral("small.bin"));
    std::printf("Making files of %lld and %lld MiB...\n", size >> 20, smallSize >> 20);
    std::fflush(stdout);
    if (!TreeTools::makeRandomFile(large, size) || !TreeTools::makeRandomFile(small, smallSize)) {
        std::fprintf(stderr, "cannot write the files in %s\n", qPrintable(work.path()));
        return 1;
    }
    std::printf(
        "Loopback HTTP, one file per job; client baseline %.1f MiB\n", TreeTools::residentKb() / 1024.0);

    int failures = 0;
    if (parser.isSet(nullOnlyOption))
        return nullSinkRuns(large, parser.value(runsOption).toInt()) == 0 ? 0 : 1;
    const Figures limit = socketCopy(large);
    print(limit);
    failures += !limit.ok;
    {
        Child child;
        if (!child.start(false))
            return 1;
        const Figures smallJob = submit(QStringLiteral("submission, small file"), child.port, small);
        print(smallJob);
        const Figures largeJob = submit(QStringLiteral("submission, large file"), child.port, large);
        print(largeJob);
        failures += !smallJob.ok + !largeJob.ok;
        std::printf(
            "client peak growth, large minus small file: %+.1f MiB; throughput %.0f%% of the plain copy\n",
            (largeJob.peakGrowthKb - smallJob.peakGrowthKb) / 1024.0,
            limit.ms > 0 && largeJob.ms > 0
                ? 100.0 * (double(largeJob.bytes) / largeJob.ms) / (double(limit.bytes) / limit.ms)
                : 0.0);
    }
    if (zlibSize > 0) {
        const QString packed = work.filePath(QStringLiteral("zlib.bin"));
        TreeTools::makeRandomFile(packed, zlibSize);
        Child child;
        if (!child.start(true))
            return 1;
        const Figures f = submit(QStringLiteral("submission, compressed (random data)"), child.port, packed);
        print(f);
        failures += !f.ok;
    }
    failures += nullSinkRuns(large, parser.value(runsOption).toInt());
    return failures == 0 ? 0 : 1;
}
