#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include "ServerProxy.h"
#include "SubmitPoint.h"
#include "SubmittedFile.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace Client {

class DragDropPanel;
class HeaderLabel;
class MetadataExplorer;

// The right-hand side of the Submit Points page: with a point chosen it
// makes new jobs from files and folders; with a job chosen it shows the
// job's path, name and metadata and starts or cancels its transfer.
class SubmittedFileView : public QWidget
{
    Q_OBJECT

public:
    enum Mode { EmptyMode, PointMode, JobMode };

    explicit SubmittedFileView(const ServerProxyPtr &proxy, QWidget *parent = nullptr);

    Mode mode() const { return m_mode; }
    SubmittedFilePtr currentJob() const { return m_job; }
    SubmitPointPtr currentPoint() const { return m_point; }
    // Back to the empty form, nothing chosen.
    void reset();

    HeaderLabel *title() const { return m_title; }
    QLabel *pathCaption() const { return m_pathCaption; }
    QLabel *noteLabel() const { return m_noteLabel; }
    DragDropPanel *dropPanel() const { return m_dropPanel; }
    QPushButton *addFileButton() const { return m_addFileButton; }
    QPushButton *addFolderButton() const { return m_addFolderButton; }
    QPushButton *beginButton() const { return m_beginButton; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    QLineEdit *jobNameEdit() const { return m_jobNameEdit; }
    MetadataExplorer *explorer() const { return m_explorer; }
    QString lastChosenFilePath() const { return m_lastFilePath; }
    QString lastChosenFolderPath() const { return m_lastFolderPath; }

signals:
    // The job that was shown, already dropped from the upload queue; the
    // page takes it off its point.
    void jobCanceled(const SubmittedFilePtr &job);
    // New jobs were made for the current point.
    void UpdateRequired();

public slots:
    void SetSubmitPoint(const SubmitPointPtr &point);
    void SetSubmittedFile(const SubmittedFilePtr &job);
    void AddFileClicked();
    void AddFolderClicked();
    void FilesAdded(const QStringList &files);
    void FolderAdded(const QString &path);
    void BeginTransmitClicked();
    void CancelClicked();
    void OnSubmitFinished();
    void JobNameChanged();
    void updateMetadata();
    void metadataUpdated_J();

private:
    void setMode(Mode mode);
    void releaseJob();
    // Enables the job's controls by where its transfer stands.
    void applyJobState();

    ServerProxyPtr m_proxy;
    SubmittedFilePtr m_job;
    SubmitPointPtr m_point;
    Mode m_mode = EmptyMode;
    bool m_modeShown = false;

    HeaderLabel *m_title;
    QLabel *m_pathCaption;
    QLabel *m_jobNameCaption;
    QPushButton *m_addFileButton;
    QPushButton *m_addFolderButton;
    QPushButton *m_cancelButton;
    QPushButton *m_beginButton;
    QLineEdit *m_jobNameEdit;
    DragDropPanel *m_dropPanel;
    MetadataExplorer *m_explorer;
    QWidget *m_spacer;
    QLabel *m_noteLabel;

    QString m_lastFolderPath;
    QString m_lastFilePath;
};

} // namespace Client
