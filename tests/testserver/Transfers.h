#pragma once

#include "ServerTypes.h"

#include <QByteArray>
#include <QString>

#include <memory>

class FilesStreamer;
class FilesStreamerW;

namespace testserver {

// Takes one received attachment: unpacks it into a folder, or (raw mode)
// only counts and hashes it. A refused receiver swallows the bytes so the
// client can still read the server's answer.
class Receiver
{
public:
    enum Mode { Unpack, Raw, Refuse };

    Receiver(Mode mode, const QString &folder);
    ~Receiver();

    void add(const char *data, size_t count);
    void close();

    qint64 bytes() const { return m_bytes; }
    bool closed() const { return m_closed; }
    // Unpack: a valid, complete package. Raw: always after close().
    bool complete() const;
    QString folder() const { return m_folder; }
    QString mainFile() const;
    QString error() const;
    // SHA-256 of the raw bytes, hex (raw mode only).
    QByteArray sha256() const { return m_sha256; }

    QByteArray type;
    QByteArray optionsText;

private:
    Mode m_mode;
    QString m_folder;
    std::unique_ptr<FilesStreamerW> m_writer;
    struct Hash;
    std::unique_ptr<Hash> m_hash;
    QByteArray m_sha256;
    qint64 m_bytes = 0;
    bool m_closed = false;
};

// Feeds one outgoing attachment, filling every buffer completely except
// at the true end (a short read ends the attachment).
class Sender
{
public:
    explicit Sender(const Package &package);
    ~Sender();

    bool isValid() const;
    QString errorString() const;
    qint64 fullSize() const;
    size_t read(char *buffer, size_t capacity);
    void close();
    qint64 sent() const { return m_sent; }

private:
    std::unique_ptr<FilesStreamer> m_streamer;
    QByteArray m_bytes;
    qint64 m_position = 0;
    qint64 m_sent = 0;
};

} // namespace testserver
