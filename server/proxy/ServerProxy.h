#pragma once

#include "ActionList.h"
#include "CheckPoint.h"
#include "CountedPtr.h"
#include "Flow.h"
#include "LogMessage.h"
#include "ProgressData.h"
#include "PushJobInfo.h"
#include "ServerCache.h"
#include "ServerConnection.h"
#include "SubmitPoint.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class CacheWriter;
class ConnectionThread;
class IAction;
class QThread;
class QTimer;
class PushJobAction;

// The client's one service object: the list of servers, the threads that
// connect, log in and fetch, the update queue and the data the updates
// bring. Lives in the GUI thread; workers reach it through queued signals.
class ServerProxy : public QObject
{
    Q_OBJECT

public:
    explicit ServerProxy(QObject *parent = nullptr);
    ~ServerProxy() override;

    // Connections.
    int addConnection(const QString &user, const QString &password, const QString &host, int port);
    ServerConnection *getConnection(int index) const;
    int getConnectionCount() const;
    int indexOfConnection(const ServerConnection *connection) const;
    bool removeConnection(int index);
    void tryDefaultConnection(const QString &user, const QString &password, const QString &host, int port);
    void loginAllConnections();
    // Shutdown: stops every thread, then saves and closes each connection.
    void closeAllConnections();
    // At most one connect or log-in thread per connection; a request made
    // while one runs (Apply's log-in) waits for it and then runs once,
    // merged with any other that waits.
    void startConnectionActivity(ServerConnection *connection, int activity, bool watchProbe);
    bool hasConnectionActivity(const ServerConnection *connection) const;

    // Data for the pages (ServerProxyData.cpp). A connection's flows are
    // those with at least one submit point or checkpoint in its latest
    // update, in server order; points and checkpoints are reused by id.
    QVector<FlowPtr> getFlows(const ServerConnection *connection) const;
    QVector<SubmitPointPtr> getSubmitPoints(const Flow *flow) const;
    QVector<SubmitPointPtr> getSubmitPoints(const FlowPtr &flow) const;
    QVector<CheckPointPtr> getCheckPoints(const Flow *flow) const;
    QVector<CheckPointPtr> getCheckPoints(const FlowPtr &flow) const;
    void setProgressCount(int count);
    int progressCount() const;
    void getProgressData(QList<ProgressData> &list) const;
    // The batch stays until clearLogBatches, or until newer batches push
    // it out when nobody takes them.
    void getLogData(const QString &key, QList<LogMessage> &list) const;
    void clearLogBatches();
    // The batch under the key, once its taker holds it.
    void dropLogBatch(const QString &key);
    int logBatchCount() const;
    void notifyDataUpdated();

    // The connection's cache file (ServerProxyCache.cpp), written in the
    // cache writer's thread from what the proxy holds now. Only for an
    // online connection, unless an update that went offline part way took
    // its data in (`takenIn`): what is shown is what is cached.
    void saveCachedData(ServerConnection *connection, bool takenIn = false);
    // Waits up to ms for the cache files asked for so to be written.
    bool waitForCacheWrites(int ms);
    CacheWriter &cacheWriter() { return *m_cacheWriter; }
    // Every offline, enabled connection's cache file, read in a thread of
    // its own and taken in here afterwards (then cachedDataLoaded()); the
    // Connections page calls it once, when it is first shown. Pushes the
    // files show waiting are queued again.
    void loadCachedData();
    // Records in the cache file a push that waits for its server.
    void updateCachedJob(CheckPoint *checkPoint, const QString &jobId, const PushJobInfo &info);
    void updateCachedJob(ServerConnection *connection, const QString &flowId, const QString &checkPointId,
        const QString &jobId, const PushJobInfo &info);

    // Submissions and pushes, through the queue of actions that wait for
    // their server (ServerProxyActions.cpp).
    void submitFile(const SubmitPointPtr &point, const SubmittedFilePtr &job);
    // A job restored from the saved jobs: queued, not performed yet.
    void queueSubmitFile(const SubmitPointPtr &point, const SubmittedFilePtr &job);
    void performQueuedActions();
    // After a refresh of an online connection.
    void retryWaitingSubmissions(ServerConnection *connection);
    // True when the push could be started at once; either way it stays
    // queued until the server answers it (pushFinished).
    bool pushJob(ServerConnection *connection, const QString &flowId, const QString &checkPointId,
        const QString &jobId, const PushJobInfo &info);
    void queuePushJob(ServerConnection *connection, const QString &flowId, const QString &checkPointId,
        const QString &jobId, const PushJobInfo &info);
    ActionList &actionList() { return m_actions; }

    // How long removal and shutdown wait for a connection's threads after
    // their calls were cut short.
    static int stopWaitMs();
    static void setStopWaitMs(int ms);

    // For tests: the update threads of a connection, running one first.
    QList<ConnectionThread *> updateThreads(const ServerConnection *connection) const;

signals:
    // Around every change of the connection list, so that item models can
    // announce their rows properly.
    void connectionAboutToBeAdded(int index);
    void connectionAdded(int index);
    void connectionAboutToBeRemoved(int index);
    void connectionRemoved(int index);
    void updateConnectionViewRequest(const ServerConnection *connection);
    void refreshConnectionModelRequest(bool probeAdded);
    void updateSubmitPointsRequest();
    void updateCheckPointsRequest();
    void updateLogRequest(const QString &key);
    void clearLogRequest(int connectionId);
    void updateProgressRequest();
    void resetPages();
    void aboutUpdateCheckPoints();
    // The cache files asked for by loadCachedData() are taken in.
    void cachedDataLoaded();
    // The server answered a push: taken, or refused with the reason.
    void pushFinished(const QString &jobId, bool accepted, const QString &refusal);

public slots:
    void finishSubmit(SubmittedFile *job);
    void updateRequestHandler(ServerConnection *connection);
    void checkDefaultFinished(ServerConnection *connection);
    void connectionActivityFinished(ServerConnection *connection);
    void startUpdatingData(int updateFlags);
    void startUpdatingData();
    void startUpdatingConData(ServerConnection *connection, int updateFlags);
    void startUpdatingConData(ServerConnection *connection);
    void finishUpdatingData(ServerConnection *connection);
    bool isUpdating(int index);
    // For a page showing the data of `updateFlags`: which servers' data of
    // that kind could not be fetched, and why; empty when all came in.
    QString fetchFailureNote(int updateFlags) const;
    QString getUpdateStatusStr();
    void acceptUpdatedData(ServerConnection *connection, ConnectionThread *thread);
    void acceptPointsData(ServerConnection *connection, ConnectionThread *thread);
    void acceptLogData(ServerConnection *connection, ConnectionThread *thread);
    void acceptProgressData(ServerConnection *connection, ConnectionThread *thread);
    void clearConnectionData(ServerConnection *connection);
    // The connection was pointed at another server or user: the old one's
    // data, refreshes and queued work go with it.
    void connectionServerChanged(
        ServerConnection *connection, const ServerConnection::ServerKey &before, bool wasOnline);

private:
    // Per flow: the points and checkpoints of the latest update, and every
    // one seen so far by id. Holds the Flow, whose address is the key.
    struct FlowData
    {
        FlowPtr flow;
        const ServerConnection *connection = nullptr;
        QVector<SubmitPointPtr> submitPoints;
        QVector<CheckPointPtr> checkPoints;
        QMap<QString, SubmitPointPtr> pointIndex;
        QMap<QString, CheckPointPtr> checkPointIndex;
    };
    // The entry of the connection's flow of that id, made when missing;
    // null when the flow table does not know the id. Valid until the next
    // entry is made or dropped.
    FlowData *flowData(ServerConnection *connection, const QString &flowId);
    // Appends under the list mutex, announced by the signals above.
    void appendConnection(const ServerConnectionPtr &connection);
    void wire(ServerConnection *connection);
    ServerConnectionPtr pointerOf(const ServerConnection *connection) const;
    QList<ServerConnectionPtr> connections() const;
    // Stops a connection's threads and lets go of the ones the proxy holds;
    // a connection whose threads outlive the wait is kept until they end.
    void releaseThreads(const ServerConnectionPtr &connection, bool stopped);
    void retire(const ServerConnectionPtr &connection);
    void collectRetired();
    // Takes in the results of the first connection of the intake queue.
    void takeInNext();
    void queueSubmission(const SubmitPointPtr &point, const SubmittedFilePtr &job, IAction *action);
    // "" when the client has no data folder.
    static QString cachePath(const ServerConnection *connection);
    static QString cachePath(const ServerConnection::ServerKey &key);
    // The one file earlier runs kept for all users of the server; "" for a
    // connection without a user, whose own file it is.
    static QString sharedCachePath(const ServerConnection::ServerKey &key);
    // The first connection in the list to the connection's host and port.
    bool firstOfServer(const ServerConnection *connection) const;
    void writeCachedData(const ServerConnection *connection, const QString &path);
    void updateCachedJob(const QString &path, const QString &flowId, const QString &checkPointId,
        const QString &jobId, const PushJobInfo &info);
    // A cache file's content in the form the proxy keeps, made off the GUI
    // thread (ServerProxyCache.cpp).
    struct CachedFlows;
    void takeCachedData(ServerConnection *connection, const CachedFlows &cached);
    // A push the server answered no longer waits in the cache file.
    void cachePushAnswered(const PushJobAction *action, bool accepted);
    PushJobAction *makePushAction(ServerConnection *connection, const QString &flowId,
        const QString &checkPointId, const QString &jobId, const PushJobInfo &info);

    QList<ServerConnectionPtr> m_connections;
    QList<ServerConnectionPtr> m_probes;
    QList<ServerConnectionPtr> m_retired;
    QHash<const ServerConnection *, QVector<FlowPtr>> m_flows;
    QHash<const Flow *, FlowData> m_flowData;
    QMap<QString, LogBatch> m_logBatches;
    QStringList m_logOrder; // oldest first
    QHash<const ServerConnection *, ProgressList> m_progress;
    int m_progressCount = 10;
    QHash<const ServerConnection *, QList<ConnectionThread *>> m_updateThreads;
    QHash<const ServerConnection *, QString> m_updateStatusTexts;
    QHash<const ServerConnection *, ConnectionThread *> m_activityThreads;
    QHash<const ServerConnection *, int> m_waitingActivities;
    mutable QMutex m_updateMutex;
    mutable QMutex m_listMutex;
    // Destroyed first: the queued actions hold submit points, whose running
    // uploads are stopped then.
    ActionList m_actions;
    QHash<SubmittedFile *, QPointer<IAction>> m_queuedSubmissions;
    QThread *m_cacheReader = nullptr;
    // Connections that took the pushes of a shared file of an earlier run.
    QHash<const ServerConnection *, QString> m_sharedCacheTaken;
    // The server generation each update thread was started for.
    QHash<const ConnectionThread *, int> m_updateGenerations;
    std::unique_ptr<CacheWriter> m_cacheWriter;
    // Connections whose finished update waits to be taken in.
    QList<ServerConnection *> m_intakeQueue;
    QTimer *m_intakeTimer;
};

using ServerProxyPtr = CountedPtr<ServerProxy>;
