#include "AcceptThread.h"

#include "CallBounds.h"
#include "DownloadType.h"
#include "FileHandler.h"
#include "FilesStreamerW.h"
#include "ServerConnection.h"
#include "ServiceProxyFactory.h"
#include "SoapCanceller.h"
#include "WideText.h"

#include <ombrelServiceProxy.h>

namespace {

// The download the DIME callbacks of this thread serve.
thread_local AcceptThread *t_download = nullptr;

} // namespace

AcceptThread::AcceptThread(QObject *parent, const QByteArray &endpoint, const QByteArray &user,
    const QByteArray &password, bool secure)
    : QThread(parent)
    , m_proxy(createServiceProxy(secure))
    , m_endpoint(endpoint)
    , m_user(user)
    , m_password(password)
{
    if (m_proxy->soap)
        m_canceller = std::make_unique<SoapCanceller>(m_proxy->soap);
    connect(this, &QThread::finished, this, &AcceptThread::OnFinished, Qt::DirectConnection);
}

AcceptThread::~AcceptThread()
{
    // Owners normally delete a finished thread; this keeps one that still
    // runs (its connection went away) from being destroyed under its body.
    if (isRunning())
        cancel();
    wait();
    if (!m_folderTaken)
        discardFolder();
    m_canceller.reset();
    m_proxy.reset();
}

void AcceptThread::setJobParams(
    const QString &flowId, const QString &checkPointId, const QString &jobId, int downloadType)
{
    m_flowId = flowId;
    m_checkPointId = checkPointId;
    m_jobId = jobId;
    m_report = downloadType == DownloadType::Report;
}

int AcceptThread::getDownloadType() const
{
    return m_report ? DownloadType::Report : DownloadType::Job;
}

QString AcceptThread::takeFolder()
{
    m_folderTaken = true;
    return m_folder;
}

void AcceptThread::cancel()
{
    m_cancelled = true;
    if (m_canceller)
        m_canceller->cancel();
}

void AcceptThread::OnFinished()
{
    emit finished(this, m_resultPath);
}

void AcceptThread::discardFolder()
{
    if (!m_folder.isEmpty())
        Tamsor::FileHandler::removeFolder(m_folder);
    m_folder.clear();
}

void AcceptThread::run()
{
    QThread::currentThread()->setPriority(QThread::LowestPriority);
    m_resultPath.clear();
    if (!m_proxy->soap || m_cancelled || m_endpoint.isEmpty()) {
        m_lastError = m_proxy->soap ? SOAP_TCP_ERROR : SOAP_EOM;
        return;
    }
    struct soap *soap = m_proxy->soap;
    const ServerConnection::CallTimeouts limits = ServerConnection::callTimeouts();
    // The package streams to disk: any size, but never stalled below the
    // rate floor.
    CallBounds::boundStream(soap, limits.rateWindowMs, limits.longProbeMs);
    soap->fdimewriteopen = &AcceptThread::dimeWriteOpen;
    soap->fdimewrite = &AcceptThread::dimeWrite;
    soap->fdimewriteclose = &AcceptThread::dimeWriteClose;
    m_proxy->endpoint = m_endpoint.constData();
    // The context forgets the credentials after every call.
    soap->userid = m_user.constData();
    soap->passwd = m_password.constData();

    t_download = this;
    ombrel::xsd__base64Binary data;
    const int rc = m_proxy->ombrel__DownloadFile08(WideText::fromQString(m_flowId),
        WideText::fromQString(m_checkPointId), WideText::fromQString(m_jobId), getDownloadType(), data);
    t_download = nullptr;
    m_lastError = rc;
    m_breach = CallBounds::breach(soap);

    // A payload sent inline, or empty, leaves in __ptr something other
    // than the writer: only the writer's own handle counts.
    const bool ours = m_writer && data.__ptr == reinterpret_cast<unsigned char *>(m_writer.get());
    if (rc == SOAP_OK && ours && !m_cancelled && !m_writeFailed && m_writer->isComplete())
        m_resultPath = m_writer->getMainFile();
    m_serverHadNothing = !m_cancelled
        && ((rc == SOAP_OK && !m_writer) || rc == SOAP_FAULT || rc == SOAP_CLI_FAULT || rc == SOAP_SVR_FAULT);
    m_writer.reset();
    soap_destroy(soap);
    soap_end(soap);
    if (m_resultPath.isEmpty())
        discardFolder();
}

void *AcceptThread::openWriter(struct soap *soap)
{
    // One package per reply: a second attachment is refused, not mixed in.
    if (m_writer || m_cancelled) {
        soap->error = SOAP_DIME_ERROR;
        return nullptr;
    }
    m_folder = Tamsor::FileHandler::createTempFolderForFile(QStringLiteral("downloaded"), QString());
    if (m_folder.isEmpty()) {
        soap->error = SOAP_TCP_ERROR;
        return nullptr;
    }
    m_writer = std::make_unique<FilesStreamerW>(m_folder);
    if (!m_writer->isValid()) {
        soap->error = SOAP_TCP_ERROR;
        return nullptr;
    }
    CallBounds::attachmentOpened(soap);
    return m_writer.get();
}

void *AcceptThread::dimeWriteOpen(struct soap *soap, const char *, const char *, const char *)
{
    if (!t_download) {
        soap->error = SOAP_DIME_ERROR;
        return nullptr;
    }
    return t_download->openWriter(soap);
}

int AcceptThread::dimeWrite(struct soap *, void *handle, const char *data, std::size_t length)
{
    AcceptThread *self = t_download;
    if (!self || !handle || handle != self->m_writer.get() || !self->m_writer->isValid())
        return SOAP_TCP_ERROR;
    if (self->m_cancelled)
        return SOAP_TCP_ERROR;
    // A piece that could not be written (disk full) fails the download
    // rather than leaving a shorter file that looks complete.
    if (!self->m_writer->addData(data, qint64(length))) {
        self->m_writeFailed = true;
        return SOAP_DIME_ERROR;
    }
    return SOAP_OK;
}

void AcceptThread::dimeWriteClose(struct soap *, void *handle)
{
    AcceptThread *self = t_download;
    if (self && handle && handle == self->m_writer.get())
        self->m_writer->endWork();
}
