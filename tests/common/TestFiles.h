#pragma once

#include <QByteArray>
#include <QMap>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/types.h>

// Files the tests make, read and compare. No GUI, so server tests use it too.
namespace TestFiles {

// Repeatable bytes that differ per seed and do not compress.
QByteArray pattern(qint64 size, int seed = 1);

// Both make the missing parent folders.
bool writeFile(const QString &path, const QByteArray &content);
bool writeFile(const QString &path, qint64 size, int seed = 1);
// The same, giving the path; empty when the file could not be written.
QString makeFile(const QString &path, qint64 size, int seed = 1);

// The content, or "<missing>" when the file cannot be read.
QByteArray readFile(const QString &path);

// Hex SHA-1 of the content.
QByteArray sha1Of(const QString &path);

// The root under its own name and everything below it, relative to the root's
// folder: "D" for a folder, the SHA-1 for a file (links followed).
QMap<QString, QString> describe(const QString &root);

// Everything below root, relative to it: "D" for a folder, "F:<sha1>" for a
// file, "L" for a link, "S" for anything else (never opened).
QMap<QString, QString> describeTree(const QString &root);

// Permission bits without following a link; 07777 when there is nothing.
mode_t modeOf(const QString &path);

// Names in folder, hidden ones included, sorted.
QStringList entriesOf(const QString &folder);

// Folders a download makes in the temp folder ("downloaded*").
QStringList downloadFolders();

// The client's settings file and the store over it, in the isolated home.
QString settingsFile();
QSettings settingsStore();

// A /proc/self/status value ("VmRSS:", "VmHWM:") in KiB, -1 when unknown.
qint64 statusKb(const char *field);

// While it lives, files this process writes may not grow past the limit and
// a write beyond it fails as on a full disk instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};

// Root passes every permission check; while this lives, the calling thread
// is held to the permission bits like any other user.
class PermissionsChecked
{
public:
    PermissionsChecked();
    ~PermissionsChecked();
    PermissionsChecked(const PermissionsChecked &) = delete;
    PermissionsChecked &operator=(const PermissionsChecked &) = delete;

private:
    __user_cap_header_struct m_header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct m_saved[2] {};
    bool m_dropped = false;
};

} // namespace TestFiles
