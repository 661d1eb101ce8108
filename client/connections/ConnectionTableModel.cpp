#include "ConnectionTableModel.h"

#include "ConnectionNames.h"
#include "ServerConnection.h"
#include "WorkFlags.h"

#include <QDateTime>
#include <QLocale>

ConnectionTableModel::ConnectionTableModel(const ServerProxyPtr &proxy, QObject *parent)
    : QAbstractTableModel(parent)
    , m_proxy(proxy)
{
    if (!m_proxy)
        return;
    ServerProxy *source = m_proxy.get();
    connect(source, &ServerProxy::connectionAboutToBeAdded, this,
        &ConnectionTableModel::connectionAboutToBeAdded);
    connect(source, &ServerProxy::connectionAdded, this, &ConnectionTableModel::connectionAdded);
    connect(source, &ServerProxy::connectionAboutToBeRemoved, this,
        &ConnectionTableModel::connectionAboutToBeRemoved);
    connect(source, &ServerProxy::connectionRemoved, this, &ConnectionTableModel::connectionRemoved);
}

ConnectionTableModel::~ConnectionTableModel() = default;

int ConnectionTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_proxy ? 0 : m_proxy->getConnectionCount();
}

int ConnectionTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ConnectionTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const ServerConnection *connection = connectionAt(index.row());
    if (!connection)
        return QVariant();
    switch (index.column()) {
    case EnabledColumn:
        if (role != Qt::CheckStateRole)
            return QVariant();
        if (!connection->settings().enabled)
            return Qt::Unchecked;
        return connection->isOnline() ? Qt::Checked : Qt::PartiallyChecked;
    case ServerNameColumn:
        if (role == Qt::DisplayRole || role == SortRole) {
            const QString name = connection->serverName();
            return name.isEmpty() ? connection->settings().host : name;
        }
        return QVariant();
    case StatusColumn:
        if (role == Qt::DisplayRole || role == SortRole)
            return connection->statusText();
        return QVariant();
    case LastCheckedColumn: {
        const QDateTime checked = connection->lastCheckTime();
        if (role == SortRole)
            return checked;
        if (role == Qt::DisplayRole)
            return checked.isValid() ? QLocale::system().toString(checked, QLocale::ShortFormat) : QString();
        return QVariant();
    }
    default:
        return QVariant();
    }
}

QVariant ConnectionTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case EnabledColumn:
        return tr("Enabled");
    case ServerNameColumn:
        return tr("Server name");
    case StatusColumn:
        return tr("Status");
    case LastCheckedColumn:
        return tr("Last checked");
    default:
        return QVariant();
    }
}

ServerConnection *ConnectionTableModel::addConnection()
{
    if (!m_proxy)
        return nullptr;
    const int index = m_proxy->addConnection(QString(), QString(), QString(), ConnectionNames::kDefaultPort);
    ServerConnection *connection = m_proxy->getConnection(index);
    if (connection)
        connection->setConnectionId(ServerConnection::nextConnectionId());
    return connection;
}

void ConnectionTableModel::removeConnection(ServerConnection *connection)
{
    if (!m_proxy || !connection)
        return;
    for (int row = rowCount() - 1; row >= 0; --row) {
        if (m_proxy->getConnection(row) == connection)
            m_proxy->removeConnection(row);
    }
}

void ConnectionTableModel::updateConnection(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    m_proxy->startUpdatingConData(m_proxy->getConnection(row), UpdateFlags::All);
    updateRow(row);
}

void ConnectionTableModel::updateAllConnections()
{
    if (!m_proxy)
        return;
    m_proxy->startUpdatingData(UpdateFlags::All);
    updateRow(-1);
}

QModelIndex ConnectionTableModel::indexOfConnection(const ServerConnection *connection) const
{
    const int count = rowCount();
    for (int row = 0; row < count; ++row) {
        if (m_proxy->getConnection(row) == connection)
            return index(row, ServerNameColumn);
    }
    return QModelIndex();
}

ServerConnection *ConnectionTableModel::connectionAt(int row) const
{
    return m_proxy ? m_proxy->getConnection(row) : nullptr;
}

void ConnectionTableModel::updateRow(int row)
{
    const int count = rowCount();
    if (count == 0)
        return;
    if (row >= 0 && row < count)
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    else
        emit dataChanged(index(0, 0), index(count - 1, ColumnCount - 1));
}

void ConnectionTableModel::connectionAboutToBeAdded(int index)
{
    beginInsertRows(QModelIndex(), index, index);
}

void ConnectionTableModel::connectionAdded(int index)
{
    Q_UNUSED(index);
    endInsertRows();
}

void ConnectionTableModel::connectionAboutToBeRemoved(int index)
{
    beginRemoveRows(QModelIndex(), index, index);
}

void ConnectionTableModel::connectionRemoved(int index)
{
    Q_UNUSED(index);
    endRemoveRows();
}
