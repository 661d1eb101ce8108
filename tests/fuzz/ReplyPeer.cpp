#include "ReplyPeer.h"

#include <QList>

#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

bool sendAll(int socket, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t sent = ::send(socket, data, size_t(size), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= sent;
    }
    return true;
}

// Until the peer closes or, for a request, its Content-Length is in.
QByteArray readMessage(int socket, bool request)
{
    QByteArray bytes;
    char buffer[16384];
    for (;;) {
        if (request) {
            const qsizetype end = bytes.indexOf("\r\n\r\n");
            if (end >= 0) {
                const QByteArray head = bytes.left(end).toLower();
                const qsizetype at = head.indexOf("content-length:");
                const qsizetype length
                    = at < 0 ? 0 : head.mid(at + 15).split('\r').first().trimmed().toLongLong();
                if (bytes.size() >= end + 4 + length)
                    return bytes;
            }
        }
        pollfd fd { socket, POLLIN, 0 };
        if (::poll(&fd, 1, 5000) <= 0)
            return bytes;
        const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
        if (got <= 0)
            return bytes;
        bytes.append(buffer, got);
    }
}

int connectTo(quint16 port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (socket >= 0 && ::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
        return socket;
    if (socket >= 0)
        ::close(socket);
    return -1;
}

} // namespace

struct ReplyPeer::Private
{
    int listener = -1;
    quint16 port = 0;
    std::thread thread;
    std::atomic<bool> stopping { false };
    mutable std::mutex mutex;
    QByteArray reply;
    quint16 relayPort = 0;
    QByteArray relayed;

    void run()
    {
        while (!stopping) {
            pollfd fd { listener, POLLIN, 0 };
            if (::poll(&fd, 1, 50) <= 0)
                continue;
            const int socket = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (socket < 0)
                continue;
            QByteArray answer;
            quint16 relay = 0;
            {
                const std::lock_guard<std::mutex> lock(mutex);
                answer = reply;
                relay = relayPort;
            }
            const QByteArray request = readMessage(socket, true);
            if (relay) {
                const int server = connectTo(relay);
                answer.clear();
                if (server >= 0 && sendAll(server, request.constData(), request.size()))
                    answer = readMessage(server, false);
                if (server >= 0)
                    ::close(server);
                const std::lock_guard<std::mutex> lock(mutex);
                relayed = answer;
            }
            sendAll(socket, answer.constData(), answer.size());
            ::shutdown(socket, SHUT_WR);
            // Until the client has read it all and closed.
            char sink[4096];
            pollfd in { socket, POLLIN, 0 };
            while (::poll(&in, 1, 2000) > 0 && ::recv(socket, sink, sizeof sink, 0) > 0) { }
            ::close(socket);
        }
    }
};

ReplyPeer::ReplyPeer()
    : d(std::make_unique<Private>())
{ }

ReplyPeer::~ReplyPeer()
{
    d->stopping = true;
    if (d->thread.joinable())
        d->thread.join();
    if (d->listener >= 0)
        ::close(d->listener);
}

bool ReplyPeer::start()
{
    d->listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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

QByteArray ReplyPeer::endpoint() const
{
    return "http://127.0.0.1:" + QByteArray::number(d->port);
}

void ReplyPeer::setReply(const QByteArray &reply)
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    d->reply = reply;
}

void ReplyPeer::relayTo(quint16 port)
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    d->relayPort = port;
}

QByteArray ReplyPeer::relayed() const
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    return d->relayed;
}
