#pragma once

#include "ServerTypes.h"

#include <QByteArray>
#include <QMap>

#include <memory>
#include <sstream>
#include <vector>

#include <stdsoap2.h>

namespace testserver {

class Receiver;
class Sender;
class ServerCore;

// Serves one accepted connection in its own thread: the request loop, the
// journal entry of each request, the fault of its operation, the DIME
// transfers and hand-made replies.
class Connection
{
public:
    Connection(ServerCore &core, struct soap *soap, int serial, bool secure);
    ~Connection();

    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void serve();

    static Connection *of(struct soap *soap);

    ServerCore &core() { return m_core; }
    struct soap *soap() { return m_soap; }
    Operation operation() const { return m_operation; }
    const Fault &fault() const { return m_fault; }
    QString user() const;
    QString peer() const;
    QByteArray contentEncoding() const;

    void argument(const QString &name, const QString &value);

    // First step of every operation, after its arguments are recorded:
    // checks the credentials and applies the operation's fault. A non-zero
    // result is returned by the operation at once.
    int begin();

    // Last step: SOAP_OK lets the generated skeleton write the reply; with
    // a reply fault the edited reply is written here (SOAP_STOP).
    template <class Response>
    int respond(const Response &response,
        int (*out)(struct soap *, const char *, int, const Response *, const char *))
    {
        if (m_fault.kind == Fault::RawBody)
            return sendRawBody(m_fault.text.toUtf8());
        if (m_fault.kind == Fault::HttpStatus)
            return sendHttpStatus(int(m_fault.bytes), m_fault.text.toUtf8());
        if (m_fault.kind != Fault::RenameResult && m_fault.kind != Fault::OmitResult)
            return 0;
        struct soap *writer = beginFragment();
        if (!writer)
            return sendRawBody(QByteArray());
        out(writer, responseTag().constData(), -1, &response, "");
        return sendEditedFragment(writer);
    }

    // The whole content of the SOAP Body, sent with a proper envelope.
    int sendRawBody(const QByteArray &body);
    // A bare HTTP answer with that status and body; the connection closes.
    int sendHttpStatus(int status, const QByteArray &body);
    // Closes the connection without an answer.
    int dropWithoutAnswer();

    Receiver *receiverFor(const void *handle) const;
    Sender *addSender(const Package &package);

private:
    void resetRequest();
    void startOperation();
    void endRequest();
    bool authorized() const;
    void dropSocket();
    void keepHead(const char *data, size_t length);
    QByteArray responseTag() const;
    struct soap *beginFragment();
    int sendEditedFragment(struct soap *writer);

    static size_t receiveHook(struct soap *soap, char *buffer, size_t length);
    static int sendHook(struct soap *soap, const char *data, size_t length);
    static void *dimeWriteOpen(struct soap *soap, const char *id, const char *type, const char *options);
    static int dimeWrite(struct soap *soap, void *handle, const char *data, size_t length);
    static void dimeWriteClose(struct soap *soap, void *handle);
    static void *dimeReadOpen(
        struct soap *soap, void *handle, const char *id, const char *type, const char *options);
    static size_t dimeRead(struct soap *soap, void *handle, char *buffer, size_t length);
    static void dimeReadClose(struct soap *soap, void *handle);

    ServerCore &m_core;
    struct soap *m_soap;
    const int m_serial;
    const bool m_secure;
    unsigned int m_baseOutputMode = 0;
    ULONG64 m_baseRecvMax = 0;

    size_t (*m_receive)(struct soap *, char *, size_t) = nullptr;
    int (*m_send)(struct soap *, const char *, size_t) = nullptr;

    // Per request.
    Operation m_operation = Operation::Unknown;
    Fault m_fault;
    int m_request = 0;
    QByteArray m_head; // the request's HTTP head, as received
    bool m_headComplete = false;
    QMap<QByteArray, QByteArray> m_headers; // lower-case names
    qint64 m_received = 0;
    qint64 m_sent = 0;
    qint64 m_dropRequestAt = -1;
    qint64 m_dropReplyAt = -1;
    qint64 m_throttleRate = 0; // bytes per second; 0: no limit
    qint64 m_stallRequestAt = -1;
    bool m_dropped = false;
    std::vector<std::unique_ptr<Receiver>> m_receivers;
    std::vector<std::unique_ptr<Sender>> m_senders;
    std::unique_ptr<std::ostringstream> m_fragment;
};

} // namespace testserver
