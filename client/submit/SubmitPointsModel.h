#pragma once

#include <QAbstractTableModel>
#include <QVector>

#include "ServerProxy.h"
#include "SubmitPoint.h"

namespace Client {

// Every submit point of the usable connections, flow by flow, rebuilt on
// each update of the proxy's submit points.
class SubmitPointsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { ServerColumn, FlowColumn, PointColumn, JobsColumn, TransferredColumn, ColumnCount };

    explicit SubmitPointsModel(const ServerProxyPtr &proxy, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Null outside the rows.
    SubmitPointPtr pointAt(int row) const;
    // The job counts changed.
    void refreshAll();

signals:
    void updated();

public slots:
    void updateRequestHandler();

private:
    ServerProxyPtr m_proxy;
    QVector<SubmitPointPtr> m_points;
};

} // namespace Client
