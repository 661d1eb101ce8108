#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

// A raw-socket HTTP server on 127.0.0.1 whose replies are made on the fly
// from repeated pieces, so that a reply of gigabytes costs the test no
// memory, and that can send them at a trickle. It answers CheckConnect
// correctly unless told otherwise, so a connection gets online first.
class HostileServer
{
public:
    struct Piece
    {
        QByteArray bytes;
        qint64 repeat = 1;
        int bytesPerSecond = -1; // -1: the reply's rate
    };
    struct Reply
    {
        QList<Piece> pieces; // the whole HTTP response
        int bytesPerSecond = 0; // 0: as fast as the client reads
    };

    HostileServer();
    ~HostileServer();

    bool start();
    // Speaks TLS with the key and certificate of the folder's server.pem;
    // a trickle then comes inside one TLS record. Before start().
    bool useTls(const QString &sslDir);
    QByteArray endpoint() const;
    quint16 port() const;

    // The reply to requests that name `operation`; others get the default.
    void setReply(const QString &operation, const Reply &reply);
    void setDefaultReply(const Reply &reply);

    // An HTTP 200 response of the given type whose body is the pieces, with
    // a Content-Length that adds them up.
    static Reply http(const QList<Piece> &body, const QByteArray &contentType = "text/xml; charset=utf-8");
    // A SOAP envelope around `before`, `middle` repeated and `after`.
    static Reply envelope(const QByteArray &before, const Piece &middle, const QByteArray &after);
    static Reply envelope(const QByteArray &body);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
