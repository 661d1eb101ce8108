#pragma once

#include "CountedPtr.h"
#include "MetadataToFill.h"

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class FilesStreamer;

// One file or folder being submitted to a submit point: its target, the
// packed stream of its content, its metadata values and how far its upload
// has come. The upload thread writes the progress while the GUI reads it
// on its timers; everything shared is behind the mutex or atomic.
class SubmittedFile : public QObject
{
    Q_OBJECT

public:
    SubmittedFile(const QString &flowId, const QString &submitPointId, const QString &path);
    ~SubmittedFile() override;

    QString getFlowId() const { return m_flowId; }
    QString getSubmitPointId() const { return m_submitPointId; }
    QString getPath() const { return m_path; }
    bool isFile() const { return m_isFile; }

    // Number of the job's group among the saved jobs; -1 until saved.
    int getJobNumber() const;
    void setJobNumber(int number);
    // The settings group of the job's saved entry, kept from when it was
    // first written: the entry is settled there whatever the connection
    // points at by then. Empty with no entry.
    QString savedGroup() const;
    void setSavedEntry(const QString &group, int number);

    QString getJobName() const;
    // The name travels as the top-level name of the packed stream, so it
    // must be one path segment; other names, and renames while an upload
    // runs, are refused (false). Emits saveJobRequest() when it changed.
    bool setJobName(const QString &name);
    static bool isValidJobName(const QString &name);

    int getStatus() const;
    // Emits StatusChanged() only on a change.
    void setStatus(int status);

    QDateTime getStartTime() const;
    QDateTime getEndTime() const;
    void setStartTime();
    void setEndTime();

    // Bytes of the packed stream.
    qint64 getTotalSize() const { return m_totalSize; }
    // Bytes handed to the connection so far in the current upload.
    qint64 getBytesSent() const { return m_bytesSent; }
    // The bytes sent while uploading, else 0.
    qint64 getSentSize() const;
    // False when the path could not be read when the job was made.
    bool isReadable() const;
    QString errorString() const;

    QList<MetadataToFill> getMetadata() const;
    void setMetadata(const QList<MetadataToFill> &metadata);

    // Stops the data stream of a running upload at its next read; the
    // upload then fails. Permanent.
    void cancel();
    bool isCancelled() const { return m_cancelled; }

    QString getStartTimeText() const;
    // Verifying: now; finished: the end time (ISO 8601); uploading: the
    // time left; otherwise empty.
    QString getTimeLeftText() const;
    static QString timeLeftText(qint64 totalSize, qint64 bytesSent, qint64 elapsedMs);

    // Upload side, called by the upload thread in this order. An attempt
    // runs from prepareUpload() to finishUpload(); renames wait for its end.
    // Scans the path again unless the whole job went out in an earlier
    // attempt that the server did not refuse (it may hold that one). False when the job was cancelled or its
    // files cannot be read (errorString() says why); nothing is sent then.
    bool prepareUpload();
    // The attachment opens: rewinds the stream; false when there is nothing
    // valid to send.
    bool beginUpload();
    // Fills the buffer completely but at the true end. -1 when the upload
    // must be aborted (cancelled, or the content changed under the stream).
    qint64 readData(char *buffer, qint64 length);
    // The stream closes; true when every announced byte went out.
    bool endUpload();
    enum class Verdict {
        Accepted, // the server answered success
        Refused, // the server answered with a fault
        NoAnswer, // the transfer broke off, was cancelled or timed out
        NotSent, // not one byte of the job's request left the client
        NoHost, // nothing left: the connection names no host to send to
    };
    // Ends the attempt: finished only when the server accepted and every
    // byte went out. A request that never left puts the job back to
    // waiting for its connection; any other end is final ("Error", with a
    // note that says what the server may hold): nothing is sent twice
    // unless the user asks. `refusal` is the server's reason; for a request
    // that never left, why the server did not take the first call.
    void finishUpload(Verdict verdict, const QString &refusal = QString());

    // Why the job ended in "Error", for the job form; empty otherwise.
    QString deliveryNote() const;
    void setDeliveryNote(const QString &note);
    // The note of a job restored in "Error" from an earlier run.
    static QString earlierRunNote();

signals:
    void StatusChanged();
    // An upload attempt ended (finished or failed).
    void SubmitFinished();
    // The job is settled: finished, or failed after its request went out.
    // A request that never left is not settled, so a queued job goes again.
    void SubmitFinished(SubmittedFile *file);
    void saveJobRequest(SubmittedFile *file);

private:
    static qint64 monotonicMs();

    const QString m_flowId;
    const QString m_submitPointId;
    const QString m_path;
    const bool m_isFile;

    // Used by the upload thread while it runs; renames wait for it.
    mutable QMutex m_streamMutex;
    std::unique_ptr<FilesStreamer> m_streamer;

    mutable QMutex m_mutex;
    int m_jobNumber = -1;
    QString m_savedGroup;
    QString m_jobName;
    int m_status = 6;
    QDateTime m_startTime;
    QDateTime m_endTime;
    qint64 m_startMs = 0; // monotonic, for the time left
    QList<MetadataToFill> m_metadata;
    QString m_error;
    QString m_note;

    std::atomic<qint64> m_totalSize { 0 };
    std::atomic<qint64> m_bytesSent { 0 };
    std::atomic<bool> m_cancelled { false };
    std::atomic<bool> m_uploading { false };
    std::atomic<bool> m_aborted { false };
    std::atomic<bool> m_closedComplete { false };
    std::atomic<bool> m_sentWhole { false };
};

using SubmittedFilePtr = CountedPtr<SubmittedFile>;
