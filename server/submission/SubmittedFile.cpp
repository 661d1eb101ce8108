#include "SubmittedFile.h"

#include "Desktop.h"
#include "FilesStreamer.h"
#include "SubmitStatus.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStorageInfo>

#include <chrono>
#include <limits>

namespace {

// The job name of a whole volume: its label, or "JOB" when it has none.
// Empty for anything that is not the root of a mounted volume.
QString volumeJobName(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isDir())
        return QString();
    const QString canonical = info.canonicalFilePath();
    const QStorageInfo storage(canonical);
    if (canonical.isEmpty() || !storage.isValid() || QDir::cleanPath(storage.rootPath()) != canonical)
        return QString();
    const QString label = Desktop::instance()->volumeLabel(canonical).trimmed();
    if (FilesStreamer::isValidTopLevelName(label))
        return label;
    return SubmittedFile::tr("JOB");
}

} // namespace

SubmittedFile::SubmittedFile(const QString &flowId, const QString &submitPointId, const QString &path)
    : m_flowId(flowId)
    , m_submitPointId(submitPointId)
    , m_path(path)
    , m_isFile(QFileInfo(path).isFile())
{
    m_streamer = std::make_unique<FilesStreamer>(path);
    QString name = QFileInfo(QDir::cleanPath(path)).fileName();
    const QString volumeName = volumeJobName(path);
    if (!volumeName.isEmpty())
        name = volumeName;
    if (!isValidJobName(name))
        name = m_streamer->topLevelName();
    if (name != m_streamer->topLevelName())
        m_streamer->setTopLevelName(name);
    m_jobName = name;
    m_totalSize = qint64(m_streamer->getFullSize());
    m_error = m_streamer->errorString();
    m_status = SubmitStatus::Waiting;
}

SubmittedFile::~SubmittedFile() = default;

int SubmittedFile::getJobNumber() const
{
    const QMutexLocker lock(&m_mutex);
    return m_jobNumber;
}

void SubmittedFile::setJobNumber(int number)
{
    const QMutexLocker lock(&m_mutex);
    m_jobNumber = number;
    if (number < 0)
        m_savedGroup.clear();
}

QString SubmittedFile::savedGroup() const
{
    const QMutexLocker lock(&m_mutex);
    return m_savedGroup;
}

void SubmittedFile::setSavedEntry(const QString &group, int number)
{
    const QMutexLocker lock(&m_mutex);
    m_savedGroup = group;
    m_jobNumber = group.isEmpty() ? -1 : number;
}

QString SubmittedFile::getJobName() const
{
    const QMutexLocker lock(&m_mutex);
    return m_jobName;
}

bool SubmittedFile::isValidJobName(const QString &name)
{
    return FilesStreamer::isValidTopLevelName(name);
}

bool SubmittedFile::setJobName(const QString &name)
{
    if (!isValidJobName(name))
        return false;
    if (getJobName() == name)
        return true;
    {
        const QMutexLocker streamLock(&m_streamMutex);
        // The size of the stream was announced to the server when the
        // attempt began.
        if (m_uploading || !m_streamer->setTopLevelName(name))
            return false;
        m_totalSize = qint64(m_streamer->getFullSize());
        const QMutexLocker lock(&m_mutex);
        m_jobName = name;
    }
    emit saveJobRequest(this);
    return true;
}

int SubmittedFile::getStatus() const
{
    const QMutexLocker lock(&m_mutex);
    return m_status;
}

void SubmittedFile::setStatus(int status)
{
    {
        const QMutexLocker lock(&m_mutex);
        if (m_status == status)
            return;
        m_status = status;
    }
    emit StatusChanged();
}

QDateTime SubmittedFile::getStartTime() const
{
    const QMutexLocker lock(&m_mutex);
    return m_startTime;
}

QDateTime SubmittedFile::getEndTime() const
{
    const QMutexLocker lock(&m_mutex);
    return m_endTime;
}

void SubmittedFile::setStartTime()
{
    const QMutexLocker lock(&m_mutex);
    m_startTime = QDateTime::currentDateTime();
    m_startMs = monotonicMs();
}

void SubmittedFile::setEndTime()
{
    const QMutexLocker lock(&m_mutex);
    m_endTime = QDateTime::currentDateTime();
}

qint64 SubmittedFile::getSentSize() const
{
    return getStatus() == SubmitStatus::Uploading ? m_bytesSent.load() : 0;
}

bool SubmittedFile::isReadable() const
{
    const QMutexLocker lock(&m_mutex);
    return m_error.isEmpty();
}

QString SubmittedFile::errorString() const
{
    const QMutexLocker lock(&m_mutex);
    return m_error;
}

QList<MetadataToFill> SubmittedFile::getMetadata() const
{
    const QMutexLocker lock(&m_mutex);
    return m_metadata;
}

void SubmittedFile::setMetadata(const QList<MetadataToFill> &metadata)
{
    const QMutexLocker lock(&m_mutex);
    m_metadata = metadata;
}

void SubmittedFile::cancel()
{
    m_cancelled = true;
}

QString SubmittedFile::getStartTimeText() const
{
    const QMutexLocker lock(&m_mutex);
    return m_startTime.isNull() ? QString(QLatin1String("")) : m_startTime.toString(Qt::ISODate);
}

QString SubmittedFile::getTimeLeftText() const
{
    int status;
    QDateTime end;
    qint64 startMs;
    {
        const QMutexLocker lock(&m_mutex);
        status = m_status;
        end = m_endTime;
        startMs = m_startMs;
    }
    switch (status) {
    case SubmitStatus::Verifying:
        return QDateTime::currentDateTime().toString(Qt::ISODate);
    case SubmitStatus::Finished:
        return end.toString(Qt::ISODate);
    case SubmitStatus::Uploading:
        if (m_bytesSent > 0)
            return timeLeftText(m_totalSize, m_bytesSent, monotonicMs() - startMs);
        break;
    default:
        break;
    }
    return QString(QLatin1String(""));
}

QString SubmittedFile::timeLeftText(qint64 totalSize, qint64 bytesSent, qint64 elapsedMs)
{
    if (bytesSent <= 0)
        return QString(QLatin1String(""));
    double estimate = (double(totalSize) / double(bytesSent) - 1.0) * double(elapsedMs);
    if (!(estimate > 0.0)) // also catches NaN
        estimate = 0.0;
    constexpr double limit = double(std::numeric_limits<qint64>::max() / 2);
    qint64 remaining = estimate >= limit ? qint64(limit) : qint64(estimate);
    const qint64 hours = remaining / 3600000;
    remaining -= hours * 3600000;
    const qint64 minutes = remaining / 60000;
    remaining -= minutes * 60000;
    const qint64 seconds = remaining / 1000;
    // Not translated: the same text in every language.
    if (hours > 0)
        return QStringLiteral("%1 h %2 min. left").arg(hours).arg(minutes, 2, 10, QLatin1Char('0'));
    if (minutes > 0)
        return QStringLiteral("%1 min. left").arg(minutes);
    return QStringLiteral("%1 sec. left").arg(seconds);
}

qint64 SubmittedFile::monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool SubmittedFile::prepareUpload()
{
    const QString name = getJobName();
    bool valid = true;
    {
        const QMutexLocker streamLock(&m_streamMutex);
        m_uploading = true;
        m_aborted = false;
        m_closedComplete = false;
        m_bytesSent = 0;
        // The files may have changed since the job was made, and a folder
        // may have gained files: what goes is what is there now. A job that
        // once went out whole goes again as it went.
        if (!m_sentWhole && !m_cancelled) {
            m_streamer = std::make_unique<FilesStreamer>(m_path, name);
            m_totalSize = qint64(m_streamer->getFullSize());
            const QMutexLocker lock(&m_mutex);
            m_error = m_streamer->errorString();
        }
        valid = m_streamer->isValid();
        if (!valid)
            m_aborted = true;
    }
    if (m_cancelled) {
        setStatus(SubmitStatus::Error);
        return false;
    }
    // Nothing unreadable is announced to the server.
    if (!valid)
        return false;
    // Still waiting for the connection until the attachment opens.
    setDeliveryNote(QString());
    return true;
}

bool SubmittedFile::beginUpload()
{
    m_bytesSent = 0;
    if (m_cancelled || !m_streamer->restart()) {
        m_aborted = true;
        return false;
    }
    setStatus(SubmitStatus::Uploading);
    return true;
}

qint64 SubmittedFile::readData(char *buffer, qint64 length)
{
    if (m_cancelled || m_aborted) {
        m_aborted = true;
        return -1;
    }
    const qint64 count = m_streamer->getData(buffer, length);
    if (!m_streamer->isValid()) {
        m_aborted = true;
        return -1;
    }
    const qint64 sent = m_bytesSent += count;
    // A short read ends the attachment: only right at the end of the stream.
    if (count < length && sent != m_totalSize) {
        m_aborted = true;
        return -1;
    }
    return count;
}

bool SubmittedFile::endUpload()
{
    m_streamer->endWork();
    setEndTime();
    m_closedComplete = !m_aborted && !m_cancelled && m_streamer->isValid() && m_bytesSent == m_totalSize;
    if (m_closedComplete)
        m_sentWhole = true;
    setStatus(m_closedComplete ? SubmitStatus::Verifying : SubmitStatus::Error);
    return m_closedComplete;
}

void SubmittedFile::finishUpload(Verdict verdict, const QString &refusal)
{
    // The server's word counts even when a late cancel came after it.
    const bool finished = verdict == Verdict::Accepted && m_closedComplete;
    // A refused job is not on the server: the next attempt takes the files
    // as they are then.
    if (verdict == Verdict::Refused)
        m_sentWhole = false;
    {
        const QMutexLocker streamLock(&m_streamMutex);
        // The toolkit skips the close callback when sending fails.
        m_streamer->endWork();
        const QMutexLocker lock(&m_mutex);
        m_error = m_streamer->errorString();
        m_uploading = false;
    }
    setEndTime();
    if (!finished && (verdict == Verdict::NotSent || verdict == Verdict::NoHost) && !m_cancelled) {
        if (verdict == Verdict::NoHost)
            setDeliveryNote(tr("Nothing of the job was sent: its connection has no valid host name. It goes "
                               "once the connection has one and answers."));
        else
            setDeliveryNote(refusal.isEmpty()
                    ? QString()
                    : tr("The server did not take the job's first request (%1); nothing of the job was sent. "
                         "It goes at the next refresh.")
                          .arg(refusal));
        const bool changed = getStatus() != SubmitStatus::WaitingConnection;
        setStatus(SubmitStatus::WaitingConnection);
        if (!changed)
            emit StatusChanged(); // the note is new
        return;
    }
    if (!finished) {
        QString note;
        if (verdict == Verdict::Refused)
            note = refusal.isEmpty() ? tr("The server refused the job.")
                                     : tr("The server refused the job: %1").arg(refusal);
        else if (m_closedComplete || verdict == Verdict::Accepted)
            note = tr("The whole job was sent, but the server's answer did not arrive: the server may have "
                      "taken it. Check there before you send it again.");
        else if (const QString reason = errorString(); !reason.isEmpty() && !m_cancelled)
            note = tr("The job was not sent: %1. The server did not take it; send it again once the files "
                      "are as they should be.")
                       .arg(reason);
        else if (verdict != Verdict::NotSent && verdict != Verdict::NoHost)
            note = tr("The transfer broke off before the whole job was sent, so the server did not take it. "
                      "Send it again when you are ready.");
        setDeliveryNote(note);
    }
    setStatus(finished ? SubmitStatus::Finished : SubmitStatus::Error);
    emit SubmitFinished();
    emit SubmitFinished(this);
}

QString SubmittedFile::deliveryNote() const
{
    const QMutexLocker lock(&m_mutex);
    return m_note;
}

void SubmittedFile::setDeliveryNote(const QString &note)
{
    const QMutexLocker lock(&m_mutex);
    m_note = note;
}

QString SubmittedFile::earlierRunNote()
{
    return tr("An earlier attempt to send this job did not end cleanly: the server may have taken it. "
              "Check there before you send it again.");
}
