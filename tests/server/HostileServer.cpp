#include "HostileServer.h"

#include <QHash>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <openssl/bio.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Reads one request, for at most two seconds.
QByteArray readRequest(int socket, SSL *ssl, const std::atomic<bool> &stopping)
{
    QByteArray data;
    char buffer[16384];
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!stopping && std::chrono::steady_clock::now() < until) {
        pollfd fd { socket, POLLIN, 0 };
        if ((!ssl || SSL_pending(ssl) == 0) && poll(&fd, 1, 50) <= 0)
            continue;
        const ssize_t got
            = ssl ? SSL_read(ssl, buffer, sizeof buffer) : ::recv(socket, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        data.append(buffer, int(got));
        const int headEnd = data.indexOf("\r\n\r\n");
        if (headEnd < 0)
            continue;
        const int at = data.toLower().indexOf("content-length:");
        const qint64 length = at < 0 ? 0 : data.mid(at + 15, 20).trimmed().split('\r').first().toLongLong();
        if (data.size() - headEnd - 4 >= length)
            break;
    }
    return data;
}

bool sendAll(int socket, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::send(socket, data, size_t(size), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

struct HostileServer::Private
{
    int listener = -1;
    quint16 port = 0;
    std::thread thread;
    std::atomic<bool> stopping { false };
    std::mutex mutex;
    QHash<QString, Reply> replies;
    Reply fallback;
    SSL_CTX *tls = nullptr;

    void run();
    void send(int socket, const Reply &reply);
};

void HostileServer::Private::send(int socket, const Reply &reply)
{
    for (const Piece &piece : reply.pieces) {
        const int rate = piece.bytesPerSecond >= 0 ? piece.bytesPerSecond : reply.bytesPerSecond;
        const auto pause = std::chrono::microseconds(rate > 0 ? 1000000 / rate : 0);
        for (qint64 i = 0; i < piece.repeat && !stopping; ++i) {
            if (rate == 0) {
                if (!sendAll(socket, piece.bytes.constData(), piece.bytes.size()))
                    return;
                continue;
            }
            for (const char byte : piece.bytes) {
                if (stopping || !sendAll(socket, &byte, 1))
                    return;
                std::this_thread::sleep_for(pause);
            }
        }
    }
}

void HostileServer::Private::run()
{
    while (!stopping) {
        pollfd fd { listener, POLLIN, 0 };
        if (poll(&fd, 1, 50) <= 0)
            continue;
        const int socket = ::accept(listener, nullptr, nullptr);
        if (socket < 0)
            continue;
        SSL *ssl = nullptr;
        if (tls) {
            ssl = SSL_new(tls);
            SSL_set_fd(ssl, socket);
            timeval limit { 2, 0 };
            ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            if (SSL_accept(ssl) != 1) {
                SSL_free(ssl);
                ::close(socket);
                continue;
            }
        }
        const QByteArray request = readRequest(socket, ssl, stopping);
        Reply reply;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            reply = fallback;
            for (auto it = replies.cbegin(); it != replies.cend(); ++it) {
                if (request.contains(":" + it.key().toUtf8()))
                    reply = it.value();
            }
        }
        if (ssl) {
            // The whole reply is encrypted at once and its records go out
            // as the reply says, so a trickle comes inside a record.
            QByteArray plain;
            for (const Piece &piece : reply.pieces)
                plain += piece.bytes.repeated(int(piece.repeat));
            BIO *records = BIO_new(BIO_s_mem());
            SSL_set0_wbio(ssl, records);
            SSL_write(ssl, plain.constData(), int(plain.size()));
            char *bytes = nullptr;
            const long size = BIO_get_mem_data(records, &bytes);
            Reply encrypted = reply;
            encrypted.pieces = { { QByteArray(bytes, int(size)) } };
            send(socket, encrypted);
            SSL_free(ssl);
        } else {
            send(socket, reply);
        }
        ::shutdown(socket, SHUT_RDWR);
        ::close(socket);
    }
}

HostileServer::HostileServer()
    : d(std::make_unique<Private>())
{
    setReply(QStringLiteral("CheckConnect"),
        envelope("<ombrel:CheckConnectResponse><param-1>1</param-1></ombrel:CheckConnectResponse>"));
    d->fallback = envelope("<ombrel:GetStatusResponse><res><mServerName>S</mServerName>"
                           "<mStatus>Running</mStatus></res></ombrel:GetStatusResponse>");
}

HostileServer::~HostileServer()
{
    d->stopping = true;
    if (d->thread.joinable())
        d->thread.join();
    if (d->listener >= 0)
        ::close(d->listener);
    if (d->tls)
        SSL_CTX_free(d->tls);
}

bool HostileServer::useTls(const QString &sslDir)
{
    const QByteArray pem = (sslDir + QStringLiteral("/server.pem")).toLocal8Bit();
    d->tls = SSL_CTX_new(TLS_server_method());
    return d->tls && SSL_CTX_use_certificate_chain_file(d->tls, pem.constData()) == 1
        && SSL_CTX_use_PrivateKey_file(d->tls, pem.constData(), SSL_FILETYPE_PEM) == 1;
}

bool HostileServer::start()
{
    d->listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (d->listener < 0 || ::bind(d->listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(d->listener, 16) != 0
        || ::getsockname(d->listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return false;
    d->port = ntohs(address.sin_port);
    d->thread = std::thread([this] { d->run(); });
    return true;
}

QByteArray HostileServer::endpoint() const
{
    return "http://127.0.0.1:" + QByteArray::number(d->port);
}

quint16 HostileServer::port() const
{
    return d->port;
}

void HostileServer::setReply(const QString &operation, const Reply &reply)
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    d->replies.insert(operation, reply);
}

void HostileServer::setDefaultReply(const Reply &reply)
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    d->fallback = reply;
}

HostileServer::Reply HostileServer::http(const QList<Piece> &body, const QByteArray &contentType)
{
    qint64 length = 0;
    for (const Piece &piece : body)
        length += piece.bytes.size() * piece.repeat;
    Reply reply;
    reply.pieces.append({ "HTTP/1.1 200 OK\r\nContent-Type: " + contentType
        + "\r\nContent-Length: " + QByteArray::number(length) + "\r\nConnection: close\r\n\r\n" });
    reply.pieces += body;
    return reply;
}

HostileServer::Reply HostileServer::envelope(
    const QByteArray &before, const Piece &middle, const QByteArray &after)
{
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""
                            " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
                            " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
                            " xmlns:ombrel=\"http://tempuri.org/ombrel.xsd\"><SOAP-ENV:Body>";
    return http({ { head + before }, middle, { after + "</SOAP-ENV:Body></SOAP-ENV:Envelope>\n" } });
}

HostileServer::Reply HostileServer::envelope(const QByteArray &body)
{
    return envelope(body, Piece { QByteArray(), 0 }, QByteArray());
}
