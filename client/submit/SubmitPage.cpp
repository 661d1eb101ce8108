#include "SubmitPage.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include "PageLayout.h"
#include "SavedSubmissions.h"
#include "ServerConnection.h"
#include "SubmitNames.h"
#include "SubmitPointsView.h"
#include "SubmitStatus.h"
#include "SubmittedFileView.h"
#include "SubmittedFilesModel.h"
#include "SubmittedFilesView.h"
#include "UpdateControl.h"
#include "WorkFlags.h"

namespace Client {

namespace {

// The first submit point of the proxy's usable lists that the saved job
// was made for.
SubmitPointPtr findPoint(const ServerProxyPtr &proxy, const SavedSubmissions::SavedJob &saved)
{
    const int count = proxy->getConnectionCount();
    for (int i = 0; i < count; ++i) {
        ServerConnection *connection = proxy->getConnection(i);
        if (!connection)
            continue;
        // The server as applied, whatever the form holds.
        const ServerConnection::ServerKey key = connection->serverKey();
        const auto flows = proxy->getFlows(connection);
        for (const auto &flow : flows) {
            const auto points = proxy->getSubmitPoints(flow);
            for (const SubmitPointPtr &point : points) {
                if (point
                    && saved.belongsTo(key.host, key.port, key.user, point->getFlowId(), point->getId()))
                    return point;
            }
        }
    }
    return SubmitPointPtr();
}

} // namespace

SubmitPage::SubmitPage(const ServerProxyPtr &proxy, QWidget *parent)
    : BaseWidget(parent)
    , m_proxy(proxy)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_horizontalSplitter = new QSplitter(Qt::Horizontal, this);
    m_horizontalSplitter->setChildrenCollapsible(false);
    layout->addWidget(m_horizontalSplitter);

    auto *left = new QFrame(m_horizontalSplitter);
    left->setFrameStyle(QFrame::Panel | QFrame::Raised);
    left->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    left->setMinimumWidth(300);
    auto *leftLayout = new QVBoxLayout(left);
    m_verticalSplitter = new QSplitter(Qt::Vertical, left);
    m_verticalSplitter->setChildrenCollapsible(false);
    leftLayout->addWidget(m_verticalSplitter);
    m_updateControl = new UpdateControl(proxy, UpdateFlags::SubmitPoints, left);
    leftLayout->addWidget(m_updateControl);

    m_pointsView = new SubmitPointsView(proxy, m_verticalSplitter);
    m_pointsView->setMinimumHeight(100);
    m_filesView = new SubmittedFilesView(m_verticalSplitter);
    m_filesView->setMinimumHeight(100);
    m_verticalSplitter->addWidget(m_pointsView);
    m_verticalSplitter->addWidget(m_filesView);

    m_jobForm = new SubmittedFileView(proxy, m_horizontalSplitter);
    m_horizontalSplitter->addWidget(left);
    m_horizontalSplitter->addWidget(m_jobForm);

    restoreLayout();

    connect(this, &BaseWidget::selected, this, &SubmitPage::loadSavedJobs);
    connect(m_pointsView, &SubmitPointsView::gotFocus, m_filesView, &SubmittedFilesView::onLostFocus);
    connect(m_filesView, &SubmittedFilesView::gotFocus, m_pointsView, &SubmitPointsView::onLostFocus);
    connect(m_pointsView, &SubmitPointsView::submitPointSelected, m_filesView,
        &SubmittedFilesView::pointSelected);
    connect(
        m_pointsView, &SubmitPointsView::submitPointSelected, m_jobForm, &SubmittedFileView::SetSubmitPoint);
    connect(m_filesView, &SubmittedFilesView::submittedFileSelected, m_jobForm,
        &SubmittedFileView::SetSubmittedFile);
    connect(m_filesView, &SubmittedFilesView::jobsChanged, m_pointsView, &SubmitPointsView::jobsChanged);
    // The point's "Jobs listed" count grows too.
    connect(m_filesView, &SubmittedFilesView::jobWasAdded, m_pointsView, &SubmitPointsView::jobsChanged);
    connect(m_jobForm, &SubmittedFileView::UpdateRequired, this, &SubmitPage::jobAdded);
    connect(m_jobForm, &SubmittedFileView::jobCanceled, this, &SubmitPage::jobCanceled);
    if (m_proxy)
        connect(m_proxy.get(), &ServerProxy::resetPages, this, &SubmitPage::resetPage);
    connect(this, &BaseWidget::selected, m_updateControl, &UpdateControl::invokeUpdate);
}

SubmitPage::~SubmitPage()
{
    saveLayout();
}

void SubmitPage::restoreLayout()
{
    PageLayout::restore(SubmitNames::layoutGroup(), m_horizontalSplitter, m_verticalSplitter,
        m_filesView->view()->header(), m_pointsView->view()->header());
}

void SubmitPage::saveLayout() const
{
    PageLayout::save(SubmitNames::layoutGroup(), m_horizontalSplitter, m_verticalSplitter,
        m_filesView->view()->header(), m_pointsView->view()->header());
}

void SubmitPage::loadSavedJobs()
{
    disconnect(this, &BaseWidget::selected, this, &SubmitPage::loadSavedJobs);
    if (!m_proxy)
        return;
    // What the last run left; read once, so that jobs made in this run are
    // never taken for saved ones.
    const QList<SavedSubmissions::SavedJob> saved = SavedSubmissions::readAll();
    for (const SavedSubmissions::SavedJob &entry : saved) {
        if (!entry.group.isEmpty() && !entry.jobName.isEmpty() && !entry.path.isEmpty())
            m_savedJobs.append(entry);
    }
    // The points may come later: from the cache file's reader or the first
    // refresh. Each refresh takes the jobs whose point it brought.
    if (!m_savedJobs.isEmpty())
        connect(m_proxy.get(), &ServerProxy::updateSubmitPointsRequest, this, &SubmitPage::restoreSavedJobs);
    restoreSavedJobs();
}

void SubmitPage::restoreSavedJobs()
{
    bool queued = false;
    for (auto it = m_savedJobs.begin(); it != m_savedJobs.end();) {
        // One saved entry is one job: restored on the first point that fits.
        const SubmitPointPtr point = findPoint(m_proxy, *it);
        if (!point) {
            ++it;
            continue;
        }
        const SubmittedFilePtr job = point->restoreJob(*it);
        if (job && job->getStatus() == SubmitStatus::WaitingConnection) {
            m_proxy->queueSubmitFile(point, job);
            queued = true;
        }
        it = m_savedJobs.erase(it);
    }
    if (m_savedJobs.isEmpty())
        disconnect(
            m_proxy.get(), &ServerProxy::updateSubmitPointsRequest, this, &SubmitPage::restoreSavedJobs);
    if (queued)
        m_proxy->performQueuedActions();
}

void SubmitPage::resetPage()
{
    m_pointsView->reset();
    m_filesView->reset();
    m_jobForm->SetSubmitPoint(SubmitPointPtr());
    m_jobForm->SetSubmittedFile(SubmittedFilePtr());
    m_jobForm->reset();
}

void SubmitPage::jobAdded()
{
    const SubmitPointPtr point = m_filesView->submitPoint();
    const int row = m_filesView->selectedRow();
    if (!point || row < 0)
        return;
    const SubmittedFilePtr job = m_filesView->model()->fileAt(row);
    if (job)
        m_jobForm->SetSubmittedFile(job);
    m_filesView->onGotFocus();
}

void SubmitPage::jobCanceled(const SubmittedFilePtr &job)
{
    const SubmitPointPtr formPoint = m_jobForm->currentPoint();
    m_jobForm->SetSubmitPoint(m_filesView->submitPoint());
    m_pointsView->onGotFocus();
    if (!job)
        return;
    if (m_filesView->model()->rowOf(job.get()) >= 0)
        m_filesView->jobCanceled(job);
    else if (formPoint)
        formPoint->removeJob(job.get());
}

} // namespace Client
