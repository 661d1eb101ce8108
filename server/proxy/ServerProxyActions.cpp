// The proxy's side of the action queue: submissions and pushes that wait
// for their server.
#include "ServerProxy.h"

#include "PushJobAction.h"
#include "SubmitFileAction.h"
#include "SubmitStatus.h"
#include "WorkFlags.h"

void ServerProxy::submitFile(const SubmitPointPtr &point, const SubmittedFilePtr &job)
{
    if (!point || !job)
        return;
    // The user's own start: a failed job goes again, from byte 0.
    if (job->getStatus() == SubmitStatus::Error && !point->isSubmitting(job.get())) {
        job->setDeliveryNote(QString());
        job->setStatus(SubmitStatus::Waiting);
    }
    auto *action = new SubmitFileAction(point, job, this);
    if (action->perform() || job->getStatus() == SubmitStatus::Error) {
        delete action;
        return;
    }
    point->saveJob(job.get());
    queueSubmission(point, job, action);
}

void ServerProxy::queueSubmitFile(const SubmitPointPtr &point, const SubmittedFilePtr &job)
{
    if (!point || !job)
        return;
    queueSubmission(point, job, new SubmitFileAction(point, job, this));
}

void ServerProxy::queueSubmission(const SubmitPointPtr &point, const SubmittedFilePtr &job, IAction *action)
{
    Q_UNUSED(point);
    // One queued start per job: a second one replaces the first.
    finishSubmit(job.get());
    if (!m_actions.addAction(action)) {
        delete action; // no connection: it could never run
        return;
    }
    connect(job.get(), qOverload<SubmittedFile *>(&SubmittedFile::SubmitFinished), this,
        &ServerProxy::finishSubmit, Qt::UniqueConnection);
    m_queuedSubmissions.insert(job.get(), action);
    // An upload that ended before the connection above was made.
    if (job->getStatus() == SubmitStatus::Finished)
        finishSubmit(job.get());
}

void ServerProxy::finishSubmit(SubmittedFile *job)
{
    const QPointer<IAction> action = m_queuedSubmissions.take(job);
    if (!action)
        return;
    m_actions.removeAction(action);
    // A finished submission's action would otherwise hold its job, and the
    // job's list of files, for the rest of the run.
    action->deleteLater();
}

void ServerProxy::retryWaitingSubmissions(ServerConnection *connection)
{
    // A job that waits while its server answers (its first call was turned
    // down) is sent by the next refresh; it never left, so it goes once.
    for (const QPointer<IAction> &action : std::as_const(m_queuedSubmissions)) {
        if (action && action->connection() == connection && action->isWaiting()) {
            m_actions.performActions(connection);
            return;
        }
    }
}

void ServerProxy::performQueuedActions()
{
    if (!m_queuedSubmissions.isEmpty())
        m_actions.performAllActions();
}

PushJobAction *ServerProxy::makePushAction(ServerConnection *connection, const QString &flowId,
    const QString &checkPointId, const QString &jobId, const PushJobInfo &info)
{
    auto *action = new PushJobAction(connection, flowId, checkPointId, jobId, info, this);
    connect(action, &PushJobAction::pushFinished, this,
        [this](PushJobAction *done, bool accepted, const QString &refusal) {
            cachePushAnswered(done, accepted);
            emit pushFinished(done->jobId(), accepted, refusal);
            // A refresh that fetched the checkpoint before the push went
            // through would list the job again: a fresh list follows it.
            if (accepted)
                startUpdatingConData(done->connection(), UpdateFlags::CheckPoints);
        });
    // Whether a push whose answer was lost went through shows in the next
    // list of the checkpoint's jobs; it is not sent again.
    // Kept in the cache file only while it provably never left.
    connect(action, &PushJobAction::pushDeferred, this, [this](PushJobAction *waiting) {
        if (waiting->madeForCurrentServer())
            updateCachedJob(waiting->connection(), waiting->flowId(), waiting->checkPointId(),
                waiting->jobId(), waiting->pushInfo());
    });
    connect(action, &PushJobAction::pushUnanswered, this, [this](PushJobAction *done) {
        cachePushAnswered(done, false);
        startUpdatingConData(done->connection(), UpdateFlags::CheckPoints);
    });
    return action;
}

bool ServerProxy::pushJob(ServerConnection *connection, const QString &flowId, const QString &checkPointId,
    const QString &jobId, const PushJobInfo &info)
{
    PushJobAction *action = makePushAction(connection, flowId, checkPointId, jobId, info);
    if (action->perform()) {
        delete action;
        return true;
    }
    const bool started = action->state() == PushJobAction::State::Pushing;
    if (!m_actions.addAction(action)) {
        delete action;
        return started;
    }
    if (!started)
        updateCachedJob(connection, flowId, checkPointId, jobId, info);
    return started;
}

void ServerProxy::queuePushJob(ServerConnection *connection, const QString &flowId,
    const QString &checkPointId, const QString &jobId, const PushJobInfo &info)
{
    PushJobAction *action = makePushAction(connection, flowId, checkPointId, jobId, info);
    if (!m_actions.addAction(action))
        delete action;
}
