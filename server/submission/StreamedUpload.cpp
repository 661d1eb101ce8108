#include "StreamedUpload.h"

#include "CallBounds.h"
#include "DimeOption.h"
#include "ServerConnection.h"

#include <QMutex>
#include <QMutexLocker>

#include <ombrelServiceProxy.h>

#include <sys/socket.h>

UploadSource::~UploadSource() = default;

namespace StreamedUpload {

namespace {

QMutex timeoutsMutex;
Timeouts currentTimeouts;

// The source the DIME callbacks of this thread may be handed.
thread_local UploadSource *t_source = nullptr;

// The upload itself: bounded by the rate floor while it sends, its answer
// then by the receive limit.
void boundUpload(struct soap *soap)
{
    const Timeouts limits = timeouts();
    CallBounds::boundStream(soap, limits.sendMs, limits.connectMs, limits.receiveMs);
}

void abortTransfer(struct soap *soap)
{
    // Ending the attachment early would hand the server a complete-looking,
    // truncated request: the transfer must fail instead.
    if (soap_valid_socket(soap->socket))
        ::shutdown(soap->socket, SHUT_RDWR);
    soap->error = SOAP_DIME_ERROR;
}

void *readOpen(struct soap *soap, void *handle, const char *, const char *, const char *)
{
    auto *source = static_cast<UploadSource *>(handle);
    if (!source || source != t_source || !source->beginUpload()) {
        soap->error = SOAP_DIME_ERROR;
        return nullptr;
    }
    return handle;
}

size_t read(struct soap *soap, void *handle, char *buffer, size_t length)
{
    auto *source = static_cast<UploadSource *>(handle);
    const qint64 count = source && source == t_source ? source->readData(buffer, qint64(length)) : -1;
    if (count < 0) {
        abortTransfer(soap);
        return 0;
    }
    return size_t(count);
}

void readClose(struct soap *, void *handle)
{
    auto *source = static_cast<UploadSource *>(handle);
    if (source && source == t_source)
        source->endUpload();
}

} // namespace

Timeouts timeouts()
{
    const QMutexLocker lock(&timeoutsMutex);
    return currentTimeouts;
}

void setTimeouts(const Timeouts &limits)
{
    const QMutexLocker lock(&timeoutsMutex);
    currentTimeouts = limits;
}

void prepare(struct soap *soap)
{
    boundUpload(soap);
    soap->fdimereadopen = &readOpen;
    soap->fdimeread = &read;
    soap->fdimereadclose = &readClose;
    soap_clr_omode(soap, SOAP_IO | SOAP_ENC_DIME | SOAP_ENC_ZLIB);
}

int askCompression(ombrel::Service *proxy, const QByteArray &user, const QByteArray &password, bool *compress,
    QString *fault)
{
    struct soap *soap = proxy->soap;
    // The context forgets the credentials after every call.
    soap->userid = user.constData();
    soap->passwd = password.constData();
    bool answer = false;
    const ServerConnection::CallTimeouts limits = ServerConnection::callTimeouts();
    CallBounds::boundEnvelope(soap, limits.workerIoMs, timeouts().connectMs);
    const int rc = proxy->ombrel__GetCompressClientJobs(answer);
    if (fault && (rc == SOAP_CLI_FAULT || rc == SOAP_SVR_FAULT || rc == SOAP_FAULT)) {
        const char *text = soap_fault_string(soap);
        *fault = text ? QString::fromUtf8(text) : QString();
    }
    soap_destroy(soap);
    soap_end(soap);
    if (compress)
        *compress = rc == SOAP_OK && answer;
    return rc;
}

ombrel::xsd__base64Binary attachment(struct soap *soap, UploadSource *source, const char *optionText)
{
    ombrel::xsd__base64Binary data;
    data.__ptr = reinterpret_cast<unsigned char *>(source);
    data.__size = 0;
    data.id = nullptr;
    data.type = soap_strdup(soap, "streamer");
    data.options = DimeOption::make(soap, 0, optionText);
    return data;
}

Sending::Sending(struct soap *soap, UploadSource *source, bool compress)
    : m_soap(soap)
{
    t_source = source;
    boundUpload(soap);
    // Without SOAP_ENC_DIME the payload would go out inline and empty.
    soap_set_omode(soap, SOAP_IO_CHUNK | SOAP_ENC_DIME);
    if (compress)
        soap_set_omode(soap, SOAP_ENC_ZLIB);
}

Sending::~Sending()
{
    t_source = nullptr;
    soap_clr_omode(m_soap, SOAP_IO | SOAP_ENC_DIME | SOAP_ENC_ZLIB);
}

} // namespace StreamedUpload
