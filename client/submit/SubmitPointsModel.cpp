#include "SubmitPointsModel.h"

#include "ServerConnection.h"

namespace Client {

SubmitPointsModel::SubmitPointsModel(const ServerProxyPtr &proxy, QObject *parent)
    : QAbstractTableModel(parent)
    , m_proxy(proxy)
{ }

int SubmitPointsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_points.size());
}

int SubmitPointsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SubmitPointsModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)
        || role != Qt::DisplayRole)
        return {};
    const SubmitPointPtr &point = m_points.at(index.row());
    if (!point)
        return {};
    switch (index.column()) {
    case ServerColumn:
        return point->getServerName();
    case FlowColumn:
        return point->getFlowName();
    case PointColumn:
        return point->getName();
    case JobsColumn:
        return point->getJobCount();
    default:
        return {};
    }
}

QVariant SubmitPointsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ServerColumn:
        return tr("Server name");
    case FlowColumn:
        return tr("Flow name");
    case PointColumn:
        return tr("Submit point");
    case JobsColumn:
        return tr("Jobs listed");
    case TransferredColumn:
        return tr("Transferred");
    default:
        return {};
    }
}

SubmitPointPtr SubmitPointsModel::pointAt(int row) const
{
    return row >= 0 && row < m_points.size() ? m_points.at(row) : SubmitPointPtr();
}

void SubmitPointsModel::refreshAll()
{
    if (m_points.isEmpty())
        return;
    emit dataChanged(index(0, 0), index(int(m_points.size()) - 1, ColumnCount - 1));
}

void SubmitPointsModel::updateRequestHandler()
{
    if (!m_points.isEmpty()) {
        beginRemoveRows(QModelIndex(), 0, int(m_points.size()) - 1);
        m_points.clear();
        endRemoveRows();
    }
    QVector<SubmitPointPtr> points;
    if (m_proxy) {
        const int count = m_proxy->getConnectionCount();
        for (int i = 0; i < count; ++i) {
            ServerConnection *connection = m_proxy->getConnection(i);
            if (!connection)
                continue;
            const ServerConnection::ConnectionSettings settings = connection->settings();
            if (!settings.enabled || settings.host.isEmpty() || settings.user.isEmpty() || settings.port == 0)
                continue;
            const auto flows = m_proxy->getFlows(connection);
            for (const auto &flow : flows) {
                const auto flowPoints = m_proxy->getSubmitPoints(flow);
                for (const SubmitPointPtr &point : flowPoints)
                    points.append(point);
            }
        }
    }
    if (!points.isEmpty()) {
        beginInsertRows(QModelIndex(), 0, int(points.size()) - 1);
        m_points = points;
        endInsertRows();
    }
    emit updated();
}

} // namespace Client
