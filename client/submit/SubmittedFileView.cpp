#include "SubmittedFileView.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include "DragDropPanel.h"
#include "HeaderLabel.h"
#include "MetadataExplorer.h"
#include "ShellSupport.h"
#include "SubmitNames.h"
#include "SubmitStatus.h"

namespace Client {

SubmittedFileView::SubmittedFileView(const ServerProxyPtr &proxy, QWidget *parent)
    : QWidget(parent)
    , m_proxy(proxy)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setMinimumWidth(220);
    frame->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Expanding);
    outer->addWidget(frame);

    m_title = new HeaderLabel(QString(), frame);
    m_pathCaption = new QLabel(tr("File or folder path:"), frame);
    m_jobNameCaption = new QLabel(tr("Job name"), frame);
    m_addFileButton = new QPushButton(tr("Submit file..."), frame);
    m_addFolderButton = new QPushButton(tr("Submit folder..."), frame);
    m_cancelButton = new QPushButton(tr("Cancel"), frame);
    m_beginButton = new QPushButton(tr("Begin Transfer"), frame);
    m_jobNameEdit = new QLineEdit(frame);
    m_dropPanel = new DragDropPanel(frame, QString());
    // As high as the path it shows needs at the panel's width.
    m_dropPanel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    m_explorer = new MetadataExplorer(frame);
    m_spacer = new QWidget(frame);
    m_spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_noteLabel = new QLabel(frame);
    m_noteLabel->setWordWrap(true);
    m_noteLabel->setVisible(false);

    auto *layout = new QVBoxLayout(frame);
    layout->addWidget(m_title);
    layout->addWidget(m_pathCaption);
    layout->addWidget(m_dropPanel);
    auto *addRow = new QHBoxLayout;
    addRow->setContentsMargins(0, 0, 0, 0);
    addRow->addWidget(m_addFolderButton);
    addRow->addWidget(m_addFileButton);
    layout->addLayout(addRow);
    layout->addWidget(m_spacer);
    layout->addWidget(m_explorer);
    layout->addWidget(m_noteLabel);
    auto *nameRow = new QHBoxLayout;
    nameRow->setContentsMargins(0, 0, 0, 0);
    nameRow->addWidget(m_jobNameCaption);
    nameRow->addWidget(m_jobNameEdit);
    layout->addLayout(nameRow);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->addStretch();
    buttonRow->addWidget(m_cancelButton);
    buttonRow->addWidget(m_beginButton);
    layout->addLayout(buttonRow);

    const QSettings settings;
    m_lastFolderPath = settings.value(SubmitNames::lastChosenFolderPathKey(), personalFolder()).toString();
    m_lastFilePath = settings.value(SubmitNames::lastChosenFilePathKey(), personalFolder()).toString();

    connect(m_addFileButton, &QPushButton::clicked, this, &SubmittedFileView::AddFileClicked);
    connect(m_addFolderButton, &QPushButton::clicked, this, &SubmittedFileView::AddFolderClicked);
    connect(m_beginButton, &QPushButton::clicked, this, &SubmittedFileView::BeginTransmitClicked);
    connect(m_cancelButton, &QPushButton::clicked, this, &SubmittedFileView::CancelClicked);
    connect(m_jobNameEdit, &QLineEdit::editingFinished, this, &SubmittedFileView::JobNameChanged);
    connect(m_dropPanel, &DragDropPanel::FilesDroped, this, &SubmittedFileView::FilesAdded);
    connect(m_dropPanel, &DragDropPanel::FolderDroped, this, &SubmittedFileView::FolderAdded);
    connect(m_explorer, &MetadataExplorer::dataChanged, this, &SubmittedFileView::updateMetadata);

    reset();
}

void SubmittedFileView::setMode(Mode mode)
{
    if (m_modeShown && m_mode == mode)
        return;
    m_mode = mode;
    m_modeShown = true;
    setUpdatesEnabled(false);
    const bool job = mode == JobMode;
    const bool point = mode == PointMode;
    m_pathCaption->setVisible(job);
    m_dropPanel->setVisible(job || point);
    m_addFolderButton->setVisible(point);
    m_addFileButton->setVisible(point);
    m_spacer->setVisible(!job);
    m_explorer->setVisible(job);
    m_jobNameCaption->setVisible(job);
    m_jobNameEdit->setVisible(job);
    m_cancelButton->setVisible(job);
    m_beginButton->setVisible(job);
    m_noteLabel->setVisible(job && !m_noteLabel->text().isEmpty());
    setUpdatesEnabled(true);
}

void SubmittedFileView::reset()
{
    releaseJob();
    m_point = SubmitPointPtr();
    m_title->setText(tr("Job view"));
    m_dropPanel->setPathText(QString());
    m_explorer->loadMetadata(nullptr);
    setMode(EmptyMode);
}

void SubmittedFileView::releaseJob()
{
    if (m_job) {
        disconnect(m_job.get(), nullptr, this, nullptr);
        disconnect(m_explorer, &MetadataExplorer::dataChanged, this, &SubmittedFileView::metadataUpdated_J);
    }
    m_job = SubmittedFilePtr();
}

void SubmittedFileView::SetSubmitPoint(const SubmitPointPtr &point)
{
    m_point = point;
    if (!point)
        return;
    // The form no longer shows a job: its edits must not reach one.
    releaseJob();
    disconnect(m_explorer, &MetadataExplorer::dataChanged, this, &SubmittedFileView::metadataUpdated_J);
    m_title->setText(tr("Submit to %1 -> %2 -> %3")
                         .arg(point->getServerName())
                         .arg(point->getFlowName())
                         .arg(point->getName()));
    m_dropPanel->setPathText(QString());
    setMode(PointMode);
}

void SubmittedFileView::SetSubmittedFile(const SubmittedFilePtr &job)
{
    releaseJob();
    if (!job)
        return;
    m_job = job;
    const int status = job->getStatus();
    connect(
        job.get(), qOverload<>(&SubmittedFile::SubmitFinished), this, &SubmittedFileView::OnSubmitFinished);
    connect(job.get(), &SubmittedFile::StatusChanged, this, &SubmittedFileView::applyJobState);
    connect(m_explorer, &MetadataExplorer::dataChanged, this, &SubmittedFileView::metadataUpdated_J,
        Qt::UniqueConnection);

    m_title->setText(tr("Job: %1").arg(job->getJobName()));
    m_dropPanel->setPathText(job->getPath());

    // Remembered values go into the job itself, so it is sent with what
    // the form shows.
    QList<MetadataToFill> metadata = job->getMetadata();
    const QList<MetadataToFill> before = metadata;
    m_explorer->loadMetadata(&metadata, {}, status != SubmitStatus::Waiting);
    bool changed = false;
    for (int i = 0; i < metadata.size(); ++i)
        changed = changed || metadata.at(i).value != before.at(i).value;
    if (changed)
        job->setMetadata(metadata);

    m_jobNameEdit->setText(job->getJobName());
    applyJobState();
    setMode(JobMode);
}

void SubmittedFileView::applyJobState()
{
    if (!m_job)
        return;
    const int status = m_job->getStatus();
    m_beginButton->setEnabled(
        (status == SubmitStatus::Waiting || status == SubmitStatus::Error) && m_explorer->isValid());
    m_cancelButton->setEnabled(status != SubmitStatus::Verifying && status != SubmitStatus::Finished);
    m_jobNameEdit->setEnabled(status == SubmitStatus::Waiting);
    m_explorer->setEnabled(status == SubmitStatus::Waiting);
    // What a failed job may have left on the server: the user decides
    // whether to send it again.
    const QString note = status == SubmitStatus::Error || status == SubmitStatus::WaitingConnection
        ? m_job->deliveryNote()
        : QString();
    m_noteLabel->setText(note);
    m_noteLabel->setVisible(m_mode == JobMode && !note.isEmpty());
}

void SubmittedFileView::AddFileClicked()
{
    const QStringList files = QFileDialog::getOpenFileNames(
        this, tr("Add files"), dialogFolder(m_lastFilePath), tr("All files ") + QStringLiteral("(*)"));
    FilesAdded(files);
}

void SubmittedFileView::AddFolderClicked()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Choose a directory"),
        dialogFolder(m_lastFolderPath), QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    FolderAdded(folder);
}

void SubmittedFileView::FilesAdded(const QStringList &files)
{
    if (files.isEmpty() || !m_point)
        return;
    m_lastFilePath = QFileInfo(files.first()).absolutePath();
    QSettings().setValue(SubmitNames::lastChosenFilePathKey(), m_lastFilePath);
    const QList<SubmittedFilePtr> jobs = m_point->addJobs(files);
    bool added = false;
    for (const SubmittedFilePtr &job : jobs) {
        if (!job)
            continue;
        m_point->connectJob(job.get());
        added = true;
    }
    if (added)
        emit UpdateRequired();
}

void SubmittedFileView::FolderAdded(const QString &path)
{
    if (path.isEmpty())
        return;
    m_lastFolderPath = path;
    QSettings().setValue(SubmitNames::lastChosenFolderPathKey(), m_lastFolderPath);
    if (!m_point)
        return;
    const SubmittedFilePtr job = m_point->addSavedJob(path);
    if (!job)
        return;
    m_point->connectJob(job.get());
    emit UpdateRequired();
}

void SubmittedFileView::BeginTransmitClicked()
{
    if (!m_job || !m_point || !m_proxy)
        return;
    const QString path = m_job->getPath();
    if (!QFileInfo::exists(path)) {
        auto *box = new QMessageBox(QMessageBox::Warning, tr("Warning"),
            tr("\"%1\" no longer exists. Add the file or folder again to submit it.")
                .arg(QDir::toNativeSeparators(path)),
            QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    m_proxy->submitFile(m_point, m_job);
    m_beginButton->setEnabled(false);
    m_jobNameEdit->setEnabled(false);
    m_explorer->setEnabled(false);
}

void SubmittedFileView::CancelClicked()
{
    if (!m_job || !m_point)
        return;
    const SubmittedFilePtr job = m_job;
    if (m_proxy)
        m_proxy->finishSubmit(job.get());
    releaseJob();
    emit jobCanceled(job);
}

void SubmittedFileView::OnSubmitFinished()
{
    applyJobState();
    // Ended, also with an error: "Begin Transfer" starts it again, there is
    // no transfer left to cancel.
    m_cancelButton->setEnabled(false);
}

void SubmittedFileView::JobNameChanged()
{
    if (!m_job)
        return;
    const QString text = m_jobNameEdit->text();
    // A name the job refuses (empty, or not a plain name) gives way to the
    // one it has.
    if (text.isEmpty() || !m_job->setJobName(text))
        m_jobNameEdit->setText(m_job->getJobName());
    m_title->setText(tr("Job: %1").arg(m_job->getJobName()));
}

void SubmittedFileView::updateMetadata()
{
    if (!m_job)
        return;
    m_beginButton->setEnabled(m_job->getStatus() == SubmitStatus::Waiting && m_explorer->isValid());
}

void SubmittedFileView::metadataUpdated_J()
{
    if (m_job)
        m_job->setMetadata(m_explorer->metadataToFill());
}

} // namespace Client
