#pragma once

#include <QString>

class QFileInfo;
class QWidget;

namespace Client {

// Folder numbers the client asks for.
enum SpecialFolder {
    PersonalFolder = 5,
    AppDataFolder = 26,
    CommonAppDataFolder = 35,
};

// Opens an existing file with the desktop's handler for it; nothing for a
// file that does not exist. When the desktop cannot open it, a warning
// naming the file; false then.
bool openWithShell(QWidget *parent, const QFileInfo &file);

// A "Warning" box over parent that does not wait for its answer.
void showWarning(QWidget *parent, const QString &text);

// Where a file dialog starts: the remembered folder while it exists, else
// the documents folder when it exists, else the home folder. Never a path
// the dialog would take for a file name.
QString dialogFolder(const QString &remembered);

// The folder's path; "" when unknown.
QString specialFolder(int folder);
QString personalFolder();
QString appDataFolder();
QString commonAppDataFolder();

} // namespace Client
