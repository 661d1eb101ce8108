#include "CannedServer.h"

#include <atomic>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

struct CannedServer::Private
{
    int listener = -1;
    quint16 port = 0;
    std::thread thread;
    std::atomic<bool> stopping { false };
    mutable std::mutex mutex;
    QByteArray reply;
    QList<QByteArray> requests;

    void run();
    QByteArray readRequest(int socket);
};

namespace {

// Length of the body announced in an HTTP head, or -1.
qint64 contentLength(const QByteArray &head)
{
    for (const QByteArray &line : head.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.toLower().startsWith("content-length:"))
            return trimmed.mid(15).trimmed().toLongLong();
    }
    return -1;
}

bool isChunked(const QByteArray &head)
{
    return head.toLower().contains("transfer-encoding: chunked");
}

} // namespace

QByteArray CannedServer::Private::readRequest(int socket)
{
    QByteArray data;
    char buffer[65536];
    qint64 needed = -1;
    while (!stopping) {
        pollfd fd { socket, POLLIN, 0 };
        if (poll(&fd, 1, 100) <= 0)
            continue;
        const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        data.append(buffer, got);
        const int headEnd = data.indexOf("\r\n\r\n");
        if (headEnd < 0)
            continue;
        const QByteArray head = data.left(headEnd);
        if (isChunked(head)) {
            if (data.endsWith("\r\n0\r\n\r\n"))
                break;
            continue;
        }
        needed = contentLength(head);
        if (needed < 0 || data.size() - headEnd - 4 >= needed)
            break;
    }
    return data;
}

void CannedServer::Private::run()
{
    while (!stopping) {
        pollfd fd { listener, POLLIN, 0 };
        if (poll(&fd, 1, 100) <= 0)
            continue;
        const int socket = ::accept(listener, nullptr, nullptr);
        if (socket < 0)
            continue;
        const QByteArray request = readRequest(socket);
        QByteArray response;
        {
            std::lock_guard<std::mutex> lock(mutex);
            requests.append(request);
            response = reply;
        }
        qint64 sent = 0;
        while (sent < response.size()) {
            const ssize_t n
                = ::send(socket, response.constData() + sent, response.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += n;
        }
        ::shutdown(socket, SHUT_WR);
        ::close(socket);
    }
}

CannedServer::CannedServer()
    : d(std::make_unique<Private>())
{ }

CannedServer::~CannedServer()
{
    stop();
}

bool CannedServer::start()
{
    d->listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (d->listener < 0)
        return false;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(d->listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(d->listener, 16) != 0
        || ::getsockname(d->listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(d->listener);
        d->listener = -1;
        return false;
    }
    d->port = ntohs(address.sin_port);
    d->stopping = false;
    d->thread = std::thread([this] { d->run(); });
    return true;
}

void CannedServer::stop()
{
    if (d->listener < 0)
        return;
    d->stopping = true;
    d->thread.join();
    ::close(d->listener);
    d->listener = -1;
}

quint16 CannedServer::port() const
{
    return d->port;
}

QByteArray CannedServer::endpoint() const
{
    return "http://127.0.0.1:" + QByteArray::number(d->port);
}

QByteArray CannedServer::envelope(const QByteArray &bodyContent)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""
           " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
           " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
           " xmlns:ombrel=\"http://tempuri.org/ombrel.xsd\">"
           "<SOAP-ENV:Body>"
        + bodyContent + "</SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
}

void CannedServer::replyWithBody(const QByteArray &bodyContent)
{
    const QByteArray xml = envelope(bodyContent);
    replyWithHttp("HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: "
        + QByteArray::number(xml.size()) + "\r\nConnection: close\r\n\r\n" + xml);
}

void CannedServer::replyWithHttp(const QByteArray &response)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->reply = response;
}

QList<QByteArray> CannedServer::requests() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->requests;
}

QByteArray CannedServer::lastRequest() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->requests.isEmpty() ? QByteArray() : d->requests.last();
}
