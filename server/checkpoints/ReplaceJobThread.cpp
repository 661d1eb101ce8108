#include "ReplaceJobThread.h"

#include "ReplyConversions.h"
#include "ServiceProxyFactory.h"
#include "SoapCanceller.h"
#include "WideText.h"

#include <ombrelServiceProxy.h>

ReplaceJobThread::ReplaceJobThread(QObject *parent, const QByteArray &endpoint, const QByteArray &user,
    const QByteArray &password, const SubstituteFilePtr &file, bool secure)
    : QThread(parent)
    , m_file(file)
    , m_endpoint(endpoint)
    , m_user(user)
    , m_password(password)
    , m_proxy(createServiceProxy(secure))
{
    if (m_proxy->soap)
        m_canceller = std::make_unique<SoapCanceller>(m_proxy->soap);
    connect(this, &QThread::finished, this, &ReplaceJobThread::OnFinished, Qt::DirectConnection);
}

ReplaceJobThread::~ReplaceJobThread()
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

void ReplaceJobThread::cancel()
{
    if (m_file)
        m_file->cancel();
    if (m_canceller)
        m_canceller->cancel();
}

void ReplaceJobThread::OnFinished()
{
    emit finished(m_file.get());
}

void ReplaceJobThread::run()
{
    QThread::currentThread()->setPriority(QThread::LowestPriority);
    SubstituteFile *file = m_file.get();
    if (!file)
        return;
    // Without an endpoint that may be used nothing is sent.
    int rc = m_endpoint.isEmpty() ? SOAP_TCP_ERROR : SOAP_EOM;
    if (m_proxy->soap && !file->isCancelled() && !m_endpoint.isEmpty()) {
        m_proxy->endpoint = m_endpoint.constData();
        rc = upload();
        soap_destroy(m_proxy->soap);
        soap_end(m_proxy->soap);
    }
    m_lastError = rc;
    const bool answered = rc == SOAP_OK || rc == SOAP_CLI_FAULT || rc == SOAP_SVR_FAULT || rc == SOAP_FAULT;
    file->finishUpload(rc == SOAP_OK && m_isReplaced != 0, answered);
}

int ReplaceJobThread::upload()
{
    SubstituteFile *file = m_file.get();
    struct soap *soap = m_proxy->soap;
    StreamedUpload::prepare(soap);
    bool compress = false;
    const int rc = StreamedUpload::askCompression(m_proxy.get(), m_user, m_password, &compress);
    if (rc != SOAP_OK)
        return rc;

    const ombrel::xsd__base64Binary data = StreamedUpload::attachment(soap, file, "My Replace");
    ombrel::ReplaceEntry entry;
    entry.flowId = WideText::fromQString(file->getFlowId());
    entry.checkPointId = WideText::fromQString(file->getCheckPointId());
    entry.jobId = WideText::fromQString(file->getJobId());
    entry.fileName = WideText::fromQString(file->getFileName());
    const ombrel::PushJobStatus jobInfo = ReplyConversions::toPushJobStatus(file->getPushJobInfo());

    soap->userid = m_user.constData();
    soap->passwd = m_password.constData();
    int isReplaced = 0;
    const StreamedUpload::Sending sending(soap, file, compress);
    const int result = m_proxy->ombrel__ReplaceFile08(entry, data, jobInfo, file->getFullSize(), isReplaced);
    m_isReplaced = isReplaced;
    return result;
}
