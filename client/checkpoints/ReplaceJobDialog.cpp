#include "ReplaceJobDialog.h"

#include "CheckPoint.h"
#include "DragDropPanel.h"
#include "FileHandler.h"
#include "HeaderLabel.h"
#include "JobPanelNames.h"
#include "MetadataExplorer.h"
#include "PushJobWidget.h"
#include "ReplaceJobThread.h"
#include "ServerConnection.h"
#include "ShellSupport.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace Client {

namespace {

constexpr int kStatusIntervalMs = 5000;
constexpr int kProgressIntervalMs = 500;
constexpr int kLockWhileReplacing = 3;
// A push of the job is on its way; pushing again would send it twice.
constexpr int kPushBusy = 2;

} // namespace

ReplaceJobDialog::ReplaceJobDialog(QWidget *parent, CheckPoint *checkPoint, const QString &jobId)
    : QDialog(parent)
    , m_checkPoint(checkPoint)
    , m_jobId(jobId)
{
    if (checkPoint)
        m_job = checkPoint->getJob(jobId);
    m_jobName = m_job.name;
    m_toFill = m_job.requiredMetadata;
    m_pushInfo.jobId = jobId;

    setSizeGripEnabled(true);
    setWindowTitle(tr("VORNEXclient - Replace job"));
    resize(330, 420);
    setMinimumSize(330, 420);

    auto *outer = new QVBoxLayout(this);
    auto *frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Expanding);
    outer->addWidget(frame);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    m_cancelButton = new QPushButton(tr("Cancel"), this);
    buttonRow->addWidget(m_cancelButton);
    outer->addLayout(buttonRow);

    auto *inner = new QVBoxLayout(frame);
    m_title = new HeaderLabel(QString(), frame);
    inner->addWidget(m_title);
    m_dropPanel = new DragDropPanel(frame, tr("Drag file or folder here to replace original job"));
    m_dropPanel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_dropPanel->setPathText(QString());
    inner->addWidget(m_dropPanel);
    auto *chooseRow = new QHBoxLayout;
    m_folderButton = new QPushButton(tr("Replace by folder..."), frame);
    m_fileButton = new QPushButton(tr("Replace by file..."), frame);
    chooseRow->addWidget(m_folderButton);
    chooseRow->addWidget(m_fileButton);
    inner->addLayout(chooseRow);
    m_explorer = new MetadataExplorer(frame);
    m_explorer->hide();
    inner->addWidget(m_explorer);
    m_pushWidget = new PushJobWidget(frame, m_explorer);
    m_pushWidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_pushWidget->hide();
    inner->addWidget(m_pushWidget);
    m_statusLabel = new QLabel(frame);
    m_statusLabel->hide();
    inner->addWidget(m_statusLabel);
    m_progress = new QProgressBar(frame);
    m_progress->hide();
    inner->addWidget(m_progress);
    m_filler = new QWidget(frame);
    m_filler->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    inner->addWidget(m_filler);

    m_statusTimer = new QTimer(this);
    m_statusTimer->setInterval(kStatusIntervalMs);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(kProgressIntervalMs);

    connect(m_dropPanel, &DragDropPanel::FilesDroped, this, &ReplaceJobDialog::acceptFileHandler);
    connect(m_dropPanel, &DragDropPanel::FolderDroped, this, &ReplaceJobDialog::acceptFolderHandler);
    connect(m_folderButton, &QPushButton::clicked, this, &ReplaceJobDialog::buttonClickHandler);
    connect(m_fileButton, &QPushButton::clicked, this, &ReplaceJobDialog::buttonClickHandler);
    connect(m_explorer, &MetadataExplorer::dataChanged, this, &ReplaceJobDialog::metadataChangeHandler);
    connect(m_pushWidget, &PushJobWidget::pushJobClicked, this, &ReplaceJobDialog::pushJobHandler);
    connect(m_statusTimer, &QTimer::timeout, this, &ReplaceJobDialog::statusHandler);
    connect(m_progressTimer, &QTimer::timeout, this, &ReplaceJobDialog::updateProgress);
    connect(m_cancelButton, &QPushButton::clicked, this, &ReplaceJobDialog::cancelClickHandler);
    if (checkPoint) {
        connect(checkPoint, &CheckPoint::jobLockChecked, this, &ReplaceJobDialog::jobLockChecked);
        connect(checkPoint, &CheckPoint::jobLockCheckFailed, this, &ReplaceJobDialog::jobLockCheckFailed);
        connect(
            checkPoint, qOverload<>(&CheckPoint::replaceFinished), this, &ReplaceJobDialog::finishReplace);
    }

    updateView();
    m_statusTimer->start();
}

ReplaceJobDialog::~ReplaceJobDialog()
{
    // Deleted without ending (its parent went): the lock still goes.
    if (!m_lockSettled)
        release();
}

QString ReplaceJobDialog::shownName() const
{
    if (m_path.isEmpty())
        return m_jobName;
    return QFileInfo(m_jobName).baseName() + QLatin1Char('.') + QFileInfo(m_path).suffix();
}

bool ReplaceJobDialog::pushAllowed() const
{
    const int status = m_checkPoint ? m_checkPoint->getJobStatus(m_jobId) : 0;
    return m_explorer->isValid() && status != CheckPointJobData::kPushWaiting && status != kPushBusy;
}

void ReplaceJobDialog::updateView()
{
    setUpdatesEnabled(false);
    m_title->setText(tr("Job: %1").arg(shownName()));
    m_dropPanel->setVisible(m_state == Choose);
    m_folderButton->setVisible(m_state == Choose);
    m_fileButton->setVisible(m_state == Choose);
    m_explorer->setVisible(m_state == Decide);
    m_pushWidget->setVisible(m_state == Decide);
    m_filler->setVisible(m_state != Decide);
    m_statusLabel->setVisible(m_state == Transfer);
    m_progress->setVisible(m_state == Transfer);
    if (m_state == Decide) {
        m_pushWidget->setPushEnabled(pushAllowed());
    } else if (m_state == Transfer && !m_startRequested) {
        const qint64 bytes = Tamsor::FileHandler::getByteCount(m_path, true);
        m_statusLabel->setText(
            tr("Transferring replacement (") + Tamsor::FileHandler::formatSize(bytes) + QLatin1Char(')'));
        m_progress->setRange(0, 0);
        m_progress->setValue(0);
    }
    setUpdatesEnabled(true);
    if (m_state == Transfer && !m_startRequested)
        startReplace();
}

void ReplaceJobDialog::choosePath(const QString &path)
{
    if (m_state != Choose || path.isEmpty() || !QFileInfo::exists(path))
        return;
    m_dropPanel->setPathText(path);
    m_path = path;
    m_state = Decide;
    // Loaded once: values typed so far survive a refused decision.
    m_explorer->loadMetadata(&m_toFill, m_job.metadata, false);
    m_pushWidget->setJob(m_job);
    updateView();
}

void ReplaceJobDialog::buttonClickHandler()
{
    if (m_state != Choose)
        return;
    const QString start
        = dialogFolder(QSettings().value(JobPanelNames::replaceLastOpenedPathKey()).toString());
    QString path;
    if (sender() == m_folderButton)
        path = QFileDialog::getExistingDirectory(this, tr("Replace by folder..."), start,
            QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    else
        path = QFileDialog::getOpenFileName(
            this, tr("Replace by file"), start, tr("All files ") + QStringLiteral("(*)"));
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    QSettings().setValue(JobPanelNames::replaceLastOpenedPathKey(), QFileInfo(path).absolutePath());
    choosePath(path);
}

void ReplaceJobDialog::acceptFileHandler(const QStringList &files)
{
    if (!files.isEmpty())
        choosePath(files.first());
}

void ReplaceJobDialog::acceptFolderHandler(const QString &folder)
{
    choosePath(folder);
}

void ReplaceJobDialog::metadataChangeHandler()
{
    if (m_state == Decide)
        m_pushWidget->setPushEnabled(pushAllowed());
}

void ReplaceJobDialog::pushJobHandler(const QList<QString> &pushList)
{
    if (m_state != Decide)
        return;
    // Checked again here: the widget's buttons may be older than the
    // metadata or the job's status.
    bool known = !pushList.isEmpty() && pushList.size() <= m_job.connections.size() && pushAllowed();
    for (const QString &id : pushList) {
        const bool listed = std::any_of(m_job.connections.cbegin(), m_job.connections.cend(),
            [&id](const JobConnection &connection) { return connection.id == id; });
        known = known && listed && pushList.count(id) == 1;
    }
    if (known) {
        m_pushInfo.push = true;
        m_pushInfo.connectionIds = pushList;
        m_pushInfo.requiredMetadata = m_explorer->metadataToFill();
        m_pushInfo.jobName = m_job.name;
        m_pushInfo.jobId = m_jobId;
        m_state = Transfer;
    }
    updateView();
}

void ReplaceJobDialog::startReplace()
{
    m_startRequested = true;
    m_statusTimer->stop();
    // The last relock check decides whether the transfer starts.
    m_startWaitsForCheck = true;
    if (m_checkPoint)
        m_checkPoint->checkJobLock(m_jobId);
}

void ReplaceJobDialog::continueStart()
{
    m_startWaitsForCheck = false;
    if (!m_checkPoint)
        return;
    if (!m_checkPoint->getConnection()) {
        warn(tr("Can't connect to server. Try later."));
        reject();
        return;
    }
    m_startWaitsForLock = true;
    // Answered to the connection, not to the dialog: the panel deletes the
    // dialog as soon as it ends, and a lock that comes back after that must
    // still be released. The checkpoint sends the release the dialog asked
    // for after the lock's answer, and looks after a lock whose answer was
    // lost.
    const QPointer<ReplaceJobDialog> self(this);
    const QPointer<CheckPoint> checkPoint(m_checkPoint);
    const QPointer<ServerConnection> connection(m_checkPoint->getConnection());
    const QString flow = m_checkPoint->getFlowId();
    const QString point = m_checkPoint->getId();
    const QString job = m_jobId;
    m_checkPoint->lockJobAsync(m_jobId, kLockWhileReplacing, connection,
        [self, checkPoint, connection, flow, point, job](bool isSet) {
            if (self) {
                self->lockAnswered(isSet);
                return;
            }
            if (isSet && !checkPoint && connection)
                connection->releaseJobLock(flow, point, job);
        });
}

void ReplaceJobDialog::lockAnswered(bool isSet)
{
    m_startWaitsForLock = false;
    if (!m_checkPoint)
        return;
    // Ended meanwhile: the checkpoint sends the release after this answer.
    if (m_ending)
        return;
    if (!isSet) {
        warn(tr("The Job <%1> can't be locked").arg(m_jobName));
        reject();
        return;
    }
    m_file = SubstituteFilePtr(
        new SubstituteFile(m_checkPoint->getFlowId(), m_checkPoint->getId(), m_jobId, m_path));
    m_file->setPushJobInfo(m_pushInfo);
    m_progressTimer->start();
    if (!m_checkPoint->replaceJob(m_file)) {
        // Another replacement of this checkpoint still runs.
        m_progressTimer->stop();
        m_file = SubstituteFilePtr();
        warn(tr("The Job <%1> was not replaced with file <%2> on server. Try later.").arg(m_jobName, m_path));
        reject();
    }
}

void ReplaceJobDialog::statusHandler()
{
    if (m_checkPoint && !m_file)
        m_checkPoint->checkJobLock(m_jobId);
}

void ReplaceJobDialog::jobLockChecked(const QString &jobId, bool elsewhere, const QString &lockText)
{
    // Once the transfer runs, the lock is ours (mode 3).
    if (jobId != m_jobId || m_file || m_ending)
        return;
    if (elsewhere) {
        m_statusTimer->stop();
        m_startWaitsForCheck = false;
        // The lock is someone else's now: releasing it would take it away
        // from them.
        m_lockSettled = true;
        warn(tr("User '%1' relocked this job").arg(lockText));
        reject();
        return;
    }
    if (m_startWaitsForCheck)
        continueStart();
}

void ReplaceJobDialog::jobLockCheckFailed(const QString &jobId, const QString &serverAnswer)
{
    // A poll that found no server changes nothing; the start needs one.
    if (jobId != m_jobId || m_file || m_ending || !m_startWaitsForCheck)
        return;
    m_startWaitsForCheck = false;
    warn(serverAnswer.isEmpty()
            ? tr("Can't connect to server. Try later.")
            : tr("The server could not tell whether the job is locked: %1").arg(serverAnswer));
    reject();
}

void ReplaceJobDialog::updateProgress()
{
    if (!m_file)
        return;
    const QString size = Tamsor::FileHandler::formatSize(m_file->getFullSize());
    switch (m_file->getStatus()) {
    case ReplaceStatus::Uploading:
    case ReplaceStatus::AllSent: {
        m_statusLabel->setText(tr("Transferring replacement (") + size + QLatin1Char(')'));
        if (m_progress->maximum() == 0)
            m_progress->setRange(0, 100);
        const qint64 total = m_file->getProgressTotal();
        if (total != 0)
            m_progress->setValue(int(double(m_file->getProgressValue()) * 100.0 / double(total)));
        break;
    }
    case ReplaceStatus::Replaced:
        m_statusLabel->setText(tr("Replacement is completed successful (") + size + QLatin1Char(')'));
        break;
    case ReplaceStatus::Failed:
        m_statusLabel->setText(tr("Replacement is completed with error (") + size + QLatin1Char(')'));
        break;
    default:
        break;
    }
}

void ReplaceJobDialog::finishReplace()
{
    // Only the end of this dialog's own transfer counts.
    if (!m_file || m_state != Transfer || !m_checkPoint)
        return;
    m_progressTimer->stop();
    updateProgress();
    if (m_progress->maximum() == 0)
        m_progress->setRange(0, 100);
    m_progress->setValue(100);
    // The checkpoint released the lock of a failed replacement itself; a
    // replaced job's lock is the server's business.
    m_lockSettled = true;
    if (m_file->getStatus() != ReplaceStatus::Replaced) {
        m_pushInfo.push = false;
        const QString path = m_file->getPath();
        const bool mayHaveArrived = m_file->mayHaveArrived();
        m_file = SubstituteFilePtr();
        if (mayHaveArrived)
            warn(
                tr("All of <%2> was sent, but the server's answer did not arrive: the job <%1> may have been "
                   "replaced all the same. Look at the checkpoint before you replace it again.")
                    .arg(m_jobName, path));
        else
            warn(tr("The Job <%1> was not replaced with file <%2> on server. Try later.")
                     .arg(m_jobName, path));
    } else {
        m_file = SubstituteFilePtr();
    }
    accept();
}

void ReplaceJobDialog::cancelClickHandler()
{
    reject();
}

void ReplaceJobDialog::closeEvent(QCloseEvent *event)
{
    // Ends as rejected through done(), which releases the lock.
    QDialog::closeEvent(event);
}

void ReplaceJobDialog::done(int result)
{
    m_ending = true;
    if (!m_lockSettled)
        release();
    QDialog::done(result);
}

void ReplaceJobDialog::release()
{
    m_statusTimer->stop();
    m_progressTimer->stop();
    m_pushInfo.push = false;
    m_lockSettled = true;
    if (!m_checkPoint) {
        m_file = SubstituteFilePtr();
        return;
    }
    const SubstituteFilePtr file = m_file;
    m_file = SubstituteFilePtr();
    if (file) {
        ReplaceJobThread *running = m_checkPoint->runningReplacement();
        if (running && running->file() == file) {
            // Stops the upload, then releases the lock once it has stopped.
            m_checkPoint->cancelReplace(file.get());
            return;
        }
        const int status = file->getStatus();
        if (status == ReplaceStatus::Replaced || status == ReplaceStatus::Failed)
            return;
    }
    m_checkPoint->releaseLock(m_jobId);
}

void ReplaceJobDialog::warn(const QString &text)
{
    QMessageBox::warning(this, tr("Warning"), text, QMessageBox::Ok);
}

} // namespace Client
