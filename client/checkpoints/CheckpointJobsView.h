#pragma once

#include "CheckPoint.h"
#include "CheckPointJob.h"
#include "PushJobInfo.h"
#include "ServerProxy.h"

#include <QPointer>
#include <QWidget>

class QSortFilterProxyModel;
class QTreeView;

namespace Client {

class CheckpointJobsModel;
class HeaderLabel;

// The jobs waiting at the chosen checkpoint. The job chosen in each
// checkpoint stays chosen across refreshes and changes of checkpoint.
class CheckpointJobsView : public QWidget
{
    Q_OBJECT

public:
    explicit CheckpointJobsView(const ServerProxyPtr &proxy, QWidget *parent = nullptr);

    QTreeView *view() const { return m_view; }
    CheckpointJobsModel *model() const { return m_model; }
    QSortFilterProxyModel *sortModel() const { return m_sortModel; }
    HeaderLabel *title() const { return m_title; }
    CheckPoint *checkPoint() const { return m_checkPoint.data(); }
    // The source row of the selected job; -1 for none.
    int selectedRow() const;
    // Selects a source row (past the end: the last one).
    void selectRow(int row);
    // No checkpoint, no rows, the plain title.
    void reset();

    // The id a checkpoint keeps once it had no jobs left.
    static QString noJobId() { return QStringLiteral("-1"); }

signals:
    void gotFocus();
    // Null when the checkpoint has no job left.
    void jobSelected(const CheckPointJobPtr &job);
    // The checkpoint's number of waiting jobs may have changed.
    void jobsChanged();

public slots:
    void onGotFocus();
    void onLostFocus();
    void pointSelected(CheckPoint *checkPoint);
    void onUpdated();
    void itemClicked(const QModelIndex &index);
    // The panel decided to push the selected job.
    void jobPushed(const PushJobInfo &info);
    // A replacement carried the push: the job only leaves the list.
    void removePushedJob(const PushJobInfo &info);

private:
    void currentRowChanged(const QModelIndex &current);
    void checkPointJobsChanged();
    bool showsFocusedColours() const;

    ServerProxyPtr m_proxy;
    QPointer<CheckPoint> m_checkPoint;
    HeaderLabel *m_title;
    QTreeView *m_view;
    CheckpointJobsModel *m_model;
    QSortFilterProxyModel *m_sortModel;
    // Set while the rows are rebuilt or the selection is put back.
    bool m_refreshing = false;
};

} // namespace Client
