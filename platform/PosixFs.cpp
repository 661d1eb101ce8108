#include "PosixFs.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PosixFs {

bool Fd::reset(int fd)
{
    bool ok = true;
    if (m_fd >= 0)
        ok = ::close(m_fd) == 0;
    m_fd = fd;
    return ok;
}

AlignedBlock::~AlignedBlock()
{
    free();
}

bool AlignedBlock::allocate(std::size_t size)
{
    if (m_data && m_size == size)
        return true;
    free();
    void *p = nullptr;
    if (::posix_memalign(&p, 4096, size) != 0)
        return false;
    m_data = static_cast<char *>(p);
    m_size = size;
    return true;
}

void AlignedBlock::free()
{
    std::free(m_data);
    m_data = nullptr;
    m_size = 0;
}

QByteArray encode(const QString &path)
{
    return QFile::encodeName(path);
}

QString decode(const QByteArray &path)
{
    return QFile::decodeName(path);
}

QString errorText(int errorNumber)
{
    return qt_error_string(errorNumber);
}

bool writeAll(int fd, const char *data, std::size_t count)
{
    while (count > 0) {
        const ssize_t n = ::write(fd, data, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        count -= std::size_t(n);
    }
    return true;
}

bool listFolder(int folderFd, QList<QByteArray> &names)
{
    // fdopendir takes over the descriptor it is given: hand it a duplicate.
    const int dup = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (dup < 0)
        return false;
    DIR *dir = ::fdopendir(dup);
    if (!dir) {
        const int saved = errno;
        ::close(dup);
        errno = saved;
        return false;
    }
    ::rewinddir(dir);
    names.clear();
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        names.append(QByteArray(name));
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0) {
        errno = readError;
        return false;
    }
    std::sort(names.begin(), names.end());
    return true;
}

Fd openFolder(const QByteArray &path, bool followLast)
{
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (!followLast)
        flags |= O_NOFOLLOW;
    return Fd(::open(path.constData(), flags));
}

bool removeContents(int folderFd, QString &error)
{
    QList<QByteArray> names;
    if (!listFolder(folderFd, names)) {
        error = errorText(errno);
        return false;
    }
    bool ok = true;
    for (const QByteArray &name : std::as_const(names))
        ok = removeEntry(folderFd, name, error) && ok;
    return ok;
}

bool removeEntry(int folderFd, const QByteArray &name, QString &error)
{
    struct stat st;
    if (::fstatat(folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return true;
        error = decode(name) + QStringLiteral(": ") + errorText(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        Fd sub(::openat(folderFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!sub.isOpen()) {
            error = decode(name) + QStringLiteral(": ") + errorText(errno);
            return false;
        }
        if (!removeContents(sub.get(), error))
            return false;
        sub.reset();
        if (::unlinkat(folderFd, name.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
            error = decode(name) + QStringLiteral(": ") + errorText(errno);
            return false;
        }
        return true;
    }
    if (::unlinkat(folderFd, name.constData(), 0) != 0 && errno != ENOENT) {
        error = decode(name) + QStringLiteral(": ") + errorText(errno);
        return false;
    }
    return true;
}

} // namespace PosixFs
