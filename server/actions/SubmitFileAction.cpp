#include "SubmitFileAction.h"

#include "SubmitStatus.h"

SubmitFileAction::SubmitFileAction(const SubmitPointPtr &point, const SubmittedFilePtr &file, QObject *parent)
    : IAction(point ? point->getConnection() : nullptr, parent)
    , m_point(point)
    , m_file(file)
{ }

SubmitFileAction::~SubmitFileAction() = default;

bool SubmitFileAction::perform()
{
    if (!m_point || !m_file)
        return true;
    SubmittedFile *job = m_file.get();
    const int status = job->getStatus();
    if (status == SubmitStatus::Finished)
        return true;
    // A pass that comes while the job is on its way must not start it
    // twice, nor show it as waiting.
    if (m_point->isSubmitting(job) || status == SubmitStatus::PreparingData
        || status == SubmitStatus::Uploading || status == SubmitStatus::Verifying)
        return false;
    // Sent once: a job whose request left the client is settled, whatever
    // became of the answer; only the user sends it again.
    if (status == SubmitStatus::Error)
        return true;
    // Made for a server the connection has left: settled as not sent, its
    // saved entry with it; the user may send it again.
    if (!madeForCurrentServer()) {
        m_point->removeSavedJob(job);
        job->setDeliveryNote(otherServerText());
        job->setStatus(SubmitStatus::Error);
        return true;
    }
    job->setStatus(SubmitStatus::WaitingConnection);
    // The upload's own first call tells whether the server answers; the
    // GUI thread does not wait for it.
    if (IAction::perform())
        m_point->startSubmit(job);
    return false;
}

bool SubmitFileAction::isWaiting() const
{
    return m_point && m_file && m_file->getStatus() == SubmitStatus::WaitingConnection
        && !m_point->isSubmitting(m_file.get());
}
