#include "DataFolder.h"

#include "ClientNames.h"
#include "FileHandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace Client {

namespace {

QString stagingPrefix()
{
    return QStringLiteral(".") + ClientNames::applicationName() + QStringLiteral("-seed-");
}

bool isOwnFolder(const QString &path, struct stat *st)
{
    return ::lstat(QFile::encodeName(path).constData(), st) == 0 && S_ISDIR(st->st_mode)
        && st->st_uid == ::geteuid();
}

// A copied read-only folder keeps its entries from being removed: every
// folder of ours in the tree is opened up first. Links are not followed.
bool removeTree(const QString &path)
{
    struct stat st;
    if (!isOwnFolder(path, &st))
        return false;
    ::chmod(QFile::encodeName(path).constData(), 0700);
    const QStringList subFolders = QDir(path).entryList(
        QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString &entry : subFolders)
        removeTree(path + QLatin1Char('/') + entry);
    return QDir(path).removeRecursively();
}

// Moving a folder into another parent rewrites its ".." entry, which needs
// write permission on the folder itself: a read-only one is opened for the
// move and gets its own mode back after it.
bool moveEntry(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    struct stat st;
    const bool readOnlyFolder
        = ::lstat(source.constData(), &st) == 0 && S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR);
    if (readOnlyFolder && ::chmod(source.constData(), (st.st_mode & 07777) | S_IWUSR) != 0)
        return false;
    const bool moved = QDir().rename(from, to);
    if (readOnlyFolder)
        ::chmod(QFile::encodeName(moved ? to : from).constData(), st.st_mode & 07777);
    return moved;
}

} // namespace

QString DataFolder::seedMarkerName()
{
    return QStringLiteral(".seed-pending");
}

QString DataFolder::location(const QString &userRoot)
{
    QString root = userRoot;
    if (root.isEmpty() || QDir::isRelativePath(root))
        root = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(root + QLatin1Char('/') + ClientNames::organizationName() + QLatin1Char('/')
        + ClientNames::applicationName());
}

QString DataFolder::prepare(const QString &userRoot, const QString &commonRoot)
{
    const QString target = location(userRoot);
    const QString organization = QFileInfo(target).absolutePath();
    const QString root = QFileInfo(organization).absolutePath();
    QString source;
    if (!commonRoot.isEmpty() && !QDir::isRelativePath(commonRoot)) {
        source = commonRoot + QLatin1Char('/') + ClientNames::organizationName() + QLatin1Char('/')
            + ClientNames::applicationName();
        if (!QFileInfo(source).isDir()
            || QFileInfo(source).canonicalFilePath() == QFileInfo(target).canonicalFilePath())
            source.clear();
    }

    const QString marker = target + QLatin1Char('/') + seedMarkerName();
    const bool fresh = !QFileInfo(target).isDir();
    if (fresh && (!QDir().mkpath(root) || !Tamsor::FileHandler::makePrivateFolder(organization)))
        return QString();
    // Made 0700; one that an earlier version left open to everyone is closed.
    if (!Tamsor::FileHandler::makePrivateFolder(target))
        return QString();
    removeStagingLeftovers(organization);
    if (fresh && !source.isEmpty()) {
        QFile markerFile(marker);
        markerFile.open(QIODevice::WriteOnly);
    }
    if (!source.isEmpty() && QFileInfo::exists(marker) && seed(source, target))
        QFile::remove(marker);
    return QFileInfo(target).absoluteFilePath();
}

bool DataFolder::seed(const QString &source, const QString &target)
{
    // The copy goes to a folder beside the target first, so a copy that
    // breaks off leaves nothing half-copied in the target; its entries then
    // move over by rename, each complete.
    QTemporaryDir staging(
        QFileInfo(target).absolutePath() + QLatin1Char('/') + stagingPrefix() + QStringLiteral("XXXXXX"));
    if (!staging.isValid())
        return false;
    // QTemporaryDir cannot remove what a read-only folder holds.
    staging.setAutoRemove(false);
    const bool complete = moveSeed(source, staging.path(), target);
    removeTree(staging.path());
    return complete;
}

bool DataFolder::moveSeed(const QString &source, const QString &staging, const QString &target)
{
    QString errorText;
    if (!Tamsor::FileHandler::copyFolder(source, staging, errorText))
        return false;

    const QDir staged(staging);
    const QStringList entries
        = staged.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    bool complete = true;
    for (const QString &entry : entries) {
        const QString destination = target + QLatin1Char('/') + entry;
        const QFileInfo existing(destination);
        if (existing.exists() || existing.isSymLink())
            continue;
        if (!moveEntry(staged.filePath(entry), destination))
            complete = false;
    }
    return complete;
}

void DataFolder::removeStagingLeftovers(const QString &organization)
{
    // Seeds that broke off in an earlier run; only one client of the user's
    // runs, so none is in progress.
    const QDir dir(organization);
    const QStringList entries = dir.entryList({ stagingPrefix() + QLatin1Char('*') },
        QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString &entry : entries)
        removeTree(dir.filePath(entry));
}

} // namespace Client
