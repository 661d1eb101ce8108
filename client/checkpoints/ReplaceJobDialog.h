#pragma once

#include "CheckPointJobData.h"
#include "PushJobInfo.h"
#include "SubstituteFile.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

class CheckPoint;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace Client {

class DragDropPanel;
class HeaderLabel;
class MetadataExplorer;
class PushJobWidget;

// Replaces a job waiting at a checkpoint by a local file or folder and, in
// the same step, decides where the replaced job goes on. Three states:
// choose the replacement, fill in the metadata and pick the connections,
// transfer. The job is locked for the user (mode 1) before the dialog
// opens; the dialog locks it for the transfer (mode 3) and, whichever way
// it ends, leaves the lock released (mode 0) unless the job was replaced.
class ReplaceJobDialog : public QDialog
{
    Q_OBJECT

public:
    enum State { Choose = 0, Decide = 1, Transfer = 2 };

    ReplaceJobDialog(QWidget *parent, CheckPoint *checkPoint, const QString &jobId);
    ~ReplaceJobDialog() override;

    // The decision, read after exec() returned accepted; its push flag is
    // set only when the job was replaced.
    PushJobInfo getPushJobInfo() const { return m_pushInfo; }

    int state() const { return m_state; }
    QString replacementPath() const { return m_path; }
    QString shownName() const;

    // Every way out (accept, Cancel, the close box, Escape) passes here.
    void done(int result) override;

    // For tests.
    HeaderLabel *titleLabel() const { return m_title; }
    DragDropPanel *dropPanel() const { return m_dropPanel; }
    MetadataExplorer *explorer() const { return m_explorer; }
    PushJobWidget *pushWidget() const { return m_pushWidget; }
    QLabel *statusLabel() const { return m_statusLabel; }
    QProgressBar *progressBar() const { return m_progress; }
    QPushButton *folderButton() const { return m_folderButton; }
    QPushButton *fileButton() const { return m_fileButton; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    QTimer *statusTimer() const { return m_statusTimer; }
    QTimer *progressTimer() const { return m_progressTimer; }

protected:
    void closeEvent(QCloseEvent *event) override;

protected slots:
    void buttonClickHandler();
    void pushJobHandler(const QList<QString> &pushList);
    void acceptFileHandler(const QStringList &files);
    void acceptFolderHandler(const QString &folder);
    void metadataChangeHandler();
    void cancelClickHandler();
    void statusHandler();
    void updateProgress();
    void finishReplace();

private:
    void updateView();
    void choosePath(const QString &path);
    bool pushAllowed() const;
    void startReplace();
    void continueStart();
    void jobLockChecked(const QString &jobId, bool elsewhere, const QString &lockText);
    void jobLockCheckFailed(const QString &jobId, const QString &serverAnswer);
    void lockAnswered(bool isSet);
    void release();
    void warn(const QString &text);

    QPointer<CheckPoint> m_checkPoint;
    const QString m_jobId;
    QString m_jobName;
    // The job as it was when the dialog opened; a refresh of the
    // checkpoint meanwhile changes nothing here.
    CheckPointJobData m_job;
    SubstituteFilePtr m_file;
    int m_state = Choose;
    QString m_path;
    PushJobInfo m_pushInfo;
    QList<MetadataToFill> m_toFill;

    bool m_startRequested = false;
    bool m_startWaitsForCheck = false;
    bool m_startWaitsForLock = false;
    bool m_lockSettled = false;
    bool m_ending = false;

    HeaderLabel *m_title;
    DragDropPanel *m_dropPanel;
    QLabel *m_statusLabel;
    MetadataExplorer *m_explorer;
    PushJobWidget *m_pushWidget;
    QWidget *m_filler;
    QProgressBar *m_progress;
    QTimer *m_statusTimer;
    QTimer *m_progressTimer;
    QPushButton *m_folderButton;
    QPushButton *m_fileButton;
    QPushButton *m_cancelButton;
};

} // namespace Client
