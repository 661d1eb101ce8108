#pragma once

#include "CheckPointJob.h"
#include "MetadataToFill.h"
#include "PushJobInfo.h"

#include <QFrame>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>

class AcceptThread;
class CheckPoint;
class QPushButton;
class ServerConnection;

namespace Client {

class HeaderLabel;
class MetadataExplorer;
class PushJobWidget;

// The right-hand pane of the Checkpoints page: the chosen checkpoint, or
// the chosen job with what the user can do with it: view or save the job
// or its report, replace it, fill in its metadata and push it on.
class SelectionFrame : public QFrame
{
    Q_OBJECT

public:
    enum ViewMode { NothingShown = 0, CheckPointShown = 1, JobShown = 2 };

    explicit SelectionFrame(QWidget *parent = nullptr);
    // Removes the downloads it kept for viewing.
    ~SelectionFrame() override;

    void clearJob();
    // Back to the empty state, showing no checkpoint (the page was reset).
    void reset();
    int viewMode() const { return m_viewMode; }
    CheckPointJobPtr currentJob() const { return m_job; }
    CheckPoint *currentCheckPoint() const { return m_checkPoint.data(); }

    // For tests and screenshots.
    HeaderLabel *titleLabel() const { return m_title; }
    MetadataExplorer *explorer() const { return m_explorer; }
    PushJobWidget *pushWidget() const { return m_pushWidget; }
    QPushButton *saveJobButton() const { return m_saveJob; }
    QPushButton *viewJobButton() const { return m_viewJob; }
    QPushButton *saveReportButton() const { return m_saveReport; }
    QPushButton *viewReportButton() const { return m_viewReport; }
    QPushButton *replaceButton() const { return m_replace; }
    // Downloads under way.
    int runningDownloads() const { return int(m_downloads.size()); }
    // Clicks waiting for their lock check.
    int waitingClicks() const;

signals:
    // The page pushes (or, with the push flag clear, only drops) the job
    // that the record names.
    void JobPushed(PushJobInfo &info);
    // A replacement carried the push: the job only leaves the lists.
    void removePushedJob(PushJobInfo &info);

public slots:
    void updateAll();
    void SetJob(CheckPointJobPtr job);
    void SetChechpoint(CheckPoint *checkPoint);
    void aboutUpdateRequestHandler();

private slots:
    void PushJobClicked(const QList<QString> &pushList);
    void SaveViewBtnClicked();
    void ReplaceJobBtnClicked();
    void OnAcceptStarted(AcceptThread *thread);
    void OnAcceptFinithed(AcceptThread *thread, const QString &path);
    void metadataChangeHandler();

private:
    enum Request { View = 1, Save = 2 };
    enum class Waiting { Nothing, Download, Push, Replace };

    struct Download
    {
        CheckPointJobPtr job;
        QPointer<CheckPoint> checkPoint;
        int request = View;
    };
    // An action that waits for the answer to its lock check.
    struct LockWait
    {
        Waiting what = Waiting::Nothing;
        CheckPointJobPtr job;
        QPointer<CheckPoint> checkPoint;
        int request = View;
        int downloadType = 0;
        PushJobInfo info;
    };

    bool pushAllowed() const;
    void updateDownloadButtons();
    bool downloadRunning(const CheckPointJob *job, bool report) const;
    void hook(ServerConnection *connection);
    void askLock(const LockWait &wait);
    // The first click that waits for this checkpoint's answer on the job.
    LockWait takeLockWait(const QString &jobId);
    void carryOutPush(const LockWait &wait);
    // The page carries out a decision for the checkpoint it shows; one for
    // another checkpoint goes to that checkpoint here.
    void handOver(CheckPoint *checkPoint, PushJobInfo &info);
    void jobLockChecked(const QString &jobId, bool elsewhere, const QString &lockText);
    void jobLockCheckFailed(const QString &jobId, const QString &serverAnswer);
    void openReplaceDialog(const LockWait &wait, CheckPoint *checkPoint, const QString &jobId);
    void startDownload(const LockWait &wait);
    void finishSave(const Download &download, bool report, const QString &path, const QString &folder);
    void replaceJob(const LockWait &wait, bool lockedElsewhere, const QString &lockText);
    void pushRefused(const QString &jobId, const QString &reason);
    // A push of the job waits (not one whose answer was lost).
    bool pushWaits() const;
    void keepFolder(const QString &folder);
    void dropFolder(const QString &folder);
    QString typedKey(const CheckPointJob *job) const;
    void warn(const QString &text);

    QList<QPointer<ServerConnection>> m_hooked;
    QMap<AcceptThread *, Download> m_downloads;
    Download m_starting;
    bool m_startingSet = false;
    // Each click waits for its own answer, in the order made.
    QList<LockWait> m_lockWaits;
    // Download folders kept while something may still look at them.
    QStringList m_keptFolders;
    // Metadata typed for a job but not pushed yet, by job.
    QMap<QString, QList<MetadataToFill>> m_typed;
    // What went with a push whose answer is not in, by job.
    QMap<QString, QList<MetadataToFill>> m_pushedTyped;
    bool m_loading = false;

    int m_viewMode = NothingShown;
    CheckPointJobPtr m_job;
    QPointer<CheckPoint> m_checkPoint;

    HeaderLabel *m_title;
    MetadataExplorer *m_explorer;
    PushJobWidget *m_pushWidget;
    QPushButton *m_saveJob;
    QPushButton *m_viewJob;
    QPushButton *m_saveReport;
    QPushButton *m_viewReport;
    QPushButton *m_replace;
    QWidget *m_filler;
};

} // namespace Client
