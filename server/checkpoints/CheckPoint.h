#pragma once

#include "CheckPointJobData.h"
#include "CountedPtr.h"
#include "PushJobInfo.h"
#include "SubstituteFile.h"

#include <QHash>
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
    // A job whose last push got no answer is not pushed again until the
    // user confirmed it (pushAgainConfirmed).
    bool pushJob(const QString &jobId, const PushJobInfo &info);
    bool isPushWaiting(const QString &jobId) const { return m_pendingPushes.contains(jobId); }
    // The push went out but its answer was lost: the server may still send
    // the job on. Marked (status kPushWaiting) until a list of the
    // checkpoint's jobs no longer names it.
    bool isPushUnanswered(const QString &jobId) const { return m_unansweredPushes.contains(jobId); }
    // The user chose to push such a job again: it is free for pushJob.
    void pushAgainConfirmed(const QString &jobId);
    // Follows the push of the job that the proxy's queue holds (one a
    // cache file kept from an earlier run): waiting until it is answered.
    void watchPush(const QString &jobId);

    // SetJobLockStatus with the LockMode (0 release, 1 for the user,
    // 3 while replacing). This form blocks for the call; the GUI thread
    // uses lockJobAsync, answered queued to `context`.
    bool lockJob(const QString &jobId, int lockMode);
    void lockJobAsync(
        const QString &jobId, int lockMode, QObject *context, std::function<void(bool isSet)> done);
    // A lock whose answer was lost may still be set by the server: it is
    // looked for and released once it shows. Answered to `context` as
    // false then.
    //
    // Releases the job's lock in the background, tried again until its
    // request went out (ServerConnection::releaseJobLock). Never ahead of
    // a lock call of the job: a release asked for while one runs goes
    // after its answer, and one for a lock whose answer was lost when the
    // server shows that lock.
    void releaseLock(const QString &jobId);
    // Locks of this checkpoint whose answer was lost and that are looked for.
    int lostLockCount() const { return int(m_lostLocks.size()); }
    // Between two looks for a lost lock, and how many looks at most.
    static int lostLockLookMs();
    static constexpr int kLostLockLooks = 8;

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
    // The server refused a push of the job, for the reason given.
    void pushRefused(const QString &jobId, const QString &reason);

public slots:
    // The end of the running replacement; a stale end of a cancelled one
    // is ignored.
    void replaceFinished(SubstituteFile *file);

private:
    void removeJob(const QString &jobId);
    void pushAnswered(const QString &jobId, bool accepted, const QString &refusal);
    // Marks kept across a new list of jobs; marks of jobs it no longer
    // names go.
    void keepPushMarks(const QList<QString> &listed);
    void sendRelease(const QString &jobId);
    void lockCallEnded(const QString &jobId, bool isSet, bool answerLost);
    void lookForLostLock(const QString &jobId);
    void lostLockLooked(const QString &jobId, bool answered, bool elsewhere, const QString &lockText);
    void stopReplacement();

    QPointer<ServerConnection> m_connection;
    QString m_name;
    const QString m_id;
    const QString m_flowId;
    QList<QString> m_jobIds;
    QMap<QString, CheckPointJobData> m_jobs;
    QString m_selectedJobId;
    QSet<QString> m_pendingPushes;
    QSet<QString> m_unansweredPushes;
    // Lock calls under way, by job; releases asked for meanwhile.
    QHash<QString, int> m_lockCalls;
    QSet<QString> m_releaseAfterLock;
    // Lost locks looked for, with the looks made.
    QHash<QString, int> m_lostLocks;
    ReplaceJobThread *m_replaceThread = nullptr; // owned
    quint64 m_replaceGeneration = 0;
};

using CheckPointPtr = CountedPtr<CheckPoint>;
