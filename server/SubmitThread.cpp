#include "SubmitThread.h"

#include "DimeOption.h"
#include "ServiceProxyFactory.h"
#include "SoapCanceller.h"
#include "WideText.h"

#include <QMutexLocker>

#include <ombrelServiceProxy.h>

#include <sys/socket.h>

namespace {

QMutex timeoutsMutex;
SubmitThread::Timeouts currentTimeouts;

// The job the DIME callbacks of this thread may be handed.
thread_local SubmittedFile *t_upload = nullptr;

// gSOAP reads a negative timeout as microseconds.
int soapTimeout(int ms)
{
    return ms > 0 ? -ms * 1000 : 0;
}

std::vector<ombrel::MetadataToFillClass> toWire(const QList<MetadataToFill> &fields)
{
    std::vector<ombrel::MetadataToFillClass> wire;
    wire.reserve(std::size_t(fields.size()));
    for (const MetadataToFill &field : fields) {
        ombrel::MetadataToFillClass item;
        item.mtfLabel = WideText::fromQString(field.label);
        item.mtfDescription = WideText::fromQString(field.description);
        item.mtfDataType = WideText::fromQString(field.dataType);
        item.mtfDataFormat = WideText::fromQString(field.dataFormat);
        item.mtfValueIsRequired = field.valueIsRequired;
        item.mtfRememberLastValue = field.rememberLastValue;
        item.mtfValue = WideText::fromQString(field.value);
        wire.push_back(item);
    }
    return wire;
}

// A SOAP Fault is the server's answer; anything else means it never
// answered (or refused us at the HTTP level, which a retry may mend).
SubmittedFile::Verdict verdictOf(int rc)
{
    if (rc == SOAP_OK)
        return SubmittedFile::Verdict::Accepted;
    if (rc == SOAP_CLI_FAULT || rc == SOAP_SVR_FAULT || rc == SOAP_FAULT)
        return SubmittedFile::Verdict::Refused;
    return SubmittedFile::Verdict::NoAnswer;
}

void abortTransfer(struct soap *soap)
{
    // Ending the attachment early would hand the server a complete-looking,
    // truncated request: the transfer must fail instead.
    if (soap_valid_socket(soap->socket))
        ::shutdown(soap->socket, SHUT_RDWR);
    soap->error = SOAP_DIME_ERROR;
}

} // namespace

SubmitThread::Timeouts SubmitThread::timeouts()
{
    const QMutexLocker lock(&timeoutsMutex);
    return currentTimeouts;
}

void SubmitThread::setTimeouts(const Timeouts &timeouts)
{
    const QMutexLocker lock(&timeoutsMutex);
    currentTimeouts = timeouts;
}

SubmitThread::SubmitThread(QObject *parent, const QByteArray &endpoint, const QByteArray &user,
    const QByteArray &password, const SubmittedFilePtr &file, bool secure)
    : QThread(parent)
    , m_file(file)
    , m_endpoint(endpoint)
    , m_user(user)
    , m_password(password)
    , m_secure(secure)
{
    makeProxy(secure);
    connect(this, &QThread::finished, this, &SubmitThread::OnFinished, Qt::DirectConnection);
}

SubmitThread::~SubmitThread()
{
    // Owners cancel and wait before deleting; this only keeps a thread
    // object from being destroyed under its running body.
    if (isRunning()) {
        cancel();
        wait();
    }
    m_canceller.reset();
    m_proxy.reset();
}

void SubmitThread::makeProxy(bool secure)
{
    m_canceller.reset();
    m_proxy.reset(createServiceProxy(secure));
    if (m_proxy->soap)
        m_canceller = std::make_unique<SoapCanceller>(m_proxy->soap);
}

void SubmitThread::setTarget(
    const QByteArray &endpoint, const QByteArray &user, const QByteArray &password, bool secure)
{
    if (isRunning())
        return;
    const QMutexLocker lock(&m_mutex);
    m_endpoint = endpoint;
    m_user = user;
    m_password = password;
    if (secure != m_secure) {
        m_secure = secure;
        makeProxy(secure);
    }
}

void SubmitThread::cancel()
{
    if (m_file)
        m_file->cancel();
    const QMutexLocker lock(&m_mutex);
    if (m_canceller)
        m_canceller->cancel();
}

void SubmitThread::OnFinished()
{
    emit finished(m_file.get());
}

void SubmitThread::run()
{
    QThread::currentThread()->setPriority(QThread::LowestPriority);
    SubmittedFile *job = m_file.get();
    if (!job)
        return;
    if (!job->prepareUpload()) {
        m_lastError = SOAP_TCP_ERROR;
        job->finishUpload(SubmittedFile::Verdict::NoAnswer);
        return;
    }
    ombrel::Service *proxy;
    QByteArray endpoint, user, password;
    {
        const QMutexLocker lock(&m_mutex);
        proxy = m_proxy.get();
        endpoint = m_endpoint;
        user = m_user;
        password = m_password;
    }
    if (!proxy->soap) {
        m_lastError = SOAP_EOM;
        job->finishUpload(SubmittedFile::Verdict::NoAnswer);
        return;
    }
    proxy->endpoint = endpoint.constData();
    const int rc = upload(proxy, user, password);
    m_lastError = rc;
    soap_destroy(proxy->soap);
    soap_end(proxy->soap);
    job->finishUpload(job->isCancelled() ? SubmittedFile::Verdict::NoAnswer : verdictOf(rc));
}

int SubmitThread::upload(ombrel::Service *proxy, const QByteArray &user, const QByteArray &password)
{
    SubmittedFile *job = m_file.get();
    struct soap *soap = proxy->soap;
    const Timeouts limits = timeouts();
    soap->connect_timeout = soapTimeout(limits.connectMs);
    soap->send_timeout = soapTimeout(limits.sendMs);
    soap->recv_timeout = soapTimeout(limits.receiveMs);
    soap->fdimereadopen = &SubmitThread::dimeReadOpen;
    soap->fdimeread = &SubmitThread::dimeRead;
    soap->fdimereadclose = &SubmitThread::dimeReadClose;
    soap_clr_omode(soap, SOAP_IO | SOAP_ENC_DIME | SOAP_ENC_ZLIB);

    // The context forgets the credentials after every call.
    soap->userid = user.constData();
    soap->passwd = password.constData();
    bool compress = false;
    int rc = proxy->ombrel__GetCompressClientJobs(compress);
    soap_destroy(soap);
    soap_end(soap);
    if (rc != SOAP_OK)
        return rc;

    // Without SOAP_ENC_DIME the payload would go out inline and empty.
    soap_set_omode(soap, SOAP_IO_CHUNK | SOAP_ENC_DIME);
    if (compress)
        soap_set_omode(soap, SOAP_ENC_ZLIB);
    job->setStartTime();

    ombrel::xsd__base64Binary data;
    data.__ptr = reinterpret_cast<unsigned char *>(job);
    data.__size = 0;
    data.id = nullptr;
    data.type = soap_strdup(soap, "streamer");
    data.options = DimeOption::make(soap, 0, "My Submit");

    ombrel::SubmitEntry entry;
    entry.flowId = WideText::fromQString(job->getFlowId());
    entry.submitPointId = WideText::fromQString(job->getSubmitPointId());
    entry.jobName = WideText::fromQString(job->getJobName());

    soap->userid = user.constData();
    soap->passwd = password.constData();
    std::wstring jobId;
    t_upload = job;
    rc = proxy->ombrel__SubmitFile08(entry, data, toWire(job->getMetadata()), job->getTotalSize(), jobId);
    t_upload = nullptr;
    soap_clr_omode(soap, SOAP_IO | SOAP_ENC_DIME | SOAP_ENC_ZLIB);
    return rc;
}

void *SubmitThread::dimeReadOpen(struct soap *soap, void *handle, const char *, const char *, const char *)
{
    auto *job = static_cast<SubmittedFile *>(handle);
    if (!job || job != t_upload || !job->beginUpload()) {
        soap->error = SOAP_DIME_ERROR;
        return nullptr;
    }
    return handle;
}

size_t SubmitThread::dimeRead(struct soap *soap, void *handle, char *buffer, size_t length)
{
    auto *job = static_cast<SubmittedFile *>(handle);
    const qint64 count = job == t_upload ? job->readData(buffer, qint64(length)) : -1;
    if (count < 0) {
        abortTransfer(soap);
        return 0;
    }
    return size_t(count);
}

void SubmitThread::dimeReadClose(struct soap *, void *handle)
{
    auto *job = static_cast<SubmittedFile *>(handle);
    if (job == t_upload)
        job->endUpload();
}
