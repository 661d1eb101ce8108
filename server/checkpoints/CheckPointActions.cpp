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
    if (m_pendingPushes.contains(jobId))
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
            [this, jobId](
                PushJobAction *, bool accepted, const QString &) { pushAnswered(jobId, accepted); });
        // The next list of the checkpoint's jobs tells; until then the job
        // stays out of reach of a second push.
        connect(
            action, &PushJobAction::pushUnanswered, this, [this, jobId] { m_pendingPushes.remove(jobId); });
        connect(action, &QObject::destroyed, this, [this, jobId] {
            if (m_pendingPushes.remove(jobId) && getJobStatus(jobId) == CheckPointJobData::kPushWaiting) {
                setJobStatus(jobId, 0);
                emit jobsChanged();
            }
        });
        return;
    }
}

void CheckPoint::pushAnswered(const QString &jobId, bool accepted)
{
    if (!m_pendingPushes.remove(jobId))
        return;
    if (accepted)
        removeJob(jobId);
    else
        setJobStatus(jobId, 0);
    emit jobsChanged();
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
    connection->setJobLockStatusAsync(
        m_flowId, m_id, jobId, lockMode, context ? context : this, std::move(done));
}

void CheckPoint::releaseLock(const QString &jobId)
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
    auto *thread = new ReplaceJobThread(nullptr, connection->getEndPoint(), connection->getUserData(),
        connection->getPassData(), file, connection->isSecure());
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
