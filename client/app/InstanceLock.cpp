#include "InstanceLock.h"

#include "ClientNames.h"
#include "FileHandler.h"
#include "ShellSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::InstanceLock(const QString &path)
    : m_path(path)
{ }

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString InstanceLock::defaultPath()
{
    const QString root = Client::appDataFolder();
    if (root.isEmpty() || QDir::isRelativePath(root))
        return QString();
    return root + QLatin1Char('/') + ClientNames::organizationName() + QLatin1Char('/')
        + ClientNames::applicationName() + QStringLiteral(".lock");
}

InstanceLock::State InstanceLock::take()
{
    if (m_fd >= 0)
        return State::Taken;
    if (m_path.isEmpty())
        return State::Unavailable;
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder) || !Tamsor::FileHandler::makePrivateFolder(folder))
        return State::Unavailable;
    const int fd
        = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return State::Unavailable;
    int rc;
    while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) { }
    if (rc != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? State::HeldElsewhere : State::Unavailable;
    }
    m_fd = fd;
    return State::Taken;
}
