#include "StaleFiles.h"

#include "FileHandler.h"
#include "ServerCache.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace StaleFiles {

namespace {

QThread *cleaner = nullptr;

// Ours: made by this user, and of the kind expected, never through a link.
bool isOwn(const QString &path, bool folder)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || st.st_uid != ::geteuid())
        return false;
    return folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
}

} // namespace

int removeDownloads(const QString &tempFolder)
{
    if (tempFolder.isEmpty())
        return 0;
    // The names that createTempFolderForFile gives the download folders.
    static const QRegularExpression name(QStringLiteral("^downloaded[0-9a-f]{16}$"));
    const QDir dir(tempFolder);
    int removed = 0;
    const QStringList entries
        = dir.entryList({ QStringLiteral("downloaded*") }, QDir::Dirs | QDir::Hidden | QDir::System);
    for (const QString &entry : entries) {
        const QString path = dir.filePath(entry);
        if (name.match(entry).hasMatch() && isOwn(path, true) && Tamsor::FileHandler::removeFolder(path))
            ++removed;
    }
    return removed;
}

int removeCacheTemps(const QString &dataFolder)
{
    if (dataFolder.isEmpty())
        return 0;
    const QDir dir(dataFolder);
    int removed = 0;
    const QStringList entries = dir.entryList(
        { ServerCache::tempPrefix() + QStringLiteral("*.xml") }, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : entries) {
        const QString path = dir.filePath(entry);
        if (isOwn(path, false) && QFile::remove(path))
            ++removed;
    }
    return removed;
}

void startCleaning(const QString &dataFolder, const QString &tempFolder)
{
    if (cleaner)
        return;
    // A small folder, and done before any save can start.
    removeCacheTemps(dataFolder);
    if (tempFolder.isEmpty())
        return;
    // Partial downloads may be large: not in the GUI thread.
    const QString temp = tempFolder;
    cleaner = QThread::create([temp] { removeDownloads(temp); });
    cleaner->start(QThread::LowPriority);
}

void wait()
{
    if (!cleaner)
        return;
    cleaner->wait();
    delete cleaner;
    cleaner = nullptr;
}

} // namespace StaleFiles
