#include "ServiceProxyFactory.h"

#include "CallBounds.h"
#include "ClientSsl.h"
#include "SoapRuntime.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>

#include <ombrelServiceProxy.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

namespace {

QMutex dirMutex;
QString dirOverride;

using SendFunction = int (*)(struct soap *, const char *, std::size_t);
using ReceiveFunction = std::size_t (*)(struct soap *, char *, std::size_t);
std::atomic<SendFunction> gsoapSend { nullptr };
std::atomic<ReceiveFunction> gsoapReceive { nullptr };

// The size line gSOAP writes before each HTTP chunk ("\r\n10000\r\n"),
// held back to go out with the chunk: sent alone it makes a packet of its
// own per chunk. gSOAP always sends the chunk right after its line, in the
// same thread.
struct HeldLine
{
    struct soap *soap = nullptr;
    char bytes[24];
    std::size_t size = 0;
};
thread_local HeldLine t_held;

bool isChunkLine(const char *data, std::size_t size)
{
    std::size_t i = size >= 2 && data[0] == '\r' && data[1] == '\n' ? 2 : 0;
    const std::size_t digits = i;
    while (i < size && std::isxdigit(static_cast<unsigned char>(data[i])))
        ++i;
    return i > digits && i + 2 == size && data[i] == '\r' && data[i + 1] == '\n'
        && !(i == digits + 1 && data[digits] == '0');
}

// gSOAP's own transport for what this one does not handle: TLS, and
// transfers with a whole-transfer limit that gSOAP checks itself.
bool plainSocket(const struct soap *soap)
{
    return !soap->ssl && !soap->transfer_timeout && soap_valid_socket(soap->socket);
}

// Milliseconds for poll from a gSOAP timeout (negative: microseconds).
int pollMs(int timeout)
{
    if (timeout > 0)
        return timeout * 1000;
    if (timeout < 0)
        return qMax(1, -timeout / 1000);
    return -1;
}

bool waitFor(struct soap *soap, short events, int timeout)
{
    pollfd entry { soap->socket, events, 0 };
    int rc;
    do {
        rc = ::poll(&entry, 1, pollMs(timeout));
    } while (rc < 0 && errno == EINTR);
    soap->errnum = rc < 0 ? errno : 0;
    return rc > 0;
}

// Tries the call first and waits only when the socket is not ready, where
// gSOAP waits before every call: half the system calls on a transfer.
int send(struct soap *soap, const char *data, std::size_t size)
{
    HeldLine &held = t_held;
    const bool heldHere = held.size > 0 && held.soap == soap;
    if (held.size == 0 && (soap->mode & SOAP_IO) == SOAP_IO_CHUNK && size < sizeof held.bytes
        && isChunkLine(data, size)) {
        held.soap = soap;
        std::memcpy(held.bytes, data, size);
        held.size = size;
        return SOAP_OK;
    }
    iovec parts[2];
    int count = 0;
    if (heldHere) {
        parts[count++] = { held.bytes, held.size };
        held.size = 0;
    }
    parts[count++] = { const_cast<char *>(data), size };
    if (!plainSocket(soap)) {
        const SendFunction original = gsoapSend;
        for (int i = 0; i < count; ++i) {
            if (const int rc = original(soap, static_cast<const char *>(parts[i].iov_base), parts[i].iov_len))
                return rc;
        }
        return SOAP_OK;
    }
    iovec *next = parts;
    while (count > 0) {
        msghdr message {};
        message.msg_iov = next;
        message.msg_iovlen = std::size_t(count);
        const ssize_t sent
            = ::sendmsg(soap->socket, &message, MSG_NOSIGNAL | MSG_DONTWAIT | soap->socket_flags);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            if ((errno == EAGAIN || errno == EWOULDBLOCK) && waitFor(soap, POLLOUT, soap->send_timeout))
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                soap->errnum = errno;
            return SOAP_EOF;
        }
        std::size_t done = std::size_t(sent);
        while (count > 0 && done >= next->iov_len) {
            done -= next->iov_len;
            ++next;
            --count;
        }
        if (count > 0) {
            next->iov_base = static_cast<char *>(next->iov_base) + done;
            next->iov_len -= done;
        }
    }
    return SOAP_OK;
}

std::size_t receive(struct soap *soap, char *buffer, std::size_t size)
{
    HeldLine &held = t_held;
    if (held.size > 0 && held.soap == soap) {
        // Never wait for an answer with part of the request unsent.
        const std::size_t pending = held.size;
        held.size = 0;
        if (gsoapSend.load()(soap, held.bytes, pending) != SOAP_OK)
            return 0;
    }
    if (!plainSocket(soap))
        return gsoapReceive.load()(soap, buffer, size);
    for (;;) {
        const ssize_t n = ::recv(soap->socket, buffer, size, MSG_DONTWAIT | soap->socket_flags);
        if (n >= 0)
            return std::size_t(n);
        if (errno == EINTR)
            continue;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && waitFor(soap, POLLIN, soap->recv_timeout))
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            soap->errnum = errno;
        return 0;
    }
}

} // namespace

QString sslProgramDir()
{
    const QMutexLocker lock(&dirMutex);
    return dirOverride.isEmpty() ? QCoreApplication::applicationDirPath() : dirOverride;
}

void setSslProgramDir(const QString &folder)
{
    const QMutexLocker lock(&dirMutex);
    dirOverride = folder;
}

ombrel::Service *createServiceProxy(bool secure)
{
    SoapRuntime::initOnce();
    auto *proxy = new ombrel::Service;
    if (!proxy->soap)
        return proxy;
    // gSOAP fixes SO_SNDBUF/SO_RCVBUF at 64 KiB, which turns off the
    // kernel's sizing of the buffers to the connection.
    proxy->soap->sndbuf = 0;
    proxy->soap->rcvbuf = 0;
    SendFunction noSend = nullptr;
    gsoapSend.compare_exchange_strong(noSend, proxy->soap->fsend);
    ReceiveFunction noReceive = nullptr;
    gsoapReceive.compare_exchange_strong(noReceive, proxy->soap->frecv);
    proxy->soap->fsend = &send;
    proxy->soap->frecv = &receive;
    if (secure)
        ClientSsl::setupShared(proxy->soap, sslProgramDir());
    // Every context is bounded from its first call on; the bounds wrap the
    // transport above.
    CallBounds::install(proxy->soap);
    return proxy;
}
