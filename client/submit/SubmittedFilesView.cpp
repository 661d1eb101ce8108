#include "SubmittedFilesView.h"

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QScopedValueRollback>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "FocusPalettes.h"
#include "HeaderLabel.h"
#include "SortedTable.h"
#include "SubmittedFilesModel.h"

namespace Client {

SubmittedFilesView::SubmittedFilesView(QWidget *parent)
    : QWidget(parent)
    , m_title(new HeaderLabel(tr("Jobs"), this))
    , m_view(new QTreeView(this))
    , m_model(new SubmittedFilesModel(this))
    , m_sortModel(new QSortFilterProxyModel(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_title);
    layout->addWidget(m_view);

    m_sortModel->setSourceModel(m_model);
    m_sortModel->setSortRole(SubmittedFilesModel::SortRole);
    setUpSortedTable(m_view, m_sortModel);

    connect(m_view, &QTreeView::clicked, this, &SubmittedFilesView::itemClicked);
    connect(m_view, &QTreeView::clicked, this, &SubmittedFilesView::onGotFocus);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex &current) { currentRowChanged(current); });
}

int SubmittedFilesView::selectedRow() const
{
    const QModelIndexList selected = m_view->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return -1;
    return m_sortModel->mapToSource(selected.first()).row();
}

void SubmittedFilesView::pointSelected(const SubmitPointPtr &point)
{
    if (m_point)
        disconnect(m_point.get(), &SubmitPoint::jobAdded, this, &SubmittedFilesView::jobAdded);
    if (!point)
        return;
    const QScopedValueRollback<bool> adjusting(m_adjusting, true);
    m_point = point;
    m_title->setText(tr("Jobs for %1").arg(point->getServerName())
        + QStringLiteral(" -> %2").arg(point->getFlowName()) + tr(" -> %3 report").arg(point->getName()));
    m_model->setSubmitPoint(point);
    // After the model's own connection, so the row is there first.
    connect(point.get(), &SubmitPoint::jobAdded, this, &SubmittedFilesView::jobAdded);
    const int row = point->getSelectedJobRow();
    if (row >= 0) {
        m_view->selectionModel()->clearSelection();
        selectModelRow(row);
    }
}

void SubmittedFilesView::selectModelRow(int row)
{
    const QModelIndex index = m_sortModel->mapFromSource(m_model->index(row, 0));
    if (index.isValid())
        m_view->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void SubmittedFilesView::jobAdded()
{
    const int rows = m_model->rowCount();
    if (rows == 0 || !m_point)
        return;
    {
        const QScopedValueRollback<bool> adjusting(m_adjusting, true);
        const int row = rows - 1;
        const QModelIndex index = m_sortModel->mapFromSource(m_model->index(row, 0));
        if (!index.isValid())
            return;
        m_view->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_point->setSelectedJobRow(row);
    }
    emit jobWasAdded();
}

void SubmittedFilesView::itemClicked(const QModelIndex &index)
{
    if (!m_point || !index.isValid())
        return;
    const int row = m_sortModel->mapToSource(index).row();
    const SubmittedFilePtr job = m_model->fileAt(row);
    if (job)
        emit submittedFileSelected(job);
    m_point->setSelectedJobRow(row);
}

void SubmittedFilesView::currentRowChanged(const QModelIndex &current)
{
    // A press picks its row through the click that follows.
    if (m_adjusting || !current.isValid() || QGuiApplication::mouseButtons() != Qt::NoButton)
        return;
    itemClicked(current);
}

void SubmittedFilesView::jobCanceled(const SubmittedFilePtr &job)
{
    if (!job)
        return;
    const int row = m_model->rowOf(job.get());
    if (row < 0)
        return;
    {
        const QScopedValueRollback<bool> adjusting(m_adjusting, true);
        m_model->removeJob(row);
        m_view->selectionModel()->clearSelection();
        if (m_point)
            m_point->setSelectedJobRow(-1);
    }
    emit jobsChanged();
}

void SubmittedFilesView::reset()
{
    if (m_point)
        disconnect(m_point.get(), &SubmitPoint::jobAdded, this, &SubmittedFilesView::jobAdded);
    const QScopedValueRollback<bool> adjusting(m_adjusting, true);
    m_view->selectionModel()->clearSelection();
    m_point = SubmitPointPtr();
    m_title->setText(tr("Jobs"));
    m_model->setSubmitPoint(SubmitPointPtr());
}

void SubmittedFilesView::onGotFocus()
{
    FocusPalettes::showFocused(m_view);
    emit gotFocus();
}

void SubmittedFilesView::onLostFocus()
{
    FocusPalettes::showUnfocused(m_view);
}

} // namespace Client
