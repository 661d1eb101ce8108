#include "CheckpointsView.h"

#include "CheckpointsModel.h"
#include "FocusPalettes.h"
#include "HeaderLabel.h"
#include "SortedTable.h"

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace Client {

CheckpointsView::CheckpointsView(const ServerProxyPtr &proxy, QWidget *parent)
    : QWidget(parent)
    , m_proxy(proxy)
    , m_view(new QTreeView(this))
    , m_model(new CheckpointsModel(proxy, this))
    , m_sortModel(new QSortFilterProxyModel(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new HeaderLabel(tr("Checkpoints"), this));
    layout->addWidget(m_view);

    m_sortModel->setSourceModel(m_model);
    setUpSortedTable(m_view, m_sortModel);

    connect(m_view, &QTreeView::clicked, this, &CheckpointsView::itemClicked);
    connect(m_view, &QTreeView::clicked, this, &CheckpointsView::onGotFocus);
    connect(m_model, &CheckpointsModel::updated, this, &CheckpointsView::onUpdated);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        &CheckpointsView::currentRowChanged);
    // The view remembers its row before the model rebuilds.
    if (m_proxy) {
        connect(m_proxy.get(), &ServerProxy::updateCheckPointsRequest, this,
            &CheckpointsView::updateRequestHandler);
        connect(m_proxy.get(), &ServerProxy::updateCheckPointsRequest, m_model,
            &CheckpointsModel::updateRequestHandler);
    }
}

void CheckpointsView::updateRequestHandler()
{
    m_refreshing = true;
    const QModelIndexList selected = m_view->selectionModel()->selectedIndexes();
    if (!selected.isEmpty())
        m_rememberedRow = selected.first().row();
}

void CheckpointsView::onUpdated()
{
    m_refreshing = false;
    if (m_rememberedRow < 0)
        return;
    const QModelIndex index = m_sortModel->index(m_rememberedRow, 0);
    if (index.isValid())
        m_view->selectionModel()->select(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CheckpointsView::currentRowChanged(const QModelIndex &current)
{
    // Keys move the choice too; a press picks its row through the click
    // that follows, and a rebuild picks nothing.
    if (m_refreshing || !current.isValid() || QGuiApplication::mouseButtons() != Qt::NoButton)
        return;
    itemClicked(current);
}

void CheckpointsView::itemClicked(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    CheckPoint *checkPoint = m_model->checkPointAt(m_sortModel->mapToSource(index).row());
    if (checkPoint)
        emit checkPointSelected(checkPoint);
}

void CheckpointsView::jobPushed()
{
    const QModelIndexList selected = m_view->selectionModel()->selectedRows();
    m_model->refreshRows(selected.isEmpty() ? -1 : m_sortModel->mapToSource(selected.first()).row());
}

void CheckpointsView::reset()
{
    m_rememberedRow = -1;
    m_view->selectionModel()->clearSelection();
}

void CheckpointsView::onGotFocus()
{
    FocusPalettes::showFocused(m_view);
    emit gotFocus();
}

void CheckpointsView::onLostFocus()
{
    FocusPalettes::showUnfocused(m_view);
}

} // namespace Client
