#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

// Packs one file or one folder tree into a single byte stream for upload.
// The stream format is described in STREAM_FORMAT.md beside this file.
//
// The total size is known up front (getFullSize) and getData delivers
// exactly that many bytes, filling each buffer completely except at the
// true end. Files are read lazily; nothing is held whole in memory.
// When the tree changes under it (a file vanishes or changes size) the
// streamer marks itself invalid and delivers nothing more: it never sends
// a byte count other than the announced one.
class FilesStreamer
{
public:
    explicit FilesStreamer(const QString &path);
    // Packs path under another top-level name (a job named apart from its
    // file or folder). A name that is not one path segment makes the
    // streamer invalid.
    FilesStreamer(const QString &path, const QString &topLevelName);
    ~FilesStreamer();

    FilesStreamer(const FilesStreamer &) = delete;
    FilesStreamer &operator=(const FilesStreamer &) = delete;

    bool isValid() const;
    QString errorString() const;

    quint64 getFullSize() const;

    QString topLevelName() const;
    // Renames the top-level entry and rewinds to the start. False, with
    // nothing changed, for a name that is not a single path segment (empty,
    // "." or "..", holding '/', '\\' or NUL, over 255 UTF-8 bytes) or that
    // makes a path of the tree too long.
    bool setTopLevelName(const QString &name);
    static bool isValidTopLevelName(const QString &name);

    // Bytes written into buffer; 0 at the end of the stream or when invalid.
    qint64 getData(char *buffer, qint64 capacity);

    // Rewinds to the start for another upload of the same tree.
    bool restart();

    // Closes open files; getData returns 0 afterwards until restart().
    void endWork();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
