#include "MetadataExplorer.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

#include "ColumnFit.h"
#include "MetadataExplorerDelegate.h"
#include "MetadataExplorerModel.h"

namespace Client {

MetadataExplorer::MetadataExplorer(QWidget *parent)
    : QWidget(parent)
    , m_view(new QTreeView)
    , m_model(new MetadataExplorerModel(this))
    , m_delegate(nullptr)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(tr("Metadata properties"), this));
    layout->addWidget(m_view);

    m_view->setMinimumSize(1, 1);
    m_view->header()->setSectionsMovable(false);
    m_view->setUniformRowHeights(true);
    m_view->setRootIsDecorated(false);
    m_view->setItemsExpandable(false);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked);
    m_view->setTabKeyNavigation(true);
    m_view->setModel(m_model);
    m_delegate = new MetadataExplorerDelegate(m_view, m_model);
    m_view->setItemDelegate(m_delegate);
    // Property names whole, the values get the rest.
    ColumnFit::attach(m_view->header());

    connect(m_model, &MetadataExplorerModel::metadataEdited, this, &MetadataExplorer::dataChanged);
    m_model->loadMetadata(nullptr);
}

void MetadataExplorer::loadMetadata(
    QList<MetadataToFill> *mdTF, const QList<MetadataToDisplay> &mdTD, bool isWaitingCon)
{
    m_model->loadMetadata(mdTF, mdTD, isWaitingCon);
}

bool MetadataExplorer::isValid() const
{
    return m_model->isValid();
}

QList<MetadataToFill> MetadataExplorer::metadataToFill() const
{
    return m_model->metadataToFill();
}

} // namespace Client
