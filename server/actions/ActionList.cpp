#include "ActionList.h"

#include "IAction.h"
#include "ServerConnection.h"

ActionList::ActionList(QObject *parent)
    : QObject(parent)
{
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setInterval(5000);
    connect(&m_retryTimer, &QTimer::timeout, this, &ActionList::retry);
}

ActionList::~ActionList()
{
    const QList<QPointer<IAction>> actions = m_actions;
    m_actions.clear();
    for (const QPointer<IAction> &action : actions)
        delete action.data();
}

bool ActionList::addAction(IAction *action)
{
    if (!action || !action->connection() || contains(action))
        return false;
    m_actions.append(action);
    connect(action, &IAction::done, this, &ActionList::actionDone, Qt::UniqueConnection);
    return true;
}

bool ActionList::removeAction(IAction *action)
{
    for (int i = 0; i < m_actions.size(); ++i) {
        if (m_actions.at(i).data() == action) {
            m_actions.removeAt(i);
            if (action)
                disconnect(action, &IAction::done, this, &ActionList::actionDone);
            return true;
        }
    }
    return false;
}

void ActionList::removeActionsOf(const ServerConnection *connection)
{
    QList<IAction *> gone;
    for (const QPointer<IAction> &action : std::as_const(m_actions)) {
        if (action && action->connection() == connection)
            gone.append(action.data());
    }
    for (IAction *action : std::as_const(gone)) {
        removeAction(action);
        delete action;
    }
    prune();
}

bool ActionList::contains(const IAction *action) const
{
    for (const QPointer<IAction> &queued : m_actions) {
        if (queued.data() == action)
            return true;
    }
    return false;
}

int ActionList::count() const
{
    int n = 0;
    for (const QPointer<IAction> &action : m_actions)
        n += action ? 1 : 0;
    return n;
}

QList<IAction *> ActionList::actions() const
{
    QList<IAction *> list;
    for (const QPointer<IAction> &action : m_actions) {
        if (action)
            list.append(action.data());
    }
    return list;
}

void ActionList::performActions(ServerConnection *connection)
{
    if (connection)
        perform(connection, false);
}

void ActionList::performAllActions()
{
    perform(nullptr, true);
}

void ActionList::perform(ServerConnection *connection, bool all)
{
    if (m_performing) {
        if (all)
            m_pendingAll = true;
        else if (!m_pending.contains(connection))
            m_pending.append(connection);
        return;
    }
    m_performing = true;
    runPass(connection, all);
    while (m_pendingAll || !m_pending.isEmpty()) {
        if (m_pendingAll) {
            m_pendingAll = false;
            m_pending.clear();
            runPass(nullptr, true);
        } else {
            const QPointer<ServerConnection> next = m_pending.takeFirst();
            if (next)
                runPass(next.data(), false);
        }
    }
    m_performing = false;
    scheduleRetry();
}

void ActionList::runPass(ServerConnection *connection, bool all)
{
    // Walks a copy: performing may queue or remove actions.
    const QList<QPointer<IAction>> snapshot = m_actions;
    QList<IAction *> finished;
    for (const QPointer<IAction> &action : snapshot) {
        if (!action || !contains(action.data()))
            continue;
        if (!all && action->connection() != connection)
            continue;
        if (action->perform() && action)
            finished.append(action.data());
    }
    int removed = 0;
    for (IAction *action : std::as_const(finished)) {
        if (removeAction(action)) {
            delete action;
            ++removed;
        }
    }
    prune();
    if (removed > 0)
        emit performed();
}

void ActionList::actionDone(IAction *action)
{
    if (!removeAction(action))
        return;
    // It may be in the middle of emitting.
    action->deleteLater();
    emit performed();
}

void ActionList::prune()
{
    m_actions.removeAll(QPointer<IAction>());
}

void ActionList::scheduleRetry()
{
    if (m_retryTimer.isActive())
        return;
    for (const QPointer<IAction> &action : std::as_const(m_actions)) {
        ServerConnection *connection = action ? action->connection() : nullptr;
        if (connection && connection->isOnline() && action->isWaiting()) {
            m_retryTimer.start();
            return;
        }
    }
}

void ActionList::retry()
{
    QList<QPointer<ServerConnection>> due;
    for (const QPointer<IAction> &action : std::as_const(m_actions)) {
        ServerConnection *connection = action ? action->connection() : nullptr;
        if (connection && connection->isOnline() && action->isWaiting() && !due.contains(connection))
            due.append(connection);
    }
    for (const QPointer<ServerConnection> &connection : std::as_const(due)) {
        if (connection)
            performActions(connection.data());
    }
}
