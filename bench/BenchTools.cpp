#include "BenchTools.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
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

QString curlPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("curl"));
}

} // namespace BenchTools
