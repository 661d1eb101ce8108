#include "SubmitPoint.h"

#include "ServerConnection.h"
#include "SubmitStatus.h"
#include "SubmitThread.h"

#include <QDeadlineTimer>

#include <atomic>

namespace {

std::atomic<int> g_stopWaitMs { 5000 };

} // namespace

SubmitPoint::SubmitPoint(
    ServerConnection *connection, const QString &id, const QString &flowId, const QString &name)
    : m_connection(connection)
    , m_name(name)
    , m_id(id)
    , m_flowId(flowId)
{ }

SubmitPoint::~SubmitPoint()
{
    const QList<SubmitThread *> threads = m_threads.values();
    m_threads.clear();
    for (SubmitThread *thread : threads)
        stopThread(thread);
}

int SubmitPoint::stopWaitMs()
{
    return g_stopWaitMs;
}

void SubmitPoint::setStopWaitMs(int ms)
{
    g_stopWaitMs = ms;
}

ServerConnection *SubmitPoint::getConnection() const
{
    return m_connection.data();
}

QString SubmitPoint::getServerName() const
{
    return m_connection ? m_connection->serverName() : QString(QLatin1String(""));
}

QString SubmitPoint::getFlowName() const
{
    return m_connection ? m_connection->getFlowName(m_flowId) : QString(QLatin1String(""));
}

SubmittedFilePtr SubmitPoint::getJob(int row) const
{
    return row >= 0 && row < m_jobs.size() ? m_jobs.at(row) : SubmittedFilePtr();
}

int SubmitPoint::indexOfJob(const SubmittedFile *job) const
{
    for (int i = 0; i < m_jobs.size(); ++i) {
        if (m_jobs.at(i).get() == job)
            return i;
    }
    return -1;
}

SubmittedFilePtr SubmitPoint::makeJob(const QString &path, bool onlyWhenSendable)
{
    SubmittedFilePtr job(new SubmittedFile(m_flowId, m_id, path));
    connect(job.get(), &SubmittedFile::StatusChanged, this, &SubmitPoint::changeJobStatusSettings);
    job->setMetadata(m_metadata);
    const int status = job->getStatus();
    if (m_connection && (status == SubmitStatus::Waiting || status == SubmitStatus::WaitingConnection)) {
        const UserCall::Target target = m_connection->transferTarget();
        auto *thread
            = new SubmitThread(nullptr, target.endpoint, target.user, target.password, job, target.secure);
        connect(thread, &SubmitThread::finished, this, &SubmitPoint::SubmitFinished);
        m_threads.insert(job.get(), thread);
    }
    if (onlyWhenSendable && (!m_threads.contains(job.get()) || !job->isReadable())) {
        if (SubmitThread *thread = m_threads.take(job.get()))
            delete thread; // never started
        return SubmittedFilePtr();
    }
    m_jobs.append(job);
    emit jobAdded(path);
    return job;
}

SubmittedFilePtr SubmitPoint::createJob(const QString &path)
{
    return makeJob(path, false);
}

SubmittedFilePtr SubmitPoint::createSavedJob(const QString &path)
{
    return makeJob(path, true);
}

SubmittedFilePtr SubmitPoint::addJob(const QString &path)
{
    SubmittedFilePtr job = createJob(path);
    saveNewJob(job.get());
    return job;
}

SubmittedFilePtr SubmitPoint::addSavedJob(const QString &path)
{
    SubmittedFilePtr job = createSavedJob(path);
    if (job)
        saveNewJob(job.get());
    return job;
}

QList<SubmittedFilePtr> SubmitPoint::addJobs(const QStringList &paths)
{
    QList<SubmittedFilePtr> jobs;
    for (const QString &path : paths)
        jobs.append(addJob(path));
    return jobs;
}

SubmittedFilePtr SubmitPoint::restoreJob(const SavedSubmissions::SavedJob &saved)
{
    if (saved.path.isEmpty() || saved.jobName.isEmpty())
        return SubmittedFilePtr();
    SubmittedFilePtr job = saved.isFile ? createJob(saved.path) : createSavedJob(saved.path);
    if (!job)
        return job;
    job->setSavedEntry(saved.group, saved.number);
    job->setMetadata(saved.metadata);
    // A stored name that is no longer acceptable leaves the file's own.
    job->setJobName(saved.jobName);
    // A job that had begun to go out may be on the server already: it comes
    // back as failed, for the user to decide, never to be sent again alone.
    int status = saved.status;
    if (status == SubmitStatus::PreparingData)
        status = SubmitStatus::WaitingConnection;
    if (status != SubmitStatus::Waiting && status != SubmitStatus::WaitingConnection) {
        status = SubmitStatus::Error;
        job->setDeliveryNote(SubmittedFile::earlierRunNote());
    }
    job->setStatus(status);
    connectJob(job.get());
    return job;
}

void SubmitPoint::connectJob(SubmittedFile *job)
{
    if (job)
        connect(
            job, &SubmittedFile::saveJobRequest, this, &SubmitPoint::jobNameChanged, Qt::UniqueConnection);
}

void SubmitPoint::startSubmit(SubmittedFile *job)
{
    // Its thread went with its success; nothing is sent twice.
    if (job && job->getStatus() == SubmitStatus::Finished)
        return;
    SubmitThread *thread = m_threads.value(job);
    if (!thread) {
        if (job)
            job->setStatus(SubmitStatus::Error);
        return;
    }
    if (thread->isRunning())
        return;
    if (m_connection) {
        const UserCall::Target target = m_connection->transferTarget();
        thread->setTarget(target.endpoint, target.user, target.password, target.secure);
    }
    thread->start(QThread::InheritPriority);
}

bool SubmitPoint::hasThread(const SubmittedFile *job) const
{
    return m_threads.contains(const_cast<SubmittedFile *>(job));
}

bool SubmitPoint::isSubmitting(const SubmittedFile *job) const
{
    const SubmitThread *thread = m_threads.value(const_cast<SubmittedFile *>(job));
    return thread && thread->isRunning();
}

void SubmitPoint::stopThread(SubmitThread *thread)
{
    if (!thread)
        return;
    thread->cancel();
    if (thread->wait(QDeadlineTimer(stopWaitMs()))) {
        delete thread;
        return;
    }
    // Deleting a running thread would end the process; it holds its job,
    // so it may finish on its own and go then.
    qWarning("An upload did not stop in time; it is left to end on its own.");
    thread->disconnect();
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    if (thread->isFinished())
        thread->deleteLater();
}

void SubmitPoint::removeJob(SubmittedFile *job)
{
    const int index = indexOfJob(job);
    if (index < 0)
        return;
    // Keeps the job alive until its thread is gone.
    const SubmittedFilePtr keep = m_jobs.at(index);
    stopThread(m_threads.take(job));
    m_jobs.removeAt(index);
    removeSavedJob(job);
}

QString SubmitPoint::savedGroup() const
{
    if (!m_connection)
        return QString();
    // The server as applied: what the form holds while typing moves nothing.
    const ServerConnection::ServerKey key = m_connection->serverKey();
    return SavedSubmissions::pointGroup(key.host, key.port, m_flowId, m_id);
}

void SubmitPoint::saveNewJob(SubmittedFile *job)
{
    const QString group = savedGroup();
    if (!job || group.isEmpty())
        return;
    job->setSavedEntry(group, SavedSubmissions::nextJobNumber(group));
    SavedSubmissions::writeJob(group, job->getJobNumber(), *job, m_connection->serverKey().user);
}

void SubmitPoint::writeJob(SubmittedFile *job)
{
    if (!job)
        return;
    const QString group = job->savedGroup();
    if (group.isEmpty() || job->getJobNumber() < 0) {
        saveNewJob(job);
        return;
    }
    if (!m_connection)
        return;
    // Rewritten where it stands (a name of an earlier run too), unless the
    // connection was pointed elsewhere since: then the job is settled there.
    const ServerConnection::ServerKey key = m_connection->serverKey();
    SavedSubmissions::SavedJob entry;
    entry.group = group;
    if (entry.belongsTo(key.host, key.port, key.user, m_flowId, m_id))
        SavedSubmissions::writeJob(group, job->getJobNumber(), *job, key.user);
}

void SubmitPoint::saveJob(SubmittedFile *job)
{
    if (indexOfJob(job) >= 0)
        writeJob(job);
}

void SubmitPoint::removeSavedJob(SubmittedFile *job)
{
    const QString group = job ? job->savedGroup() : QString();
    if (group.isEmpty() || job->getJobNumber() < 0)
        return;
    SavedSubmissions::removeJob(group, job->getJobNumber());
    job->setJobNumber(-1);
}

void SubmitPoint::removeSavedJobs(ServerConnection *connection)
{
    if (!connection)
        return;
    const ServerConnection::ServerKey key = connection->serverKey();
    SavedSubmissions::removeConnection(key.host, key.port, key.user);
}

void SubmitPoint::SubmitFinished(SubmittedFile *file)
{
    // Queued from the worker: the job may have been removed meanwhile, and
    // its thread may already run again.
    SubmitThread *thread = m_threads.value(file);
    if (!thread || indexOfJob(file) < 0 || thread->isRunning())
        return;
    // Nothing got through: the connection is down, and coming back up
    // sends the waiting job.
    if (!thread->reachedServer() && file->getStatus() == SubmitStatus::WaitingConnection && m_connection)
        m_connection->noteUnreachable();
    if (file->getStatus() != SubmitStatus::Finished)
        return; // kept for another attempt
    removeSavedJob(file);
    m_threads.remove(file);
    thread->wait();
    delete thread;
}

void SubmitPoint::jobNameChanged(SubmittedFile *file)
{
    if (indexOfJob(file) < 0)
        return;
    const int status = file->getStatus();
    if (status == SubmitStatus::Waiting || status == SubmitStatus::WaitingConnection)
        writeJob(file);
}

void SubmitPoint::changeJobStatusSettings()
{
    // Compared before use: a queued notice may outlive its job.
    const QObject *origin = sender();
    for (const SubmittedFilePtr &job : std::as_const(m_jobs)) {
        if (job.get() != origin)
            continue;
        const int status = job->getStatus();
        const QString group = job->savedGroup();
        // The saved status is the one the page shows, so that a failed job
        // is restored as failed; a finished job's entry goes anyway.
        if (status != SubmitStatus::Finished && status != SubmitStatus::None && job->getJobNumber() >= 0
            && !group.isEmpty())
            SavedSubmissions::writeStatus(group, job->getJobNumber(), status);
        return;
    }
}
