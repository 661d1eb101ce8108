#pragma once

#include "BaseWidget.h"
#include "ServerProxy.h"

class QSplitter;

namespace Client {

class CheckpointJobsView;
class CheckpointsView;
class SelectionFrame;
class UpdateControl;

// The Checkpoints page: the checkpoints of all servers, the jobs waiting
// at the chosen one, and on the right the panel for the chosen job.
class CheckPointPage : public BaseWidget
{
    Q_OBJECT

public:
    explicit CheckPointPage(const ServerProxyPtr &proxy, QWidget *parent = nullptr);
    ~CheckPointPage() override;

    CheckpointsView *checkpointsView() const { return m_checkpointsView; }
    CheckpointJobsView *jobsView() const { return m_jobsView; }
    UpdateControl *updateControl() const { return m_updateControl; }
    QSplitter *horizontalSplitter() const { return m_horizontalSplitter; }
    QSplitter *verticalSplitter() const { return m_verticalSplitter; }
    // The right pane, where the job panel goes.
    QWidget *jobPanelPlace() const { return m_jobPanelPlace; }
    SelectionFrame *jobPanel() const { return m_jobPanel; }

public slots:
    void resetPage();

private:
    // After a refresh: a checkpoint the servers no longer list takes its
    // jobs and the panel with it.
    void dropUnlisted();

    CheckpointsView *m_checkpointsView;
    CheckpointJobsView *m_jobsView;
    ServerProxyPtr m_proxy;
    QWidget *m_jobPanelPlace;
    SelectionFrame *m_jobPanel;
    QSplitter *m_horizontalSplitter;
    QSplitter *m_verticalSplitter;
    UpdateControl *m_updateControl;
};

} // namespace Client
