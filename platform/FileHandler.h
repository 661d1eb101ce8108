#pragma once

#include <QString>
#include <QtGlobal>

class QDomDocument;

namespace Tamsor {

// Log sink of the core library; the client passes none.
class ILogInterface;

// File operations. None of them follows a symlink out of a tree.
class FileHandler
{
public:
    // A new private (0700) empty folder with an unpredictable name under
    // the system temporary folder; "" when it could not be made.
    static QString createTempFolderForFile(const QString &prefix, const QString &suffix);

    // The folder exists and only its owner may use it: made 0700, or
    // tightened when group or others had rights. False when it cannot be
    // made or is not a folder.
    static bool makePrivateFolder(const QString &path);
    // The file exists (made empty when missing) and only its owner may read
    // or write it, made so before anything is written; its folder is made
    // private as above (the folders above it as usual).
    static bool makePrivateFile(const QString &path);

    // Copies a file, or a folder tree when source is a folder.
    static bool copy(const QString &source, const QString &target, ILogInterface *log = nullptr);
    // Copies the content of source into target (created when missing).
    static bool copyFolder(
        const QString &source, const QString &target, QString &errorText, ILogInterface *log = nullptr);

    // Empties a folder, keeping the folder itself.
    static bool cleanupFolder(const QString &folder);
    static bool removeFolder(const QString &folder);

    // Moves a file or folder, across file systems too; true once the target
    // stands, also when the source of a copy across file systems cannot be
    // removed afterwards.
    static bool rename(const QString &from, const QString &to, bool overwrite, ILogInterface *log = nullptr);

    // Writes the document through a temporary file in the same folder,
    // replacing the target only once the new content is complete.
    static bool saveDomElement(const QDomDocument &document, const QString &path);

    static QString formatSize(qint64 bytes);

    // Bytes of a file, or of every file in a tree when recursive.
    static qint64 getByteCount(const QString &path, bool recursive);
};

} // namespace Tamsor
