#pragma once

#include "CheckPoint.h"
#include "ServerProxy.h"

#include <QWidget>

class QSortFilterProxyModel;
class QTreeView;

namespace Client {

class CheckpointsModel;

// The checkpoints of all servers. The row position chosen stays chosen
// across refreshes.
class CheckpointsView : public QWidget
{
    Q_OBJECT

public:
    explicit CheckpointsView(const ServerProxyPtr &proxy, QWidget *parent = nullptr);

    QTreeView *view() const { return m_view; }
    CheckpointsModel *model() const { return m_model; }
    QSortFilterProxyModel *sortModel() const { return m_sortModel; }
    int rememberedRow() const { return m_rememberedRow; }
    // Forgets the row and clears the selection.
    void reset();

signals:
    void gotFocus();
    void checkPointSelected(CheckPoint *checkPoint);

public slots:
    void onGotFocus();
    void onLostFocus();
    void itemClicked(const QModelIndex &index);
    void jobPushed();
    void onUpdated();
    void updateRequestHandler();

private:
    void currentRowChanged(const QModelIndex &current);

    ServerProxyPtr m_proxy;
    int m_rememberedRow = -1;
    QTreeView *m_view;
    CheckpointsModel *m_model;
    QSortFilterProxyModel *m_sortModel;
    // Set while a refresh rebuilds the rows.
    bool m_refreshing = false;
};

} // namespace Client
