#pragma once

#include "LogMessage.h"
#include "ProgressData.h"
#include "PushJobInfo.h"
#include "ServerConnection.h" // complete for the signal's meta type

#include <QMutex>
#include <QString>
#include <QThread>

#include <memory>

struct FetchedPoints;

// One background request on one connection: connect, log in, push a
// checkpoint job, or fetch the server's data. Runs at the lowest priority.
// Connect, log-in and push threads delete themselves when they end; update
// threads belong to the proxy, which takes their results.
class ConnectionThread : public QThread
{
    Q_OBJECT

public:
    ConnectionThread(QObject *parent, ServerConnection *connection, int activity);
    ~ConnectionThread() override;

    // Keeps the thread after it ends, for its owner to take the results.
    void setUpdateParams(int progressCount, int updateFlags);
    void setPushParams(
        const QString &flowId, const QString &checkPointId, const QString &jobId, const PushJobInfo &info);

    void setStatusText(const QString &text);
    QString getStatusText() const;

    // Asks the connection's calls to end and waits at most timeoutMs; true
    // when the thread is no longer running.
    bool stop(int timeoutMs);

    ServerConnection *connection() const { return m_connection; }
    int activity() const { return m_activity; }
    int updateFlags() const { return m_updateFlags; }
    // The update flags whose fetches succeeded (points only after a flow
    // list that did), read after the thread ended.
    int fetchedFlags() const { return m_fetched; }
    int progressCount() const { return m_progressCount; }

    // Results, read after the thread ended.
    std::unique_ptr<FetchedPoints> takeFetchedPoints();
    QString getLogTime() const { return m_logKey; }
    std::unique_ptr<LogBatch> takeLogBatch();
    std::unique_ptr<ProgressList> takeProgressList();

signals:
    void finished(ServerConnection *connection);
    // A push activity's outcome, emitted in the worker: the call's gSOAP
    // code (SOAP_TCP_ERROR when it was never sent) and the server's answer.
    void pushFinished(int soapError, int answer);

public slots:
    void OnFinished();

protected:
    void run() override;

private:
    friend class ServerConnection;
    void updateData();

    ServerConnection *m_connection; // cleared when the connection goes first
    const int m_activity;
    QString m_pushFlowId;
    QString m_pushCheckPointId;
    QString m_pushJobId;
    PushJobInfo m_pushInfo;
    mutable QMutex m_statusMutex;
    QString m_statusText;
    int m_progressCount = 10;
    int m_updateFlags = 15;
    int m_fetched = 0;
    std::unique_ptr<FetchedPoints> m_points;
    std::unique_ptr<LogBatch> m_logBatch;
    QString m_logKey;
    std::unique_ptr<ProgressList> m_progress;
};
