#include "JobLockCheck.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <QUdpSocket>

namespace JobLockCheck {

namespace {

bool contains(const QList<QHostAddress> &addresses, const QHostAddress &address)
{
    for (const QHostAddress &candidate : addresses) {
        if (sameAddress(candidate, address))
            return true;
    }
    return false;
}

bool isThisMachine(const QHostAddress &address, const Machine &machine)
{
    return address.isLoopback() || contains(machine.localAddresses, address);
}

} // namespace

bool sameAddress(const QHostAddress &a, const QHostAddress &b)
{
    // IPv4 written as IPv6, or a link-local address with or without its
    // scope id, is still the same machine.
    QHostAddress left(a);
    QHostAddress right(b);
    left.setScopeId(QString());
    right.setScopeId(QString());
    return left.isEqual(right, QHostAddress::TolerantConversion);
}

QString holderOf(const QString &lockText)
{
    const qsizetype open = lockText.indexOf(QLatin1Char('('));
    if (open < 0)
        return QString();
    const qsizetype close = lockText.indexOf(QLatin1Char(')'), open + 1);
    if (close < 0)
        return QString();
    return lockText.mid(open + 1, close - open - 1).trimmed();
}

QString userOf(const QString &lockText)
{
    const qsizetype open = lockText.indexOf(QLatin1Char('('));
    return (open < 0 ? lockText : lockText.left(open)).trimmed();
}

Result evaluate(const QString &lockText, const Machine &machine)
{
    Result result;
    result.lockText = lockText;
    if (lockText.isEmpty())
        return result;
    const QString holder = holderOf(lockText);
    const QHostAddress address(holder);
    if (address.isNull()) {
        // A holder named by machine name can only be matched by that name.
        result.elsewhere = holder.isEmpty() || machine.localHostName.isEmpty()
            || holder.compare(machine.localHostName, Qt::CaseInsensitive) != 0;
        return result;
    }
    if (!address.isLoopback()) {
        result.elsewhere = !contains(machine.localAddresses, address);
        return result;
    }
    // Taken on the server's own machine: ours when the server runs here.
    bool serverIsHere = false;
    for (const QHostAddress &server : machine.serverAddresses)
        serverIsHere = serverIsHere || isThisMachine(server, machine);
    result.elsewhere = !serverIsHere;
    if (!machine.serverHost.isEmpty()) {
        const qsizetype open = lockText.indexOf(QLatin1Char('('));
        result.lockText = lockText.left(open + 1) + machine.serverHost
            + lockText.mid(lockText.indexOf(QLatin1Char(')'), open + 1));
    }
    return result;
}

Machine gather(const QString &serverHost, int serverPort)
{
    Machine machine;
    machine.serverHost = serverHost;
    machine.localHostName = QHostInfo::localHostName();
    machine.localAddresses = QNetworkInterface::allAddresses();
    const QHostAddress literal(serverHost);
    if (!literal.isNull())
        machine.serverAddresses.append(literal);
    else if (!serverHost.isEmpty())
        machine.serverAddresses = QHostInfo::fromName(serverHost).addresses();
    // The address the server sees this machine by, when no interface
    // carries it (a tunnel's, say): a UDP socket connected to the server
    // is given it without a packet being sent.
    if (!machine.serverAddresses.isEmpty() && serverPort > 0 && serverPort < 65536) {
        QUdpSocket probe;
        probe.connectToHost(machine.serverAddresses.first(), quint16(serverPort));
        if (probe.waitForConnected(1000) && !probe.localAddress().isNull()
            && !contains(machine.localAddresses, probe.localAddress()))
            machine.localAddresses.append(probe.localAddress());
    }
    return machine;
}

} // namespace JobLockCheck
