#pragma once

#include "CheckPointJobData.h"
#include "CountedPtr.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

class ServerConnection;

// One checkpoint of a flow and the jobs that the last update (or the cache
// file) brought for it, in the server's order. Lives in the GUI thread; the
// proxy reuses the object by id across updates.
class CheckPoint : public QObject
{
    Q_OBJECT

public:
    CheckPoint(ServerConnection *connection, const QString &id, const QString &flowId, const QString &name);
    ~CheckPoint() override;

    // Null once the connection is gone.
    ServerConnection *getConnection() const;
    QString getId() const { return m_id; }
    QString getFlowId() const { return m_flowId; }
    QString getName() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    // "" without a connection.
    QString getServerName() const;
    QString getFlowName() const;

    QList<QString> getJobIds() const { return m_jobIds; }
    int getJobCount() const { return int(m_jobIds.size()); }
    bool hasJob(const QString &jobId) const { return m_jobs.contains(jobId); }
    // An empty record for an unknown id.
    CheckPointJobData getJob(const QString &jobId) const { return m_jobs.value(jobId); }
    QMap<QString, CheckPointJobData> getJobs() const { return m_jobs; }
    // Replaces the waiting jobs; ids without a record are left out, a
    // repeated id is listed once, at its first place.
    void setJobs(const QList<QString> &jobIds, const QMap<QString, CheckPointJobData> &jobs);
    // Appends the id (once) and returns its record, made empty when new.
    CheckPointJobData &addJob(const QString &jobId);
    // False for an unknown id.
    bool setJobStatus(const QString &jobId, int status);

    // The job the jobs view last selected here; empty for none.
    QString getSelectedJobId() const { return m_selectedJobId; }
    void setSelectedJobId(const QString &jobId) { m_selectedJobId = jobId; }

private:
    QPointer<ServerConnection> m_connection;
    QString m_name;
    const QString m_id;
    const QString m_flowId;
    QList<QString> m_jobIds;
    QMap<QString, CheckPointJobData> m_jobs;
    QString m_selectedJobId;
};

using CheckPointPtr = CountedPtr<CheckPoint>;
