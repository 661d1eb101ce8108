#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// One end of the per-user channel through which instances of the program
// find each other: the first one listens, a later one sends it a message.
class LocalPeer : public QObject
{
    Q_OBJECT

public:
    explicit LocalPeer(const QString &id, QObject *parent = nullptr);
    ~LocalPeer() override;

    QString id() const { return m_id; }

    // Full path of the socket for this id; "" when no private folder for
    // it could be had (then this peer neither listens nor finds others).
    QString serverName() const { return m_serverName; }

    // True when another process listens under this id and accepts a
    // connection.
    bool isClient() const;

    // Starts listening. A socket left behind by a process that died is
    // taken over; a live one is not (returns false).
    bool listen();
    bool isListening() const;

    // Stops listening and removes the socket: a later start no longer
    // finds this process.
    void close();

    // Delivers the message to the listening peer and waits for its receipt.
    bool sendMessage(const QString &message, int timeoutMs) const;
    // The same, to the peer listening at serverName (another start's
    // channel, which may live in another folder).
    static bool deliver(const QString &serverName, const QString &message, int timeoutMs);

    // The folder that holds the sockets of this user: $XDG_RUNTIME_DIR when
    // it is a private folder of ours, else a 0700 folder of ours under the
    // temporary folder, else (something else stands at that name) a 0700
    // folder under the user's cache folder; "" when none can be had.
    static QString socketFolder();

signals:
    void messageReceived(const QString &message);

private:
    void onNewConnection();
    void readFrom(QLocalSocket *socket);

    QString m_id;
    QString m_serverName;
    QLocalServer *m_server = nullptr;
};
