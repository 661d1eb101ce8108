#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

// Unpacks a stream made by FilesStreamer into a folder.
//
// Accepts pieces of any length (an incremental parser). Everything it
// writes stays inside its folder: absolute paths, "..", backslashes, empty
// segments, symlinks and device entries in a received stream are refused
// and make the writer invalid.
class FilesStreamerW
{
public:
    // folder must exist (normally a fresh temporary folder).
    explicit FilesStreamerW(const QString &folder);
    ~FilesStreamerW();

    FilesStreamerW(const FilesStreamerW &) = delete;
    FilesStreamerW &operator=(const FilesStreamerW &) = delete;

    bool isValid() const;
    QString errorString() const;

    // Appends the next piece. False (and invalid from then on) when the
    // piece is malformed, hostile or could not be written.
    bool addData(const char *data, qint64 count);

    // Ends the stream; a stream that ended early makes the writer invalid.
    void endWork();

    // True after endWork() on a complete, valid stream.
    bool isComplete() const;

    QString getDir() const;
    // Absolute path of the top-level file or folder inside getDir(); "" if none.
    QString getMainFile() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
