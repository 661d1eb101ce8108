#pragma once

#include <QString>

// What the client needs of the desktop and the operating system. The
// system implementation is the default; tests install their own.
class Desktop
{
public:
    virtual ~Desktop();

    // Per-user and all-users application-data folders; "" when unknown.
    virtual QString appDataFolder() const;
    virtual QString commonAppDataFolder() const;
    // The user's documents folder when it exists, else the home folder.
    virtual QString documentsFolder() const;

    // Opens an existing file or folder with the desktop's handler.
    virtual bool openWithHandler(const QString &path);

    // Label of the volume mounted at rootPath; "" when it has none.
    virtual QString volumeLabel(const QString &rootPath) const;

    static Desktop *instance();
    // Replaces the instance (not owned); nullptr restores the system one.
    static void setInstance(Desktop *desktop);
};
