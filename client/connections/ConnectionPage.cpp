#include "ConnectionPage.h"

#include "ColumnFit.h"
#include "ConnectionNames.h"
#include "ConnectionStore.h"
#include "ConnectionTableModel.h"
#include "ConnectionView.h"
#include "HeaderLabel.h"
#include "LocalServerLookup.h"
#include "ServerConnection.h"
#include "TableDelegate.h"
#include "WorkFlags.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace Client {

ConnectionPage::ConnectionPage(const ServerProxyPtr &proxy, QWidget *parent)
    : BaseWidget(parent)
    , m_proxy(proxy)
{
    buildLayout();
    restoreLayout();

    connect(m_table, &QTreeView::clicked, this, &ConnectionPage::itemClicked);
    connect(m_addButton, &QPushButton::clicked, this, &ConnectionPage::addConnection);
    connect(m_removeButton, &QPushButton::clicked, this, &ConnectionPage::removeConnection);
    connect(m_updateButton, &QPushButton::clicked, this, qOverload<>(&ConnectionPage::updateConnection));
    connect(m_updateAllButton, &QPushButton::clicked, this, &ConnectionPage::updateAllConnections);
    connect(this, &BaseWidget::selected, this, &ConnectionPage::setupAllConnections);
    connect(m_view, &ConnectionView::Changed, this, &ConnectionPage::refreshConnection);
    if (m_proxy) {
        connect(m_proxy.get(), &ServerProxy::updateConnectionViewRequest, this,
            qOverload<const ServerConnection *>(&ConnectionPage::updateConnection));
        connect(
            m_proxy.get(), &ServerProxy::refreshConnectionModelRequest, this, &ConnectionPage::refreshModel);
    }
    // The selection also moves with the keyboard and when rows go.
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &ConnectionPage::updateButtons);

    loadConnections();
    updateButtons();
}

ConnectionPage::~ConnectionPage()
{
    saveConnections();
    saveLayout();
    m_proxy = ServerProxyPtr();
}

void ConnectionPage::buildLayout()
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    layout->addWidget(m_splitter);

    auto *left = new QFrame(m_splitter);
    left->setFrameStyle(QFrame::Panel | QFrame::Raised);
    left->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    auto *leftBox = new QVBoxLayout(left);
    leftBox->addWidget(new HeaderLabel(tr("Connections"), left));

    m_model = new ConnectionTableModel(m_proxy, this);
    m_sortModel = new QSortFilterProxyModel(this);
    m_sortModel->setDynamicSortFilter(true);
    m_sortModel->setFilterKeyColumn(ConnectionTableModel::ServerNameColumn);
    m_sortModel->setSortRole(ConnectionTableModel::SortRole);
    m_sortModel->setSourceModel(m_model);

    m_table = new QTreeView(left);
    m_table->setModel(m_sortModel);
    m_table->header()->setSortIndicator(ConnectionTableModel::EnabledColumn, Qt::DescendingOrder);
    m_table->header()->setSortIndicatorShown(true);
    m_table->header()->setSectionsClickable(true);
    m_table->header()->setSectionsMovable(true);
    m_table->setRootIsDecorated(false);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(ConnectionTableModel::EnabledColumn, Qt::DescendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setItemDelegate(new TableDelegate(m_table));
    m_table->setItemsExpandable(false);
    leftBox->addWidget(m_table);

    m_removeButton = new QPushButton(tr("Remove"), left);
    m_addButton = new QPushButton(tr("Add"), left);
    m_updateButton = new QPushButton(tr("Update"), left);
    m_updateAllButton = new QPushButton(tr("Update all"), left);
    const QList<QPushButton *> buttons { m_removeButton, m_addButton, m_updateButton, m_updateAllButton };
    int width = 0;
    for (const QPushButton *button : buttons)
        width = std::max(width, button->sizeHint().width());
    for (QPushButton *button : buttons)
        button->setFixedWidth(width);
    left->setMinimumWidth(4 * width + 24);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(m_addButton);
    row->addWidget(m_removeButton);
    row->addWidget(m_updateButton);
    row->addWidget(m_updateAllButton);
    leftBox->addLayout(row);

    m_view = new ConnectionView(this);
    m_splitter->addWidget(left);
    m_splitter->addWidget(m_view);
}

void ConnectionPage::restoreLayout()
{
    const QSettings settings;
    const QByteArray headers = settings.value(ConnectionNames::headersKey()).toByteArray();
    if (!headers.isEmpty())
        m_table->header()->restoreState(headers);
    else
        ColumnFit::attach(m_table->header());
    // The status says the most: spare width goes to it, not to the time.
    m_table->header()->setStretchLastSection(false);
    m_table->header()->setSectionResizeMode(ConnectionTableModel::StatusColumn, QHeaderView::Stretch);
    const QVariantList sizes = settings.value(ConnectionNames::splitterKey()).toList();
    if (!sizes.isEmpty()) {
        QList<int> widths;
        for (const QVariant &size : sizes)
            widths.append(size.toInt());
        m_splitter->setSizes(widths);
    }
}

void ConnectionPage::saveLayout()
{
    QSettings settings;
    settings.setValue(ConnectionNames::headersKey(), m_table->header()->saveState());
    QVariantList sizes;
    for (const int size : m_splitter->sizes())
        sizes.append(size);
    settings.setValue(ConnectionNames::splitterKey(), sizes);
}

void ConnectionPage::loadConnections()
{
    if (!m_proxy)
        return;
    lookForLocalServer(ConnectionStore::load(*m_model));
}

void ConnectionPage::lookForLocalServer(const QStringList &savedEndpoints)
{
    const QStringList values = LocalServerLookup::portValues(LocalServerLookup::preferencesFile());
    for (const QString &value : values) {
        const int port = LocalServerLookup::parsePort(value);
        if (port == 0)
            continue;
        const QString endpoint
            = ConnectionNames::localServerHost() + QLatin1Char(':') + QString::number(port);
        // Already configured: not a second time.
        if (savedEndpoints.contains(endpoint))
            return;
        m_proxy->tryDefaultConnection(
            ConnectionNames::localServerUser(), QString(), ConnectionNames::localServerHost(), port);
    }
}

int ConnectionPage::selectedRow() const
{
    const QModelIndexList selected = m_table->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return -1;
    return m_sortModel->mapToSource(selected.first()).row();
}

void ConnectionPage::updateButtons()
{
    const int row = selectedRow();
    m_removeButton->setEnabled(row >= 0);
    m_updateButton->setEnabled(row >= 0 && m_proxy && !m_proxy->isUpdating(row));
    m_addButton->setEnabled(true);
    m_updateAllButton->setEnabled(true);
}

void ConnectionPage::showRow(int row)
{
    m_view->setConnection(m_model->connectionAt(row));
}

void ConnectionPage::makeCurrent(int row)
{
    const QModelIndex index
        = m_sortModel->mapFromSource(m_model->index(row, ConnectionTableModel::ServerNameColumn));
    m_table->setCurrentIndex(index);
    m_table->setFocus();
    showRow(row);
    updateButtons();
}

void ConnectionPage::saveConnections()
{
    if (m_proxy)
        ConnectionStore::save(*m_proxy);
}

void ConnectionPage::loginConnection(ServerConnection *connection)
{
    if (m_proxy)
        m_proxy->startConnectionActivity(connection, ActivityFlags::Login, false);
}

void ConnectionPage::refreshModel(bool reset)
{
    // Rows are announced as they come and go; a new connection may still
    // change where the rows sort.
    if (reset)
        m_sortModel->invalidate();
    m_model->updateRow(-1);
    // The local server found at the first start is listed once it answers,
    // maybe after the first showing: it becomes the current row then, as a
    // saved one would have.
    if (m_shown && !m_table->currentIndex().isValid() && !m_view->connection() && m_model->rowCount() > 0)
        makeCurrent(m_model->rowCount() - 1);
}

void ConnectionPage::addConnection()
{
    ServerConnection *connection = m_model->addConnection();
    const QModelIndex index = m_sortModel->mapFromSource(m_model->indexOfConnection(connection));
    if (index.isValid()) {
        m_table->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    m_view->setConnection(connection);
    updateButtons();
}

void ConnectionPage::removeConnection()
{
    const int row = selectedRow();
    if (row >= 0) {
        m_model->removeConnection(m_model->connectionAt(row));
        saveConnections();
        showRow(selectedRow());
    }
    updateButtons();
}

void ConnectionPage::refreshConnection()
{
    const int row = selectedRow();
    if (row >= 0)
        m_model->updateRow(row);
}

void ConnectionPage::updateConnection()
{
    m_model->updateConnection(selectedRow());
    updateButtons();
}

void ConnectionPage::updateConnection(const ServerConnection *connection)
{
    Q_UNUSED(connection);
    m_model->updateRow(-1);
    updateButtons();
}

void ConnectionPage::updateAllConnections()
{
    m_model->updateAllConnections();
    updateButtons();
}

void ConnectionPage::setupAllConnections()
{
    // Once: the first selected() comes while the main window is still
    // being built.
    if (!disconnect(this, &BaseWidget::selected, this, &ConnectionPage::setupAllConnections))
        return;
    if (!m_proxy)
        return;
    // The servers are asked only once what they showed last is back.
    connect(
        m_proxy.get(), &ServerProxy::cachedDataLoaded, this, [this] { m_proxy->loginAllConnections(); },
        Qt::SingleShotConnection);
    m_proxy->loadCachedData();
    m_shown = true;
    if (m_model->rowCount() > 0)
        makeCurrent(0);
}

void ConnectionPage::itemClicked(const QModelIndex &index)
{
    showRow(m_sortModel->mapToSource(index).row());
    updateButtons();
}

} // namespace Client
