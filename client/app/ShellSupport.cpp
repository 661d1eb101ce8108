#include "ShellSupport.h"

#include "Desktop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

namespace Client {

bool openWithShell(QWidget *parent, const QFileInfo &file)
{
    if (!file.exists())
        return false;
    const QString path = QDir::toNativeSeparators(file.canonicalFilePath());
    if (Desktop::instance()->openWithHandler(path))
        return true;
    // Without this the user only sees nothing happen.
    showWarning(parent,
        QCoreApplication::translate("Client::ShellSupport",
            "The desktop has no program to open %1. Open it from a file manager, or install a program for "
            "this kind of file.")
            .arg(path));
    return false;
}

void showWarning(QWidget *parent, const QString &text)
{
    // Not run in a nested event loop: the caller may be in the middle of
    // handling a download or a click.
    auto *box = new QMessageBox(QMessageBox::Warning,
        QCoreApplication::translate("Client::ShellSupport", "Warning"), text, QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("shellWarning"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

QString dialogFolder(const QString &remembered)
{
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
        return remembered;
    const QString documents = personalFolder();
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
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
