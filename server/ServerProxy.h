#pragma once

#include "ActionList.h"
#include "CountedPtr.h"
#include "LogMessage.h"
#include "ProgressData.h"
#include "PushJobInfo.h"
#include "ServerConnection.h"
#include "SubmitPoint.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class ConnectionThread;
class IAction;
class PushJobAction;
struct FetchedPoints;

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
    void startConnectionActivity(ServerConnection *connection, int activity, bool watchProbe);
    bool hasConnectionActivity(const ServerConnection *connection) const;

    // Data for the pages.
    void setProgressCount(int count);
    int progressCount() const;
    void getProgressData(QList<ProgressData> &list) const;
    void getLogData(const QString &key, QList<LogMessage> &list) const;
    void clearLogBatches();
    // The submit point and checkpoint replies of the connection's latest
    // update, as fetched.
    std::shared_ptr<const FetchedPoints> fetchedPoints(const ServerConnection *connection) const;
    void notifyDataUpdated();

    // The connection's cache file.
    void saveCachedData(ServerConnection *connection);

    // Submissions and pushes, through the queue of actions that wait for
    // their server (ServerProxyActions.cpp).
    void submitFile(const SubmitPointPtr &point, const SubmittedFilePtr &job);
    // A job restored from the saved jobs: queued, not performed yet.
    void queueSubmitFile(const SubmitPointPtr &point, const SubmittedFilePtr &job);
    void performQueuedActions();
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
    void updateConnectionViewRequest(const ServerConnection *connection);
    void refreshConnectionModelRequest(bool probeAdded);
    void updateSubmitPointsRequest();
    void updateCheckPointsRequest();
    void updateLogRequest(const QString &key);
    void clearLogRequest(int connectionId);
    void updateProgressRequest();
    void resetPages();
    void aboutUpdateCheckPoints();
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
    QString getUpdateStatusStr();
    void acceptUpdatedData(ServerConnection *connection, ConnectionThread *thread);
    void acceptPointsData(ServerConnection *connection, ConnectionThread *thread);
    void acceptLogData(ServerConnection *connection, ConnectionThread *thread);
    void acceptProgressData(ServerConnection *connection, ConnectionThread *thread);
    void clearConnectionData(ServerConnection *connection);

private:
    void wire(ServerConnection *connection);
    ServerConnectionPtr pointerOf(const ServerConnection *connection) const;
    QList<ServerConnectionPtr> connections() const;
    // Stops a connection's threads and lets go of the ones the proxy holds;
    // a connection whose threads outlive the wait is kept until they end.
    void releaseThreads(const ServerConnectionPtr &connection, bool stopped);
    void retire(const ServerConnectionPtr &connection);
    void collectRetired();
    void queueSubmission(const SubmitPointPtr &point, const SubmittedFilePtr &job, IAction *action);
    PushJobAction *makePushAction(ServerConnection *connection, const QString &flowId,
        const QString &checkPointId, const QString &jobId, const PushJobInfo &info);

    QList<ServerConnectionPtr> m_connections;
    QList<ServerConnectionPtr> m_probes;
    QList<ServerConnectionPtr> m_retired;
    QHash<const ServerConnection *, std::shared_ptr<const FetchedPoints>> m_points;
    QMap<QString, LogBatch> m_logBatches;
    QHash<const ServerConnection *, ProgressList> m_progress;
    int m_progressCount = 10;
    QHash<const ServerConnection *, QList<ConnectionThread *>> m_updateThreads;
    QHash<const ServerConnection *, QString> m_updateStatusTexts;
    QHash<const ServerConnection *, ConnectionThread *> m_activityThreads;
    mutable QMutex m_updateMutex;
    mutable QMutex m_listMutex;
    // Destroyed first: the queued actions hold submit points, whose running
    // uploads are stopped then.
    ActionList m_actions;
    QHash<SubmittedFile *, QPointer<IAction>> m_queuedSubmissions;
};

using ServerProxyPtr = CountedPtr<ServerProxy>;
