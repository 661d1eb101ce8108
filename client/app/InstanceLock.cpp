#include "InstanceLock.h"

#include "ClientNames.h"
#include "DataFolder.h"
#include "ShellSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Made 0700, or found as a 0700 folder of ours: in the shared temporary
// folder another user could have put something at that name.
bool privateFolder(const QString &path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    const QByteArray encoded = QFile::encodeName(path);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st;
    if (::lstat(encoded.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    return (st.st_mode & 077) == 0 || ::chmod(encoded.constData(), st.st_mode & 0700) == 0;
}

const qint64 kMaxChannelBytes = 4096;

} // namespace

InstanceLock::InstanceLock(const QStringList &paths)
{
    for (const QString &path : paths)
        m_entries.append({ path, -1 });
}

InstanceLock::~InstanceLock()
{
    releaseAll();
}

QString InstanceLock::dataFolderLockPath()
{
    const QString folder = Client::DataFolder::location(Client::appDataFolder());
    return QFileInfo(folder).absolutePath() + QLatin1Char('/') + ClientNames::applicationName()
        + QStringLiteral(".lock");
}

QString InstanceLock::tempFolderLockPath()
{
    return QDir::tempPath() + QStringLiteral("/vornex-") + QString::number(::geteuid()) + QLatin1Char('/')
        + ClientNames::applicationName() + QStringLiteral(".lock");
}

QStringList InstanceLock::defaultPaths()
{
    return { dataFolderLockPath(), tempFolderLockPath() };
}

InstanceLock::State InstanceLock::lockOne(Entry &entry)
{
    if (entry.fd >= 0)
        return State::Taken;
    if (entry.path.isEmpty() || QDir::isRelativePath(entry.path))
        return State::Unavailable;
    if (!privateFolder(QFileInfo(entry.path).absolutePath()))
        return State::Unavailable;
    const int fd
        = ::open(QFile::encodeName(entry.path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return State::Unavailable;
    int rc;
    while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) { }
    if (rc != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? State::HeldElsewhere : State::Unavailable;
    }
    entry.fd = fd;
    return State::Taken;
}

void InstanceLock::releaseAll()
{
    for (Entry &entry : m_entries) {
        if (entry.fd >= 0)
            ::close(entry.fd);
        entry.fd = -1;
    }
}

InstanceLock::State InstanceLock::take()
{
    bool all = true;
    for (Entry &entry : m_entries) {
        const State state = lockOne(entry);
        if (state == State::HeldElsewhere) {
            releaseAll();
            return State::HeldElsewhere;
        }
        all = all && state == State::Taken;
    }
    return all && !m_entries.isEmpty() ? State::Taken : State::Unavailable;
}

bool InstanceLock::holds(const QString &path) const
{
    for (const Entry &entry : m_entries) {
        if (entry.path == path)
            return entry.fd >= 0;
    }
    return false;
}

QStringList InstanceLock::paths() const
{
    QStringList paths;
    for (const Entry &entry : m_entries)
        paths.append(entry.path);
    return paths;
}

void InstanceLock::publishChannel(const QString &serverName)
{
    const QByteArray bytes = QFile::encodeName(serverName);
    for (const Entry &entry : std::as_const(m_entries)) {
        if (entry.fd < 0)
            continue;
        if (::ftruncate(entry.fd, 0) == 0
            && ::pwrite(entry.fd, bytes.constData(), size_t(bytes.size()), 0) >= 0)
            ::fsync(entry.fd);
    }
}

QStringList InstanceLock::publishedChannels() const
{
    QStringList channels;
    for (const Entry &entry : m_entries) {
        if (entry.fd >= 0)
            continue;
        QFile file(entry.path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString channel = QFile::decodeName(file.read(kMaxChannelBytes));
        struct stat st;
        // Only a socket of this user's: the file sits in a private folder,
        // but what it names is checked before anything is sent there.
        if (channel.isEmpty() || QDir::isRelativePath(channel) || channels.contains(channel)
            || ::lstat(QFile::encodeName(channel).constData(), &st) != 0 || !S_ISSOCK(st.st_mode)
            || st.st_uid != ::geteuid())
            continue;
        channels.append(channel);
    }
    return channels;
}
