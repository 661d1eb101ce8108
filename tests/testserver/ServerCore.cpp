#include "ServerCore.h"

#include "Connection.h"
#include "SoapRuntime.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <ombrelH.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace testserver {
namespace {

// The accept loop polls so that stop() and refusing take effect quickly.
constexpr int acceptPollMicroseconds = 100000;

// A TLS connection opens with a handshake record (type 22); plain HTTP with
// a method name. Waits for the client's first byte for a bounded time.
bool opensWithTls(int socket)
{
    pollfd waiting { socket, POLLIN, 0 };
    if (::poll(&waiting, 1, 5000) != 1)
        return false;
    unsigned char first = 0;
    return ::recv(socket, &first, 1, MSG_PEEK) == 1 && first == 0x16;
}

QString defaultSslDir()
{
    QString dir = QString::fromLocal8Bit(qgetenv("VORNEX_BIN_DIR"));
    return QDir(dir).absoluteFilePath(QStringLiteral("ssl_testserver"));
}

} // namespace

ServerCore::~ServerCore()
{
    stop();
}

bool ServerCore::start(const Options &opts)
{
    if (running)
        return true;
    SoapRuntime::initOnce();
    options = opts;
    stopping = false;
    error.clear();

    if (options.workDir.isEmpty()) {
        QTemporaryDir temp(QDir::temp().absoluteFilePath(QStringLiteral("vornex-testserver-XXXXXX")));
        if (!temp.isValid()) {
            error = QStringLiteral("Cannot make a work folder: %1").arg(temp.errorString());
            return false;
        }
        temp.setAutoRemove(false);
        workDir = temp.path();
        ownsWorkDir = true;
    } else {
        workDir = QDir(options.workDir).absolutePath();
        ownsWorkDir = false;
        if (!QDir().mkpath(workDir)) {
            error = QStringLiteral("Cannot make the work folder %1").arg(workDir);
            return false;
        }
    }

    m_master = soap_new1(SOAP_IO_DEFAULT);
    if (!m_master) {
        error = QStringLiteral("Out of memory");
        return false;
    }
    soap_set_namespaces(m_master, namespaces);
    m_master->bind_flags = SO_REUSEADDR;
    m_master->accept_timeout = -acceptPollMicroseconds;
    m_master->recv_timeout = options.ioTimeoutSeconds;
    m_master->send_timeout = options.ioTimeoutSeconds;

    if (options.https) {
        const QString sslDir = options.sslDir.isEmpty() ? defaultSslDir() : options.sslDir;
        // gSOAP keeps these pointers (and copies them into every
        // connection's context), so they live as long as the server.
        m_keyFile = QFile::encodeName(QDir(sslDir).absoluteFilePath(QStringLiteral("server.pem")));
        m_caFile = QFile::encodeName(QDir(sslDir).absoluteFilePath(QStringLiteral("cacert.pem")));
        unsigned short flags = SOAP_SSL_DEFAULT;
        if (options.requireClientCertificate)
            flags |= SOAP_SSL_REQUIRE_CLIENT_AUTHENTICATION;
        if (soap_ssl_server_context(m_master, flags, m_keyFile.constData(), nullptr, m_caFile.constData(),
                nullptr, nullptr, nullptr, "vornex-testserver")) {
            char buffer[1024] = {};
            soap_sprint_fault(m_master, buffer, sizeof buffer);
            error = QStringLiteral("SSL set-up failed (%1): %2").arg(sslDir, QString::fromLocal8Bit(buffer));
            soap_free(m_master);
            m_master = nullptr;
            return false;
        }
    }

    port = options.port;
    if (!bindListener()) {
        soap_free(m_master);
        m_master = nullptr;
        return false;
    }
    running = true;
    setListening(true);
    m_acceptThread = std::thread([this] { acceptLoop(); });
    return true;
}

bool ServerCore::bindListener()
{
    if (!soap_valid_socket(soap_bind(m_master, "127.0.0.1", port, 64))) {
        char buffer[1024] = {};
        soap_sprint_fault(m_master, buffer, sizeof buffer);
        error = QStringLiteral("Cannot listen on 127.0.0.1:%1: %2")
                    .arg(port)
                    .arg(QString::fromLocal8Bit(buffer));
        return false;
    }
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    if (getsockname(m_master->master, reinterpret_cast<sockaddr *>(&address), &length) == 0) {
        if (address.ss_family == AF_INET)
            port = ntohs(reinterpret_cast<sockaddr_in *>(&address)->sin_port);
        else if (address.ss_family == AF_INET6)
            port = ntohs(reinterpret_cast<sockaddr_in6 *>(&address)->sin6_port);
    }
    return true;
}

void ServerCore::closeListener()
{
    if (soap_valid_socket(m_master->master)) {
        soap_closesocket(m_master->master);
        m_master->master = SOAP_INVALID_SOCKET;
    }
    setListening(false);
}

void ServerCore::setListening(bool on)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        listening = on;
    }
    changed.notify_all();
}

void ServerCore::acceptLoop()
{
    while (!stopping) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (refuse) {
                lock.unlock();
                closeListener();
                lock.lock();
                if (refuseUntil != std::chrono::steady_clock::time_point {}) {
                    changed.wait_until(lock, refuseUntil, [this] { return stopping || !refuse; });
                    if (std::chrono::steady_clock::now() >= refuseUntil) {
                        refuse = false;
                        refuseUntil = {};
                    }
                } else {
                    changed.wait(lock, [this] { return stopping || !refuse; });
                }
                continue;
            }
        }
        if (!soap_valid_socket(m_master->master)) {
            if (!bindListener()) {
                sleepUnlessStopping(100);
                continue;
            }
            setListening(true);
        }
        if (soap_valid_socket(soap_accept(m_master)))
            startConnection();
        joinFinished();
    }
    closeListener();
}

void ServerCore::startConnection()
{
    struct soap *copy = soap_copy(m_master);
    const int socket = m_master->socket;
    m_master->socket = SOAP_INVALID_SOCKET;
    if (!copy) {
        soap_closesocket(socket);
        return;
    }
    copy->socket = socket;
    std::lock_guard<std::mutex> lock(mutex);
    const int serial = m_nextSerial++;
    m_openSockets[serial] = socket;
    m_threads[serial] = std::thread([this, copy, serial, socket] {
        {
            const bool secure = options.https && (!options.plainToo || opensWithTls(socket));
            Connection connection(*this, copy, serial, secure);
            connection.serve();
        }
        connectionEnded(serial);
        soap_destroy(copy);
        soap_end(copy);
        soap_force_closesock(copy);
        soap_free(copy);
        std::lock_guard<std::mutex> lock(mutex);
        m_finished.push_back(serial);
    });
}

void ServerCore::connectionEnded(int serial)
{
    std::lock_guard<std::mutex> lock(mutex);
    m_openSockets.erase(serial);
}

int ServerCore::openConnections() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int>(m_openSockets.size());
}

void ServerCore::joinFinished()
{
    std::vector<std::thread> done;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const int serial : m_finished) {
            auto it = m_threads.find(serial);
            if (it != m_threads.end()) {
                done.push_back(std::move(it->second));
                m_threads.erase(it);
            }
        }
        m_finished.clear();
    }
    for (std::thread &thread : done)
        thread.join();
}

void ServerCore::stop()
{
    if (!running)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    m_acceptThread.join();

    std::map<int, std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(mutex);
        // Wakes every connection blocked in a read or write; the sockets
        // themselves are closed by their own threads.
        for (const auto &open : m_openSockets)
            ::shutdown(open.second, SHUT_RDWR);
        threads.swap(m_threads);
        m_finished.clear();
    }
    for (auto &entry : threads)
        entry.second.join();

    soap_destroy(m_master);
    soap_end(m_master);
    soap_free(m_master);
    m_master = nullptr;
    if (ownsWorkDir)
        QDir(workDir).removeRecursively();
    running = false;
}

bool ServerCore::sleepUnlessStopping(int ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    return !changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping.load(); });
}

void ServerCore::waitWhileHanging()
{
    std::unique_lock<std::mutex> lock(mutex);
    const int release = hangRelease;
    changed.wait(lock, [this, release] { return stopping || hangsReleased || hangRelease != release; });
}

Fault ServerCore::takeFault(Operation op)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto it = faults.find(op);
    if (it == faults.end())
        return Fault();
    Fault fault = it.value();
    if (it->remaining > 0 && --it->remaining == 0)
        faults.erase(it);
    return fault;
}

int ServerCore::addJournalEntry(JournalEntry entry)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        entry.request = nextRequest++;
        journal.append(entry);
    }
    changed.notify_all();
    return entry.request;
}

void ServerCore::setArgument(int request, const QString &name, const QString &value)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (auto it = journal.rbegin(); it != journal.rend(); ++it) {
        if (it->request == request) {
            it->arguments.insert(name, value);
            return;
        }
    }
}

Flow *ServerCore::findFlow(const QString &flowId)
{
    for (Flow &flow : flows) {
        if (flow.id == flowId)
            return &flow;
    }
    return nullptr;
}

CheckPoint *ServerCore::findCheckPoint(const QString &flowId, const QString &checkPointId)
{
    Flow *flow = findFlow(flowId);
    if (!flow)
        return nullptr;
    for (CheckPoint &checkPoint : flow->checkPoints) {
        if (checkPoint.id == checkPointId)
            return &checkPoint;
    }
    return nullptr;
}

Job *ServerCore::findJob(const QString &flowId, const QString &checkPointId, const QString &jobId)
{
    CheckPoint *checkPoint = findCheckPoint(flowId, checkPointId);
    if (!checkPoint)
        return nullptr;
    for (Job &job : checkPoint->jobs) {
        if (job.id == jobId)
            return &job;
    }
    return nullptr;
}

bool ServerCore::removeJob(const QString &flowId, const QString &checkPointId, const QString &jobId)
{
    CheckPoint *checkPoint = findCheckPoint(flowId, checkPointId);
    if (!checkPoint)
        return false;
    for (int i = 0; i < checkPoint->jobs.size(); ++i) {
        if (checkPoint->jobs.at(i).id == jobId) {
            checkPoint->jobs.removeAt(i);
            locks.remove(lockKey(flowId, checkPointId, jobId));
            return true;
        }
    }
    return false;
}

QString ServerCore::lockKey(const QString &flowId, const QString &checkPointId, const QString &jobId)
{
    return flowId + QLatin1Char('\n') + checkPointId + QLatin1Char('\n') + jobId;
}

QString ServerCore::newUploadFolder()
{
    int number;
    {
        std::lock_guard<std::mutex> lock(mutex);
        number = nextUploadFolder++;
    }
    const QString folder = QDir(workDir).absoluteFilePath(QStringLiteral("upload-%1").arg(number));
    return QDir().mkpath(folder) ? folder : QString();
}

} // namespace testserver
