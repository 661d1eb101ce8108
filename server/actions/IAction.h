#pragma once

#include "ServerConnection.h"

#include <QObject>
#include <QPointer>

// A user action that needs a reachable server, bound to one connection.
// The proxy performs it at once; when it cannot be done yet it waits in
// the ActionList, which performs it again when the connection comes up.
class IAction : public QObject
{
    Q_OBJECT

public:
    explicit IAction(ServerConnection *connection, QObject *parent = nullptr);
    ~IAction() override;

    // Null when the target had none, or once the connection is gone.
    ServerConnection *connection() const;
    // The server the action was made for, as the connection was applied then.
    ServerConnection::ServerKey serverKey() const { return m_key; }
    // False once the connection was pointed at another server (or user): the
    // action's ids mean nothing there, and it is never sent there.
    bool madeForCurrentServer() const;
    // Why such an action was not sent, for the job or row.
    static QString otherServerText();

    // True when the action is done and may be dropped; never blocks. The
    // base says whether the connection may be used now (when it must
    // connect first, a connect activity is asked for).
    virtual bool perform();
    // Still waiting for its server after a pass. When its connection is
    // online all the same (the ping could not get through in time), the
    // queue tries again a little later rather than wait for the next
    // time the connection comes up.
    virtual bool isWaiting() const { return false; }

signals:
    // The action got done after perform() returned (the server answered
    // later); its queue drops it.
    void done(IAction *action);

private:
    QPointer<ServerConnection> m_connection;
    const ServerConnection::ServerKey m_key;
};
