#include "ShellSupport.h"

#include "Desktop.h"

#include <QDir>
#include <QFileInfo>

namespace Client {

void openWithShell(QWidget *parent, const QFileInfo &file)
{
    Q_UNUSED(parent);
    if (!file.exists())
        return;
    Desktop::instance()->openWithHandler(QDir::toNativeSeparators(file.canonicalFilePath()));
}

QString specialFolder(int folder)
{
    const Desktop *desktop = Desktop::instance();
    switch (folder) {
    case PersonalFolder:
        return desktop->documentsFolder();
    case AppDataFolder:
        return desktop->appDataFolder();
    case CommonAppDataFolder:
        return desktop->commonAppDataFolder();
    default:
        return QString();
    }
}

QString personalFolder()
{
    return specialFolder(PersonalFolder);
}

QString appDataFolder()
{
    return specialFolder(AppDataFolder);
}

QString commonAppDataFolder()
{
    return specialFolder(CommonAppDataFolder);
}

} // namespace Client
