#pragma once

#include "SendTracker.h"
#include "StreamedUpload.h"
#include "SubmittedFile.h"

#include <QByteArray>
#include <QMutex>
#include <QThread>

#include <atomic>
#include <memory>

namespace ombrel {
class Service;
}
class SoapCanceller;

// Uploads one submitted job with a SOAP proxy of its own: asks the server
// whether to compress, then sends SubmitFile08 with the job's entry, its
// metadata and the packed stream as a streamed DIME attachment. The thread
// object stays with its job and may run again after a failed attempt.
class SubmitThread : public QThread
{
    Q_OBJECT

public:
    // Limits of every call; shared with the other transfer threads.
    using Timeouts = StreamedUpload::Timeouts;
    static Timeouts timeouts();
    static void setTimeouts(const Timeouts &timeouts);

    SubmitThread(QObject *parent, const QByteArray &endpoint, const QByteArray &user,
        const QByteArray &password, const SubmittedFilePtr &file, bool secure);
    ~SubmitThread() override;

    SubmittedFilePtr file() const { return m_file; }

    // Where the next run goes (the connection may have moved to HTTPS since
    // the job was made); ignored while running.
    void setTarget(
        const QByteArray &endpoint, const QByteArray &user, const QByteArray &password, bool secure);

    // Ends the upload within a bounded time, also against a server that
    // stopped reading: the stream stops and the socket is shut down. The
    // job ends in "Error". Permanent.
    void cancel();

    // The gSOAP error code of the last run (0 after a success).
    int lastError() const { return m_lastError; }
    // Whether the last run got any request to the server at all; false
    // after a refused connection.
    bool reachedServer() const { return m_reachedServer; }

signals:
    void finished(SubmittedFile *file);

public slots:
    void OnFinished();

protected:
    void run() override;

private:
    void makeProxy(bool secure);
    // The reach of the job's own request goes to *reach.
    int upload(ombrel::Service *proxy, const QByteArray &user, const QByteArray &password,
        SendTracker::Reach *reach);

    const SubmittedFilePtr m_file;

    mutable QMutex m_mutex; // guards the target and the proxy's replacement
    QByteArray m_endpoint;
    QByteArray m_user;
    QByteArray m_password;
    bool m_secure = false;
    std::unique_ptr<ombrel::Service> m_proxy;
    std::unique_ptr<SoapCanceller> m_canceller;
    std::atomic<int> m_lastError { 0 };
    std::atomic<bool> m_reachedServer { false };
    QString m_questionFault; // the server's fault text for the compression question (run only)
};
