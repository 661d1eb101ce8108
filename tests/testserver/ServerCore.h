#pragma once

#include "ServerTypes.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

struct soap;

namespace testserver {

class Connection;

// Everything the server shares between its threads. One mutex guards the
// state, the journal, the faults and the connection registry; it is never
// held across network input or output.
class ServerCore
{
public:
    ServerCore() = default;
    ~ServerCore();

    bool start(const Options &options);
    void stop();

    // Waits up to ms; false when the server stops meanwhile.
    bool sleepUnlessStopping(int ms);
    // Blocks until the server stops or hanging calls are released.
    void waitWhileHanging();

    // Registry of the connections being served (their sockets are shut
    // down by stop()).
    void connectionEnded(int serial);
    int openConnections() const;

    // Fault for the next call of op (consumed when limited).
    Fault takeFault(Operation op);
    // Returns the entry's request number.
    int addJournalEntry(JournalEntry entry);
    void setArgument(int request, const QString &name, const QString &value);

    // State lookups; the caller holds mutex.
    Flow *findFlow(const QString &flowId);
    CheckPoint *findCheckPoint(const QString &flowId, const QString &checkPointId);
    Job *findJob(const QString &flowId, const QString &checkPointId, const QString &jobId);
    static QString lockKey(const QString &flowId, const QString &checkPointId, const QString &jobId);
    // Takes the job out of its checkpoint with its lock; false when unknown.
    bool removeJob(const QString &flowId, const QString &checkPointId, const QString &jobId);
    QString newUploadFolder();

    Options options;
    QString error;
    quint16 port = 0;
    QString workDir;
    bool ownsWorkDir = false;
    std::atomic<bool> running { false };
    std::atomic<bool> stopping { false };

    mutable std::mutex mutex;
    mutable std::condition_variable changed;

    // Service state.
    QString serverName = QStringLiteral("Test Workflow Server");
    QString statusText = QStringLiteral("Running");
    bool compress = false;
    QList<Flow> flows;
    QList<LogEntry> logs;
    int nextRecId = 1;
    QList<ProgressEntry> progress;
    QMap<QString, QString> locks;
    QList<Upload> uploads;
    QList<Push> pushes;
    int nextJobNumber = 1;
    int nextUploadFolder = 1;

    // Faults and journal.
    QMap<Operation, Fault> faults;
    bool refuse = false;
    // When set, refusing ends by itself then.
    std::chrono::steady_clock::time_point refuseUntil {};
    bool listening = false;
    int nextRequest = 1;
    int hangRelease = 0;
    // Released hangs stay released until a fault is set again: a call
    // that reaches its hang only after the release must not wait for ever.
    bool hangsReleased = false;
    QList<JournalEntry> journal;

private:
    void acceptLoop();
    bool bindListener();
    void closeListener();
    void setListening(bool on);
    void startConnection();
    void joinFinished();

    struct soap *m_master = nullptr;
    QByteArray m_keyFile;
    QByteArray m_caFile;
    std::thread m_acceptThread;
    int m_nextSerial = 1;
    std::map<int, int> m_openSockets; // serial -> socket
    std::map<int, std::thread> m_threads;
    std::vector<int> m_finished;
};

} // namespace testserver
