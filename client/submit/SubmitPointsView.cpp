#include "SubmitPointsView.h"

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "FocusPalettes.h"
#include "HeaderLabel.h"
#include "SortedTable.h"
#include "SubmitPointsModel.h"

namespace Client {

SubmitPointsView::SubmitPointsView(const ServerProxyPtr &proxy, QWidget *parent)
    : QWidget(parent)
    , m_proxy(proxy)
    , m_view(new QTreeView(this))
    , m_model(new SubmitPointsModel(proxy, this))
    , m_sortModel(new QSortFilterProxyModel(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new HeaderLabel(tr("Submit points"), this));
    layout->addWidget(m_view);

    m_sortModel->setSourceModel(m_model);
    m_sortModel->setSortRole(Qt::DisplayRole);
    setUpSortedTable(m_view, m_sortModel);

    connect(m_view, &QTreeView::clicked, this, &SubmitPointsView::itemClicked);
    connect(m_view, &QTreeView::clicked, this, &SubmitPointsView::onGotFocus);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex &current) { currentRowChanged(current); });

    // The view remembers its row before the model rebuilds.
    if (m_proxy) {
        connect(m_proxy.get(), &ServerProxy::updateSubmitPointsRequest, this,
            &SubmitPointsView::updateRequestHandler);
        connect(m_proxy.get(), &ServerProxy::updateSubmitPointsRequest, m_model,
            &SubmitPointsModel::updateRequestHandler);
    }
    connect(m_model, &SubmitPointsModel::updated, this, &SubmitPointsView::onUpdated);
}

void SubmitPointsView::updateRequestHandler()
{
    m_refreshing = true;
    const QModelIndexList selected = m_view->selectionModel()->selectedIndexes();
    if (!selected.isEmpty())
        m_rememberedRow = selected.first().row();
}

void SubmitPointsView::onUpdated()
{
    if (m_rememberedRow >= 0) {
        const QModelIndex index = m_sortModel->index(m_rememberedRow, 0);
        if (index.isValid())
            m_view->selectionModel()->setCurrentIndex(
                index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    m_refreshing = false;
}

void SubmitPointsView::itemClicked(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const SubmitPointPtr point = m_model->pointAt(m_sortModel->mapToSource(index).row());
    if (point)
        emit submitPointSelected(point);
}

void SubmitPointsView::currentRowChanged(const QModelIndex &current)
{
    // A press picks its row through the click that follows.
    if (m_refreshing || !current.isValid() || QGuiApplication::mouseButtons() != Qt::NoButton)
        return;
    itemClicked(current);
}

void SubmitPointsView::jobsChanged()
{
    m_model->refreshAll();
}

void SubmitPointsView::reset()
{
    m_rememberedRow = -1;
    m_refreshing = true;
    m_view->selectionModel()->clearSelection();
    m_refreshing = false;
}

void SubmitPointsView::onGotFocus()
{
    FocusPalettes::showFocused(m_view);
    emit gotFocus();
}

void SubmitPointsView::onLostFocus()
{
    FocusPalettes::showUnfocused(m_view);
}

} // namespace Client
