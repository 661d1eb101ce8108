#pragma once

#include <QByteArray>
#include <QList>

#include <memory>

// A bare HTTP server on 127.0.0.1 that answers every request with a reply
// written by hand and keeps the raw requests: replies and requests are
// checked here without any gSOAP code on the server side.
class CannedServer
{
public:
    CannedServer();
    ~CannedServer();

    bool start();
    void stop();
    quint16 port() const;
    QByteArray endpoint() const;

    // The next replies: a SOAP Body content wrapped in an envelope that
    // declares the service's namespaces, or a whole HTTP response.
    void replyWithBody(const QByteArray &bodyContent);
    void replyWithHttp(const QByteArray &response);

    QList<QByteArray> requests() const;
    QByteArray lastRequest() const;

    static QByteArray envelope(const QByteArray &bodyContent);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
