#pragma once

#include "CallBounds.h"
#include "CountedPtr.h"
#include "Flow.h"
#include "LogMessage.h"
#include "ProgressData.h"
#include "UserCall.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace ombrel {
class Service;
class SubmitPoints07;
} // namespace ombrel

struct FetchedCheckPointFlow;

class AcceptThread;
class ConnectionThread;
class ServerProxy;
class SoapCanceller;
struct PushJobInfo;
Q_MOC_INCLUDE("AcceptThread.h")

// One configured workflow server: the settings the Connections page edits,
// the live copy the rest of the client uses, the plain and secure SOAP
// proxies, the connect and log-in logic, and every call over those two
// proxies. Worker threads and the GUI thread share it; the SOAP mutex
// serialises the calls, a data mutex guards the texts and byte arrays,
// and the flags are atomic.
class ServerConnection : public QObject
{
    Q_OBJECT

public:
    struct ConnectionSettings
    {
        bool enabled = true;
        QString serverName;
        QString host;
        int port = 0;
        QString user;
        QString password;
        float uptime = 3.0f;
    };

    // The server a connection's kept state belongs to: its host (without a
    // scheme), port and user as applied. Saved jobs, the cache file and
    // queued work are keyed on it; `generation` grows with every applied
    // change of it, so work made for an earlier server can tell.
    struct ServerKey
    {
        QString host;
        int port = 0;
        QString user;
        int generation = 0;
        bool sameServer(const ServerKey &other) const
        {
            return host == other.host && port == other.port && user == other.user;
        }
    };

    // Limits of the blocking calls, each the total time of one call from
    // connecting to the end of its reply (CallBounds). A worker's calls are
    // also cut short on a stop.
    struct CallTimeouts
    {
        int shortProbeMs = 3000;
        int longProbeMs = 10000; // also the connect limit of every call
        int workerIoMs = 60000; // background fetches, log-in, pushes
        int userIoMs = 10000; // ping and job locks
        int closeMs = 3000; // the closing call
        int soapWaitMs = 5000; // GUI thread waiting for a running call
        int rateWindowMs = 60000; // streamed transfers: the rate floor's window
    };
    static CallTimeouts callTimeouts();
    static void setCallTimeouts(const CallTimeouts &timeouts);

    // The process-wide running number that connection ids come from.
    static int nextConnectionId();

    ServerConnection(
        ServerProxy *owner, const QString &user, const QString &password, const QString &host, int port);
    ~ServerConnection() override;

    ServerProxy *owner() const { return m_owner; }

    // Edited settings (Connections page); taken over by applySettings().
    ConnectionSettings settings() const;
    void setUser(const QString &user);
    void setPassword(const QString &password);
    void setHost(const QString &host);
    void setPort(int port);
    void setUptime(float minutes);
    void setEnabled(bool enabled);
    void setDisplayName(const QString &name);
    // Marks the connection for SSL (the stored "isSSLUsed"). A marked
    // connection, and one whose server once answered over SSL, logs in
    // over SSL only and never sends its credentials over plain HTTP. A
    // host applied with "https://" marks it too.
    void setSSLUsed(bool secure);
    // Takes the edited copy over. When host, port or user change, what the
    // connection holds of the old server goes: it is offline until it logs
    // in again, its log time starts afresh, and serverChanged() lets the
    // owner drop the old server's data and work.
    void applySettings();
    // The settings as last applied (host as entered).
    ConnectionSettings appliedSettings() const;
    ServerKey serverKey() const;
    int serverGeneration() const { return m_serverGeneration; }
    // Host without a scheme, as endpoints and kept state use it.
    static QString plainHost(const QString &host);
    // The edited settings name a server that can be asked for data.
    bool isUsable() const;

    // Connection work (ConnectionThread).
    bool connectToServer();
    void updateEndPoints();
    void login();

    // User calls: each on a SOAP context of its own, so none waits for a
    // background call. These forms block the calling thread for the call;
    // the GUI thread uses the Async forms, whose answer comes queued to
    // `context` (dropped when it is gone). With mustConnect set nothing is
    // sent: a connect activity is asked for and the call fails.
    bool ping();
    bool setJobLockStatus(
        const QString &flowId, const QString &checkPointId, const QString &jobId, int lockMode);
    QString getJobLockStatus(const QString &flowId, const QString &checkPointId, const QString &jobId);
    void pingAsync(QObject *context, std::function<void(bool ok)> done);
    // `answerLost`: the request went out but no answer came back, so the
    // server may set the lock after all.
    void setJobLockStatusAsync(const QString &flowId, const QString &checkPointId, const QString &jobId,
        int lockMode, QObject *context, std::function<void(bool isSet, bool answerLost)> done);
    // `answered` is false when the server could not be asked or answered
    // with a fault; the text is then the fault's, empty without an answer.
    void getJobLockStatusAsync(const QString &flowId, const QString &checkPointId, const QString &jobId,
        QObject *context, std::function<void(bool answered, const QString &lockText)> done);
    // Releases the job's lock (mode 0) in the background, tried again and
    // again until the request went out, the connection goes or the program
    // ends; each attempt is bounded like any user call.
    void releaseJobLock(const QString &flowId, const QString &checkPointId, const QString &jobId);
    int pendingLockReleases() const { return m_pendingReleases; }
    static int lockRetryMs();
    static void setLockRetryMs(int ms);
    // Sends the push on its own context; `answer` is the server's result.
    void pushCheckpointJobAsync(const QString &flowId, const QString &checkPointId, const QString &jobId,
        const PushJobInfo &info, QObject *context,
        std::function<void(const UserCall::Outcome &outcome, int answer)> done);
    // A transfer of this connection could not reach the server at all.
    void noteUnreachable();
    // Asks for a connect activity when the connection must connect first;
    // true then (a user call is not sent).
    bool connectFirst();
    // Makes and prepares the SOAP context of every user call: endpoint,
    // credentials and limits. The caller owns it.
    static ombrel::Service *createUserProxy(const UserCall::Target &target);
    UserCall::Target userCallTarget() const;
    int runningUserCalls() const { return int(m_userCalls.size()); }
    void disconnectFromServer();
    // Starts a download of a job or its report (DownloadType) and emits
    // acceptStarted(); `request` travels with the thread for the receiver.
    // Returns the thread, or null when the connection must connect first
    // (then only a connect activity is asked for).
    AcceptThread *acceptJob(const QString &flowId, const QString &checkPointId, const QString &jobId,
        int downloadType, int request = 0);

    // Where a request of this connection on a context of its own goes
    // (transfer threads, user calls), with the credentials, read in one
    // go. A connection marked for SSL, or whose server once answered over
    // SSL, gets its secure endpoint and nothing else, also while a connect
    // attempt has the current endpoint on plain HTTP. Without a host the
    // endpoint is empty: nothing can be sent. The limits are left as made.
    UserCall::Target transferTarget() const;
    // The endpoint transferTarget() gives.
    QByteArray getEndPoint() const;
    void setUserData(const QString &user);
    void setPassData(const QString &password);

    bool isSecure() const { return m_secure; }
    bool isEnabled() const { return m_enabled; }
    bool isOnline() const { return m_online; }
    bool mustConnect() const { return m_mustConnect; }
    bool isConnecting() const { return m_connecting; }
    int connectionId() const { return m_connectionId; }
    void setConnectionId(int id) { m_connectionId = id; }
    QString serverName() const;
    QString statusText() const;
    QDateTime lastCheckTime() const;
    float uptime() const;
    QString host() const;
    int port() const;
    QDateTime lastLogTime() const;
    QByteArray plainEndPoint() const;
    QByteArray secureEndPoint() const;

    // Flow table.
    FlowPtr addFlow(const QString &id, const QString &name);
    FlowPtr getFlow(const QString &id) const;
    QString getFlowName(const QString &id) const;

    // Data fetches (ConnectionThread). A failure leaves the output empty,
    // is kept as the fetch failure of its kind of data until a fetch of
    // that kind succeeds, and takes the connection offline unless the
    // reply was only too large.
    bool getFlowList(QStringList &flowIds);
    bool getSubmitPoints(const QStringList &flowIds, std::vector<ombrel::SubmitPoints07> &points);
    bool getCheckPoints(const QStringList &flowIds, bool withJobs, QList<FetchedCheckPointFlow> &flows);
    // Returns the fetch time as text, or a null string when the fetch failed.
    QString getLogData(LogBatch *messages);
    bool getProgressData(int count, ProgressList *records);
    // The server's answer goes to *answer and the call's gSOAP code to
    // *soapError, when given.
    bool pushCheckpointJob(const QString &flowId, const QString &checkPointId, const QString &jobId,
        const PushJobInfo &info, int *answer = nullptr, int *soapError = nullptr);

    // Stopping: permanent. Calls of worker threads in progress end at once,
    // later ones are not sent; user actions still go through. A call cut
    // short leaves the connection's state and status text as they were.
    void requestStop();
    bool isStopRequested() const { return m_stopRequested; }
    // Every thread working on this connection (update, log-in, push).
    QList<ConnectionThread *> threads() const;
    bool hasRunningThreads() const;
    // Waits until none of them runs; false when the time ran out.
    bool waitForThreads(int timeoutMs) const;

    // Why the last fetch of a kind of data (an UpdateFlags bit) failed,
    // naming the kind; empty when it succeeded. While the connection is
    // online these are its status text.
    QString fetchFailure(int kind) const;
    static QString dataKindText(int kind);

    // Text of the log-in failure status, for tests and the pages.
    static QString loginFailedText();
    // Status of a connection whose host is empty or no host name at all.
    static QString hostMissingText();
    // Why a call failed, from its gSOAP code and the bound it broke.
    static QString failureText(int soapError, CallBounds::Breach breach);

signals:
    void updateRequest(ServerConnection *connection);
    void connected(ServerConnection *connection);
    void disconnected(ServerConnection *connection);
    // Emitted by applySettings() once the connection points at another
    // server (or user); `before` names the old one.
    void serverChanged(
        ServerConnection *connection, const ServerConnection::ServerKey &before, bool wasOnline);
    void acceptStarted(AcceptThread *thread);
    // The receiver owns the finished thread (and may take its folder).
    void acceptFinished(AcceptThread *thread, const QString &path);

public slots:
    void timerUpdate();
    void OnAcceptFinished(AcceptThread *thread, const QString &path);

private:
    friend class ConnectionThread;
    void attachThread(ConnectionThread *thread);
    void detachThread(ConnectionThread *thread);

    // A worker's call ends, or is not sent, once the connection is stopped
    // or disabled; its failure then says nothing about the server.
    bool cutShort() const { return m_stopRequested || !m_enabled; }
    // Disabling ends the worker calls in progress (their sockets are shut
    // down) and refuses new ones until the connection is enabled again.
    void holdWorkerCalls(bool held);
    // Offline, its data dropped, status "Disabled".
    void markDisabled();
    // The live endpoints name a host a request could go to.
    bool hasHost() const;
    // Marked for SSL since its last connect attempt found plain HTTP: a
    // log-in connects again first.
    bool plainButMarked() const;

    enum class Caller { Worker, User };
    // SOAP mutex held. Points the proxy at its endpoint and the current
    // credentials and sets the call's limits; a worker's call after a stop
    // request is refused (non-zero result, nothing sent).
    int prepareCall(ombrel::Service *proxy, Caller caller, bool credentials = true, int ioMs = -1);
    // A failed call sets the status text to why, unless told not to.
    void endCall(ombrel::Service *proxy, bool sayWhy = true);
    bool lockForUser();
    // Ends the running user calls (bounded); what still runs finishes alone.
    void stopUserCalls();
    void startUserCall(UserCall::Body body, bool mayGoOnline, QObject *context,
        std::function<void(const UserCall::Outcome &)> done);
    // `locks`: the lock calls of the job made when the release was asked
    // for; a release that must be tried again after a newer lock call is
    // dropped, or it would take that lock away.
    void deliverRelease(
        const QString &flowId, const QString &checkPointId, const QString &jobId, int attempt, quint64 locks);
    static QString lockKey(const QString &flowId, const QString &checkPointId, const QString &jobId);
    ombrel::Service *activeProxy() const;
    SoapCanceller *cancellerOf(const ombrel::Service *proxy) const;
    // Made on first use: a plain connection sets up no SSL at all.
    ombrel::Service *secureProxy();

    // A failed call takes an online connection offline; a successful one
    // brings an offline connection online when it may (connect, log-in,
    // ping, locks). Emits only on a change.
    static qint64 steadyNs();
    void noteCallResult(bool ok, bool mayGoOnline);
    // The same for a user call, saying why it failed.
    void noteUserCall(const UserCall::Outcome &outcome, bool mayGoOnline);
    void setStatusText(const QString &text);
    // After a fetch of `kinds` (UpdateFlags bits) ended with `rc`: keeps or
    // clears its failure; a failed one takes the connection offline unless
    // its reply was only too large. Call without the SOAP mutex.
    void noteFetch(int kinds, int rc, CallBounds::Breach breach);
    void clearOwnerData();
    void leaveServer(const ServerKey &before);

    ServerProxy *m_owner;

    mutable QMutex m_dataMutex;
    ConnectionSettings m_edited;
    ConnectionSettings m_applied;
    QString m_user;
    QString m_password;
    QString m_host;
    int m_port = 0;
    float m_uptime = 3.0f;
    QDateTime m_lastLogTime;
    QString m_serverName;
    QString m_statusText;
    QDateTime m_lastCheck;
    QByteArray m_endpoint;
    QByteArray m_userUtf8;
    QByteArray m_passUtf8;
    QByteArray m_plainEndpoint;
    QByteArray m_secureEndpoint;
    bool m_activeSecure = false;
    QMap<QString, FlowPtr> m_flows;
    QMap<int, QString> m_fetchFailures;
    std::atomic<bool> m_flowListFailed { false };

    std::atomic<bool> m_enabled { true };
    std::atomic<bool> m_secure { false };
    std::atomic<bool> m_mustConnect { true };
    std::atomic<bool> m_connecting { false };
    std::atomic<bool> m_online { false };
    // When the last call that reached the server succeeded (steady clock, ns):
    // a user call that failed but had started before then says nothing new.
    std::atomic<qint64> m_lastSuccessNs { 0 };
    std::atomic<bool> m_stopRequested { false };
    std::atomic<int> m_connectionId { 0 };
    std::atomic<int> m_serverGeneration { 0 };

    // Everything below is used under the SOAP mutex only; the context
    // keeps the call buffers' pointers for the length of one call.
    QMutex m_soapMutex;
    std::unique_ptr<ombrel::Service> m_plainProxy;
    std::unique_ptr<ombrel::Service> m_secureProxy;
    std::unique_ptr<SoapCanceller> m_plainCanceller;
    std::unique_ptr<SoapCanceller> m_secureCanceller;
    QMutex m_secureMutex; // its making against a stop from another thread
    std::atomic<ombrel::Service *> m_activeProxy { nullptr };
    QByteArray m_callEndpoint;
    QByteArray m_callUser;
    QByteArray m_callPassword;

    mutable QMutex m_threadsMutex;
    QList<ConnectionThread *> m_threads;

    // GUI thread only.
    QList<UserCall *> m_userCalls;
    int m_pendingReleases = 0;
    // Lock calls made, by job.
    QHash<QString, quint64> m_lockCalls;
};

using ServerConnectionPtr = CountedPtr<ServerConnection>;
