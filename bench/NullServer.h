#pragma once

#include <QProcess>
#include <QString>
#include <QtGlobal>

#include <memory>

// A server that costs its client as little as a server can, so a bench
// measures the client: it reads each request and drops the body, answers
// CheckConnect (1), GetCompressClientJobs (false) and SubmitFile08 (a job
// id), and for DownloadFile08, or a GET, streams a package framed as a
// gSOAP server frames it (HTTP chunks of 64 KiB holding DIME records of
// 2048 bytes). Any other request gets an empty 200, so curl can upload to
// it as well. One thread per connection; 127.0.0.1 only.
class NullServer
{
public:
    struct Options
    {
        bool https = false;
        QString sslDir; // server.pem (certificate and key) for HTTPS
        QString package; // the file or folder a download streams
    };

    NullServer();
    ~NullServer();

    NullServer(const NullServer &) = delete;
    NullServer &operator=(const NullServer &) = delete;

    bool start(const Options &options);
    void stop();
    quint16 port() const;
    QString errorString() const;

    // For a bench's server process: serves, prints the port on its own
    // line and runs until standard input closes. The exit code.
    static int serveUntilInputCloses(const Options &options);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// A null server in a process of its own (the bench program run with
// --null-serve), so the bench's own CPU figures are the client's alone.
class NullServerProcess
{
public:
    ~NullServerProcess();
    bool start(const QString &program, bool https, const QString &package);
    quint16 port() const { return m_port; }
    QByteArray endpoint() const;

private:
    QProcess m_process;
    quint16 m_port = 0;
    bool m_https = false;
};
