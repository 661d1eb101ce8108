#include "SubmitThread.h"

#include "ServiceProxyFactory.h"
#include "SoapCanceller.h"
#include "WideText.h"

#include <QMutexLocker>
#include <QUrl>

#include <ombrelServiceProxy.h>

namespace {

// Hands the job's upload side to the DIME callbacks.
class JobSource : public UploadSource
{
public:
    explicit JobSource(SubmittedFile *job)
        : m_job(job)
    { }
    bool beginUpload() override { return m_job->beginUpload(); }
    qint64 readData(char *buffer, qint64 length) override { return m_job->readData(buffer, length); }
    void endUpload() override { m_job->endUpload(); }

private:
    SubmittedFile *m_job;
};

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

} // namespace

SubmitThread::Timeouts SubmitThread::timeouts()
{
    return StreamedUpload::timeouts();
}

void SubmitThread::setTimeouts(const Timeouts &timeouts)
{
    StreamedUpload::setTimeouts(timeouts);
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
    // No endpoint that may be used: nothing of the job is sent, and a try
    // without a host would count as a request that reached a server.
    if (endpoint.isEmpty() || QUrl::fromEncoded(endpoint).host().isEmpty()) {
        m_lastError = SOAP_TCP_ERROR;
        job->finishUpload(SubmittedFile::Verdict::NoHost);
        return;
    }
    proxy->endpoint = endpoint.constData();
    m_reachedServer = false;
    SendTracker::Reach reach = SendTracker::Reach::NotSent;
    const int rc = upload(proxy, user, password, &reach);
    m_lastError = rc;
    SubmittedFile::Verdict verdict = verdictOf(rc);
    QString refusal;
    if (verdict == SubmittedFile::Verdict::Refused) {
        const char *text = soap_fault_string(proxy->soap);
        refusal = text ? QString::fromUtf8(text) : QString();
    }
    // The job's own request never left (the compression question failed,
    // or the connection was refused): it may go again.
    if (verdict != SubmittedFile::Verdict::Accepted && reach == SendTracker::Reach::NotSent) {
        verdict = SubmittedFile::Verdict::NotSent;
        // The server was reached, so no coming back online will send it:
        // the next refresh does, and the form says why it waits.
        if (m_reachedServer) {
            // A reply the toolkit cannot read comes back as its HTTP
            // status, 200 most often.
            const bool unreadable = (rc >= 200 && rc < 300) || soap_xml_error_check(rc);
            refusal = !m_questionFault.isEmpty() ? m_questionFault
                : unreadable                     ? SubmittedFile::tr("its reply could not be read")
                : rc >= 100 && rc < 600          ? QStringLiteral("HTTP %1").arg(rc)
                                                 : SubmittedFile::tr("no answer");
        }
    }
    soap_destroy(proxy->soap);
    soap_end(proxy->soap);
    job->finishUpload(verdict, refusal);
}

int SubmitThread::upload(
    ombrel::Service *proxy, const QByteArray &user, const QByteArray &password, SendTracker::Reach *reach)
{
    SubmittedFile *job = m_file.get();
    struct soap *soap = proxy->soap;
    StreamedUpload::prepare(soap);
    SendTracker tracker(soap);
    bool compress = false;
    m_questionFault.clear();
    const int rc = StreamedUpload::askCompression(proxy, user, password, &compress, &m_questionFault);
    m_reachedServer = tracker.reach() != SendTracker::Reach::NotSent;
    if (rc != SOAP_OK)
        return rc; // the job itself was not sent
    tracker.reset();

    job->setStartTime();
    JobSource source(job);
    const ombrel::xsd__base64Binary data = StreamedUpload::attachment(soap, &source, "My Submit");
    ombrel::SubmitEntry entry;
    entry.flowId = WideText::fromQString(job->getFlowId());
    entry.submitPointId = WideText::fromQString(job->getSubmitPointId());
    entry.jobName = WideText::fromQString(job->getJobName());

    soap->userid = user.constData();
    soap->passwd = password.constData();
    std::wstring jobId;
    const StreamedUpload::Sending sending(soap, &source, compress);
    const int result
        = proxy->ombrel__SubmitFile08(entry, data, toWire(job->getMetadata()), job->getTotalSize(), jobId);
    *reach = tracker.reach();
    return result;
}
