#pragma once

#include "CheckPoint.h"
#include "ServerProxy.h"

#include <QAbstractTableModel>
#include <QList>

namespace Client {

// The checkpoints of all usable connections, flow by flow, with the
// number of jobs waiting in each. Rebuilt on every checkpoint update.
class CheckpointsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { ServerNameColumn, FlowNameColumn, CheckpointColumn, JobsWaitingColumn, ColumnCount };

    explicit CheckpointsModel(const ServerProxyPtr &proxy, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Null outside the rows.
    CheckPoint *checkPointAt(int row) const;
    int rowOf(const CheckPoint *checkPoint) const;
    // Redraws one row, or all of them for a negative row.
    void refreshRows(int row);
    void clear();

signals:
    void updated();

public slots:
    void updateRequestHandler();

private:
    ServerProxyPtr m_proxy;
    // Shared: a checkpoint the proxy lets go stays valid until the rows go.
    QList<CheckPointPtr> m_rows;
};

} // namespace Client
