#pragma once

#include "ServerTypes.h"

#include <memory>

namespace testserver {

class ServerCore;

// A workflow server for tests and demos: the whole service on 127.0.0.1,
// over HTTP or HTTPS, with in-memory state, a journal of the requests it
// got and faults that can be injected per operation. One thread serves
// each connection, so a lock call is answered while an upload runs.
// Every method may be called from any thread.
class Server
{
public:
    Server();
    ~Server(); // stops

    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    bool start(const Options &options = Options());
    // Closes the listening socket and every connection, hanging ones
    // included; returns within a few seconds whatever the clients do.
    void stop();
    bool isRunning() const;
    QString errorString() const;

    quint16 port() const;
    // "http://127.0.0.1:<port>" or "https://...".
    QByteArray endpoint() const;
    // Folder where uploads are unpacked.
    QString workDir() const;

    // State.
    void setStatus(const QString &serverName, const QString &statusText);
    void setCompressClientJobs(bool compress);
    void setFlows(const QList<Flow> &flows);
    QList<Flow> flows() const;
    void setLogs(const QList<LogEntry> &logs);
    void addLog(const LogEntry &log);
    void setProgress(const QList<ProgressEntry> &progress);
    void setLock(
        const QString &flowId, const QString &checkPointId, const QString &jobId, const QString &text);
    QString lock(const QString &flowId, const QString &checkPointId, const QString &jobId) const;
    QList<Upload> uploads() const;
    QList<Push> pushes() const;
    // Forgets the uploads and pushes received so far.
    void clearReceived();
    void loadDemoData();

    // Faults.
    void setFault(Operation op, const Fault &fault);
    void clearFault(Operation op);
    void clearFaults();
    // While on, connection attempts are refused (the port is closed).
    void setRefuseConnections(bool refuse);
    // Refuses connection attempts for ms, then listens again by itself.
    void refuseConnectionsFor(int ms);
    // Lets calls caught by a Hang fault end (their connection closes), and
    // those that reach their hang later, until a fault is set again.
    void releaseHangingCalls();

    // Journal, oldest first.
    QList<JournalEntry> journal() const;
    void clearJournal();
    bool waitForJournal(int count, int timeoutMs) const;
    int openConnections() const;

private:
    std::unique_ptr<ServerCore> d;
};

} // namespace testserver
