#pragma once

#include "CheckPoint.h"
#include "CheckPointJobData.h"
#include "CountedPtr.h"

#include <QObject>
#include <QPointer>
#include <QString>

namespace Client {

// One job waiting at a checkpoint as the pages hold it: a copy of its
// record taken when the job list was built, so that a refresh or a push
// that changes the checkpoint's jobs never leaves it pointing nowhere,
// and what the job panel did with it (downloads).
class CheckPointJob : public QObject
{
    Q_OBJECT

public:
    enum DownloadState {
        NotDownloaded = 0,
        Downloading = 2,
        Downloaded = 3,
    };

    CheckPointJob(CheckPoint *checkPoint, const QString &jobId);

    CheckPoint *checkPoint() const { return m_checkPoint.data(); }
    QString jobId() const { return m_jobId; }
    // The record as it was when this object was made.
    const CheckPointJobData &record() const { return m_record; }
    // The record as the checkpoint holds it now; false, with the copy kept,
    // when the job is no longer there.
    bool refreshRecord();
    // Read from the checkpoint each time: a push may mark the job later.
    int status() const;

    int downloadState() const { return m_downloadState; }
    void setDownloadState(int state) { m_downloadState = state; }
    QString jobPath() const { return m_jobPath; }
    void setJobPath(const QString &path) { m_jobPath = path; }
    QString reportPath() const { return m_reportPath; }
    void setReportPath(const QString &path) { m_reportPath = path; }

private:
    QPointer<CheckPoint> m_checkPoint;
    const QString m_jobId;
    CheckPointJobData m_record;
    int m_downloadState = NotDownloaded;
    QString m_jobPath;
    QString m_reportPath;
};

} // namespace Client

using CheckPointJobPtr = CountedPtr<Client::CheckPointJob>;
