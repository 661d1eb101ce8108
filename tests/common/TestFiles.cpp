#include "TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace TestFiles {
namespace {

// Continues the sequence in state, so a file written in pieces holds the
// same bytes as pattern() of its size.
void fillPattern(char *bytes, qint64 size, quint32 *state)
{
    quint32 x = *state;
    for (qint64 i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = char(x >> 16);
    }
    *state = x;
}

quint32 firstState(int seed)
{
    return quint32(seed) * 2654435761u + 7;
}

QString sha1Text(const QString &path)
{
    return QString::fromLatin1(sha1Of(path));
}

} // namespace

QByteArray pattern(qint64 size, int seed)
{
    QByteArray bytes(int(size), Qt::Uninitialized);
    quint32 state = firstState(seed);
    fillPattern(bytes.data(), bytes.size(), &state);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

bool writeFile(const QString &path, qint64 size, int seed)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    quint32 state = firstState(seed);
    for (qint64 written = 0; written < size;) {
        const int piece = int(qMin<qint64>(block.size(), size - written));
        fillPattern(block.data(), piece, &state);
        if (file.write(block.constData(), piece) != piece)
            return false;
        written += piece;
    }
    return true;
}

QString makeFile(const QString &path, qint64 size, int seed)
{
    return writeFile(path, size, seed) ? path : QString();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray sha1Of(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return hash.result().toHex();
}

QMap<QString, QString> describe(const QString &root)
{
    QMap<QString, QString> out;
    const QDir base = QFileInfo(root).dir();
    auto add = [&](const QString &path) {
        out.insert(
            base.relativeFilePath(path), QFileInfo(path).isDir() ? QStringLiteral("D") : sha1Text(path));
    };
    add(root);
    QDirIterator it(
        root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        add(it.next());
    return out;
}

QMap<QString, QString> describeTree(const QString &root)
{
    QMap<QString, QString> out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        const QString rel = base.relativeFilePath(path);
        if (info.isSymLink())
            out.insert(rel, QStringLiteral("L"));
        else if (info.isDir())
            out.insert(rel, QStringLiteral("D"));
        else if (!info.isFile())
            out.insert(rel, QStringLiteral("S"));
        else
            out.insert(rel, QStringLiteral("F:") + sha1Text(path));
    }
    return out;
}

mode_t modeOf(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return 07777;
    return st.st_mode & 07777;
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList downloadFolders()
{
    return QDir(QDir::tempPath()).entryList({ QStringLiteral("downloaded*") }, QDir::Dirs | QDir::Hidden);
}

QString settingsFile()
{
    return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))
        + QStringLiteral("/Marvolt Software/VORNEXclient.conf");
}

QSettings settingsStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Marvolt Software"),
        QStringLiteral("VORNEXclient"));
}

qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(field)) {
            const QByteArray value = line.mid(int(qstrlen(field))).trimmed();
            return value.left(value.indexOf(' ')).toLongLong();
        }
    }
    return -1;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = m_old;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
}

FileSizeLimit::~FileSizeLimit()
{
    ::setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
}

PermissionsChecked::PermissionsChecked()
{
    if (::syscall(SYS_capget, &m_header, m_saved) != 0)
        return;
    __user_cap_data_struct reduced[2];
    std::memcpy(reduced, m_saved, sizeof reduced);
    for (const int cap : { CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH })
        reduced[cap / 32].effective &= ~(1u << (cap % 32));
    m_dropped = ::syscall(SYS_capset, &m_header, reduced) == 0;
}

PermissionsChecked::~PermissionsChecked()
{
    if (m_dropped)
        ::syscall(SYS_capset, &m_header, m_saved);
}

} // namespace TestFiles
