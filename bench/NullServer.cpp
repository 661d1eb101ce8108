#include "NullServer.h"

#include "FilesStreamer.h"

#include <QDir>
#include <QFile>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t ReadBlock = 1 << 20;
// What a gSOAP server sends: its 64 KiB send buffer per HTTP chunk, its
// 2048-byte buffer per DIME record.
constexpr std::size_t HttpChunk = 65536;
constexpr std::size_t DimeRecord = 2048;
constexpr std::size_t MaxHeaderBytes = 65536;
constexpr std::size_t KeptBodyBytes = 16384;

const char *const envelopeStart
    = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:ombrel=\"http://tempuri.org/ombrel.xsd\"><SOAP-ENV:Body>";
const char *const envelopeEnd = "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
const char *const attachmentId = "package";

std::string envelope(const std::string &body)
{
    return envelopeStart + body + envelopeEnd;
}

class Io
{
public:
    Io(int fd, SSL *ssl)
        : m_fd(fd)
        , m_ssl(ssl)
    { }

    ssize_t read(char *buffer, std::size_t size)
    {
        if (m_ssl) {
            const int n = SSL_read(m_ssl, buffer, int(std::min<std::size_t>(size, 1 << 30)));
            return n > 0 ? n : -1;
        }
        ssize_t n;
        do {
            n = ::read(m_fd, buffer, size);
        } while (n < 0 && errno == EINTR);
        return n;
    }

    bool write(const char *data, std::size_t size)
    {
        while (size > 0) {
            ssize_t n;
            if (m_ssl) {
                n = SSL_write(m_ssl, data, int(std::min<std::size_t>(size, 1 << 30)));
                if (n <= 0)
                    return false;
            } else {
                n = ::send(m_fd, data, size, MSG_NOSIGNAL);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    return false;
            }
            data += n;
            size -= std::size_t(n);
        }
        return true;
    }
    bool write(const std::string &text) { return write(text.data(), text.size()); }

private:
    int m_fd;
    SSL *m_ssl;
};

class Reader
{
public:
    explicit Reader(Io &io)
        : m_io(io)
        , m_buffer(ReadBlock)
    { }

    bool line(std::string &out)
    {
        for (;;) {
            const char *begin = m_buffer.data() + m_pos;
            const char *end = m_buffer.data() + m_len;
            const char *newline = std::find(begin, end, '\n');
            if (newline != end) {
                out.assign(begin, newline);
                if (!out.empty() && out.back() == '\r')
                    out.pop_back();
                m_pos = std::size_t(newline + 1 - m_buffer.data());
                return true;
            }
            if (m_len - m_pos > MaxHeaderBytes || !fill())
                return false;
        }
    }

    // Drops count bytes, keeping the first ones in kept.
    bool skip(quint64 count, std::string &kept)
    {
        while (count > 0) {
            if (m_pos == m_len && !fill())
                return false;
            const std::size_t n = std::size_t(std::min<quint64>(count, m_len - m_pos));
            if (kept.size() < KeptBodyBytes)
                kept.append(m_buffer.data() + m_pos, std::min(n, KeptBodyBytes - kept.size()));
            m_pos += n;
            count -= n;
        }
        return true;
    }

private:
    bool fill()
    {
        if (m_pos == m_len) {
            m_pos = m_len = 0;
        } else if (m_pos > 0) {
            std::memmove(m_buffer.data(), m_buffer.data() + m_pos, m_len - m_pos);
            m_len -= m_pos;
            m_pos = 0;
        }
        const ssize_t n = m_io.read(m_buffer.data() + m_len, m_buffer.size() - m_len);
        if (n <= 0)
            return false;
        m_len += std::size_t(n);
        return true;
    }

    Io &m_io;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_len = 0;
};

// Gathers output into HTTP chunks.
class ChunkWriter
{
public:
    explicit ChunkWriter(Io &io)
        : m_io(io)
    {
        m_buffer.reserve(HttpChunk);
    }

    bool put(const char *data, std::size_t size)
    {
        while (size > 0) {
            const std::size_t n = std::min(size, HttpChunk - m_buffer.size());
            m_buffer.append(data, n);
            data += n;
            size -= n;
            if (m_buffer.size() == HttpChunk && !flush())
                return false;
        }
        return true;
    }

    bool flush()
    {
        if (m_buffer.empty())
            return true;
        char head[32];
        const int n = std::snprintf(head, sizeof head, "%zx\r\n", m_buffer.size());
        m_buffer.append("\r\n");
        const bool ok = m_io.write(head, std::size_t(n)) && m_io.write(m_buffer);
        m_buffer.clear();
        return ok;
    }

    bool finish() { return flush() && m_io.write("0\r\n\r\n"); }

private:
    Io &m_io;
    std::string m_buffer;
};

void putU16(char *p, std::size_t value)
{
    p[0] = char((value >> 8) & 0xff);
    p[1] = char(value & 0xff);
}

void putU32(char *p, std::size_t value)
{
    putU16(p, value >> 16);
    putU16(p + 2, value & 0xffff);
}

bool putPadded(ChunkWriter &out, const char *data, std::size_t size)
{
    static const char zeros[4] = {};
    return out.put(data, size) && out.put(zeros, (4 - size % 4) % 4);
}

enum DimeFlag { ChunkFollows = 0x01, MessageEnd = 0x02, MessageBegin = 0x04 };
enum DimeTypeFormat { Unchanged = 0x00, MediaType = 0x10, AbsoluteUri = 0x20 };

bool dimeRecord(ChunkWriter &out, int flags, int typeFormat, const char *id, const char *type,
    const char *data, std::size_t size)
{
    const std::size_t idLength = id ? std::strlen(id) : 0;
    const std::size_t typeLength = type ? std::strlen(type) : 0;
    char head[12];
    head[0] = char(0x08 | flags); // version 1
    head[1] = char(typeFormat);
    putU16(head + 2, 0);
    putU16(head + 4, idLength);
    putU16(head + 6, typeLength);
    putU32(head + 8, size);
    return out.put(head, sizeof head) && putPadded(out, id, idLength) && putPadded(out, type, typeLength)
        && putPadded(out, data, size);
}

bool streamPackage(Io &io, const QString &package)
{
    FilesStreamer streamer(package);
    const std::string headers = "HTTP/1.1 200 OK\r\nContent-Type: application/dime\r\n"
                                "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    if (!io.write(headers))
        return false;
    ChunkWriter out(io);
    const std::string soap = envelope(std::string("<ombrel:DownloadFile08Response><inSubmitData href=\"")
        + attachmentId + "\"/></ombrel:DownloadFile08Response>");
    if (!dimeRecord(out, MessageBegin, AbsoluteUri, nullptr, "http://schemas.xmlsoap.org/soap/envelope/",
            soap.data(), soap.size()))
        return false;
    quint64 remaining = streamer.isValid() ? streamer.getFullSize() : 0;
    char piece[DimeRecord];
    bool first = true;
    while (remaining > 0) {
        const qint64 n = streamer.getData(piece, qint64(std::min<quint64>(remaining, DimeRecord)));
        if (n <= 0)
            return false;
        remaining -= quint64(n);
        const int flags = remaining > 0 ? ChunkFollows : MessageEnd;
        if (!dimeRecord(out, flags, first ? MediaType : Unchanged, first ? attachmentId : nullptr,
                first ? "application/octet-stream" : nullptr, piece, std::size_t(n)))
            return false;
        first = false;
    }
    streamer.endWork();
    return out.finish();
}

std::string lower(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// One request: false when the connection must close.
bool serveRequest(Io &io, Reader &reader, const QString &package)
{
    std::string requestLine;
    if (!reader.line(requestLine) || requestLine.empty())
        return false;
    quint64 contentLength = 0;
    bool chunked = false;
    bool expectContinue = false;
    bool close = false;
    std::string header;
    while (reader.line(header) && !header.empty()) {
        const std::string h = lower(header);
        if (h.rfind("content-length:", 0) == 0)
            contentLength = std::stoull(h.substr(15));
        else if (h.rfind("transfer-encoding:", 0) == 0 && h.find("chunked") != std::string::npos)
            chunked = true;
        else if (h.rfind("expect:", 0) == 0 && h.find("100-continue") != std::string::npos)
            expectContinue = true;
        else if (h.rfind("connection:", 0) == 0 && h.find("close") != std::string::npos)
            close = true;
    }
    if (expectContinue && !io.write("HTTP/1.1 100 Continue\r\n\r\n"))
        return false;
    std::string body;
    if (chunked) {
        for (;;) {
            std::string sizeLine;
            if (!reader.line(sizeLine))
                return false;
            const quint64 size = std::strtoull(sizeLine.c_str(), nullptr, 16);
            if (size == 0) {
                while (reader.line(sizeLine) && !sizeLine.empty()) { }
                break;
            }
            if (!reader.skip(size, body) || !reader.line(sizeLine))
                return false;
        }
    } else if (!reader.skip(contentLength, body)) {
        return false;
    }

    if (requestLine.rfind("GET ", 0) == 0 || body.find(":DownloadFile08") != std::string::npos) {
        streamPackage(io, package);
        return false;
    }
    std::string reply;
    if (body.find(":SubmitFile08") != std::string::npos)
        reply = envelope(
            "<ombrel:SubmitFile08Response><outJobId>null</outJobId></ombrel:SubmitFile08Response>");
    else if (body.find(":GetCompressClientJobs") != std::string::npos)
        reply = envelope("<ombrel:GetCompressClientJobsResponse><param-2>false</param-2>"
                         "</ombrel:GetCompressClientJobsResponse>");
    else if (body.find(":CheckConnect") != std::string::npos)
        reply = envelope("<ombrel:CheckConnectResponse><param-1>1</param-1></ombrel:CheckConnectResponse>");
    const std::string head = std::string("HTTP/1.1 200 OK\r\nContent-Type: ")
        + (reply.empty() ? "text/plain" : "text/xml; charset=utf-8") + "\r\nContent-Length: "
        + std::to_string(reply.size()) + (close ? "\r\nConnection: close" : "") + "\r\n\r\n";
    return io.write(head + reply) && !close;
}

} // namespace

struct NullServer::Private
{
    Options options;
    int listener = -1;
    quint16 port = 0;
    QString error;
    SSL_CTX *ssl = nullptr;
    std::thread acceptor;
    std::mutex mutex;
    std::set<int> peers;
    std::vector<std::thread> workers;
    std::atomic<bool> stopping { false };

    void acceptLoop();
    void serve(int fd);
};

void NullServer::Private::serve(int fd)
{
    SSL *session = nullptr;
    bool ready = true;
    if (ssl) {
        session = SSL_new(ssl);
        ready = session && SSL_set_fd(session, fd) == 1 && SSL_accept(session) == 1;
    }
    if (ready) {
        Io io(fd, session);
        Reader reader(io);
        while (!stopping && serveRequest(io, reader, options.package)) { }
        if (session)
            SSL_shutdown(session);
    }
    if (session)
        SSL_free(session);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        peers.erase(fd);
    }
    ::close(fd);
}

void NullServer::Private::acceptLoop()
{
    while (!stopping) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const std::lock_guard<std::mutex> lock(mutex);
        peers.insert(fd);
        workers.emplace_back([this, fd] { serve(fd); });
    }
}

NullServer::NullServer()
    : d(std::make_unique<Private>())
{ }

NullServer::~NullServer()
{
    stop();
}

bool NullServer::start(const Options &options)
{
    d->options = options;
    if (options.https) {
        d->ssl = SSL_CTX_new(TLS_server_method());
        const QByteArray pem = QFile::encodeName(QDir(options.sslDir).filePath(QStringLiteral("server.pem")));
        if (!d->ssl || SSL_CTX_use_certificate_chain_file(d->ssl, pem.constData()) != 1
            || SSL_CTX_use_PrivateKey_file(d->ssl, pem.constData(), SSL_FILETYPE_PEM) != 1) {
            d->error = QStringLiteral("cannot load %1").arg(QString::fromLocal8Bit(pem));
            return false;
        }
        // Whole reads of what arrived rather than a record header and body
        // each: the sink reads with blocking calls only.
        SSL_CTX_set_read_ahead(d->ssl, 1);
    }
    d->listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (d->listener < 0 || ::bind(d->listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(d->listener, 16) != 0
        || ::getsockname(d->listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        d->error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    d->port = ntohs(address.sin_port);
    d->acceptor = std::thread([this] { d->acceptLoop(); });
    return true;
}

void NullServer::stop()
{
    if (d->stopping.exchange(true))
        return;
    if (d->listener >= 0)
        ::shutdown(d->listener, SHUT_RDWR);
    if (d->acceptor.joinable())
        d->acceptor.join();
    std::vector<std::thread> workers;
    {
        const std::lock_guard<std::mutex> lock(d->mutex);
        for (const int fd : d->peers)
            ::shutdown(fd, SHUT_RDWR);
        workers.swap(d->workers);
    }
    for (std::thread &worker : workers)
        worker.join();
    if (d->listener >= 0)
        ::close(d->listener);
    d->listener = -1;
    if (d->ssl)
        SSL_CTX_free(d->ssl);
    d->ssl = nullptr;
}

quint16 NullServer::port() const
{
    return d->port;
}

QString NullServer::errorString() const
{
    return d->error;
}

int NullServer::serveUntilInputCloses(const Options &options)
{
    NullServer server;
    if (!server.start(options)) {
        std::fprintf(stderr, "null server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    std::printf("%u\n", unsigned(server.port()));
    std::fflush(stdout);
    char byte;
    while (std::fread(&byte, 1, 1, stdin) == 1) { }
    server.stop();
    return 0;
}

NullServerProcess::~NullServerProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(30000))
        m_process.kill();
}

bool NullServerProcess::start(const QString &program, bool https, const QString &package)
{
    m_https = https;
    QStringList arguments { QStringLiteral("--null-serve"), package };
    if (https)
        arguments << QStringLiteral("--https");
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(10000) || !m_process.waitForReadyRead(30000))
        return false;
    m_port = quint16(m_process.readLine().trimmed().toUInt());
    return m_port != 0;
}

QByteArray NullServerProcess::endpoint() const
{
    return (m_https ? "https://127.0.0.1:" : "http://127.0.0.1:") + QByteArray::number(m_port);
}
