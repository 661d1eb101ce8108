#pragma once

#include "CountedPtr.h"
#include "MetadataToFill.h"
#include "SavedSubmissions.h"
#include "SubmittedFile.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

class ServerConnection;
class SubmitThread;

// One submit point of a flow: the metadata it asks for, the jobs submitted
// to it and their upload threads, and the saved copies of the jobs not yet
// sent. Lives in the GUI thread.
class SubmitPoint : public QObject
{
    Q_OBJECT

public:
    SubmitPoint(ServerConnection *connection, const QString &id, const QString &flowId, const QString &name);
    // Stops running uploads (bounded wait) before the threads go.
    ~SubmitPoint() override;

    ServerConnection *getConnection() const;
    QString getId() const { return m_id; }
    QString getFlowId() const { return m_flowId; }
    QString getName() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    // "" without a connection.
    QString getServerName() const;
    QString getFlowName() const;

    QList<MetadataToFill> getMetadata() const { return m_metadata; }
    void setMetadata(const QList<MetadataToFill> &metadata) { m_metadata = metadata; }

    int getJobCount() const { return int(m_jobs.size()); }
    QVector<SubmittedFilePtr> getJobs() const { return m_jobs; }
    // Null outside 0..count-1.
    SubmittedFilePtr getJob(int row) const;
    int indexOfJob(const SubmittedFile *job) const;

    // The row the jobs view last selected for this point; -1 for none.
    int getSelectedJobRow() const { return m_selectedJobRow; }
    void setSelectedJobRow(int row) { m_selectedJobRow = row; }

    // New jobs with their upload threads (not started). The "saved" forms
    // list the job only when it can be sent (a connection and a readable
    // path), else they return null; the "add" forms also save the job.
    SubmittedFilePtr createJob(const QString &path);
    SubmittedFilePtr createSavedJob(const QString &path);
    SubmittedFilePtr addJob(const QString &path);
    SubmittedFilePtr addSavedJob(const QString &path);
    QList<SubmittedFilePtr> addJobs(const QStringList &paths);
    // A job from the saved jobs of an earlier run, with its number, name,
    // metadata and status; null when it cannot be listed.
    SubmittedFilePtr restoreJob(const SavedSubmissions::SavedJob &saved);
    void connectJob(SubmittedFile *job);

    // Starts the job's upload unless it runs already or has finished;
    // without a thread the job ends in "Error".
    void startSubmit(SubmittedFile *job);
    bool hasThread(const SubmittedFile *job) const;
    bool isSubmitting(const SubmittedFile *job) const;

    // Cancels a running upload (bounded wait), drops the job and its saved
    // entry.
    void removeJob(SubmittedFile *job);
    void saveJob(SubmittedFile *job);
    void removeSavedJob(SubmittedFile *job);
    static void removeSavedJobs(ServerConnection *connection);

    // How long removal waits for a cancelled upload before leaving the
    // thread to delete itself when it ends.
    static int stopWaitMs();
    static void setStopWaitMs(int ms);

signals:
    void jobAdded(const QString &path);

public slots:
    void SubmitFinished(SubmittedFile *file);
    void jobNameChanged(SubmittedFile *file);
    void changeJobStatusSettings();

private:
    SubmittedFilePtr makeJob(const QString &path, bool onlyWhenSendable);
    void saveNewJob(SubmittedFile *job);
    void writeJob(SubmittedFile *job);
    QString savedGroup() const;
    static void stopThread(SubmitThread *thread);

    QPointer<ServerConnection> m_connection;
    QString m_name;
    const QString m_id;
    const QString m_flowId;
    QList<MetadataToFill> m_metadata;
    QVector<SubmittedFilePtr> m_jobs;
    QMap<SubmittedFile *, SubmitThread *> m_threads; // owned
    int m_selectedJobRow = -1;
};

using SubmitPointPtr = CountedPtr<SubmitPoint>;
