#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class ConnectionTableModel;
class ServerProxy;

namespace Client {

// The settings group "Connections": one sub-group per connection, named by
// its place in the list, with the password scrambled.
class ConnectionStore
{
public:
    // The password's UTF-8 bytes, each XORed with the one-byte key.
    static QByteArray scramble(const QString &password);
    // Reverses scramble(); the text ends at the first zero byte.
    static QString unscramble(const QByteArray &stored);

    // Rewrites the whole group from the proxy's list, in list order. The
    // settings file is left readable by its owner only.
    static void save(const ServerProxy &proxy);

    // Adds a row through the model for every stored sub-group, in the
    // order of their numbers, and fills in its settings; logs none in.
    // Returns "host:port" of each.
    static QStringList load(ConnectionTableModel &model);

    // The sub-group names of the group in numeric order; names that are
    // not numbers follow in text order.
    static QStringList orderedGroups(const QStringList &groups);
};

} // namespace Client
