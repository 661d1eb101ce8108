#pragma once

#include "CheckPointJobData.h"
#include "CountedPtr.h"
#include "PushJobInfo.h"
#include "SubstituteFile.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>

class ReplaceJobThread;
class ServerConnection;

// One checkpoint of a flow and the jobs that the last update (or the cache
// file) brought for it, in the server's order. Lives in the GUI thread; the
// proxy reuses the object by id across updates.
class CheckPoint : public QObject
{
    Q_OBJECT

public:
    CheckPoint(ServerConnection *connection, const QString &id, const QString &flowId, const QString &name);
    ~CheckPoint() override;

    // Null once the connection is gone.
    ServerConnection *getConnection() const;
    QString getId() const { return m_id; }
    QString getFlowId() const { return m_flowId; }
    QString getName() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    // "" without a connection.
    QString getServerName() const;
    QString getFlowName() const;

    QList<QString> getJobIds() const { return m_jobIds; }
    int getJobCount() const { return int(m_jobIds.size()); }
    bool hasJob(const QString &jobId) const { return m_jobs.contains(jobId); }
    // An empty record for an unknown id.
    CheckPointJobData getJob(const QString &jobId) const { return m_jobs.value(jobId); }
    QMap<QString, CheckPointJobData> getJobs() const { return m_jobs; }
    // Replaces the waiting jobs; ids without a record are left out, a
    // repeated id is listed once, at its first place.
    void setJobs(const QList<QString> &jobIds, const QMap<QString, CheckPointJobData> &jobs);
    // The same for lists already in that form (every id once, each with its
    // record, no other record), as a cache read gives them: nothing is
    // checked or copied.
    void setListedJobs(const QList<QString> &jobIds, const QMap<QString, CheckPointJobData> &jobs);
    // Appends the id (once) and returns its record, made empty when new.
    CheckPointJobData &addJob(const QString &jobId);
    // False for an unknown id.
    bool setJobStatus(const QString &jobId, int status);

    // The job the jobs view last selected here; empty for none.
    QString getSelectedJobId() const { return m_selectedJobId; }
    void setSelectedJobId(const QString &jobId) { m_selectedJobId = jobId; }

    // The status of the job's record; 0 for an unknown id.
    int getJobStatus(const QString &jobId) const;

    // Decisions on the jobs (CheckPointActions.cpp), GUI thread.
    //
    // Sends the job on along the chosen connections through the proxy's
    // action queue, once: true when the push started at once, false when
    // it waits for the server or one of it waits already. Either way the
    // job stays, with status kPushWaiting, until the server answered (or,
    // after a lost answer, until the next list of jobs). With the push flag clear the job only leaves the
    // list (a replacement carried the push).
    bool pushJob(const QString &jobId, const PushJobInfo &info);
    bool isPushWaiting(const QString &jobId) const { return m_pendingPushes.contains(jobId); }
    // Follows the push of the job that the proxy's queue holds (one a
    // cache file kept from an earlier run): waiting until it is answered.
    void watchPush(const QString &jobId);

    // SetJobLockStatus with the LockMode (0 release, 1 for the user,
    // 3 while replacing). This form blocks for the call; the GUI thread
    // uses lockJobAsync, answered queued to `context`.
    bool lockJob(const QString &jobId, int lockMode);
    void lockJobAsync(
        const QString &jobId, int lockMode, QObject *context, std::function<void(bool isSet)> done);
    // Releases the job's lock in the background, tried again until its
    // request went out (ServerConnection::releaseJobLock).
    void releaseLock(const QString &jobId);

    // Starts the replacement; false while another one runs. The caller
    // has locked the job with mode 3; a replacement that fails releases
    // the lock once its thread has ended.
    bool replaceJob(const SubstituteFilePtr &file);
    // Cancels the running replacement of that file, waits a bounded time
    // for its thread, and releases the job's lock once the thread has
    // stopped. False when the thread outlived the wait: it then ends on
    // its own, keeping the file alive, and releases the lock when it does.
    bool cancelReplace(SubstituteFile *file);
    bool isReplacing() const { return m_replaceThread != nullptr; }
    ReplaceJobThread *runningReplacement() const { return m_replaceThread; }
    static int replaceStopWaitMs();
    static void setReplaceStopWaitMs(int ms);

    // Whether another machine holds the job's lock, and the holder text to
    // show. Answers with jobLockChecked(), or jobLockCheckFailed() when the
    // server answered with a fault (its words as `serverAnswer`) or
    // server could not be asked; the call and the host look-ups run in
    // worker threads.
    void checkJobLock(const QString &jobId);
    // The same, answered in the calling thread: blocks on host look-ups,
    // so not for the GUI thread.
    bool isJobLockedElsewhere(const QString &jobId, QString *lockText);

signals:
    void replaceStarted();
    void replaceFinished();
    void jobLockChecked(const QString &jobId, bool elsewhere, const QString &lockText);
    void jobLockCheckFailed(const QString &jobId, const QString &serverAnswer = QString());
    // A push that waited was answered: the job left or is free again.
    void jobsChanged();

public slots:
    // The end of the running replacement; a stale end of a cancelled one
    // is ignored.
    void replaceFinished(SubstituteFile *file);

private:
    void removeJob(const QString &jobId);
    void pushAnswered(const QString &jobId, bool accepted);
    void stopReplacement();

    QPointer<ServerConnection> m_connection;
    QString m_name;
    const QString m_id;
    const QString m_flowId;
    QList<QString> m_jobIds;
    QMap<QString, CheckPointJobData> m_jobs;
    QString m_selectedJobId;
    QSet<QString> m_pendingPushes;
    ReplaceJobThread *m_replaceThread = nullptr; // owned
    quint64 m_replaceGeneration = 0;
};

using CheckPointPtr = CountedPtr<CheckPoint>;
