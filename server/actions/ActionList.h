#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class IAction;
class ServerConnection;

// The actions waiting for their server. Owns what it queues: an action
// found done by a perform pass, or reporting itself done later, is
// removed and deleted. Lives in the GUI thread; a connection's
// connected(ServerConnection*) runs that connection's actions.
class ActionList : public QObject
{
    Q_OBJECT

public:
    explicit ActionList(QObject *parent = nullptr);
    ~ActionList() override;

    // Queues the action when it has a connection and returns true; an
    // action without one stays the caller's.
    bool addAction(IAction *action);
    // Takes the action out of the queue without deleting it.
    bool removeAction(IAction *action);
    // Deletes the queued actions of a connection that goes away.
    void removeActionsOf(const ServerConnection *connection);

    bool contains(const IAction *action) const;
    int count() const;
    QList<IAction *> actions() const;

    // Delay before actions left waiting on an online connection are tried
    // again.
    int retryInterval() const { return m_retryTimer.interval(); }
    void setRetryInterval(int ms) { m_retryTimer.setInterval(ms); }

public slots:
    void performActions(ServerConnection *connection);
    void performAllActions();

signals:
    // At least one action was done and left the queue.
    void performed();

private:
    void perform(ServerConnection *connection, bool all);
    void runPass(ServerConnection *connection, bool all);
    void actionDone(IAction *action);
    void prune();
    void scheduleRetry();
    void retry();

    QList<QPointer<IAction>> m_actions;
    // A pass may cause another (a ping that brings the server up reports
    // it at once); that one runs when the current pass has ended.
    bool m_performing = false;
    bool m_pendingAll = false;
    QList<QPointer<ServerConnection>> m_pending;
    QTimer m_retryTimer;
};
