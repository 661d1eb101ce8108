#include "DataFolder.h"

#include "ClientNames.h"
#include "FileHandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace Client {

QString DataFolder::seedMarkerName()
{
    return QStringLiteral(".seed-pending");
}

QString DataFolder::prepare(const QString &userRoot, const QString &commonRoot)
{
    QString root = userRoot;
    if (root.isEmpty() || QDir::isRelativePath(root))
        root = QDir::homePath() + QStringLiteral("/.local/share");

    const QString organization = root + QLatin1Char('/') + ClientNames::organizationName();
    const QString target = organization + QLatin1Char('/') + ClientNames::applicationName();
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
    QTemporaryDir staging(QFileInfo(target).absolutePath() + QStringLiteral("/.")
        + ClientNames::applicationName() + QStringLiteral("-seed-XXXXXX"));
    if (!staging.isValid())
        return false;
    QString errorText;
    if (!Tamsor::FileHandler::copyFolder(source, staging.path(), errorText))
        return false;

    const QDir staged(staging.path());
    const QStringList entries
        = staged.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    bool complete = true;
    for (const QString &entry : entries) {
        const QString destination = target + QLatin1Char('/') + entry;
        const QFileInfo existing(destination);
        if (existing.exists() || existing.isSymLink())
            continue;
        if (!QDir().rename(staged.filePath(entry), destination))
            complete = false;
    }
    return complete;
}

} // namespace Client
