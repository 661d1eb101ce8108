#pragma once

#include <QWidget>

#include "ServerProxy.h"
#include "SubmitPoint.h"

class QSortFilterProxyModel;
class QTreeView;

namespace Client {

class SubmitPointsModel;

// The submit points of all servers. The row position chosen stays chosen
// across refreshes; the job form follows the current point.
class SubmitPointsView : public QWidget
{
    Q_OBJECT

public:
    explicit SubmitPointsView(const ServerProxyPtr &proxy, QWidget *parent = nullptr);

    QTreeView *view() const { return m_view; }
    SubmitPointsModel *model() const { return m_model; }
    QSortFilterProxyModel *sortModel() const { return m_sortModel; }
    int rememberedRow() const { return m_rememberedRow; }
    // Nothing chosen and nothing to choose again.
    void reset();

signals:
    void submitPointSelected(const SubmitPointPtr &point);
    void gotFocus();

public slots:
    void jobsChanged();
    void onGotFocus();
    void onLostFocus();
    void onUpdated();
    void itemClicked(const QModelIndex &index);
    void updateRequestHandler();

private:
    void currentRowChanged(const QModelIndex &current);

    ServerProxyPtr m_proxy;
    int m_rememberedRow = -1;
    QTreeView *m_view;
    SubmitPointsModel *m_model;
    QSortFilterProxyModel *m_sortModel;
    // Set while a refresh rebuilds the rows.
    bool m_refreshing = false;
};

} // namespace Client
