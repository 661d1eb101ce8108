#include "BenchTools.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace BenchTools {

namespace {

qint64 msOf(const rusage &usage)
{
    return (qint64(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

} // namespace

ProcessRun run(const QString &program, const QStringList &arguments)
{
    ProcessRun result;
    QTemporaryFile output;
    if (!output.open())
        return result;
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, int(output.handle()), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    QElapsedTimer clock;
    clock.start();
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv.front(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return result;
    int status = 0;
    rusage usage {};
    pid_t waited;
    do {
        waited = ::wait4(pid, &status, 0, &usage);
    } while (waited < 0 && errno == EINTR);
    result.wallMs = clock.elapsed();
    result.cpuMs = msOf(usage);
    result.exitCode = waited == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    output.seek(0);
    result.output = output.readAll();
    return result;
}

qint64 selfCpuMs()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return msOf(usage);
}

Spread spread(QList<double> values)
{
    Spread s;
    if (values.isEmpty())
        return s;
    std::sort(values.begin(), values.end());
    s.min = values.first();
    s.max = values.last();
    const qsizetype middle = values.size() / 2;
    s.median = values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
    return s;
}

QString spreadText(const QList<double> &values, int decimals)
{
    const Spread s = spread(values);
    return QStringLiteral("%1 / %2 / %3")
        .arg(s.min, 0, 'f', decimals)
        .arg(s.median, 0, 'f', decimals)
        .arg(s.max, 0, 'f', decimals);
}

void Series::add(const ProcessRun &run, qint64 bytes)
{
    if (run.exitCode != 0) {
        ++failures;
        return;
    }
    seconds << run.wallMs / 1000.0;
    cpuPerGiB << run.cpuMs / 1000.0 / (double(bytes) / (1 << 30));
}

QString Series::text(int run) const
{
    return QStringLiteral("%1 s (CPU %2)")
        .arg(seconds.value(run), 0, 'f', 2)
        .arg(cpuPerGiB.value(run), 0, 'f', 2);
}

void printSeries(const char *label, const Series &series, qint64 bytes)
{
    QList<double> rates;
    for (const double s : series.seconds)
        rates << (s > 0 ? bytes / 1048576.0 / s : 0.0);
    std::printf("%-36s s %s   MiB/s %s   CPU s/GiB %s%s\n", label, qPrintable(spreadText(series.seconds)),
        qPrintable(spreadText(rates, 0)), qPrintable(spreadText(series.cpuPerGiB)),
        series.failures ? qPrintable(QStringLiteral("   %1 FAILED").arg(series.failures)) : "");
}

QList<double> ratios(const QList<double> &a, const QList<double> &b)
{
    QList<double> r;
    for (qsizetype i = 0; i < qMin(a.size(), b.size()); ++i)
        r << (b.at(i) > 0 ? a.at(i) / b.at(i) : 0.0);
    return r;
}

void printRatio(const char *label, const QList<double> &a, const QList<double> &b)
{
    std::printf("%-36s %s\n", label, qPrintable(spreadText(ratios(a, b))));
}

QString curlPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("curl"));
}

} // namespace BenchTools
