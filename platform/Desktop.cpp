#include "Desktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QUrl>

#include <atomic>

namespace {

std::atomic<Desktop *> g_installed { nullptr };

QString homeFallback(const QString &relative)
{
    return QDir::homePath() + QLatin1Char('/') + relative;
}

} // namespace

Desktop::~Desktop() = default;

// Per-user data lives in the writable generic data folder
// ($XDG_DATA_HOME, ~/.local/share).
QString Desktop::appDataFolder() const
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return folder.isEmpty() ? homeFallback(QStringLiteral(".local/share")) : folder;
}

// All-users data is the first system folder of $XDG_DATA_DIRS, the place a
// package installs shared defaults.
QString Desktop::commonAppDataFolder() const
{
    const QString own = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QStringList all = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString &folder : all) {
        if (folder != own)
            return folder;
    }
    return QString();
}

QString Desktop::documentsFolder() const
{
    // A file dialog given a folder that is not there takes its name for a
    // file name.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return folder.isEmpty() || !QFileInfo(folder).isDir() ? QDir::homePath() : folder;
}

bool Desktop::openWithHandler(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.canonicalFilePath()));
}

QString Desktop::volumeLabel(const QString &rootPath) const
{
    if (rootPath.isEmpty())
        return QString();
    const QStorageInfo storage(rootPath);
    if (!storage.isValid() || !storage.isReady())
        return QString();
    // Only a whole volume has a label; a folder on it does not.
    if (QDir::cleanPath(QFileInfo(rootPath).canonicalFilePath()) != QDir::cleanPath(storage.rootPath()))
        return QString();
    return storage.name();
}

Desktop *Desktop::instance()
{
    static Desktop system;
    Desktop *installed = g_installed.load();
    return installed ? installed : &system;
}

void Desktop::setInstance(Desktop *desktop)
{
    g_installed.store(desktop);
}
