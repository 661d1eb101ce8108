#pragma once

#include "BaseWidget.h"
#include "ServerProxy.h"

#include <QModelIndex>

class ConnectionTableModel;
class QPushButton;
class QSortFilterProxyModel;
class QSplitter;
class QTreeView;
class ServerConnection;

namespace Client {

class ConnectionView;

// The first page: the configured servers with their state, the form that
// edits them, and the settings that keep them. At construction it loads
// the saved connections and looks for a server installed on this machine;
// when first shown it loads the cached data and logs every connection in.
class ConnectionPage : public BaseWidget
{
    Q_OBJECT

public:
    explicit ConnectionPage(const ServerProxyPtr &proxy, QWidget *parent = nullptr);
    ~ConnectionPage() override;

    void saveConnections();
    void loginConnection(ServerConnection *connection);
    // The model row of the table's selection; -1 for none.
    int selectedRow() const;

    ConnectionTableModel *model() const { return m_model; }
    QSortFilterProxyModel *sortModel() const { return m_sortModel; }
    QTreeView *table() const { return m_table; }
    ConnectionView *view() const { return m_view; }
    QSplitter *splitter() const { return m_splitter; }
    QPushButton *removeButton() const { return m_removeButton; }
    QPushButton *addButton() const { return m_addButton; }
    QPushButton *updateButton() const { return m_updateButton; }
    QPushButton *updateAllButton() const { return m_updateAllButton; }

public slots:
    void refreshModel(bool reset);
    void addConnection();
    void removeConnection();
    void refreshConnection();
    void updateConnection();
    void updateConnection(const ServerConnection *connection);
    void updateAllConnections();
    void setupAllConnections();
    void itemClicked(const QModelIndex &index);

private:
    void buildLayout();
    void restoreLayout();
    void saveLayout();
    void loadConnections();
    void lookForLocalServer(const QStringList &savedEndpoints);
    void updateButtons();
    void showRow(int row);
    // Makes the row current and shows it in the form.
    void makeCurrent(int row);

    ServerProxyPtr m_proxy;
    ConnectionTableModel *m_model = nullptr;
    QSortFilterProxyModel *m_sortModel = nullptr;
    QTreeView *m_table = nullptr;
    ConnectionView *m_view = nullptr;
    QSplitter *m_splitter = nullptr;
    QPushButton *m_removeButton = nullptr;
    QPushButton *m_addButton = nullptr;
    QPushButton *m_updateButton = nullptr;
    QPushButton *m_updateAllButton = nullptr;
    bool m_shown = false;
};

} // namespace Client
