#include "StreamHarness.h"

#include "DimeOption.h"
#include "FilesStreamer.h"
#include "FilesStreamerW.h"

#include <ombrelH.h>

#include <QSemaphore>

#include <cstring>
#include <sys/socket.h>

UploadStream::UploadStream(const QByteArray &bytes)
    : m_bytes(bytes)
{ }

UploadStream::UploadStream(const QString &path)
    : m_streamer(std::make_unique<FilesStreamer>(path))
{ }

UploadStream::~UploadStream() = default;

void UploadStream::installCallbacks(struct soap *soap)
{
    soap->fdimereadopen = open;
    soap->fdimeread = read;
    soap->fdimereadclose = close;
}

ombrel::xsd__base64Binary UploadStream::payload(struct soap *soap, const char *optionsText)
{
    ombrel::xsd__base64Binary data;
    data.__ptr = reinterpret_cast<unsigned char *>(this);
    data.__size = 0;
    data.id = nullptr;
    data.type = soap_strdup(soap, "streamer");
    data.options = DimeOption::make(soap, 0, optionsText);
    // Literal output carries the attachment only in DIME mode, and a
    // stream of unknown length needs chunked output.
    soap->omode = (soap->omode & ~SOAP_IO) | SOAP_IO_CHUNK | SOAP_ENC_DIME;
    return data;
}

void UploadStream::resetOutputMode(struct soap *soap)
{
    soap->omode &= ~(SOAP_IO | SOAP_ENC_DIME | SOAP_ENC_ZLIB);
}

qint64 UploadStream::fullSize() const
{
    return m_streamer ? static_cast<qint64>(m_streamer->getFullSize()) : m_bytes.size();
}

void *UploadStream::open(struct soap *, void *handle, const char *, const char *, const char *)
{
    auto *self = static_cast<UploadStream *>(handle);
    ++self->m_opens;
    self->m_sent = 0;
    self->m_position = 0;
    if (self->m_streamer)
        self->m_streamer->restart();
    return handle;
}

size_t UploadStream::read(struct soap *soap, void *handle, char *buffer, size_t length)
{
    auto *self = static_cast<UploadStream *>(handle);
    self->m_largestRequest = qMax(self->m_largestRequest, length);
    if (self->m_abortAfter >= 0 && self->m_sent >= self->m_abortAfter) {
        ::shutdown(soap->socket, SHUT_RDWR);
        return 0;
    }
    if (self->m_pauseAt >= 0 && self->m_sent >= self->m_pauseAt) {
        self->m_pauseAt = -1;
        self->m_reached->release();
        self->m_resume->acquire();
    }
    size_t filled = 0;
    if (self->m_streamer) {
        // A short read ends the attachment: fill the buffer completely.
        while (filled < length) {
            const qint64 got
                = self->m_streamer->getData(buffer + filled, static_cast<qint64>(length - filled));
            if (got <= 0)
                break;
            filled += static_cast<size_t>(got);
        }
    } else {
        filled = static_cast<size_t>(
            qMin<qint64>(static_cast<qint64>(length), self->m_bytes.size() - self->m_position));
        std::memcpy(buffer, self->m_bytes.constData() + self->m_position, filled);
        self->m_position += static_cast<qint64>(filled);
    }
    self->m_sent += static_cast<qint64>(filled);
    return filled;
}

void UploadStream::close(struct soap *, void *handle)
{
    auto *self = static_cast<UploadStream *>(handle);
    ++self->m_closes;
    if (self->m_streamer)
        self->m_streamer->endWork();
}

DownloadSink::DownloadSink() = default;

DownloadSink::DownloadSink(const QString &folder)
    : m_writer(std::make_unique<FilesStreamerW>(folder))
{ }

DownloadSink::~DownloadSink() = default;

void DownloadSink::attach(struct soap *soap)
{
    soap->user = this;
    soap->fdimewriteopen = open;
    soap->fdimewrite = write;
    soap->fdimewriteclose = close;
}

bool DownloadSink::isHandle(const ombrel::xsd__base64Binary &result) const
{
    return result.__ptr == reinterpret_cast<const unsigned char *>(this);
}

void *DownloadSink::open(struct soap *soap, const char *, const char *, const char *)
{
    auto *self = static_cast<DownloadSink *>(soap->user);
    ++self->m_opens;
    if (self->m_writer && !self->m_writer->isValid()) {
        soap->error = SOAP_DIME_ERROR;
        return nullptr;
    }
    return self;
}

int DownloadSink::write(struct soap *, void *handle, const char *data, size_t length)
{
    auto *self = static_cast<DownloadSink *>(handle);
    self->m_received += static_cast<qint64>(length);
    if (!self->m_writer) {
        self->m_bytes.append(data, static_cast<qsizetype>(length));
        return SOAP_OK;
    }
    return self->m_writer->addData(data, static_cast<qint64>(length)) ? SOAP_OK : SOAP_DIME_ERROR;
}

void DownloadSink::close(struct soap *, void *handle)
{
    auto *self = static_cast<DownloadSink *>(handle);
    ++self->m_closes;
    if (self->m_writer)
        self->m_writer->endWork();
}
