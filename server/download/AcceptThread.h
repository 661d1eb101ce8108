#pragma once

#include "CallBounds.h"

#include <QByteArray>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstddef>
#include <memory>

namespace ombrel {
class Service;
}
class FilesStreamerW;
class SoapCanceller;
struct soap;

// Downloads one checkpoint job, or its report, with a SOAP proxy of its
// own: the packed stream arrives as a DIME attachment and is unpacked on
// the fly into a fresh temporary folder. Runs once.
//
// The folder belongs to the thread until a receiver takes it: a download
// that failed, or that nobody took, leaves nothing behind.
class AcceptThread : public QThread
{
    Q_OBJECT

public:
    AcceptThread(QObject *parent, const QByteArray &endpoint, const QByteArray &user,
        const QByteArray &password, bool secure);
    ~AcceptThread() override;

    // Set before the start.
    void setJobParams(
        const QString &flowId, const QString &checkPointId, const QString &jobId, int downloadType);
    // The requester's own tag for what the download is for; handed back
    // unchanged, so that the receiver never has to guess.
    void setRequest(int request) { m_request = request; }

    QString getFlowId() const { return m_flowId; }
    QString getCheckPointId() const { return m_checkPointId; }
    QString getJobId() const { return m_jobId; }
    int getDownloadType() const;
    bool isReport() const { return m_report; }
    int getRequest() const { return m_request; }

    // Read after finished(): the main file, and the folder that holds it;
    // both "" when nothing usable arrived.
    QString getResultPath() const { return m_resultPath; }
    QString getFolder() const { return m_folder; }
    // The caller becomes responsible for the folder (after finished()).
    QString takeFolder();

    // Ends a running download within a bounded time; it then fails.
    void cancel();
    bool isCancelled() const { return m_cancelled; }
    // The gSOAP result of the call (0 after a success).
    int lastError() const { return m_lastError; }
    // After finished(): the limit that ended the call, if one did.
    CallBounds::Breach breach() const { return m_breach; }
    // After finished(): the server answered that it has nothing to give
    // (a Fault, or a reply without a package), as opposed to a transfer
    // that failed on the way or a package that could not be stored.
    bool serverHadNothing() const { return m_serverHadNothing; }

signals:
    void finished(AcceptThread *thread, const QString &path);

public slots:
    void OnFinished();

protected:
    void run() override;

private:
    static void *dimeWriteOpen(struct soap *soap, const char *id, const char *type, const char *options);
    static int dimeWrite(struct soap *soap, void *handle, const char *data, std::size_t length);
    static void dimeWriteClose(struct soap *soap, void *handle);

    void *openWriter(struct soap *soap);
    void discardFolder();

    std::unique_ptr<ombrel::Service> m_proxy;
    std::unique_ptr<SoapCanceller> m_canceller;
    const QByteArray m_endpoint;
    const QByteArray m_user;
    const QByteArray m_password;
    QString m_flowId;
    QString m_checkPointId;
    QString m_jobId;
    QString m_resultPath;
    bool m_report = false;
    int m_request = 0;

    // Used by the worker only while it runs.
    std::unique_ptr<FilesStreamerW> m_writer;
    QString m_folder;
    bool m_folderTaken = false;
    bool m_writeFailed = false;
    bool m_serverHadNothing = false;

    std::atomic<bool> m_cancelled { false };
    std::atomic<int> m_lastError { 0 };
    CallBounds::Breach m_breach = CallBounds::Breach::None;
};
