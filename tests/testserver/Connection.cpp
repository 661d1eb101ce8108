#include "Connection.h"

#include "DimeOption.h"
#include "ServerCore.h"
#include "Transfers.h"

#include <QDomDocument>
#include <QTextStream>

#include <ombrelH.h>

#include <sys/socket.h>

namespace testserver {
namespace {

const char realm[] = "vornex-testserver";

QString text(const char *value)
{
    return value ? QString::fromUtf8(value) : QString();
}

QByteArray envelope(const QByteArray &body)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope";
    for (const Namespace *ns = namespaces; ns && ns->id; ++ns)
        xml += " xmlns:" + QByteArray(ns->id) + "=\"" + QByteArray(ns->ns) + '"';
    xml += "><SOAP-ENV:Body>" + body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
    return xml;
}

} // namespace

Connection::Connection(ServerCore &core, struct soap *soap, int serial, bool secure)
    : m_core(core)
    , m_soap(soap)
    , m_serial(serial)
    , m_secure(secure)
{
    m_soap->user = this;
    m_baseOutputMode = m_soap->omode;
    m_baseRecvMax = m_soap->recv_maxlength;
    m_receive = m_soap->frecv;
    m_send = m_soap->fsend;
    m_soap->frecv = receiveHook;
    m_soap->fsend = sendHook;
    m_soap->fdimewriteopen = dimeWriteOpen;
    m_soap->fdimewrite = dimeWrite;
    m_soap->fdimewriteclose = dimeWriteClose;
    m_soap->fdimereadopen = dimeReadOpen;
    m_soap->fdimeread = dimeRead;
    m_soap->fdimereadclose = dimeReadClose;
}

Connection::~Connection()
{
    endRequest();
    m_soap->user = nullptr;
}

Connection *Connection::of(struct soap *soap)
{
    return static_cast<Connection *>(soap->user);
}

void Connection::serve()
{
    if (m_secure && soap_ssl_accept(m_soap))
        return;
    m_soap->keep_alive = m_soap->max_keep_alive + 1;
    do {
        if (m_soap->keep_alive > 0 && m_soap->max_keep_alive > 0)
            m_soap->keep_alive--;
        resetRequest();
        if (soap_begin_serve(m_soap))
            break;
        soap_peek_element(m_soap);
        startOperation();
        if (ombrel::soap_serve_request(m_soap) && m_soap->error && m_soap->error < SOAP_STOP) {
            soap_send_fault(m_soap);
            break;
        }
        endRequest();
        soap_destroy(m_soap);
        soap_end(m_soap);
    } while (m_soap->keep_alive && !m_dropped && !m_core.stopping);
}

void Connection::resetRequest()
{
    m_operation = Operation::Unknown;
    m_fault = Fault();
    m_request = 0;
    m_headers.clear();
    m_head.clear();
    m_headComplete = false;
    m_received = 0;
    m_sent = 0;
    m_dropRequestAt = -1;
    m_dropReplyAt = -1;
    m_throttleRate = 0;
    m_stallRequestAt = -1;
    m_soap->omode = m_baseOutputMode;
    m_soap->recv_maxlength = m_baseRecvMax;
}

void Connection::startOperation()
{
    QString name = text(m_soap->tag);
    name = name.mid(name.indexOf(QLatin1Char(':')) + 1);
    m_operation = OperationInfo::fromName(name);

    JournalEntry entry;
    entry.connection = m_serial;
    entry.operation = name;
    entry.hasSoapAction = m_headers.contains("soapaction");
    entry.soapAction = m_headers.value("soapaction");
    entry.authorization = m_headers.value("authorization");
    entry.user = text(m_soap->userid);
    entry.password = text(m_soap->passwd);
    entry.contentType = m_headers.value("content-type");
    entry.contentEncoding = m_headers.value("content-encoding");
    entry.transferEncoding = m_headers.value("transfer-encoding");
    entry.secure = m_secure;
    entry.peer = peer();
    m_request = m_core.addJournalEntry(entry);

    // The package of an upload streams to a receiver: no size limit, or a
    // job over 2 GB is cut off near the toolkit's default limit.
    if (OperationInfo::isUpload(m_operation))
        m_soap->recv_maxlength = 0;
    if (m_operation != Operation::Unknown)
        m_fault = m_core.takeFault(m_operation);
    if (m_fault.kind == Fault::DropRequest) {
        m_dropRequestAt = m_fault.bytes;
        if (m_received >= m_dropRequestAt)
            dropSocket();
    } else if (m_fault.kind == Fault::DropReply) {
        m_dropReplyAt = m_fault.bytes;
    } else if (m_fault.kind == Fault::ThrottleRequest) {
        m_throttleRate = m_fault.bytes;
    } else if (m_fault.kind == Fault::StallRequest) {
        m_stallRequestAt = m_fault.bytes;
    }
}

void Connection::endRequest()
{
    for (auto &receiver : m_receivers)
        receiver->close();
    for (auto &sender : m_senders)
        sender->close();
    m_receivers.clear();
    m_senders.clear();
}

QString Connection::user() const
{
    return text(m_soap->userid);
}

QString Connection::peer() const
{
    return text(m_soap->host);
}

QByteArray Connection::contentEncoding() const
{
    return m_headers.value("content-encoding");
}

void Connection::argument(const QString &name, const QString &value)
{
    m_core.setArgument(m_request, name, value);
}

bool Connection::authorized() const
{
    // The client probes with CheckConnect before it has logged in, without
    // credentials.
    if (m_core.options.user.isEmpty() || m_operation == Operation::CheckConnect)
        return true;
    if (!m_soap->userid)
        return false;
    const QString user = text(m_soap->userid);
    const QString password = text(m_soap->passwd);
    if (user == m_core.options.user)
        return password == m_core.options.password;
    const auto it = m_core.options.moreUsers.constFind(user);
    return it != m_core.options.moreUsers.cend() && password == *it;
}

int Connection::begin()
{
    if (m_dropped || m_core.stopping)
        return dropWithoutAnswer();
    if (!authorized()) {
        m_soap->authrealm = realm;
        return 401;
    }
    switch (m_fault.kind) {
    case Fault::SenderFault:
        return soap_sender_fault(m_soap, soap_strdup(m_soap, m_fault.text.toUtf8().constData()), nullptr);
    case Fault::ReceiverFault:
        return soap_receiver_fault(m_soap, soap_strdup(m_soap, m_fault.text.toUtf8().constData()), nullptr);
    case Fault::Delay:
        if (!m_core.sleepUnlessStopping(m_fault.delayMs))
            return dropWithoutAnswer();
        break;
    case Fault::Hang:
        m_core.waitWhileHanging();
        return dropWithoutAnswer();
    default:
        break;
    }
    return SOAP_OK;
}

int Connection::dropWithoutAnswer()
{
    dropSocket();
    return SOAP_STOP;
}

void Connection::dropSocket()
{
    if (!m_dropped && soap_valid_socket(m_soap->socket))
        ::shutdown(m_soap->socket, SHUT_RDWR);
    m_dropped = true;
}

QByteArray Connection::responseTag() const
{
    return "ombrel:" + OperationInfo::name(m_operation).toLatin1() + "Response";
}

struct soap *Connection::beginFragment()
{
    struct soap *writer = soap_new1(SOAP_XML_TREE);
    if (!writer)
        return nullptr;
    soap_set_namespaces(writer, namespaces);
    m_fragment = std::make_unique<std::ostringstream>();
    writer->os = m_fragment.get();
    soap_begin_send(writer);
    return writer;
}

int Connection::sendEditedFragment(struct soap *writer)
{
    soap_end_send(writer);
    soap_destroy(writer);
    soap_end(writer);
    soap_free(writer);
    const QByteArray fragment = QByteArray::fromStdString(m_fragment->str());
    m_fragment.reset();

    QDomDocument document;
    if (!document.setContent(fragment, false))
        return sendRawBody(fragment);
    QDomElement response = document.documentElement();
    const QString resultName = OperationInfo::resultName(m_operation);
    QList<QDomElement> results;
    for (QDomElement child = response.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        if (child.tagName() == resultName)
            results.append(child);
    }
    for (QDomElement &result : results) {
        if (m_fault.kind == Fault::OmitResult)
            response.removeChild(result);
        else
            result.setTagName(m_fault.text);
    }
    QString body;
    QTextStream stream(&body);
    response.save(stream, -1);
    stream.flush();
    return sendRawBody(body.toUtf8());
}

int Connection::sendRawBody(const QByteArray &body)
{
    const QByteArray xml = envelope(body);
    m_soap->http_content = "text/xml; charset=utf-8";
    if (soap_response(m_soap, SOAP_FILE)
        || soap_send_raw(m_soap, xml.constData(), static_cast<size_t>(xml.size())) || soap_end_send(m_soap))
        dropSocket();
    return SOAP_STOP;
}

int Connection::sendHttpStatus(int status, const QByteArray &body)
{
    const QByteArray head = "HTTP/1.1 " + QByteArray::number(status)
        + " Test Fault\r\nContent-Type: text/plain\r\nConnection: close\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n";
    const QByteArray reply = head + body;
    m_soap->fsend(m_soap, reply.constData(), static_cast<size_t>(reply.size()));
    dropSocket();
    return SOAP_STOP;
}

Receiver *Connection::receiverFor(const void *handle) const
{
    for (const auto &receiver : m_receivers) {
        if (receiver.get() == handle)
            return receiver.get();
    }
    return nullptr;
}

Sender *Connection::addSender(const Package &package)
{
    m_senders.push_back(std::make_unique<Sender>(package));
    return m_senders.back().get();
}

size_t Connection::receiveHook(struct soap *soap, char *buffer, size_t length)
{
    Connection *self = of(soap);
    if (self->m_dropRequestAt >= 0) {
        const qint64 left = self->m_dropRequestAt - self->m_received;
        if (left <= 0) {
            self->dropSocket();
            return 0;
        }
        length = static_cast<size_t>(qMin<qint64>(left, static_cast<qint64>(length)));
    }
    if (self->m_stallRequestAt >= 0) {
        const qint64 left = self->m_stallRequestAt - self->m_received;
        if (left <= 0) {
            // The client's sends block once the socket buffers are full.
            self->m_core.waitWhileHanging();
            self->dropSocket();
            return 0;
        }
        length = static_cast<size_t>(qMin<qint64>(left, static_cast<qint64>(length)));
    }
    if (self->m_throttleRate > 0) // a tenth of a second's worth at a time
        length
            = static_cast<size_t>(qBound<qint64>(1, self->m_throttleRate / 10, static_cast<qint64>(length)));
    const size_t got = self->m_receive(soap, buffer, length);
    self->m_received += static_cast<qint64>(got);
    if (self->m_throttleRate > 0 && got > 0
        && !self->m_core.sleepUnlessStopping(
            static_cast<int>(static_cast<qint64>(got) * 1000 / self->m_throttleRate))) {
        self->dropSocket();
        return 0;
    }
    self->keepHead(buffer, got);
    return got;
}

int Connection::sendHook(struct soap *soap, const char *data, size_t length)
{
    Connection *self = of(soap);
    if (self->m_dropReplyAt >= 0) {
        const qint64 left = self->m_dropReplyAt - self->m_sent;
        if (left < static_cast<qint64>(length)) {
            if (left > 0)
                self->m_send(soap, data, static_cast<size_t>(left));
            self->m_sent = self->m_dropReplyAt;
            self->dropSocket();
            return SOAP_EOF;
        }
    }
    self->m_sent += static_cast<qint64>(length);
    return self->m_send(soap, data, length);
}

void Connection::keepHead(const char *data, size_t length)
{
    // gSOAP hands header values over with their quotes removed; the
    // journal wants them as they came.
    constexpr int maxHead = 16384;
    if (m_headComplete || length == 0)
        return;
    m_head.append(data, static_cast<qsizetype>(qMin<size_t>(length, maxHead)));
    const int end = m_head.indexOf("\r\n\r\n");
    if (end < 0 && m_head.size() < maxHead)
        return;
    m_headComplete = true;
    if (end >= 0)
        m_head.truncate(end);
    const QList<QByteArray> lines = m_head.split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const int colon = line.indexOf(':');
        if (colon > 0)
            m_headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
}

void *Connection::dimeWriteOpen(struct soap *soap, const char *, const char *type, const char *options)
{
    Connection *self = of(soap);
    Receiver::Mode mode = self->m_core.options.rawUploads ? Receiver::Raw : Receiver::Unpack;
    QString folder;
    if (self->m_dropped || !self->authorized())
        mode = Receiver::Refuse;
    else if (mode == Receiver::Unpack && (folder = self->m_core.newUploadFolder()).isEmpty())
        mode = Receiver::Refuse;
    self->m_receivers.push_back(std::make_unique<Receiver>(mode, folder));
    Receiver *receiver = self->m_receivers.back().get();
    receiver->type = QByteArray(type ? type : "");
    receiver->optionsText = DimeOption::text(options);
    return receiver;
}

int Connection::dimeWrite(struct soap *soap, void *handle, const char *data, size_t length)
{
    Receiver *receiver = of(soap)->receiverFor(handle);
    if (!receiver)
        return SOAP_DIME_ERROR;
    receiver->add(data, length);
    return SOAP_OK;
}

void Connection::dimeWriteClose(struct soap *soap, void *handle)
{
    if (Receiver *receiver = of(soap)->receiverFor(handle))
        receiver->close();
}

void *Connection::dimeReadOpen(struct soap *soap, void *handle, const char *, const char *, const char *)
{
    for (const auto &sender : of(soap)->m_senders) {
        if (sender.get() == handle)
            return handle;
    }
    soap->error = SOAP_DIME_ERROR;
    return nullptr;
}

size_t Connection::dimeRead(struct soap *soap, void *handle, char *buffer, size_t length)
{
    Q_UNUSED(soap);
    return static_cast<Sender *>(handle)->read(buffer, length);
}

void Connection::dimeReadClose(struct soap *soap, void *handle)
{
    Q_UNUSED(soap);
    static_cast<Sender *>(handle)->close();
}

} // namespace testserver
