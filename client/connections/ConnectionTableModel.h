#pragma once

#include "ServerProxy.h"

#include <QAbstractTableModel>

class ServerConnection;

// The rows of the Connections page: the proxy's connections in list order,
// with their state. It stores nothing of its own; the proxy announces
// every change of its list, so rows come and go by the model protocol
// whoever adds or removes a connection.
class ConnectionTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { EnabledColumn, ServerNameColumn, StatusColumn, LastCheckedColumn, ColumnCount };
    // Raw values to sort by: names and texts, the last check as QDateTime.
    static constexpr int SortRole = Qt::UserRole;

    explicit ConnectionTableModel(const ServerProxyPtr &proxy, QObject *parent = nullptr);
    ~ConnectionTableModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // A new row at the end: empty host, user and password, the default
    // port, and the next connection id.
    ServerConnection *addConnection();
    void removeConnection(ServerConnection *connection);
    // Refreshes all data of the row's connection; nothing for other rows.
    void updateConnection(int row);
    void updateAllConnections();
    // The row's server name cell; invalid for a connection not listed.
    QModelIndex indexOfConnection(const ServerConnection *connection) const;
    ServerConnection *connectionAt(int row) const;
    // Repaints the row, or every row for one out of range.
    void updateRow(int row);

private slots:
    void connectionAboutToBeAdded(int index);
    void connectionAdded(int index);
    void connectionAboutToBeRemoved(int index);
    void connectionRemoved(int index);

private:
    ServerProxyPtr m_proxy;
};
