#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace ombrel {
class Service;
class xsd__base64Binary;
} // namespace ombrel
struct soap;

// The data of one streamed upload, read by the DIME callbacks in the
// uploading thread.
class UploadSource
{
public:
    virtual ~UploadSource();

    // The attachment opens; false when there is nothing valid to send.
    virtual bool beginUpload() = 0;
    // Fills the buffer completely but at the true end; -1 aborts the
    // transfer (cancelled, or the data changed under the stream).
    virtual qint64 readData(char *buffer, qint64 length) = 0;
    // The attachment closes.
    virtual void endUpload() = 0;
};

// What the transfer threads share to send a job as a streamed DIME
// attachment on a SOAP context of their own.
namespace StreamedUpload {

// Limits of every call of a transfer: while the job goes out, fewer than
// 1 KiB sent in any sendMs fails it; the server's answer must then come
// within receiveMs, long enough for it to take a large job in.
struct Timeouts
{
    int connectMs = 10000;
    int sendMs = 60000;
    int receiveMs = 300000;
};
Timeouts timeouts();
void setTimeouts(const Timeouts &timeouts);

// The limits and the DIME read callbacks on the context; plain output.
void prepare(struct soap *soap);

// Asks the server whether jobs go compressed; the context is cleaned
// afterwards. The gSOAP result; `fault` gets the text of a SOAP Fault.
int askCompression(ombrel::Service *proxy, const QByteArray &user, const QByteArray &password, bool *compress,
    QString *fault = nullptr);

// The payload element that streams the source's data.
ombrel::xsd__base64Binary attachment(struct soap *soap, UploadSource *source, const char *optionText);

// While it lives, the DIME callbacks of this thread serve the source (and
// refuse any other handle), and the context sends chunked DIME output.
class Sending
{
public:
    Sending(struct soap *soap, UploadSource *source, bool compress);
    ~Sending();

    Sending(const Sending &) = delete;
    Sending &operator=(const Sending &) = delete;

private:
    struct soap *m_soap;
};

} // namespace StreamedUpload
