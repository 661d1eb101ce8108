#pragma once

#include "SubstituteFile.h"

#include <QByteArray>
#include <QThread>

#include <atomic>
#include <memory>

namespace ombrel {
class Service;
}
class SoapCanceller;

// Replaces one checkpoint job with a SOAP proxy of its own: asks the
// server whether to compress, then sends ReplaceFile08 with the job's ids,
// the push decision and the packed replacement as a streamed DIME
// attachment. Needs nothing of the connection once made, so it may end
// after the connection went.
class ReplaceJobThread : public QThread
{
    Q_OBJECT

public:
    ReplaceJobThread(QObject *parent, const QByteArray &endpoint, const QByteArray &user,
        const QByteArray &password, const SubstituteFilePtr &file, bool secure);
    ~ReplaceJobThread() override;

    SubstituteFilePtr file() const { return m_file; }

    // Ends the upload within a bounded time, also against a server that
    // stopped reading: the data stop and the socket is shut down. The
    // replacement ends as failed. Permanent.
    void cancel();

    // The gSOAP result of the run (0 after a success) and the server's
    // answer.
    int lastError() const { return m_lastError; }
    int isReplacedAnswer() const { return m_isReplaced; }

signals:
    // Emitted in the worker thread once run() has returned.
    void finished(SubstituteFile *file);

public slots:
    void OnFinished();

protected:
    void run() override;

private:
    int upload();

    const SubstituteFilePtr m_file;
    const QByteArray m_endpoint;
    const QByteArray m_user;
    const QByteArray m_password;
    std::unique_ptr<ombrel::Service> m_proxy;
    std::unique_ptr<SoapCanceller> m_canceller;
    std::atomic<int> m_lastError { 0 };
    std::atomic<int> m_isReplaced { 0 };
};
