#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

struct soap;
class FilesStreamer;
class QSemaphore;
class FilesStreamerW;

namespace ombrel {
class xsd__base64Binary;
}

// DIME streaming on the client side, done the way the client does it:
// uploads pulled through the proxy's read callbacks from a FilesStreamer
// (or from bytes), downloads pushed through its write callbacks into a
// FilesStreamerW (or into bytes).
class UploadStream
{
public:
    explicit UploadStream(const QByteArray &bytes);
    // Packs path on the fly.
    explicit UploadStream(const QString &path);
    ~UploadStream();

    // Installs the read callbacks on the context; the payload's handle is
    // this object.
    static void installCallbacks(struct soap *soap);
    // A streamed attachment of unknown length, type "streamer"; puts the
    // context into chunked DIME output.
    ombrel::xsd__base64Binary payload(struct soap *soap, const char *optionsText);
    // Back to plain output after the call.
    static void resetOutputMode(struct soap *soap);

    qint64 fullSize() const;
    qint64 sent() const { return m_sent; }
    int opens() const { return m_opens; }
    int closes() const { return m_closes; }
    size_t largestRequest() const { return m_largestRequest; }

    // Shuts the connection down once this many bytes went out (aborts the
    // call: an error set in the callback would not).
    void abortAfter(qint64 bytes) { m_abortAfter = bytes; }
    // Once this many bytes went out, releases reached and waits for resume.
    void pauseAt(qint64 bytes, QSemaphore *reached, QSemaphore *resume)
    {
        m_pauseAt = bytes;
        m_reached = reached;
        m_resume = resume;
    }

private:
    static void *open(struct soap *soap, void *handle, const char *id, const char *type, const char *options);
    static size_t read(struct soap *soap, void *handle, char *buffer, size_t length);
    static void close(struct soap *soap, void *handle);

    std::unique_ptr<FilesStreamer> m_streamer;
    QByteArray m_bytes;
    qint64 m_position = 0;
    qint64 m_sent = 0;
    qint64 m_abortAfter = -1;
    qint64 m_pauseAt = -1;
    QSemaphore *m_reached = nullptr;
    QSemaphore *m_resume = nullptr;
    int m_opens = 0;
    int m_closes = 0;
    size_t m_largestRequest = 0;
};

class DownloadSink
{
public:
    // Into memory.
    DownloadSink();
    // Unpacked into folder (must exist).
    explicit DownloadSink(const QString &folder);
    ~DownloadSink();

    // Installs the write callbacks; the context's user pointer becomes
    // this sink.
    void attach(struct soap *soap);
    // True when the result is the handle this sink handed out (a reply
    // may carry its payload inline or empty instead).
    bool isHandle(const ombrel::xsd__base64Binary &result) const;

    QByteArray bytes() const { return m_bytes; }
    qint64 received() const { return m_received; }
    FilesStreamerW *writer() const { return m_writer.get(); }
    int opens() const { return m_opens; }
    int closes() const { return m_closes; }

private:
    static void *open(struct soap *soap, const char *id, const char *type, const char *options);
    static int write(struct soap *soap, void *handle, const char *data, size_t length);
    static void close(struct soap *soap, void *handle);

    std::unique_ptr<FilesStreamerW> m_writer;
    QByteArray m_bytes;
    qint64 m_received = 0;
    int m_opens = 0;
    int m_closes = 0;
};
