#include "StreamedUpload.h"

#include "DimeOption.h"

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

// gSOAP reads a negative timeout as microseconds.
int soapTimeout(int ms)
{
    return ms > 0 ? -ms * 1000 : 0;
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
    const Timeouts limits = timeouts();
    soap->connect_timeout = soapTimeout(limits.connectMs);
    soap->send_timeout = soapTimeout(limits.sendMs);
    soap->recv_timeout = soapTimeout(limits.receiveMs);
    soap->fdimereadopen = &readOpen;
    soap->fdimeread = &read;
    soap->fdimereadclose = &readClose;
    soap_clr_omode(soap, SOAP_IO | SOAP_ENC_DIME | SOAP_ENC_ZLIB);
}

int askCompression(ombrel::Service *proxy, const QByteArray &user, const QByteArray &password, bool *compress)
{
    struct soap *soap = proxy->soap;
    // The context forgets the credentials after every call.
    soap->userid = user.constData();
    soap->passwd = password.constData();
    bool answer = false;
    const int rc = proxy->ombrel__GetCompressClientJobs(answer);
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
