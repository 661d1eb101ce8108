#include "CheckpointJobsView.h"

#include "CheckpointJobsModel.h"
#include "FocusPalettes.h"
#include "HeaderLabel.h"
#include "SortedTable.h"

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace Client {

CheckpointJobsView::CheckpointJobsView(const ServerProxyPtr &proxy, QWidget *parent)
    : QWidget(parent)
    , m_proxy(proxy)
    , m_title(new HeaderLabel(tr("Jobs"), this))
    , m_view(new QTreeView(this))
    , m_model(new CheckpointJobsModel(this))
    , m_sortModel(new QSortFilterProxyModel(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_title);
    layout->addWidget(m_view);

    m_sortModel->setSourceModel(m_model);
    m_sortModel->setSortRole(CheckpointJobsModel::SortRole);
    setUpSortedTable(m_view, m_sortModel);

    connect(m_view, &QTreeView::clicked, this, &CheckpointJobsView::itemClicked);
    connect(m_view, &QTreeView::clicked, this, &CheckpointJobsView::onGotFocus);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        &CheckpointJobsView::currentRowChanged);
    connect(m_model, &CheckpointJobsModel::updated, this, &CheckpointJobsView::onUpdated);
    if (m_proxy) {
        connect(m_proxy.get(), &ServerProxy::updateCheckPointsRequest, this, [this] { m_refreshing = true; });
        connect(m_proxy.get(), &ServerProxy::updateCheckPointsRequest, m_model,
            &CheckpointJobsModel::updateRequestHandler);
    }
}

int CheckpointJobsView::selectedRow() const
{
    const QModelIndexList selected = m_view->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : m_sortModel->mapToSource(selected.first()).row();
}

void CheckpointJobsView::selectRow(int row)
{
    const int count = m_model->rowCount();
    if (row < 0 || count == 0)
        return;
    if (row >= count)
        row = count - 1;
    const QModelIndex index = m_sortModel->mapFromSource(m_model->index(row, 0));
    m_view->selectionModel()->clearSelection();
    if (index.isValid())
        m_view->selectionModel()->select(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CheckpointJobsView::pointSelected(CheckPoint *checkPoint)
{
    if (!checkPoint)
        return;
    if (m_checkPoint)
        disconnect(m_checkPoint, &CheckPoint::jobsChanged, this, &CheckpointJobsView::checkPointJobsChanged);
    m_checkPoint = checkPoint;
    connect(checkPoint, &CheckPoint::jobsChanged, this, &CheckpointJobsView::checkPointJobsChanged,
        Qt::UniqueConnection);
    const QChar blank(QLatin1Char(' '));
    m_title->setText(tr("Jobs for %1").arg(checkPoint->getServerName(), 0, blank)
        + QStringLiteral(" -> %2").arg(checkPoint->getFlowName(), 0, blank)
        + tr(" -> %3 report").arg(checkPoint->getName(), 0, blank));
    m_refreshing = true;
    m_model->setCheckPoint(checkPoint);
    selectRow(m_model->rowOfJob(checkPoint->getSelectedJobId()));
    m_refreshing = false;
}

bool CheckpointJobsView::showsFocusedColours() const
{
    return m_view->palette().brush(QPalette::Active, QPalette::HighlightedText)
        == FocusPalettes::focused(m_view).brush(QPalette::Active, QPalette::HighlightedText);
}

void CheckpointJobsView::onUpdated()
{
    m_refreshing = true;
    CheckPoint *checkPoint = m_checkPoint;
    if (checkPoint) {
        const CheckPointJobPtr job = m_model->findJob(checkPoint->getSelectedJobId());
        if (job) {
            selectRow(m_model->rowOfJob(job->jobId()));
            if (showsFocusedColours())
                emit jobSelected(job);
        } else if (m_model->rowCount() == 0) {
            checkPoint->setSelectedJobId(noJobId());
            m_view->selectionModel()->clearSelection();
            emit jobSelected(CheckPointJobPtr());
        } else {
            // The job the user sees on top.
            const int row = m_sortModel->mapToSource(m_sortModel->index(0, 0)).row();
            const CheckPointJobPtr first = m_model->jobAt(row);
            checkPoint->setSelectedJobId(first->jobId());
            selectRow(row);
            emit jobSelected(first);
        }
    }
    m_refreshing = false;
}

void CheckpointJobsView::itemClicked(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const CheckPointJobPtr job = m_model->jobAt(m_sortModel->mapToSource(index).row());
    if (!job)
        return;
    emit jobSelected(job);
    if (m_checkPoint)
        m_checkPoint->setSelectedJobId(job->jobId());
}

void CheckpointJobsView::currentRowChanged(const QModelIndex &current)
{
    // Keys move the choice too; a press picks its row through the click
    // that follows, and a rebuild picks nothing.
    if (m_refreshing || !current.isValid() || QGuiApplication::mouseButtons() != Qt::NoButton)
        return;
    itemClicked(current);
}

void CheckpointJobsView::jobPushed(const PushJobInfo &info)
{
    CheckPoint *checkPoint = m_checkPoint;
    // The decision names its job; the selection may have moved since.
    const CheckPointJobPtr job
        = info.jobId.isEmpty() ? m_model->jobAt(selectedRow()) : m_model->findJob(info.jobId);
    if (!checkPoint || !job)
        return;
    // A push that waits already is not sent again.
    if (job->status() != CheckPointJobData::kPushWaiting) {
        // A push stays listed, marked, until the server has answered it.
        if (checkPoint->pushJob(job->jobId(), info) && !info.push)
            m_model->removeJobRow(m_model->rowOfJob(job->jobId()));
        else
            m_model->refreshRows();
    }
    onUpdated();
    emit jobsChanged();
}

void CheckpointJobsView::removePushedJob(const PushJobInfo &info)
{
    CheckPoint *checkPoint = m_checkPoint;
    const int row = info.jobId.isEmpty() ? selectedRow() : m_model->rowOfJob(info.jobId);
    const CheckPointJobPtr job = m_model->jobAt(row);
    if (!checkPoint || !job)
        return;
    m_model->removeJobRow(row);
    PushJobInfo carried = info;
    carried.push = false;
    checkPoint->pushJob(job->jobId(), carried);
    onUpdated();
    emit jobsChanged();
}

void CheckpointJobsView::checkPointJobsChanged()
{
    if (!m_checkPoint)
        return;
    m_refreshing = true;
    m_model->setCheckPoint(m_checkPoint);
    onUpdated();
    emit jobsChanged();
}

void CheckpointJobsView::reset()
{
    if (m_checkPoint)
        disconnect(m_checkPoint, &CheckPoint::jobsChanged, this, &CheckpointJobsView::checkPointJobsChanged);
    m_refreshing = true;
    m_view->selectionModel()->clearSelection();
    m_checkPoint = nullptr;
    m_title->setText(tr("Jobs"));
    m_model->setCheckPoint(nullptr);
    m_refreshing = false;
}

void CheckpointJobsView::onGotFocus()
{
    FocusPalettes::showFocused(m_view);
    emit gotFocus();
}

void CheckpointJobsView::onLostFocus()
{
    FocusPalettes::showUnfocused(m_view);
}

} // namespace Client
