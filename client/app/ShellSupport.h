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
// file that does not exist.
void openWithShell(QWidget *parent, const QFileInfo &file);

// The folder's path; "" when unknown.
QString specialFolder(int folder);
QString personalFolder();
QString appDataFolder();
QString commonAppDataFolder();

} // namespace Client
