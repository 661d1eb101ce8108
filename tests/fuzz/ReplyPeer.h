#pragma once

#include <QByteArray>

#include <memory>

// A server on 127.0.0.1 that answers every request with the bytes it was
// given, whole HTTP response included, and then closes: the client's own
// transport, bounds and readers take them as from a real server. With a
// relay port set it forwards each request there instead and keeps the
// answer (how the seed replies are taken from the test server).
class ReplyPeer
{
public:
    ReplyPeer();
    ~ReplyPeer();

    bool start();
    QByteArray endpoint() const;

    void setReply(const QByteArray &reply);
    void relayTo(quint16 port);
    // The last answer relayed.
    QByteArray relayed() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
