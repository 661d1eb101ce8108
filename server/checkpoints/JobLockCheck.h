#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// Tells whether the lock of a checkpoint job was taken on another
// machine. The server reports the holder as a text with the holder's
// address in parentheses, such as "anna (10.0.0.7)"; an address of the
// server's own loopback means a client on the server's machine.
namespace JobLockCheck {

// What this machine and the server go by.
struct Machine
{
    // Every address of this machine's interfaces, and the address this
    // machine's connections to the server leave from.
    QList<QHostAddress> localAddresses;
    // The addresses of the server's host.
    QList<QHostAddress> serverAddresses;
    // The server's host as the connection names it.
    QString serverHost;
    QString localHostName;
};

struct Result
{
    bool elsewhere = false;
    // The holder text to show the user.
    QString lockText;
};

// The text between the first "(" and the first ")" after it; a null
// string when there is none.
QString holderOf(const QString &lockText);

// The user named ahead of the holder: "anna" of "anna (10.0.0.7)"; empty
// when the text names none.
QString userOf(const QString &lockText);

// An empty text is no lock. A holder that names no address, or an address
// that is not this machine's, is elsewhere.
Result evaluate(const QString &lockText, const Machine &machine);

// Blocking (interface list, host look-up): never in the GUI thread.
Machine gather(const QString &serverHost, int serverPort);

bool sameAddress(const QHostAddress &a, const QHostAddress &b);

} // namespace JobLockCheck
