#include "SelectionFrame.h"

#include "AcceptThread.h"
#include "CheckPoint.h"
#include "DownloadType.h"
#include "FileHandler.h"
#include "HeaderLabel.h"
#include "JobPanelNames.h"
#include "MetadataExplorer.h"
#include "PushJobWidget.h"
#include "ReplaceJobDialog.h"
#include "ServerConnection.h"
#include "ShellSupport.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace Client {

namespace {

// A push of the job is on its way; pushing again would send it twice.
constexpr int kPushBusy = 2;

} // namespace

SelectionFrame::SelectionFrame(QWidget *parent)
    : QFrame(parent)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setMinimumWidth(220);
    frame->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Expanding);
    outer->addWidget(frame);

    auto *inner = new QVBoxLayout(frame);
    auto *grid = new QGridLayout;
    inner->addLayout(grid);
    m_title = new HeaderLabel(tr("Job view"), frame);
    grid->addWidget(m_title, 0, 0, 1, 2);
    m_viewJob = new QPushButton(tr("View job..."), frame);
    m_saveJob = new QPushButton(tr("Save job as..."), frame);
    m_viewReport = new QPushButton(tr("View report..."), frame);
    m_saveReport = new QPushButton(tr("Save report as..."), frame);
    grid->addWidget(m_viewJob, 1, 0);
    grid->addWidget(m_saveJob, 1, 1);
    grid->addWidget(m_viewReport, 2, 0);
    grid->addWidget(m_saveReport, 2, 1);
    m_explorer = new MetadataExplorer(frame);
    m_filler = new QWidget(frame);
    m_filler->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    grid->addWidget(m_explorer, 3, 0, 1, 2);
    grid->addWidget(m_filler, 3, 0, 1, 2);
    m_replace = new QPushButton(tr("Replace job..."), frame);
    m_replace->setMinimumWidth(m_replace->sizeHint().width());
    grid->addWidget(m_replace, 4, 1);
    m_pushWidget = new PushJobWidget(frame, m_explorer);
    m_pushWidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    inner->addWidget(m_pushWidget);

    for (QPushButton *button : { m_saveJob, m_viewJob, m_saveReport, m_viewReport })
        connect(button, &QPushButton::clicked, this, &SelectionFrame::SaveViewBtnClicked);
    connect(m_replace, &QPushButton::clicked, this, &SelectionFrame::ReplaceJobBtnClicked);
    connect(m_explorer, &MetadataExplorer::dataChanged, this, &SelectionFrame::metadataChangeHandler);
    connect(m_pushWidget, &PushJobWidget::pushJobClicked, this, &SelectionFrame::PushJobClicked);
    clearJob();
}

SelectionFrame::~SelectionFrame()
{
    // Downloads still under way go with their connection; what was kept
    // for viewing is not needed once the panel is gone.
    for (AcceptThread *thread : m_downloads.keys())
        disconnect(thread, nullptr, this, nullptr);
    for (const QString &folder : std::as_const(m_keptFolders))
        Tamsor::FileHandler::removeFolder(folder);
}

void SelectionFrame::clearJob()
{
    m_title->setText(tr("Job view"));
    for (QPushButton *button : { m_saveJob, m_viewJob, m_saveReport, m_viewReport, m_replace })
        button->hide();
    m_explorer->hide();
    m_pushWidget->hide();
    m_filler->show();
}

void SelectionFrame::SetChechpoint(CheckPoint *checkPoint)
{
    if (!checkPoint)
        return;
    m_title->setText(tr("Checkpoint %1->%2->%3")
                         .arg(checkPoint->getServerName(), checkPoint->getFlowName(), checkPoint->getName()));
    m_checkPoint = checkPoint;
    // Also a push queued from an earlier run is told when refused.
    connect(checkPoint, &CheckPoint::pushRefused, this, &SelectionFrame::pushRefused, Qt::UniqueConnection);
    m_explorer->hide();
    m_filler->show();
    for (QPushButton *button : { m_saveJob, m_viewJob, m_saveReport, m_viewReport, m_replace })
        button->hide();
    m_pushWidget->hide();
    m_viewMode = CheckPointShown;
}

QString SelectionFrame::typedKey(const CheckPointJob *job) const
{
    const CheckPoint *checkPoint = job ? job->checkPoint() : nullptr;
    if (!checkPoint)
        return QString();
    return checkPoint->getFlowId() + QLatin1Char('\n') + checkPoint->getId() + QLatin1Char('\n')
        + job->jobId();
}

bool SelectionFrame::downloadRunning(const CheckPointJob *job, bool report) const
{
    for (auto it = m_downloads.cbegin(); it != m_downloads.cend(); ++it) {
        // A job rebuilt by a refresh is a new object: its buttons are free,
        // and viewing it asks the server again.
        if (it.value().job.get() == job && it.key()->isReport() == report)
            return true;
    }
    return false;
}

void SelectionFrame::SetJob(CheckPointJobPtr job)
{
    if (!job) {
        if (m_checkPoint)
            SetChechpoint(m_checkPoint);
        else
            clearJob();
        return;
    }
    m_job = job;
    const CheckPointJobData &record = job->record();
    m_title->setText(tr("Job: %1").arg(record.name));
    m_saveJob->show();
    m_viewJob->show();
    m_saveReport->setVisible(record.enableReportViewing);
    m_viewReport->setVisible(record.enableReportViewing);
    m_replace->setVisible(record.allowReplacing && !pushWaits());
    updateDownloadButtons();

    // What was typed for this job and not pushed yet survives a refresh.
    QList<MetadataToFill> toFill = record.requiredMetadata;
    const QList<MetadataToFill> typed = m_typed.value(typedKey(job.get()));
    if (typed.size() == toFill.size()) {
        for (int i = 0; i < toFill.size(); ++i) {
            if (typed.at(i).label == toFill.at(i).label)
                toFill[i].value = typed.at(i).value;
        }
    }
    const bool waiting = pushWaits();
    m_loading = true;
    m_explorer->loadMetadata(&toFill, record.metadata, waiting);
    m_loading = false;
    m_explorer->setEnabled(!waiting);
    m_explorer->show();
    m_pushWidget->setJob(record);
    m_pushWidget->setPushEnabled(pushAllowed());
    m_pushWidget->show();
    m_viewMode = JobShown;
    m_filler->hide();
}

void SelectionFrame::updateDownloadButtons()
{
    if (!m_job)
        return;
    const bool jobFree = m_job->downloadState() != CheckPointJob::Downloading && !pushWaits()
        && !downloadRunning(m_job.get(), false);
    m_saveJob->setEnabled(jobFree);
    m_viewJob->setEnabled(jobFree);
    const bool reportFree = !m_job->record().reportFileName.isEmpty() && !downloadRunning(m_job.get(), true);
    m_saveReport->setEnabled(reportFree);
    m_viewReport->setEnabled(reportFree);
}

bool SelectionFrame::pushAllowed() const
{
    if (!m_job)
        return false;
    const int status = m_job->status();
    return m_explorer->isValid() && !pushWaits() && status != kPushBusy;
}

bool SelectionFrame::pushWaits() const
{
    if (!m_job || m_job->status() != CheckPointJobData::kPushWaiting)
        return false;
    // One whose answer was lost may be pushed again, after a warning.
    const CheckPoint *checkPoint = m_job->checkPoint();
    return !checkPoint || !checkPoint->isPushUnanswered(m_job->jobId());
}

void SelectionFrame::updateAll()
{
    if (m_viewMode == CheckPointShown)
        SetChechpoint(m_checkPoint);
    else if (m_viewMode == JobShown)
        SetJob(m_job);
}

void SelectionFrame::aboutUpdateRequestHandler() { }

void SelectionFrame::metadataChangeHandler()
{
    if (!m_job || m_loading)
        return;
    m_typed.insert(typedKey(m_job.get()), m_explorer->metadataToFill());
    m_pushWidget->setPushEnabled(pushAllowed());
}

void SelectionFrame::warn(const QString &text)
{
    QMessageBox::warning(this, tr("Warning"), text, QMessageBox::Ok);
}

void SelectionFrame::hook(ServerConnection *connection)
{
    const bool known = std::any_of(m_hooked.cbegin(), m_hooked.cend(),
        [connection](const QPointer<ServerConnection> &hooked) { return hooked == connection; });
    if (known)
        return;
    m_hooked.removeAll(QPointer<ServerConnection>());
    m_hooked.append(connection);
    connect(connection, &ServerConnection::acceptStarted, this, &SelectionFrame::OnAcceptStarted);
    connect(connection, &ServerConnection::acceptFinished, this, &SelectionFrame::OnAcceptFinithed);
}

void SelectionFrame::askLock(const LockWait &wait)
{
    if (!wait.checkPoint || !wait.job)
        return;
    m_lockWaits.removeIf([](const LockWait &pending) { return !pending.checkPoint; });
    // A click that waits already is not asked twice; any other click gets
    // its own check and its own answer.
    for (const LockWait &pending : std::as_const(m_lockWaits)) {
        if (pending.checkPoint == wait.checkPoint && pending.job && pending.job->jobId() == wait.job->jobId()
            && pending.what == wait.what && pending.request == wait.request
            && pending.downloadType == wait.downloadType)
            return;
    }
    m_lockWaits.append(wait);
    connect(wait.checkPoint, &CheckPoint::jobLockChecked, this, &SelectionFrame::jobLockChecked,
        Qt::UniqueConnection);
    connect(wait.checkPoint, &CheckPoint::jobLockCheckFailed, this, &SelectionFrame::jobLockCheckFailed,
        Qt::UniqueConnection);
    wait.checkPoint->checkJobLock(wait.job->jobId());
}

int SelectionFrame::waitingClicks() const
{
    return int(std::count_if(m_lockWaits.cbegin(), m_lockWaits.cend(),
        [](const LockWait &wait) { return !wait.checkPoint.isNull(); }));
}

SelectionFrame::LockWait SelectionFrame::takeLockWait(const QString &jobId)
{
    const QObject *from = sender();
    // A checkpoint that went takes its checks with it.
    m_lockWaits.removeIf([](const LockWait &wait) { return !wait.checkPoint; });
    for (int i = 0; i < m_lockWaits.size(); ++i) {
        const LockWait &wait = m_lockWaits.at(i);
        if (wait.checkPoint == from && wait.job && wait.job->jobId() == jobId)
            return m_lockWaits.takeAt(i);
    }
    return LockWait();
}

void SelectionFrame::jobLockCheckFailed(const QString &jobId, const QString &serverAnswer)
{
    const LockWait wait = takeLockWait(jobId);
    if (wait.what == Waiting::Nothing)
        return;
    // A push waits for its server in the proxy's queue, marked in the list;
    // a lock held elsewhere is found when it is sent.
    if (wait.what == Waiting::Push) {
        carryOutPush(wait);
        return;
    }
    warn(serverAnswer.isEmpty()
            ? tr("Can't connect to server. Try later.")
            : tr("The server could not tell whether the job is locked: %1").arg(serverAnswer));
}

void SelectionFrame::jobLockChecked(const QString &jobId, bool elsewhere, const QString &lockText)
{
    const LockWait wait = takeLockWait(jobId);
    if (wait.what == Waiting::Nothing)
        return;
    if (wait.what == Waiting::Replace) {
        replaceJob(wait, elsewhere, lockText);
        return;
    }
    if (elsewhere) {
        warn(tr("User '%1' is currently replacing this job. Try later.").arg(lockText));
        return;
    }
    if (wait.what == Waiting::Download) {
        startDownload(wait);
        return;
    }
    carryOutPush(wait);
}

void SelectionFrame::reset()
{
    clearJob();
    m_job = CheckPointJobPtr();
    m_checkPoint = nullptr;
    m_viewMode = NothingShown;
}

void SelectionFrame::SaveViewBtnClicked()
{
    QObject *button = sender();
    CheckPoint *checkPoint = m_checkPoint;
    if (!m_job || !checkPoint)
        return;
    // The lock check tells whether the server answers; nothing here waits.
    if (!checkPoint->getConnection()) {
        warn(tr("Can't connect to server. Try later."));
        return;
    }
    LockWait wait;
    wait.what = Waiting::Download;
    wait.job = m_job;
    wait.checkPoint = checkPoint;
    wait.request = button == m_saveJob || button == m_saveReport ? Save : View;
    wait.downloadType
        = button == m_saveReport || button == m_viewReport ? DownloadType::Report : DownloadType::Job;
    askLock(wait);
}

void SelectionFrame::startDownload(const LockWait &wait)
{
    CheckPoint *checkPoint = wait.checkPoint;
    ServerConnection *connection = checkPoint ? checkPoint->getConnection() : nullptr;
    if (!connection)
        return;
    const bool report = wait.downloadType == DownloadType::Report;
    if (wait.request == View) {
        const QString earlier = report ? wait.job->reportPath() : wait.job->jobPath();
        const bool fresh = report || wait.job->downloadState() == CheckPointJob::Downloaded;
        if (fresh && !earlier.isEmpty() && QFileInfo::exists(earlier)) {
            openWithShell(this, QFileInfo(earlier));
            return;
        }
    }
    hook(connection);
    // The thread announces itself before acceptJob() returns.
    m_starting = { wait.job, wait.checkPoint, wait.request };
    m_startingSet = true;
    AcceptThread *thread = connection->acceptJob(
        checkPoint->getFlowId(), checkPoint->getId(), wait.job->jobId(), wait.downloadType, wait.request);
    m_startingSet = false;
    m_starting = Download();
    if (!thread)
        warn(tr("Can't connect to server. Try later."));
}

void SelectionFrame::OnAcceptStarted(AcceptThread *thread)
{
    // Only the downloads this panel asked for are its own.
    if (!m_startingSet || !thread)
        return;
    m_startingSet = false;
    const Download download = m_starting;
    m_downloads.insert(thread, download);
    // A thread that goes with its connection never finishes.
    connect(thread, &QObject::destroyed, this, [this, thread] {
        const Download gone = m_downloads.take(thread);
        if (gone.job && gone.job->downloadState() == CheckPointJob::Downloading)
            gone.job->setDownloadState(CheckPointJob::NotDownloaded);
        updateDownloadButtons();
    });
    if (!thread->isReport())
        download.job->setDownloadState(CheckPointJob::Downloading);
    if (m_job && m_job == download.job)
        updateDownloadButtons();
}

void SelectionFrame::OnAcceptFinithed(AcceptThread *thread, const QString &path)
{
    if (!m_downloads.contains(thread))
        return;
    disconnect(thread, &QObject::destroyed, this, nullptr);
    const Download download = m_downloads.take(thread);
    const bool report = thread->isReport();
    const bool nothingThere = thread->serverHadNothing();
    const QString folder = path.isEmpty() ? QString() : thread->takeFolder();
    thread->deleteLater();
    CheckPointJob *job = download.job.get();
    if (!report)
        job->setDownloadState(CheckPointJob::Downloaded);
    if (m_job && m_job == download.job)
        updateDownloadButtons();
    const QString name = job->record().name;

    if (path.isEmpty()) {
        if (thread->breach() != CallBounds::Breach::None) {
            warn(tr("%1 could not be downloaded: %2")
                     .arg(name, ServerConnection::failureText(thread->lastError(), thread->breach())));
        } else if (!nothingThere) {
            warn(tr("%1 could not be downloaded. Try later.").arg(name));
        } else if (report) {
            // Nothing to ask for again until the job is shown anew.
            if (m_job && m_job == download.job) {
                m_saveReport->setEnabled(false);
                m_viewReport->setEnabled(false);
            }
            warn(tr("Report for job <%1> was deleted or processed").arg(name));
        } else {
            warn(tr("%1 was deleted or processed").arg(name));
            // Only this job leaves the lists, and only here: nothing goes
            // to the server.
            PushJobInfo info;
            info.jobId = job->jobId();
            info.jobName = name;
            info.push = false;
            handOver(download.checkPoint, info);
        }
        return;
    }

    const QString earlier = report ? job->reportPath() : job->jobPath();
    if (!earlier.isEmpty()) {
        const QString earlierFolder = QFileInfo(earlier).absolutePath();
        if (earlierFolder != folder)
            dropFolder(earlierFolder);
    }
    if (report)
        job->setReportPath(path);
    else
        job->setJobPath(path);

    if (download.request == Save) {
        finishSave(download, report, path, folder);
        return;
    }
    keepFolder(folder);
    openWithShell(this, QFileInfo(path));
}

void SelectionFrame::finishSave(
    const Download &download, bool report, const QString &path, const QString &folder)
{
    const CheckPointJob *job = download.job.get();
    const QString proposedName = report ? QFileInfo(job->record().name).baseName() + QLatin1Char('.')
            + QFileInfo(job->record().reportFileName).suffix()
                                        : QFileInfo(path).fileName();
    QSettings settings;
    const QString lastFolder = dialogFolder(settings.value(JobPanelNames::lastSavedPathKey()).toString());
    const QString target = QFileDialog::getSaveFileName(this, tr("Save file"),
        lastFolder + QLatin1Char('/') + proposedName, tr("All files ") + QStringLiteral("(*)"));
    if (target.isEmpty()) {
        Tamsor::FileHandler::removeFolder(folder);
        return;
    }
    // The dialog has asked before an existing file is replaced.
    if (!Tamsor::FileHandler::rename(path, target, true)) {
        // The download stays where it is, and is not cleaned up later.
        warn(tr("%1 could not be saved. The download stays at %2.")
                 .arg(QDir::toNativeSeparators(target), QDir::toNativeSeparators(path)));
        return;
    }
    settings.setValue(JobPanelNames::lastSavedPathKey(), QFileInfo(target).absolutePath());
    Tamsor::FileHandler::removeFolder(folder);
}

void SelectionFrame::keepFolder(const QString &folder)
{
    if (!folder.isEmpty() && !m_keptFolders.contains(folder))
        m_keptFolders.append(folder);
}

void SelectionFrame::dropFolder(const QString &folder)
{
    if (m_keptFolders.removeAll(folder) > 0)
        Tamsor::FileHandler::removeFolder(folder);
}

} // namespace Client
