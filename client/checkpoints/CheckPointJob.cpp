#include "CheckPointJob.h"

namespace Client {

CheckPointJob::CheckPointJob(CheckPoint *checkPoint, const QString &jobId)
    : m_checkPoint(checkPoint)
    , m_jobId(jobId)
{
    refreshRecord();
}

bool CheckPointJob::refreshRecord()
{
    if (!m_checkPoint || !m_checkPoint->hasJob(m_jobId))
        return false;
    m_record = m_checkPoint->getJob(m_jobId);
    return true;
}

int CheckPointJob::status() const
{
    return m_checkPoint ? m_checkPoint->getJobStatus(m_jobId) : m_record.status;
}

} // namespace Client
