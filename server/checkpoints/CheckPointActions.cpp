// The decisions a checkpoint carries out on its jobs: pushes through the
// proxy's action queue, replacements and job locks.
#include "CheckPoint.h"

#include "JobLockCheck.h"
#include "PushJobAction.h"
#include "ReplaceJobThread.h"
#include "ServerConnection.h"
#include "ServerProxy.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

namespace {

std::atomic<int> replaceStopWait { 10000 };

const int kLockRelease = 0;

} // namespace

int CheckPoint::replaceStopWaitMs()
{
    return replaceStopWait;
}

void CheckPoint::setReplaceStopWaitMs(int ms)
{
    replaceStopWait = ms;
}

int CheckPoint::getJobStatus(const QString &jobId) const
{
    const auto it = m_jobs.constFind(jobId);
    return it == m_jobs.cend() ? 0 : it->status;
}

void CheckPoint::removeJob(const QString &jobId)
{
    m_jobIds.removeAll(jobId);
    m_jobs.remove(jobId);
}

bool CheckPoint::pushJob(const QString &jobId, const PushJobInfo &info)
{
    if (!info.push) {
        removeJob(jobId);
        return true;
    }
    // One push per job: a second one would send the job on twice.
    if (m_pendingPushes.contains(jobId) || m_unansweredPushes.contains(jobId))
        return false;
    ServerConnection *connection = getConnection();
    ServerProxy *proxy = connection ? connection->owner() : nullptr;
    if (!proxy)
        return false;
    const bool started = proxy->pushJob(connection, m_flowId, m_id, jobId, info);
    watchPush(jobId);
    // Listed, marked, until the server's answer (or after a lost answer,
    // the next list of jobs) tells where it went.
    setJobStatus(jobId, CheckPointJobData::kPushWaiting);
    return started;
}

void CheckPoint::watchPush(const QString &jobId)
{
    ServerConnection *connection = getConnection();
    ServerProxy *proxy = connection ? connection->owner() : nullptr;
    if (!proxy)
        return;
    // The queued action of this push: it stays until the server answered.
    const QList<IAction *> queued = proxy->actionList().actions();
    for (auto it = queued.crbegin(); it != queued.crend(); ++it) {
        auto *action = qobject_cast<PushJobAction *>(*it);
        if (!action || action->connection() != connection || action->flowId() != m_flowId
            || action->checkPointId() != m_id || action->jobId() != jobId)
            continue;
        m_pendingPushes.insert(jobId);
        connect(action, &PushJobAction::pushFinished, this,
            [this, jobId](PushJobAction *, bool accepted, const QString &refusal) {
                pushAnswered(jobId, accepted, refusal);
            });
        // The server may still be sending it on: marked, out of reach of a
        // second push without the user's word, until a list of the
        // checkpoint's jobs no longer names it.
        connect(action, &PushJobAction::pushUnanswered, this, [this, jobId] {
            if (!m_pendingPushes.remove(jobId))
                return;
            m_unansweredPushes.insert(jobId);
            setJobStatus(jobId, CheckPointJobData::kPushWaiting);
            emit jobsChanged();
        });
        connect(action, &QObject::destroyed, this, [this, jobId] {
            if (m_pendingPushes.remove(jobId) && getJobStatus(jobId) == CheckPointJobData::kPushWaiting) {
                setJobStatus(jobId, 0);
                emit jobsChanged();
            }
        });
        return;
    }
}

void CheckPoint::pushAnswered(const QString &jobId, bool accepted, const QString &refusal)
{
    if (!m_pendingPushes.remove(jobId))
        return;
    if (accepted) {
        removeJob(jobId);
    } else {
        setJobStatus(jobId, 0);
        emit pushRefused(jobId, refusal.isEmpty() ? PushJobAction::refusedText() : refusal);
    }
    emit jobsChanged();
}

void CheckPoint::pushAgainConfirmed(const QString &jobId)
{
    if (m_unansweredPushes.remove(jobId) && getJobStatus(jobId) == CheckPointJobData::kPushWaiting)
        setJobStatus(jobId, 0);
}

bool CheckPoint::lockJob(const QString &jobId, int lockMode)
{
    ServerConnection *connection = getConnection();
    return connection && connection->setJobLockStatus(m_flowId, m_id, jobId, lockMode);
}

void CheckPoint::lockJobAsync(
    const QString &jobId, int lockMode, QObject *context, std::function<void(bool)> done)
{
    ServerConnection *connection = getConnection();
    if (!connection) {
        QMetaObject::invokeMethod(
            context ? context : this, [done] { done(false); }, Qt::QueuedConnection);
        return;
    }
    // A new lock of the job is released by its own holder, and a lost
    // one that lands is then released with it: a look would take the new
    // one away.
    m_lostLocks.remove(jobId);
    ++m_lockCalls[jobId];
    const QPointer<CheckPoint> self(this);
    const QPointer<QObject> caller(context ? context : this);
    const QPointer<ServerConnection> target(connection);
    // Answered to the connection: what the server may have set is looked
    // after also when the caller is gone.
    connection->setJobLockStatusAsync(m_flowId, m_id, jobId, lockMode, connection,
        [self, caller, target, flowId = m_flowId, id = m_id, jobId, done](bool isSet, bool answerLost) {
            if (self)
                self->lockCallEnded(jobId, isSet, answerLost);
            else if (answerLost && target)
                target->releaseJobLock(flowId, id, jobId);
            if (caller)
                done(isSet && !answerLost);
        });
}

void CheckPoint::lockCallEnded(const QString &jobId, bool isSet, bool answerLost)
{
    auto calls = m_lockCalls.find(jobId);
    if (calls != m_lockCalls.end() && --calls.value() <= 0)
        m_lockCalls.erase(calls);
    if (answerLost) {
        // A release sent now could reach the server before this lock does.
        m_releaseAfterLock.remove(jobId);
        if (!m_lostLocks.contains(jobId)) {
            m_lostLocks.insert(jobId, 0);
            QTimer::singleShot(lostLockLookMs(), this, [this, jobId] { lookForLostLock(jobId); });
        }
        return;
    }
    if (!m_lockCalls.contains(jobId) && m_releaseAfterLock.remove(jobId) && isSet)
        sendRelease(jobId);
}

int CheckPoint::lostLockLookMs()
{
    // The server took longer than the call's limit: looked for every half
    // of it, for a few limits.
    return qMax(100, ServerConnection::callTimeouts().userIoMs / 2);
}

void CheckPoint::lookForLostLock(const QString &jobId)
{
    ServerConnection *connection = getConnection();
    if (!m_lostLocks.contains(jobId))
        return;
    if (!connection) {
        m_lostLocks.remove(jobId);
        return;
    }
    const QString host = connection->host();
    const int port = connection->port();
    const QString user = QString::fromUtf8(connection->transferTarget().user);
    connection->getJobLockStatusAsync(
        m_flowId, m_id, jobId, this, [this, jobId, host, port, user](bool answered, const QString &text) {
            if (!answered || text.isEmpty()) {
                lostLockLooked(jobId, answered, false, text);
                return;
            }
            // Another user's lock, taken meanwhile from this machine too,
            // is not ours to release.
            const QString holder = JobLockCheck::userOf(text);
            if (!holder.isEmpty() && holder.compare(user, Qt::CaseInsensitive) != 0) {
                lostLockLooked(jobId, true, true, text);
                return;
            }
            // Whose lock it is takes host look-ups: not in this thread.
            auto ours = std::make_shared<bool>(false);
            QThread *worker = QThread::create([ours, text, host, port] {
                *ours = !JobLockCheck::evaluate(text, JobLockCheck::gather(host, port)).elsewhere;
            });
            connect(worker, &QThread::finished, this,
                [this, jobId, ours, text] { lostLockLooked(jobId, true, !*ours, text); });
            connect(worker, &QThread::finished, worker, &QObject::deleteLater);
            worker->start();
        });
}

void CheckPoint::lostLockLooked(const QString &jobId, bool answered, bool elsewhere, const QString &lockText)
{
    const auto it = m_lostLocks.find(jobId);
    if (it == m_lostLocks.end())
        return;
    if (answered && !lockText.isEmpty()) {
        m_lostLocks.erase(it);
        // A lock held from another machine is not this client's to take away.
        if (!elsewhere)
            sendRelease(jobId);
        return;
    }
    if (++it.value() >= kLostLockLooks) {
        m_lostLocks.erase(it);
        return;
    }
    QTimer::singleShot(lostLockLookMs(), this, [this, jobId] { lookForLostLock(jobId); });
}

void CheckPoint::releaseLock(const QString &jobId)
{
    // The lock looked for is released when it shows.
    if (m_lostLocks.contains(jobId))
        return;
    if (m_lockCalls.contains(jobId)) {
        m_releaseAfterLock.insert(jobId);
        return;
    }
    sendRelease(jobId);
}

void CheckPoint::sendRelease(const QString &jobId)
{
    // Delivered in the background: a lock left behind would keep the job
    // from everybody else.
    if (ServerConnection *connection = getConnection())
        connection->releaseJobLock(m_flowId, m_id, jobId);
}

bool CheckPoint::replaceJob(const SubstituteFilePtr &file)
{
    ServerConnection *connection = getConnection();
    if (!file || !connection || m_replaceThread)
        return false;
    const UserCall::Target target = connection->transferTarget();
    auto *thread
        = new ReplaceJobThread(nullptr, target.endpoint, target.user, target.password, file, target.secure);
    m_replaceThread = thread;
    const quint64 generation = ++m_replaceGeneration;
    // Queued into this thread; an end that comes after a cancel belongs to
    // a replacement that is no longer the running one.
    connect(thread, &ReplaceJobThread::finished, this, [this, generation](SubstituteFile *ended) {
        if (generation == m_replaceGeneration)
            replaceFinished(ended);
    });
    thread->start(QThread::InheritPriority);
    emit replaceStarted();
    return true;
}

void CheckPoint::replaceFinished(SubstituteFile *file)
{
    if (!file || !m_replaceThread || m_replaceThread->file().get() != file)
        return;
    ReplaceJobThread *thread = m_replaceThread;
    // Its run() has returned; what is left is the thread's own exit.
    if (!thread->wait(replaceStopWaitMs()))
        return;
    m_replaceThread = nullptr;
    ++m_replaceGeneration;
    const SubstituteFilePtr keep = thread->file();
    delete thread;
    if (keep->getStatus() != ReplaceStatus::Replaced)
        releaseLock(keep->getJobId());
    emit replaceFinished();
}

bool CheckPoint::cancelReplace(SubstituteFile *file)
{
    if (!m_replaceThread || (file && m_replaceThread->file().get() != file))
        return true;
    ReplaceJobThread *thread = m_replaceThread;
    m_replaceThread = nullptr;
    ++m_replaceGeneration;
    const QString jobId = thread->file()->getJobId();
    thread->cancel();
    if (thread->wait(replaceStopWaitMs())) {
        delete thread;
        releaseLock(jobId);
        return true;
    }
    // Deleting it now would end the process; it holds all it needs.
    qWarning("A cancelled replacement did not stop in time; it is left to end on its own.");
    thread->disconnect(this);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &QThread::finished, this, [this, jobId] { releaseLock(jobId); });
    return false;
}

void CheckPoint::stopReplacement()
{
    if (m_replaceThread)
        cancelReplace(m_replaceThread->file().get());
}

namespace {

// Tells the checkpoint that a lock check went unanswered when the call's
// callback goes without having run (the connection stopped its calls), so
// that nobody waits for it for ever.
class LockCheckGuard
{
public:
    LockCheckGuard(CheckPoint *checkPoint, const QString &jobId)
        : m_checkPoint(checkPoint)
        , m_jobId(jobId)
    { }
    ~LockCheckGuard()
    {
        // May run in the call's thread: the checkpoint is looked at only in
        // the application's.
        QCoreApplication *app = QCoreApplication::instance();
        if (m_answered || !app)
            return;
        QPointer<CheckPoint> checkPoint = std::move(m_checkPoint);
        QString jobId = m_jobId;
        QMetaObject::invokeMethod(
            app,
            [checkPoint, jobId] {
                if (checkPoint)
                    emit checkPoint->jobLockCheckFailed(jobId);
            },
            Qt::QueuedConnection);
    }
    void answered() { m_answered = true; }

private:
    QPointer<CheckPoint> m_checkPoint;
    const QString m_jobId;
    bool m_answered = false;
};

} // namespace

void CheckPoint::checkJobLock(const QString &jobId)
{
    ServerConnection *connection = getConnection();
    if (!connection) {
        QMetaObject::invokeMethod(
            this, [this, jobId] { emit jobLockCheckFailed(jobId); }, Qt::QueuedConnection);
        return;
    }
    const QString host = connection->host();
    const int port = connection->port();
    const auto guard = std::make_shared<LockCheckGuard>(this, jobId);
    connection->getJobLockStatusAsync(
        m_flowId, m_id, jobId, this, [this, jobId, host, port, guard](bool answered, const QString &text) {
            guard->answered();
            if (!answered) {
                emit jobLockCheckFailed(jobId, text);
                return;
            }
            if (text.isEmpty()) {
                emit jobLockChecked(jobId, false, QString());
                return;
            }
            auto result = std::make_shared<JobLockCheck::Result>();
            // Host look-ups can take seconds; the worker needs nothing of
            // this object, so it may outlive it.
            QThread *worker = QThread::create([result, text, host, port] {
                *result = JobLockCheck::evaluate(text, JobLockCheck::gather(host, port));
            });
            connect(worker, &QThread::finished, this,
                [this, jobId, result] { emit jobLockChecked(jobId, result->elsewhere, result->lockText); });
            connect(worker, &QThread::finished, worker, &QObject::deleteLater);
            worker->start();
        });
}

bool CheckPoint::isJobLockedElsewhere(const QString &jobId, QString *lockText)
{
    ServerConnection *connection = getConnection();
    const QString text = connection ? connection->getJobLockStatus(m_flowId, m_id, jobId) : QString();
    JobLockCheck::Result result;
    result.lockText = text;
    if (!text.isEmpty())
        result = JobLockCheck::evaluate(text, JobLockCheck::gather(connection->host(), connection->port()));
    if (lockText)
        *lockText = result.lockText;
    return result.elsewhere;
}
