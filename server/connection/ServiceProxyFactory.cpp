#include "ServiceProxyFactory.h"

#include "CallBounds.h"
#include "ClientSsl.h"
#include "SoapRuntime.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>

#include <ombrelServiceProxy.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include <openssl/err.h>
#include <openssl/ssl.h>

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

using OpenFunction = SOAP_SOCKET (*)(struct soap *, const char *, const char *, int);
std::atomic<OpenFunction> gsoapOpen { nullptr };

// Bytes of a streamed request held back, so they go out with what follows:
// over plain TCP the size line gSOAP writes before each HTTP chunk
// ("\r\n10000\r\n"), which alone makes a packet per chunk; over TLS
// whatever does not fill a whole record, as a short record costs a write
// and a wake-up of the reader each (one per chunk line). gSOAP sends the
// chunk right after its line, in the same thread; what is held goes out
// before the answer is read, and never outlives its connection.
struct Held
{
    struct soap *soap = nullptr;
    SOAP_SOCKET socket = SOAP_INVALID_SOCKET;
    std::vector<char> bytes;
};
thread_local Held t_held;

constexpr std::size_t TlsRecord = 16384;

bool holds(const Held &held, const struct soap *soap)
{
    return !held.bytes.empty() && held.soap == soap && held.socket == soap->socket;
}

bool isChunkLine(const char *data, std::size_t size)
{
    std::size_t i = size >= 2 && data[0] == '\r' && data[1] == '\n' ? 2 : 0;
    const std::size_t digits = i;
    while (i < size && std::isxdigit(static_cast<unsigned char>(data[i])))
        ++i;
    return i > digits && i + 2 == size && data[i] == '\r' && data[i + 1] == '\n'
        && !(i == digits + 1 && data[digits] == '0');
}

// A streamed transfer: no whole-transfer limit, which gSOAP's own transport
// checks itself and this one does not.
bool streamed(const struct soap *soap)
{
    return !soap->transfer_timeout && soap_valid_socket(soap->socket);
}

// gSOAP's own transport for what this one does not handle: TLS but for
// streamed sends, and transfers with a whole-transfer limit.
bool plainSocket(const struct soap *soap)
{
    return !soap->ssl && streamed(soap);
}

// gSOAP sends and receives over the process's standard streams when it has
// no socket, as it does for an endpoint without a host: whoever calls, no
// byte goes anywhere but over a connection to a named host.
bool hasPeer(const struct soap *soap)
{
    return soap_valid_socket(soap->socket) && soap->host[0] != '\0';
}

// A new connection starts with nothing held.
SOAP_SOCKET open(struct soap *soap, const char *endpoint, const char *host, int port)
{
    Held &held = t_held;
    if (held.soap == soap)
        held.bytes.clear();
    return gsoapOpen.load()(soap, endpoint, host, port);
}

// A context set up for SSL talks SSL or nothing: whoever hands it a plain
// endpoint, no request of it goes out in clear.
SOAP_SOCKET openSecure(struct soap *soap, const char *endpoint, const char *host, int port)
{
    if (!endpoint || std::strncmp(endpoint, "https:", 6) != 0) {
        soap->error = SOAP_SSL_ERROR;
        return SOAP_INVALID_SOCKET;
    }
    return open(soap, endpoint, host, port);
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

// Writes all of it over the context's TLS session, waiting (with gSOAP's
// idle limit) only when the socket is not ready.
bool tlsWrite(struct soap *soap, const char *data, std::size_t size)
{
    SSL *ssl = soap->ssl;
    while (size > 0) {
        ERR_clear_error();
        const int n = SSL_write(ssl, data, int(std::min<std::size_t>(size, 1 << 30)));
        if (n > 0) {
            data += n;
            size -= std::size_t(n);
            continue;
        }
        const int error = SSL_get_error(ssl, n);
        if (error == SSL_ERROR_WANT_WRITE && waitFor(soap, POLLOUT, soap->send_timeout))
            continue;
        if (error == SSL_ERROR_WANT_READ && waitFor(soap, POLLIN, soap->send_timeout))
            continue;
        if (error == SSL_ERROR_SYSCALL)
            soap->errnum = errno;
        return false;
    }
    return true;
}

// Whole records only; the rest waits for more or for the answer.
int sendTls(struct soap *soap, Held &held, const char *data, std::size_t size)
{
    if (!held.bytes.empty() || size < TlsRecord) {
        const std::size_t take = std::min(size, TlsRecord - held.bytes.size());
        held.soap = soap;
        held.socket = soap->socket;
        held.bytes.insert(held.bytes.end(), data, data + take);
        data += take;
        size -= take;
        if (held.bytes.size() < TlsRecord)
            return SOAP_OK;
        const bool written = tlsWrite(soap, held.bytes.data(), held.bytes.size());
        held.bytes.clear();
        if (!written)
            return SOAP_EOF;
    }
    const std::size_t whole = size / TlsRecord * TlsRecord;
    if (whole > 0 && !tlsWrite(soap, data, whole))
        return SOAP_EOF;
    if (whole < size) {
        held.soap = soap;
        held.socket = soap->socket;
        held.bytes.assign(data + whole, data + size);
    }
    return SOAP_OK;
}

// Sends what is held for this context now.
bool flushHeld(struct soap *soap)
{
    Held &held = t_held;
    if (!holds(held, soap)) {
        if (held.soap == soap)
            held.bytes.clear();
        return true;
    }
    const bool written = soap->ssl && streamed(soap)
        ? tlsWrite(soap, held.bytes.data(), held.bytes.size())
        : gsoapSend.load()(soap, held.bytes.data(), held.bytes.size()) == SOAP_OK;
    held.bytes.clear();
    return written;
}

// Tries the call first and waits only when the socket is not ready, where
// gSOAP waits before every call: half the system calls on a transfer.
int send(struct soap *soap, const char *data, std::size_t size)
{
    if (!hasPeer(soap))
        return SOAP_TCP_ERROR;
    Held &held = t_held;
    // A call runs to its end in one thread: bytes held for another context
    // or connection belong to one that ended without sending them.
    if (!holds(held, soap))
        held.bytes.clear();
    if (soap->ssl && streamed(soap)) {
        const int rc = sendTls(soap, held, data, size);
        if (rc != SOAP_OK)
            held.bytes.clear();
        return rc;
    }
    const bool heldHere = holds(held, soap);
    if (!heldHere && (soap->mode & SOAP_IO) == SOAP_IO_CHUNK && size < 24 && isChunkLine(data, size)) {
        held.soap = soap;
        held.socket = soap->socket;
        held.bytes.assign(data, data + size);
        return SOAP_OK;
    }
    char line[24];
    std::size_t lineSize = 0;
    if (heldHere) {
        lineSize = std::min(held.bytes.size(), sizeof line);
        std::memcpy(line, held.bytes.data(), lineSize);
        held.bytes.clear();
    }
    iovec parts[2];
    int count = 0;
    if (lineSize > 0)
        parts[count++] = { line, lineSize };
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
    if (!hasPeer(soap))
        return 0;
    // Never wait for an answer with part of the request unsent.
    if (!flushHeld(soap))
        return 0;
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
    OpenFunction noOpen = nullptr;
    gsoapOpen.compare_exchange_strong(noOpen, proxy->soap->fopen);
    proxy->soap->fsend = &send;
    proxy->soap->frecv = &receive;
    if (secure)
        proxy->soap->fopen = &openSecure;
    else
        proxy->soap->fopen = &open;
    if (secure)
        ClientSsl::setupShared(proxy->soap, sslProgramDir());
    // Every context is bounded from its first call on; the bounds wrap the
    // transport above.
    CallBounds::install(proxy->soap);
    return proxy;
}
