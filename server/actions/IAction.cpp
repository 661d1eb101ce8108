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
    return m_connection && m_connection->ping();
}
