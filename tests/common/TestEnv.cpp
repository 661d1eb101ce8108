#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <signal.h>
#include <time.h>

namespace {

QString g_home;
bool g_keep = false;

void removeHome()
{
    if (g_home.isEmpty())
        return;
    if (g_keep) {
        std::fprintf(stderr, "test home kept at %s\n", qPrintable(g_home));
        return;
    }
    QDir(g_home).removeRecursively();
}

QByteArray makeTempDir(const char *name)
{
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/vornex-" + name + "-XXXXXX";
    char *made = mkdtemp(pattern.data());
    if (!made) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    return QByteArray(made);
}

} // namespace

namespace TestEnv {

void isolateHome(int argc, char **argv)
{
    Q_UNUSED(argc);
    // A peer that closes mid-transfer must fail the call, not kill the test.
    ::signal(SIGPIPE, SIG_IGN);

    QByteArray name = qgetenv("VORNEX_TEST_NAME");
    if (name.isEmpty())
        name = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName().toLocal8Bit();
    const QByteArray home = makeTempDir(name.constData());
    g_home = QString::fromLocal8Bit(home);

    const QByteArray runtime = home + "/runtime";
    QDir().mkpath(QString::fromLocal8Bit(runtime));
    QFile::setPermissions(QString::fromLocal8Bit(runtime),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", home + "/.config");
    qputenv("XDG_DATA_HOME", home + "/.local/share");
    qputenv("XDG_CACHE_HOME", home + "/.cache");
    qputenv("XDG_RUNTIME_DIR", runtime);
    // System-scope folders point into the home too, so a test never reads
    // or writes the machine's /etc/xdg or /usr/share.
    qputenv("XDG_CONFIG_DIRS", home + "/etc-xdg");
    qputenv("XDG_DATA_DIRS", home + "/usr-share");
    qputenv("TMPDIR", home + "/tmp");
    QDir().mkpath(QString::fromLocal8Bit(home + "/tmp"));
    // ctest starts each test in the build tree: a file written by a relative
    // name lands in this run's home instead.
    QDir::setCurrent(g_home);
    std::atexit(removeHome);
}

QString homeDir()
{
    return g_home;
}

QString binDir()
{
    return QString::fromLocal8Bit(qgetenv("VORNEX_BIN_DIR"));
}

void keepHome()
{
    g_keep = true;
}

qint64 threadCpuMs()
{
    timespec now {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void resetPeakMemory()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

qint64 peakMemoryKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace TestEnv
