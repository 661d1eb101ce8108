#include "FileHandler.h"

#include "PosixFs.h"
#include "XmlText.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using PosixFs::Fd;

namespace {

constexpr std::size_t CopyBlockSize = 1 << 20;

QString randomName(const QString &prefix, const QString &suffix)
{
    QString safePrefix = prefix;
    QString safeSuffix = suffix;
    safePrefix.replace(QLatin1Char('/'), QLatin1Char('_'));
    safeSuffix.replace(QLatin1Char('/'), QLatin1Char('_'));
    const quint64 r = QRandomGenerator::system()->generate64();
    return safePrefix + QStringLiteral("%1").arg(r, 16, 16, QLatin1Char('0')) + safeSuffix;
}

QString describe(const QByteArray &name, int errorNumber)
{
    return PosixFs::decode(name) + QStringLiteral(": ") + PosixFs::errorText(errorNumber);
}

QByteArray cleanPath(const QString &path)
{
    return PosixFs::encode(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

// Splits an absolute path into its parent folder and last segment.
void splitPath(const QByteArray &path, QByteArray &parent, QByteArray &leaf)
{
    const int slash = path.lastIndexOf('/');
    parent = slash <= 0 ? QByteArray("/") : path.left(slash);
    leaf = path.mid(slash + 1);
}

// Puts the finished temporary entry in place under name; without replace
// an existing entry of that name is kept and the move fails.
bool putInPlace(int folderFd, const QByteArray &temp, const QByteArray &name, bool replace)
{
    if (replace)
        return ::renameat(folderFd, temp.constData(), folderFd, name.constData()) == 0;
    if (::renameat2(folderFd, temp.constData(), folderFd, name.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without RENAME_NOREPLACE.
    struct stat st;
    if (::fstatat(folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(folderFd, temp.constData(), folderFd, name.constData()) == 0;
}

// Copies one regular file into dstFolder/dstName through a temporary file
// beside it, so a reader never sees half a file and a link at the target
// name is replaced rather than written through.
bool copyFileAt(int srcFolder, const QByteArray &srcName, bool followSource, int dstFolder,
    const QByteArray &dstName, bool replace, QString &error)
{
    Fd source(
        ::openat(srcFolder, srcName.constData(), O_RDONLY | O_CLOEXEC | (followSource ? 0 : O_NOFOLLOW)));
    struct stat st;
    if (!source.isOpen() || ::fstat(source.get(), &st) != 0) {
        error = describe(srcName, errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = describe(srcName, EINVAL);
        return false;
    }
    QByteArray temp;
    Fd target;
    for (int attempt = 0; attempt < 100 && !target.isOpen(); ++attempt) {
        temp = PosixFs::encode(randomName(QStringLiteral(".~"), QString()));
        target.reset(::openat(
            dstFolder, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!target.isOpen() && errno != EEXIST)
            break;
    }
    if (!target.isOpen()) {
        error = describe(dstName, errno);
        return false;
    }
    PosixFs::AlignedBlock block;
    bool ok = block.allocate(CopyBlockSize);
    int failure = ok ? 0 : ENOMEM;
    while (ok) {
        const ssize_t n = ::read(source.get(), block.data(), block.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            failure = errno;
            break;
        }
        if (!PosixFs::writeAll(target.get(), block.data(), std::size_t(n))) {
            ok = false;
            failure = errno;
        }
    }
    if (ok) {
        const struct timespec times[2] = { st.st_atim, st.st_mtim };
        ::futimens(target.get(), times);
        ok = ::fchmod(target.get(), st.st_mode & 07777) == 0;
        failure = errno;
    }
    if (!target.reset() && ok) {
        ok = false;
        failure = errno;
    }
    if (ok && !putInPlace(dstFolder, temp, dstName, replace)) {
        ok = false;
        failure = errno;
    }
    if (!ok) {
        ::unlinkat(dstFolder, temp.constData(), 0);
        error = describe(dstName, failure);
    }
    return ok;
}

// Copies the content of one open folder into another, merging with what
// is there. Links, devices, pipes and sockets are left out.
bool copyTreeAt(int srcFolder, int dstFolder, const QByteArray &where, QString &error)
{
    QList<QByteArray> names;
    if (!PosixFs::listFolder(srcFolder, names)) {
        error = describe(where, errno);
        return false;
    }
    for (const QByteArray &name : std::as_const(names)) {
        const QByteArray here = where + '/' + name;
        struct stat st;
        if (::fstatat(srcFolder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue;
            error = describe(here, errno);
            return false;
        }
        if (S_ISREG(st.st_mode)) {
            if (!copyFileAt(srcFolder, name, false, dstFolder, name, true, error))
                return false;
        } else if (S_ISDIR(st.st_mode)) {
            // A new folder takes the source's mode once it is filled: a
            // read-only one could not be filled.
            const bool made = ::mkdirat(dstFolder, name.constData(), 0700) == 0;
            if (!made && errno != EEXIST) {
                error = describe(here, errno);
                return false;
            }
            Fd src(::openat(srcFolder, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            Fd dst(::openat(dstFolder, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!src.isOpen() || !dst.isOpen()) {
                error = describe(here, errno);
                return false;
            }
            if (!copyTreeAt(src.get(), dst.get(), here, error))
                return false;
            if (made && ::fchmod(dst.get(), st.st_mode & 07777) != 0) {
                error = describe(here, errno);
                return false;
            }
        }
    }
    return true;
}

// The canonical form of a path that need not exist yet: its nearest
// existing folder resolved, the rest appended.
QString resolvedPath(const QString &path)
{
    QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    QString rest;
    while (!info.exists()) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath())
            return QString();
        rest.prepend(QLatin1Char('/') + info.fileName());
        info = QFileInfo(parent);
    }
    const QString found = info.canonicalFilePath();
    return found.isEmpty() || rest.isEmpty() ? found : QDir::cleanPath(found + rest);
}

bool isInside(const QString &inner, const QString &outer)
{
    const QString a = resolvedPath(inner);
    const QString b = resolvedPath(outer);
    if (a.isEmpty() || b.isEmpty())
        return false;
    return a == b || a.startsWith(b.endsWith(QLatin1Char('/')) ? b : b + QLatin1Char('/'));
}

qint64 byteCountAt(int folder, bool recursive)
{
    QList<QByteArray> names;
    if (!PosixFs::listFolder(folder, names))
        return 0;
    qint64 total = 0;
    for (const QByteArray &name : std::as_const(names)) {
        struct stat st;
        if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(st.st_mode)) {
            total += st.st_size;
        } else if (recursive && S_ISDIR(st.st_mode)) {
            const Fd sub(::openat(folder, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (sub.isOpen())
                total += byteCountAt(sub.get(), true);
        }
    }
    return total;
}

} // namespace

namespace Tamsor {

QString FileHandler::createTempFolderForFile(const QString &prefix, const QString &suffix)
{
    const QString base = QDir::tempPath();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = base + QLatin1Char('/') + randomName(prefix, suffix);
        const QByteArray encoded = PosixFs::encode(path);
        if (::mkdir(encoded.constData(), 0700) == 0) {
            // The umask may only take bits away; make sure the owner keeps all three.
            ::chmod(encoded.constData(), 0700);
            return path;
        }
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}

bool FileHandler::makePrivateFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QByteArray encoded = PosixFs::encode(path);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st;
    if (::stat(encoded.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return (st.st_mode & 077) == 0 || ::chmod(encoded.constData(), st.st_mode & 0700) == 0;
}

bool FileHandler::makePrivateFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(QFileInfo(folder).absolutePath()) || !makePrivateFolder(folder))
        return false;
    const PosixFs::Fd fd(::open(PosixFs::encode(path).constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600));
    struct stat st;
    return fd.isOpen() && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)
        && ((st.st_mode & 077) == 0 || ::fchmod(fd.get(), st.st_mode & 0700) == 0);
}

bool FileHandler::copy(const QString &source, const QString &target, ILogInterface *log)
{
    Q_UNUSED(log);
    const QByteArray src = cleanPath(source);
    struct stat st;
    if (source.isEmpty() || target.isEmpty() || ::stat(src.constData(), &st) != 0)
        return false;
    if (S_ISDIR(st.st_mode)) {
        QString error;
        return copyFolder(source, target, error);
    }
    if (!S_ISREG(st.st_mode))
        return false;
    QByteArray parent, leaf;
    splitPath(cleanPath(target), parent, leaf);
    const Fd dst = PosixFs::openFolder(parent, true);
    QString error;
    return dst.isOpen() && copyFileAt(AT_FDCWD, src, true, dst.get(), leaf, true, error);
}

bool FileHandler::copyFolder(
    const QString &source, const QString &target, QString &errorText, ILogInterface *log)
{
    Q_UNUSED(log);
    const Fd src = PosixFs::openFolder(cleanPath(source), true);
    if (source.isEmpty() || !src.isOpen()) {
        errorText = describe(PosixFs::encode(source), source.isEmpty() ? ENOENT : errno);
        return false;
    }
    // Asked before anything is made, so a refused copy leaves nothing behind.
    if (!target.isEmpty() && isInside(target, source)) {
        errorText = QCoreApplication::translate("Tamsor::FileHandler", "Cannot copy folder %1 into itself")
                        .arg(source);
        return false;
    }
    if (target.isEmpty() || !QDir().mkpath(target)) {
        errorText = QCoreApplication::translate("Tamsor::FileHandler", "Cannot create folder %1").arg(target);
        return false;
    }
    const Fd dst = PosixFs::openFolder(cleanPath(target), true);
    if (!dst.isOpen()) {
        errorText = describe(PosixFs::encode(target), errno);
        return false;
    }
    return copyTreeAt(src.get(), dst.get(), cleanPath(source), errorText);
}

bool FileHandler::cleanupFolder(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const Fd fd = PosixFs::openFolder(cleanPath(folder));
    QString error;
    return fd.isOpen() && PosixFs::removeContents(fd.get(), error);
}

bool FileHandler::removeFolder(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const QByteArray path = cleanPath(folder);
    if (path == "/")
        return false;
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode))
        return false;
    QString error;
    return PosixFs::removeEntry(AT_FDCWD, path, error);
}

bool FileHandler::rename(const QString &from, const QString &to, bool overwrite, ILogInterface *log)
{
    Q_UNUSED(log);
    if (from.isEmpty() || to.isEmpty())
        return false;
    const QByteArray src = cleanPath(from);
    const QByteArray dst = cleanPath(to);
    struct stat srcStat, dstStat;
    if (::lstat(src.constData(), &srcStat) != 0)
        return false;
    if (src == dst)
        return true;
    const bool targetExists = ::lstat(dst.constData(), &dstStat) == 0;
    if (targetExists && !overwrite)
        return false;
    if (S_ISDIR(srcStat.st_mode) && isInside(to, from))
        return false;

    QByteArray dstParent, dstLeaf;
    splitPath(dst, dstParent, dstLeaf);
    const Fd parent = PosixFs::openFolder(dstParent, true);
    if (!parent.isOpen())
        return false;

    // An existing folder (or a folder replacing a file) cannot be swapped in
    // one step: move the old entry aside and drop it only once the new one
    // stands.
    QByteArray aside;
    if (targetExists && (S_ISDIR(dstStat.st_mode) || S_ISDIR(srcStat.st_mode))) {
        aside = PosixFs::encode(randomName(QStringLiteral(".~old"), QString()));
        if (::renameat(parent.get(), dstLeaf.constData(), parent.get(), aside.constData()) != 0)
            return false;
    }
    const auto restoreAside = [&]() {
        if (!aside.isEmpty())
            ::renameat(parent.get(), aside.constData(), parent.get(), dstLeaf.constData());
    };
    const auto dropAside = [&]() {
        QString ignored;
        if (!aside.isEmpty())
            PosixFs::removeEntry(parent.get(), aside, ignored);
    };

    bool moved;
    if (overwrite)
        moved = ::rename(src.constData(), dst.constData()) == 0;
    else
        moved = ::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0
            || ((errno == EINVAL || errno == ENOSYS) && ::access(dst.constData(), F_OK) != 0
                && ::rename(src.constData(), dst.constData()) == 0);
    if (moved) {
        dropAside();
        return true;
    }
    if (errno != EXDEV) {
        restoreAside();
        return false;
    }

    // Across file systems: copy, then remove the source once the copy stands.
    QString error;
    bool copied = false;
    if (S_ISREG(srcStat.st_mode)) {
        copied
            = copyFileAt(AT_FDCWD, src, false, parent.get(), dstLeaf, overwrite || !aside.isEmpty(), error);
    } else if (S_ISDIR(srcStat.st_mode)) {
        QByteArray temp;
        for (int attempt = 0; attempt < 100 && temp.isEmpty(); ++attempt) {
            const QByteArray name = PosixFs::encode(randomName(QStringLiteral(".~new"), QString()));
            if (::mkdirat(parent.get(), name.constData(), 0700) == 0)
                temp = name;
            else if (errno != EEXIST)
                break;
        }
        const Fd from(PosixFs::openFolder(src));
        const Fd into(temp.isEmpty()
                ? -1
                : ::openat(parent.get(), temp.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        copied = from.isOpen() && into.isOpen() && copyTreeAt(from.get(), into.get(), src, error)
            && ::fchmod(into.get(), srcStat.st_mode & 07777) == 0
            && putInPlace(parent.get(), temp, dstLeaf, overwrite);
        if (!copied && !temp.isEmpty())
            PosixFs::removeEntry(parent.get(), temp, error);
    }
    if (!copied) {
        restoreAside();
        return false;
    }
    dropAside();
    // The target stands, so the move is done; a source that cannot be taken
    // away (a read-only folder) stays behind as a copy.
    QString ignored;
    PosixFs::removeEntry(AT_FDCWD, src, ignored);
    return true;
}

bool FileHandler::saveDomElement(const QDomDocument &document, const QString &path)
{
    if (path.isEmpty())
        return false;
    const QByteArray bytes = xmlSafeText(document.toString(2)).toUtf8();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

QString FileHandler::formatSize(qint64 bytes)
{
    static const char *const units[] = {
        QT_TRANSLATE_NOOP("Tamsor::FileHandler", "%1 KB"),
        QT_TRANSLATE_NOOP("Tamsor::FileHandler", "%1 MB"),
        QT_TRANSLATE_NOOP("Tamsor::FileHandler", "%1 GB"),
        QT_TRANSLATE_NOOP("Tamsor::FileHandler", "%1 TB"),
        QT_TRANSLATE_NOOP("Tamsor::FileHandler", "%1 PB"),
        QT_TRANSLATE_NOOP("Tamsor::FileHandler", "%1 EB"),
    };
    const QLocale locale;
    if (bytes > -1024 && bytes < 1024)
        return QCoreApplication::translate("Tamsor::FileHandler", "%1 B").arg(locale.toString(bytes));
    double value = double(bytes);
    int unit = -1;
    // Compare what will be shown, so 1023.96 KB reads "1.0 MB", not "1024.0 KB".
    while ((qAbs(value) >= 1023.95 || unit < 0) && unit < 5) {
        value /= 1024.0;
        ++unit;
    }
    return QCoreApplication::translate("Tamsor::FileHandler", units[unit])
        .arg(locale.toString(value, 'f', 1));
}

qint64 FileHandler::getByteCount(const QString &path, bool recursive)
{
    if (path.isEmpty())
        return 0;
    const QByteArray encoded = cleanPath(path);
    struct stat st;
    if (::stat(encoded.constData(), &st) != 0)
        return 0;
    if (S_ISREG(st.st_mode))
        return st.st_size;
    if (!S_ISDIR(st.st_mode))
        return 0;
    const Fd folder = PosixFs::openFolder(encoded, true);
    return folder.isOpen() ? byteCountAt(folder.get(), recursive) : 0;
}

} // namespace Tamsor
