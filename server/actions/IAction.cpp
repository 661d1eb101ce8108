#include "IAction.h"

#include "ServerConnection.h"

IAction::IAction(ServerConnection *connection, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
    , m_key(connection ? connection->serverKey() : ServerConnection::ServerKey())
{ }

IAction::~IAction() = default;

ServerConnection *IAction::connection() const
{
    return m_connection.data();
}

bool IAction::madeForCurrentServer() const
{
    return m_connection && m_connection->serverGeneration() == m_key.generation;
}

QString IAction::otherServerText()
{
    return tr("Not sent: the connection was pointed at another server or user since. Send it again to "
              "send it there.");
}

bool IAction::perform()
{
    // Made for a server the connection has left: nothing goes to the new one.
    if (!madeForCurrentServer())
        return false;
    // Never waits: a connection that must connect first gets a connect
    // activity, and its connected() performs the action again.
    return m_connection && !m_connection->connectFirst();
}
