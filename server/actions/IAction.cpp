#include "IAction.h"

#include "ServerConnection.h"

IAction::IAction(ServerConnection *connection, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
{ }

IAction::~IAction() = default;

ServerConnection *IAction::connection() const
{
    return m_connection.data();
}

bool IAction::perform()
{
    // Never waits: a connection that must connect first gets a connect
    // activity, and its connected() performs the action again.
    return m_connection && !m_connection->connectFirst();
}
