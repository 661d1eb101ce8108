#include "CheckpointsModel.h"

#include "ServerConnection.h"

namespace Client {

CheckpointsModel::CheckpointsModel(const ServerProxyPtr &proxy, QObject *parent)
    : QAbstractTableModel(parent)
    , m_proxy(proxy)
{ }

int CheckpointsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CheckpointsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CheckpointsModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const CheckPoint *checkPoint = m_rows.at(index.row()).get();
    switch (index.column()) {
    case ServerNameColumn:
        return checkPoint->getServerName();
    case FlowNameColumn:
        return checkPoint->getFlowName();
    case CheckpointColumn:
        return checkPoint->getName();
    case JobsWaitingColumn:
        return checkPoint->getJobCount();
    default:
        return QVariant();
    }
}

QVariant CheckpointsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case ServerNameColumn:
        return tr("Server name");
    case FlowNameColumn:
        return tr("Flow name");
    case CheckpointColumn:
        return tr("Checkpoint");
    case JobsWaitingColumn:
        return tr("Jobs waiting");
    default:
        return QVariant();
    }
}

CheckPoint *CheckpointsModel::checkPointAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).get() : nullptr;
}

int CheckpointsModel::rowOf(const CheckPoint *checkPoint) const
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).get() == checkPoint)
            return row;
    }
    return -1;
}

void CheckpointsModel::refreshRows(int row)
{
    if (m_rows.isEmpty() || row >= m_rows.size())
        return;
    const int first = row < 0 ? 0 : row;
    const int last = row < 0 ? int(m_rows.size()) - 1 : row;
    emit dataChanged(index(first, 0), index(last, ColumnCount - 1));
}

void CheckpointsModel::clear()
{
    if (m_rows.isEmpty())
        return;
    beginRemoveRows(QModelIndex(), 0, int(m_rows.size()) - 1);
    m_rows.clear();
    endRemoveRows();
}

void CheckpointsModel::updateRequestHandler()
{
    clear();
    QList<CheckPointPtr> rows;
    const int count = m_proxy ? m_proxy->getConnectionCount() : 0;
    for (int i = 0; i < count; ++i) {
        ServerConnection *connection = m_proxy->getConnection(i);
        if (!connection || !connection->isUsable())
            continue;
        const QVector<FlowPtr> flows = m_proxy->getFlows(connection);
        for (const FlowPtr &flow : flows) {
            const QVector<CheckPointPtr> checkPoints = m_proxy->getCheckPoints(flow);
            for (const CheckPointPtr &checkPoint : checkPoints) {
                if (checkPoint)
                    rows.append(checkPoint);
            }
        }
    }
    if (!rows.isEmpty()) {
        beginInsertRows(QModelIndex(), 0, int(rows.size()) - 1);
        m_rows = rows;
        endInsertRows();
    }
    emit updated();
}

} // namespace Client
