#include "SubstituteFile.h"

#include "FilesStreamer.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>

SubstituteFile::SubstituteFile(
    const QString &flowId, const QString &checkPointId, const QString &jobId, const QString &path)
    : m_flowId(flowId)
    , m_checkPointId(checkPointId)
    , m_jobId(jobId)
    , m_path(path)
    , m_isFile(QFileInfo(path).isFile())
    , m_fileName(QFileInfo(QDir::cleanPath(path)).fileName())
    , m_streamer(std::make_unique<FilesStreamer>(path))
{
    m_totalSize = qint64(m_streamer->getFullSize());
    m_error = m_streamer->errorString();
    m_status = ReplaceStatus::Waiting;
}

SubstituteFile::~SubstituteFile() = default;

PushJobInfo SubstituteFile::getPushJobInfo() const
{
    const QMutexLocker lock(&m_mutex);
    return m_pushInfo;
}

void SubstituteFile::setPushJobInfo(const PushJobInfo &info)
{
    const QMutexLocker lock(&m_mutex);
    m_pushInfo = info;
}

int SubstituteFile::getStatus() const
{
    const QMutexLocker lock(&m_mutex);
    return m_status;
}

void SubstituteFile::setStatus(int status)
{
    {
        const QMutexLocker lock(&m_mutex);
        if (m_status == status)
            return;
        m_status = status;
    }
    emit statusChanged(status);
}

qint64 SubstituteFile::getProgressTotal() const
{
    const QMutexLocker lock(&m_mutex);
    const bool running = m_status == ReplaceStatus::Uploading || m_status == ReplaceStatus::AllSent;
    return running ? m_totalSize : 0;
}

qint64 SubstituteFile::getProgressValue() const
{
    const QMutexLocker lock(&m_mutex);
    const bool running = m_status == ReplaceStatus::Uploading || m_status == ReplaceStatus::AllSent;
    return running ? m_bytesSent : 0;
}

qint64 SubstituteFile::getFullSize() const
{
    const QMutexLocker lock(&m_mutex);
    return m_totalSize;
}

qint64 SubstituteFile::getBytesSent() const
{
    const QMutexLocker lock(&m_mutex);
    return m_bytesSent;
}

bool SubstituteFile::isReadable() const
{
    const QMutexLocker lock(&m_mutex);
    return m_error.isEmpty();
}

QString SubstituteFile::errorString() const
{
    const QMutexLocker lock(&m_mutex);
    return m_error;
}

void SubstituteFile::cancel()
{
    const QMutexLocker lock(&m_mutex);
    m_cancelled = true;
}

bool SubstituteFile::isCancelled() const
{
    const QMutexLocker lock(&m_mutex);
    return m_cancelled;
}

bool SubstituteFile::beginUpload()
{
    {
        const QMutexLocker lock(&m_mutex);
        m_bytesSent = 0;
        m_closedComplete = false;
        m_aborted = m_cancelled || !m_streamer->isValid() || !m_streamer->restart();
        if (m_aborted)
            return false;
    }
    setStatus(ReplaceStatus::Uploading);
    return true;
}

qint64 SubstituteFile::readData(char *buffer, qint64 length)
{
    const QMutexLocker lock(&m_mutex);
    if (m_cancelled || m_aborted) {
        m_aborted = true;
        return -1;
    }
    const qint64 count = m_streamer->getData(buffer, length);
    if (!m_streamer->isValid()) {
        m_aborted = true;
        return -1;
    }
    m_bytesSent += count;
    // A short read ends the attachment: only right at the end of the stream.
    if (count < length && m_bytesSent != m_totalSize) {
        m_aborted = true;
        return -1;
    }
    return count;
}

void SubstituteFile::endUpload()
{
    bool complete;
    {
        const QMutexLocker lock(&m_mutex);
        m_streamer->endWork();
        m_closedComplete = !m_aborted && !m_cancelled && m_streamer->isValid() && m_bytesSent == m_totalSize;
        complete = m_closedComplete;
    }
    setStatus(complete ? ReplaceStatus::AllSent : ReplaceStatus::Failed);
}

void SubstituteFile::finishUpload(bool confirmed, bool answered)
{
    bool replaced;
    {
        const QMutexLocker lock(&m_mutex);
        // The toolkit skips the close callback when sending fails.
        m_streamer->endWork();
        if (m_error.isEmpty())
            m_error = m_streamer->errorString();
        // The server's word counts even when a late cancel came after it.
        replaced = confirmed && m_closedComplete;
        m_unanswered = !answered && m_closedComplete;
    }
    setStatus(replaced ? ReplaceStatus::Replaced : ReplaceStatus::Failed);
}

bool SubstituteFile::mayHaveArrived() const
{
    const QMutexLocker lock(&m_mutex);
    return m_unanswered && m_status != ReplaceStatus::Replaced;
}
