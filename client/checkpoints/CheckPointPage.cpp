#include "CheckPointPage.h"

#include "CheckpointJobsView.h"
#include "CheckpointNames.h"
#include "CheckpointsModel.h"
#include "CheckpointsView.h"
#include "PageLayout.h"
#include "SelectionFrame.h"
#include "UpdateControl.h"
#include "WorkFlags.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

namespace Client {

CheckPointPage::CheckPointPage(const ServerProxyPtr &proxy, QWidget *parent)
    : BaseWidget(parent)
    , m_proxy(proxy)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_horizontalSplitter = new QSplitter(Qt::Horizontal, this);
    m_horizontalSplitter->setChildrenCollapsible(false);
    layout->addWidget(m_horizontalSplitter);

    auto *left = new QFrame(m_horizontalSplitter);
    left->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    left->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    left->setMinimumWidth(300);
    auto *leftLayout = new QVBoxLayout(left);
    m_verticalSplitter = new QSplitter(Qt::Vertical, left);
    m_verticalSplitter->setChildrenCollapsible(false);
    leftLayout->addWidget(m_verticalSplitter);
    // The checkpoints view subscribes to the proxy first: it remembers its
    // row before the models rebuild.
    m_checkpointsView = new CheckpointsView(proxy, m_verticalSplitter);
    m_checkpointsView->setMinimumHeight(100);
    m_jobsView = new CheckpointJobsView(proxy, m_verticalSplitter);
    m_jobsView->setMinimumHeight(100);
    m_verticalSplitter->addWidget(m_checkpointsView);
    m_verticalSplitter->addWidget(m_jobsView);
    m_updateControl = new UpdateControl(proxy, UpdateFlags::CheckPoints, left);
    leftLayout->addWidget(m_updateControl);

    m_jobPanel = new SelectionFrame(m_horizontalSplitter);
    m_jobPanelPlace = m_jobPanel;
    m_horizontalSplitter->addWidget(left);
    m_horizontalSplitter->addWidget(m_jobPanelPlace);

    PageLayout::restore(CheckpointNames::layoutGroup(), m_horizontalSplitter, m_verticalSplitter,
        m_jobsView->view()->header(), m_checkpointsView->view()->header());

    connect(m_checkpointsView, &CheckpointsView::gotFocus, m_jobsView, &CheckpointJobsView::onLostFocus);
    connect(m_jobsView, &CheckpointJobsView::gotFocus, m_checkpointsView, &CheckpointsView::onLostFocus);
    connect(m_checkpointsView, &CheckpointsView::checkPointSelected, m_jobsView,
        &CheckpointJobsView::pointSelected);
    connect(m_jobsView, &CheckpointJobsView::jobsChanged, m_checkpointsView, &CheckpointsView::jobPushed);
    connect(
        m_checkpointsView, &CheckpointsView::checkPointSelected, m_jobPanel, &SelectionFrame::SetChechpoint);
    connect(m_jobsView, &CheckpointJobsView::jobSelected, m_jobPanel, &SelectionFrame::SetJob);
    connect(m_jobPanel, &SelectionFrame::JobPushed, m_jobsView, &CheckpointJobsView::jobPushed);
    connect(m_jobPanel, &SelectionFrame::removePushedJob, m_jobsView, &CheckpointJobsView::removePushedJob);
    if (m_proxy)
        connect(m_proxy.get(), &ServerProxy::aboutUpdateCheckPoints, m_jobPanel,
            &SelectionFrame::aboutUpdateRequestHandler);
    if (m_proxy) {
        connect(m_proxy.get(), &ServerProxy::resetPages, this, &CheckPointPage::resetPage);
        // After the views' own handlers: the checkpoint list is rebuilt then.
        connect(m_proxy.get(), &ServerProxy::updateCheckPointsRequest, this, &CheckPointPage::dropUnlisted);
    }
    connect(this, &BaseWidget::selected, m_updateControl, &UpdateControl::invokeUpdate);
}

CheckPointPage::~CheckPointPage()
{
    PageLayout::save(CheckpointNames::layoutGroup(), m_horizontalSplitter, m_verticalSplitter,
        m_jobsView->view()->header(), m_checkpointsView->view()->header());
}

void CheckPointPage::dropUnlisted()
{
    const CheckpointsModel *listed = m_checkpointsView->model();
    const auto isListed = [listed](const CheckPoint *checkPoint) {
        for (int row = 0; row < listed->rowCount(); ++row) {
            if (listed->checkPointAt(row) == checkPoint)
                return true;
        }
        return false;
    };
    const CheckPoint *shown = m_jobsView->checkPoint();
    const CheckPoint *inPanel = m_jobPanel->currentCheckPoint();
    // An old job with working buttons would act on what the server dropped.
    if ((shown && !isListed(shown)) || (inPanel && !isListed(inPanel)))
        resetPage();
}

void CheckPointPage::resetPage()
{
    m_checkpointsView->reset();
    m_jobsView->reset();
    m_jobPanel->reset();
}

} // namespace Client
