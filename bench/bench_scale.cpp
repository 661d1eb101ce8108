// A busy server's data through the client's real pages: test servers (in
// processes of their own) generate flows, checkpoints with waiting jobs,
// log records and progress records; a client process refreshes everything,
// refreshes again, sorts and filters, exports the messages and settles.
// Paired in each run with curl posting the same large requests to the same
// servers, with the replies sent to /dev/null.
//
//   bench_scale [--sizes flows,checkpoints,jobs,logs,progress] [--servers N] [--runs N]
//
// The sizes are the totals; with several servers each holds its share.

#include "BenchTools.h"
#include "CheckPointPage.h"
#include "CheckpointsModel.h"
#include "LogExport.h"
#include "LogRoles.h"
#include "LogTableView.h"
#include "LoopStall.h"
#include "MessageModel.h"
#include "MessagePage.h"
#include "MessageSFPModel.h"
#include "MessageView.h"
#include "ProgressModel.h"
#include "ProgressPage.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "WorkFlags.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

struct Sizes
{
    int flows = 20;
    int checkPoints = 200;
    int jobs = 20000;
    int logs = 200000;
    int progress = 20000;

    QString text() const
    {
        return QStringLiteral("%1,%2,%3,%4,%5").arg(flows).arg(checkPoints).arg(jobs).arg(logs).arg(progress);
    }
    Sizes share(int servers) const
    {
        return { qMax(1, flows / servers), qMax(1, checkPoints / servers), jobs / servers, logs / servers,
            progress / servers };
    }
};

bool parseSizes(const QString &text, Sizes *sizes)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 5)
        return false;
    int values[5];
    for (int i = 0; i < 5; ++i) {
        bool ok = false;
        values[i] = parts.at(i).toInt(&ok);
        if (!ok || values[i] < 0)
            return false;
    }
    *sizes = { values[0], values[1], values[2], values[3], values[4] };
    return true;
}

long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Runs the event loop until the condition holds or ms pass.
bool waitFor(const std::function<bool()> &condition, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// ---- the client process ---------------------------------------------------

int clientRun(const QStringList &args)
{
    // ports..., then "--expect" logs progress jobs.
    const int expectAt = int(args.indexOf(QStringLiteral("--expect")));
    if (expectAt < 0 || expectAt + 3 >= args.size())
        return 2;
    QList<int> ports;
    for (int i = args.indexOf(QStringLiteral("--client")) + 1; i < expectAt; ++i)
        ports.append(args.at(i).toInt());
    const int logs = args.at(expectAt + 1).toInt();
    const int progress = args.at(expectAt + 2).toInt();
    const int jobs = args.at(expectAt + 3).toInt();

    QTemporaryDir folder;
    QSettings().setValue(QStringLiteral("General/ApplicationPath"), folder.path());

    ServerProxyPtr proxy(new ServerProxy);
    QList<ServerConnection *> connections;
    for (const int port : std::as_const(ports)) {
        ServerConnection *connection = proxy->getConnection(
            proxy->addConnection(QStringLiteral("user"), QString(), QStringLiteral("127.0.0.1"), port));
        connection->setConnectionId(ServerConnection::nextConnectionId());
        connection->applySettings();
        connections.append(connection);
    }
    auto *messages = new Client::MessagePage(proxy);
    auto *progressPage = new Client::ProgressPage(proxy);
    auto *checkPoints = new Client::CheckPointPage(proxy);
    for (QWidget *page : { static_cast<QWidget *>(messages), static_cast<QWidget *>(progressPage),
             static_cast<QWidget *>(checkPoints) }) {
        page->resize(1200, 700);
        page->show();
    }
    QCoreApplication::processEvents();
    Client::MessageView *view = messages->findChild<Client::MessageView *>();
    Client::MessageModel *messageModel = view->messageModel();
    auto *progressModel = progressPage->findChild<Client::ProgressModel *>();
    auto *checkPointsModel = checkPoints->findChild<Client::CheckpointsModel *>();
    auto *progressView = progressPage->findChild<QTreeView *>();

    const auto jobsShown = [&] {
        int count = 0;
        for (int row = 0; row < checkPointsModel->rowCount(); ++row)
            count += int(checkPointsModel->checkPointAt(row)->getJobIds().size());
        return count;
    };
    const auto allShown = [&] {
        return messageModel->rowCount() >= logs && progressModel->rowCount() >= progress
            && jobsShown() >= jobs;
    };
    const auto idle = [&] {
        for (ServerConnection *connection : std::as_const(connections)) {
            if (!proxy->updateThreads(connection).isEmpty())
                return false;
        }
        return true;
    };

    // The peak from here on.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    clear.close();

    auto stall = std::make_unique<LoopStall>();
    QElapsedTimer clock;
    clock.start();
    proxy->startUpdatingData(UpdateFlags::All);
    const bool shown = waitFor(allShown, 600000);
    const double shownMs = clock.nsecsElapsed() / 1e6;
    waitFor(idle, 60000);
    const qint64 loadStall = stall->longestMs();

    stall = std::make_unique<LoopStall>();
    proxy->startUpdatingData(UpdateFlags::All);
    waitFor([&] { return !idle(); }, 1000);
    waitFor(idle, 600000);
    waitFor([&] { return proxy->waitForCacheWrites(0); }, 60000);
    waitFor([] { return false; }, 300);
    const qint64 refreshStall = stall->longestMs();

    // The user at work: sorting and filtering the messages, sorting the
    // progress records.
    stall = std::make_unique<LoopStall>();
    Velloc::LogTableView *table = view->tableView();
    table->sortByColumn(5, Qt::AscendingOrder);
    waitFor([] { return false; }, 200);
    table->sortByColumn(0, Qt::DescendingOrder);
    waitFor([] { return false; }, 200);
    messageModel->setHeaderData(5, Qt::Horizontal, QStringLiteral("disk"), Velloc::FilterTextResetRole);
    messageModel->filterChanged();
    waitFor([] { return false; }, 200);
    messageModel->setHeaderData(5, Qt::Horizontal, QString(), Velloc::FilterTextResetRole);
    messageModel->filterChanged();
    waitFor([] { return false; }, 200);
    progressView->sortByColumn(5, Qt::AscendingOrder);
    waitFor([] { return false; }, 200);
    progressView->sortByColumn(0, Qt::DescendingOrder);
    waitFor([] { return false; }, 200);
    const qint64 pageStall = stall->longestMs();

    stall = std::make_unique<LoopStall>();
    const QString exportPath = folder.filePath(QStringLiteral("messages.xml"));
    clock.restart();
    bool exported = false;
    bool exportDone = false;
    QObject::connect(view, &Client::MessageView::exportFinished, view, [&](bool ok) {
        exported = ok;
        exportDone = true;
    });
    view->exportTo(exportPath);
    waitFor([&] { return exportDone; }, 600000);
    const double exportMs = clock.nsecsElapsed() / 1e6;
    const qint64 exportStall = stall->longestMs();
    stall.reset();

    const long peak = statusKiB("VmHWM:");
    waitFor([] { return false; }, 1000);
    const long settled = statusKiB("VmRSS:");

    std::printf("result %d %.1f %lld %lld %lld %lld %.1f %ld %ld %lld %d %d %d\n", shown && exported ? 1 : 0,
        shownMs, qint64(loadStall), qint64(refreshStall), qint64(pageStall), qint64(exportStall), exportMs,
        peak, settled, qint64(QFileInfo(exportPath).size()), int(messageModel->rowCount()),
        int(progressModel->rowCount()), jobsShown());
    std::fflush(stdout);
    delete messages;
    delete progressPage;
    delete checkPoints;
    return shown && exported ? 0 : 1;
}

// ---- the parent ---------------------------------------------------------------

struct ServerProcess
{
    std::unique_ptr<QProcess> process;
    int port = 0;
};

ServerProcess startServer(const Sizes &sizes, const QString &program)
{
    ServerProcess server;
    server.process = std::make_unique<QProcess>();
    server.process->setProcessChannelMode(QProcess::SeparateChannels);
    server.process->start(program,
        { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--generate"), sizes.text() });
    if (!server.process->waitForStarted(10000))
        return server;
    QByteArray output;
    QDeadlineTimer deadline(600000);
    while (!deadline.hasExpired() && server.port == 0) {
        server.process->waitForReadyRead(1000);
        output += server.process->readAllStandardOutput();
        for (const QByteArray &line : output.split('\n')) {
            if (line.startsWith("port "))
                server.port = line.mid(5).trimmed().toInt();
        }
        if (server.process->state() != QProcess::Running)
            break;
    }
    return server;
}

// The large requests of one refresh, as the client sends them.
QList<QByteArray> requests(const Sizes &share)
{
    const QByteArray start
        = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
          "xmlns:ombrel=\"http://tempuri.org/ombrel.xsd\"><SOAP-ENV:Body>";
    const QByteArray end = "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
    QByteArray flowIds;
    for (int i = 0; i < share.flows; ++i)
        flowIds += "<flowIds>flow-" + QByteArray::number(i + 1) + "</flowIds>";
    return { start + "<ombrel:GetCheckPoints07>" + flowIds
            + "<withJobs>1</withJobs></ombrel:GetCheckPoints07>" + end,
        start + "<ombrel:GetLogData07><lastTime></lastTime></ombrel:GetLogData07>" + end,
        start + "<ombrel:GetProgressData><lastHours>10</lastHours></ombrel:GetProgressData>" + end };
}

struct CurlRun
{
    double seconds = -1;
    qint64 bytes = 0;
};

// One curl per server, all at once (the client refreshes its servers in
// parallel); each posts the requests one after the other on one connection.
CurlRun curlRun(const QString &curl, const QList<int> &ports, const QStringList &requestFiles)
{
    CurlRun result;
    std::vector<std::unique_ptr<QProcess>> processes;
    QElapsedTimer clock;
    clock.start();
    for (const int port : ports) {
        QStringList args;
        const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(port);
        for (int i = 0; i < requestFiles.size(); ++i) {
            if (i > 0)
                args << QStringLiteral("--next");
            args << QStringLiteral("-s") << QStringLiteral("-u") << QStringLiteral("user:")
                 << QStringLiteral("-H") << QStringLiteral("Content-Type: text/xml; charset=utf-8")
                 << QStringLiteral("--data-binary") << QLatin1Char('@') + requestFiles.at(i)
                 << QStringLiteral("-o") << QStringLiteral("/dev/null") << QStringLiteral("-w")
                 << QStringLiteral("%{size_download}\\n") << url;
        }
        auto process = std::make_unique<QProcess>();
        process->start(curl, args);
        processes.push_back(std::move(process));
    }
    for (auto &process : processes) {
        if (!process->waitForFinished(600000) || process->exitCode() != 0)
            return result;
        for (const QByteArray &line : process->readAllStandardOutput().split('\n'))
            result.bytes += line.trimmed().toLongLong();
    }
    result.seconds = clock.nsecsElapsed() / 1e9;
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("VORNEX bench"));
    QCoreApplication::setApplicationName(QStringLiteral("bench_scale"));
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--client")))
        return clientRun(args);

    Sizes sizes;
    int servers = 1;
    int runs = 3;
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--sizes") && !parseSizes(args.at(i + 1), &sizes)) {
            std::fprintf(stderr, "bench_scale: bad sizes\n");
            return 2;
        }
        if (args.at(i) == QLatin1String("--servers"))
            servers = qMax(1, args.at(i + 1).toInt());
        if (args.at(i) == QLatin1String("--runs"))
            runs = qMax(1, args.at(i + 1).toInt());
    }
    // A private home for the client's settings and files.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral(".config"))));

    const Sizes share = sizes.share(servers);
    const QString serverProgram = QStringLiteral(VORNEX_BIN_DIR "/vornex-testserver");
    std::vector<ServerProcess> processes;
    QList<int> ports;
    for (int i = 0; i < servers; ++i) {
        processes.push_back(startServer(share, serverProgram));
        if (processes.back().port == 0) {
            std::fprintf(stderr, "bench_scale: the test server did not start\n");
            return 1;
        }
        ports.append(processes.back().port);
    }
    const int logs = share.logs * servers;
    const int progress = share.progress * servers;
    const int jobs = share.jobs * servers;
    std::printf(
        "%d server(s), in all %d flows, %d checkpoints, %d jobs, %d log records, %d progress records\n",
        servers, share.flows * servers, share.checkPoints * servers, jobs, logs, progress);

    QStringList requestFiles;
    const QList<QByteArray> bodies = requests(share);
    for (int i = 0; i < bodies.size(); ++i) {
        const QString path = home.filePath(QStringLiteral("request-%1.xml").arg(i));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bodies.at(i));
        requestFiles.append(path);
    }
    const QString curl = BenchTools::curlPath();

    QList<double> shown, curlSeconds, loadStall, refreshStall, pageStall, exportStall, exportSeconds, peak,
        settled;
    qint64 replyBytes = 0;
    int failures = 0;
    QStringList clientArgs { QStringLiteral("--client") };
    for (const int port : std::as_const(ports))
        clientArgs << QString::number(port);
    clientArgs << QStringLiteral("--expect") << QString::number(logs) << QString::number(progress)
               << QString::number(jobs);
    for (int run = 0; run < runs; ++run) {
        if (!curl.isEmpty()) {
            const CurlRun fetched = curlRun(curl, ports, requestFiles);
            if (fetched.seconds >= 0) {
                curlSeconds.append(fetched.seconds);
                replyBytes = fetched.bytes;
            }
        }
        const BenchTools::ProcessRun client
            = BenchTools::run(QCoreApplication::applicationFilePath(), clientArgs);
        const int at = int(client.output.indexOf("result "));
        const QList<QByteArray> fields
            = at >= 0 ? client.output.mid(at).trimmed().split(' ') : QList<QByteArray>();
        if (fields.size() < 14 || fields.at(1) != "1") {
            ++failures;
            std::printf("  run %d: the client did not show every row (%s)\n", run + 1,
                client.output.trimmed().constData());
            continue;
        }
        shown.append(fields.at(2).toDouble() / 1000.0);
        loadStall.append(fields.at(3).toDouble());
        refreshStall.append(fields.at(4).toDouble());
        pageStall.append(fields.at(5).toDouble());
        exportStall.append(fields.at(6).toDouble());
        exportSeconds.append(fields.at(7).toDouble() / 1000.0);
        peak.append(fields.at(8).toDouble() / 1024.0);
        settled.append(fields.at(9).toDouble() / 1024.0);
        std::printf("  run %d: rows shown after %.2f s (curl %.2f s); stalls %s / %s / %s / %s ms; "
                    "peak %.0f MiB, settled %.0f MiB\n",
            run + 1, shown.last(), curlSeconds.value(run, -1), fields.at(3).constData(),
            fields.at(4).constData(), fields.at(5).constData(), fields.at(6).constData(), peak.last(),
            settled.last());
        std::fflush(stdout);
    }

    std::printf("\n%d run(s), min / median / max:\n", runs);
    std::printf("%-44s %s\n", "request to rows shown, s", qPrintable(BenchTools::spreadText(shown)));
    if (!curlSeconds.isEmpty()) {
        std::printf("%-44s %s\n", "curl, same requests to /dev/null, s",
            qPrintable(BenchTools::spreadText(curlSeconds)));
        BenchTools::printRatio("rows shown / curl", shown, curlSeconds);
    }
    std::printf(
        "%-44s %s\n", "longest stall while loading, ms", qPrintable(BenchTools::spreadText(loadStall, 0)));
    std::printf("%-44s %s\n", "longest stall while refreshing, ms",
        qPrintable(BenchTools::spreadText(refreshStall, 0)));
    std::printf("%-44s %s\n", "longest stall sorting and filtering, ms",
        qPrintable(BenchTools::spreadText(pageStall, 0)));
    std::printf("%-44s %s\n", "longest stall while exporting, ms",
        qPrintable(BenchTools::spreadText(exportStall, 0)));
    std::printf(
        "%-44s %s\n", "export of every message, s", qPrintable(BenchTools::spreadText(exportSeconds)));
    std::printf("%-44s %s\n", "peak RSS, MiB", qPrintable(BenchTools::spreadText(peak, 0)));
    std::printf("%-44s %s\n", "settled RSS, MiB", qPrintable(BenchTools::spreadText(settled, 0)));
    std::printf("%-44s %.1f MiB\n", "reply bytes of one refresh (the large replies)", replyBytes / 1048576.0);

    for (ServerProcess &server : processes) {
        server.process->terminate();
        server.process->waitForFinished(10000);
    }
    return failures;
}
