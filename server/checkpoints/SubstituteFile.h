#pragma once

#include "CountedPtr.h"
#include "PushJobInfo.h"
#include "StreamedUpload.h"

#include <QMutex>
#include <QObject>
#include <QString>

#include <memory>

class FilesStreamer;

// How far the replacement of a checkpoint job has come.
namespace ReplaceStatus {
enum : int {
    Waiting = 0,
    Uploading = 2, // the attachment was opened
    AllSent = 3, // the attachment closed complete
    Replaced = 4, // the server confirmed
    Constructing = 5,
    Failed = 6,
};
} // namespace ReplaceStatus

// A local file or folder that replaces a job waiting at a checkpoint,
// with the decision that travels with it. The upload thread writes the
// status and byte counts under the object's mutex while the GUI polls
// them on its timers.
class SubstituteFile : public QObject, public UploadSource
{
    Q_OBJECT

public:
    SubstituteFile(
        const QString &flowId, const QString &checkPointId, const QString &jobId, const QString &path);
    ~SubstituteFile() override;

    QString getFlowId() const { return m_flowId; }
    QString getCheckPointId() const { return m_checkPointId; }
    QString getJobId() const { return m_jobId; }
    QString getPath() const { return m_path; }
    bool isFile() const { return m_isFile; }
    // The name the server gives the replacement.
    QString getFileName() const { return m_fileName; }

    // Filled by the replace dialog before the start.
    PushJobInfo getPushJobInfo() const;
    void setPushJobInfo(const PushJobInfo &info);

    int getStatus() const;
    // Emits statusChanged() on a change.
    void setStatus(int status);
    // The total and the bytes sent while the upload runs, else 0.
    qint64 getProgressTotal() const;
    qint64 getProgressValue() const;
    qint64 getFullSize() const;
    qint64 getBytesSent() const;
    // False when the path could not be read when the object was made.
    bool isReadable() const;
    QString errorString() const;

    // Stops the data of a running upload at its next read; the upload then
    // fails. Permanent.
    void cancel();
    bool isCancelled() const;

    // Upload side, called by the upload thread.
    bool beginUpload() override;
    qint64 readData(char *buffer, qint64 length) override;
    void endUpload() override;
    // Ends the attempt: replaced when the server confirmed it and every
    // byte went out (a cancel that came too late changes nothing).
    // `answered`: the server answered at all.
    void finishUpload(bool confirmed, bool answered = true);
    // Every byte went out but the server's answer was lost: the server may
    // have replaced the job all the same.
    bool mayHaveArrived() const;

signals:
    // Emitted in the thread that changed the status.
    void statusChanged(int status);

private:
    const QString m_flowId;
    const QString m_checkPointId;
    const QString m_jobId;
    const QString m_path;
    const bool m_isFile;
    const QString m_fileName;

    mutable QMutex m_mutex;
    std::unique_ptr<FilesStreamer> m_streamer;
    int m_status = ReplaceStatus::Constructing;
    bool m_cancelled = false;
    bool m_aborted = false;
    bool m_closedComplete = false;
    bool m_unanswered = false;
    PushJobInfo m_pushInfo;
    qint64 m_bytesSent = 0;
    qint64 m_totalSize = 0;
    QString m_error;
};

using SubstituteFilePtr = CountedPtr<SubstituteFile>;
