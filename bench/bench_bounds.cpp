// Reading what a hostile server or a damaged disk can hand the client: a
// cache file nested 100,000 deep and a log record nested 40,000 deep, next
// to one plain pass of a streaming XML reader over the same bytes (the
// least any reader that looks at all of it could take). Then the cache
// file at its largest: jobs of 19 metadata fields each up to the record
// budget, written and read back, and a file with one 250 MB attribute,
// refused; with the time and the process's peak memory of each.
//
//   bench_bounds [--runs N] [--cache-depth N] [--log-depth N] [--no-large]

#include "CallBounds.h"
#include "RecordCost.h"
#include "ReplyConversions.h"
#include "ServerCache.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

std::vector<double> timed(int runs, const std::function<void()> &step)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        step();
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms;
}

void scan(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd())
        reader.readNext();
}

void report(const char *label, const std::vector<double> &ours, const std::vector<double> &reference)
{
    const auto median = [](const std::vector<double> &v) { return v[v.size() / 2]; };
    std::printf("%-28s ours %8.2f / %8.2f / %8.2f ms   plain scan %8.2f / %8.2f / %8.2f ms   ratio %.2g\n",
        label, ours.front(), median(ours), ours.back(), reference.front(), median(reference),
        reference.back(), median(ours) / median(reference));
}

// Peak resident size in MiB since the last reset.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

qint64 peakMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() / 1024;
    }
    return -1;
}

void largeCacheFiles(const QTemporaryDir &dir)
{
    QList<MetadataToDisplay> fields;
    for (int f = 0; f < 19; ++f)
        fields.append({ QStringLiteral("Label %1").arg(f), QStringLiteral("Description"),
            QStringLiteral("string"), QStringLiteral("value %1").arg(f) });
    ServerCache::Content content;
    content.flows.append({ QStringLiteral("F"), QStringLiteral("Flow"), {}, {} });
    quint64 cost = 0;
    int jobs = 0;
    for (;;) {
        ServerCache::Job job;
        job.id = QString::number(jobs);
        job.data.name = QStringLiteral("job %1.pdf").arg(jobs);
        job.data.fullUserName = QStringLiteral("Ann Example");
        job.data.connections.append({ QStringLiteral("1"), QStringLiteral("Out") });
        job.data.metadata = fields;
        const quint64 more = RecordCost::ofJob(job.id, job.data);
        if (cost + more > CallBounds::kRecordBudget)
            break;
        cost += more;
        if (jobs % 100 == 0)
            content.flows.first().checkPoints.append(
                { QStringLiteral("C%1").arg(jobs), QStringLiteral("C"), {} });
        content.flows.first().checkPoints.last().jobs.append(job);
        ++jobs;
    }
    const QString path = dir.filePath(QStringLiteral("budget#1.xml"));
    QElapsedTimer clock;
    clock.start();
    const bool saved = ServerCache::save(content, path);
    const qint64 saveMs = clock.elapsed();
    content = ServerCache::Content();
    resetPeak();
    clock.restart();
    ServerCache::Content read;
    QString problem;
    const bool readBack = ServerCache::read(path, &read, &problem) == ServerCache::ReadResult::Read;
    std::printf("cache file at the budget: %d jobs, %llu MiB of records, %lld MB file; saved %s in %lld ms; "
                "read %s in %lld ms, peak %lld MiB %s\n",
        jobs, static_cast<unsigned long long>(cost >> 20), QFileInfo(path).size() / 1000000,
        saved ? "whole" : "NOT", saveMs, readBack ? "back" : "NOT", clock.elapsed(), peakMiB(),
        qPrintable(problem));
    read = ServerCache::Content();

    const QString attribute = dir.filePath(QStringLiteral("attribute#1.xml"));
    QFile file(attribute);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write("<root><Flow name=\"");
    const QByteArray block(1000000, 'n');
    for (int i = 0; i < 250; ++i)
        file.write(block);
    file.write("\" id=\"1\"/></root>");
    file.close();
    resetPeak();
    clock.restart();
    const bool refused
        = ServerCache::read(attribute, nullptr, &problem) == ServerCache::ReadResult::Malformed;
    std::printf("cache file, one 250 MB attribute: %s in %lld ms, peak %lld MiB (%s)\n",
        refused ? "refused" : "READ", clock.elapsed(), peakMiB(), qPrintable(problem));
}

int option(const QStringList &args, const QString &name, int fallback)
{
    const int at = int(args.indexOf(name));
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int runs = std::max(1, option(args, QStringLiteral("--runs"), 5));
    const int cacheDepth = option(args, QStringLiteral("--cache-depth"), 100000);
    const int logDepth = option(args, QStringLiteral("--log-depth"), 40000);
    std::printf("min / median / max of %d runs\n", runs);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("deep#1.xml"));
    const QByteArray cache = "<root>" + QByteArray("<Flow>").repeated(cacheDepth)
        + QByteArray("</Flow>").repeated(cacheDepth) + "</root>";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(cache) != cache.size())
        return 1;
    file.close();
    const auto cacheOurs = timed(runs, [&] { ServerCache::read(path, nullptr); });
    const auto cacheScan = timed(runs, [&] {
        QFile in(path);
        in.open(QIODevice::ReadOnly);
        scan(in.readAll());
    });
    report(qPrintable(QStringLiteral("cache file, %1 levels").arg(cacheDepth)), cacheOurs, cacheScan);

    const QByteArray record = QByteArray("<a>").repeated(logDepth) + QByteArray("</a>").repeated(logDepth);
    const QString text = QString::fromUtf8(record);
    const auto logOurs = timed(runs, [&] { ReplyConversions::logRecordText(text); });
    const auto logScan = timed(runs, [&] { scan(record); });
    report(qPrintable(QStringLiteral("log record, %1 levels").arg(logDepth)), logOurs, logScan);
    if (!args.contains(QStringLiteral("--no-large")))
        largeCacheFiles(dir);
    return 0;
}
