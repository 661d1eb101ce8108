// Reading what a hostile server or a damaged disk can hand the client: a
// cache file nested 100,000 deep and a log record nested 40,000 deep, next
// to one plain pass of a streaming XML reader over the same bytes (the
// least any reader that looks at all of it could take).
//
//   bench_bounds [--runs N] [--cache-depth N] [--log-depth N]

#include "ReplyConversions.h"
#include "ServerCache.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
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
    return 0;
}
