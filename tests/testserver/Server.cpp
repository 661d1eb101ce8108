#include "Server.h"

#include "DemoData.h"
#include "ServerCore.h"

#include <chrono>
#include <mutex>

namespace testserver {

Fault Fault::senderFault(const QString &text)
{
    Fault fault;
    fault.kind = SenderFault;
    fault.text = text;
    return fault;
}

Fault Fault::receiverFault(const QString &text)
{
    Fault fault;
    fault.kind = ReceiverFault;
    fault.text = text;
    return fault;
}

Fault Fault::delay(int ms)
{
    Fault fault;
    fault.kind = Delay;
    fault.delayMs = ms;
    return fault;
}

Fault Fault::hang()
{
    Fault fault;
    fault.kind = Hang;
    return fault;
}

Fault Fault::dropRequestAfter(qint64 bytes)
{
    Fault fault;
    fault.kind = DropRequest;
    fault.bytes = bytes;
    return fault;
}

Fault Fault::throttleRequest(qint64 bytesPerSecond)
{
    Fault fault;
    fault.kind = ThrottleRequest;
    fault.bytes = qMax<qint64>(1, bytesPerSecond);
    return fault;
}

Fault Fault::stallRequestAfter(qint64 bytes)
{
    Fault fault;
    fault.kind = StallRequest;
    fault.bytes = bytes;
    return fault;
}

Fault Fault::httpStatus(int status, const QString &body)
{
    Fault fault;
    fault.kind = HttpStatus;
    fault.bytes = status;
    fault.text = body;
    return fault;
}

Fault Fault::dropReplyAfter(qint64 bytes)
{
    Fault fault;
    fault.kind = DropReply;
    fault.bytes = bytes;
    return fault;
}

Fault Fault::renameResult(const QString &name)
{
    Fault fault;
    fault.kind = RenameResult;
    fault.text = name;
    return fault;
}

Fault Fault::omitResult()
{
    Fault fault;
    fault.kind = OmitResult;
    return fault;
}

Fault Fault::inlinePayload()
{
    Fault fault;
    fault.kind = InlinePayload;
    return fault;
}

Fault Fault::emptyPayload()
{
    Fault fault;
    fault.kind = EmptyPayload;
    return fault;
}

Fault Fault::rawBody(const QString &xml)
{
    Fault fault;
    fault.kind = RawBody;
    fault.text = xml;
    return fault;
}

Server::Server()
    : d(std::make_unique<ServerCore>())
{ }

Server::~Server()
{
    stop();
}

bool Server::start(const Options &options)
{
    return d->start(options);
}

void Server::stop()
{
    d->stop();
}

bool Server::isRunning() const
{
    return d->running;
}

QString Server::errorString() const
{
    return d->error;
}

quint16 Server::port() const
{
    return d->port;
}

QByteArray Server::endpoint() const
{
    return (d->options.https ? QByteArray("https") : QByteArray("http"))
        + "://127.0.0.1:" + QByteArray::number(d->port);
}

QString Server::workDir() const
{
    return d->workDir;
}

void Server::setStatus(const QString &serverName, const QString &statusText)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->serverName = serverName;
    d->statusText = statusText;
}

void Server::setCompressClientJobs(bool compress)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->compress = compress;
}

void Server::setFlows(const QList<Flow> &flows)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->flows = flows;
}

QList<Flow> Server::flows() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->flows;
}

void Server::setLogs(const QList<LogEntry> &logs)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->logs.clear();
    d->nextRecId = 1;
    for (LogEntry log : logs) {
        if (log.recId == 0)
            log.recId = d->nextRecId;
        d->nextRecId = qMax(d->nextRecId, log.recId) + 1;
        d->logs.append(log);
    }
}

void Server::addLog(const LogEntry &log)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    LogEntry entry = log;
    if (entry.recId == 0)
        entry.recId = d->nextRecId;
    d->nextRecId = qMax(d->nextRecId, entry.recId) + 1;
    d->logs.append(entry);
}

void Server::setProgress(const QList<ProgressEntry> &progress)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->progress = progress;
}

void Server::setLock(
    const QString &flowId, const QString &checkPointId, const QString &jobId, const QString &text)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const QString key = ServerCore::lockKey(flowId, checkPointId, jobId);
    if (text.isEmpty())
        d->locks.remove(key);
    else
        d->locks.insert(key, text);
}

QString Server::lock(const QString &flowId, const QString &checkPointId, const QString &jobId) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->locks.value(ServerCore::lockKey(flowId, checkPointId, jobId));
}

QList<Upload> Server::uploads() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->uploads;
}

QList<Push> Server::pushes() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->pushes;
}

void Server::clearReceived()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->uploads.clear();
    d->pushes.clear();
}

void Server::loadDemoData()
{
    const DemoData demo = DemoData::make(d->workDir);
    setStatus(demo.serverName, demo.statusText);
    setFlows(demo.flows);
    setLogs(demo.logs);
    setProgress(demo.progress);
}

void Server::setFault(Operation op, const Fault &fault)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->faults.insert(op, fault);
    d->hangsReleased = false;
}

void Server::clearFault(Operation op)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->faults.remove(op);
}

void Server::clearFaults()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->faults.clear();
}

void Server::setRefuseConnections(bool refuse)
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->refuse = refuse;
    }
    d->changed.notify_all();
    if (!d->running)
        return;
    // Returns once the port is closed (or open again).
    std::unique_lock<std::mutex> lock(d->mutex);
    d->changed.wait_for(lock, std::chrono::seconds(5), [this, refuse] { return d->listening != refuse; });
}

void Server::refuseConnectionsFor(int ms)
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->refuseUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    }
    setRefuseConnections(true);
}

void Server::releaseHangingCalls()
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        ++d->hangRelease;
        d->hangsReleased = true;
    }
    d->changed.notify_all();
}

QList<JournalEntry> Server::journal() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->journal;
}

void Server::clearJournal()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->journal.clear();
}

bool Server::waitForJournal(int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(d->mutex);
    return d->changed.wait_for(
        lock, std::chrono::milliseconds(timeoutMs), [this, count] { return d->journal.size() >= count; });
}

int Server::openConnections() const
{
    return d->openConnections();
}

} // namespace testserver
