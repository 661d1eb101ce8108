// The operations that carry a package: submissions and replacements come in
// as DIME attachments, downloads go out as one.
#include "Connection.h"
#include "Conversions.h"
#include "ServerClock.h"
#include "ServerCore.h"
#include "Transfers.h"

#include <QFileInfo>

#include <ombrelH.h>

#include <mutex>

using namespace testserver;
using namespace testserver::Conversions;

namespace {

// Fills the transfer part of an upload record from what arrived for data:
// an attachment (the usual case) or a payload inline in the request.
void takePayload(Connection &call, const ombrel::xsd__base64Binary &data, Upload &upload)
{
    upload.contentEncoding = call.contentEncoding();
    std::unique_ptr<Receiver> inlineReceiver;
    const Receiver *receiver = call.receiverFor(data.__ptr);
    if (receiver) {
        upload.viaAttachment = true;
    } else {
        const bool raw = call.core().options.rawUploads;
        const QString folder = raw ? QString() : call.core().newUploadFolder();
        inlineReceiver = std::make_unique<Receiver>(raw ? Receiver::Raw : Receiver::Unpack, folder);
        if (data.__ptr && data.__size > 0)
            inlineReceiver->add(reinterpret_cast<const char *>(data.__ptr), static_cast<size_t>(data.__size));
        inlineReceiver->close();
        receiver = inlineReceiver.get();
    }
    upload.bytesReceived = receiver->bytes();
    upload.complete = receiver->complete();
    upload.folder = receiver->folder();
    upload.mainFile = receiver->mainFile();
    upload.sha256 = receiver->sha256();
    upload.attachmentType = receiver->type;
    upload.optionsText = receiver->optionsText;
    upload.error = receiver->complete() ? QString() : receiver->error();
}

// What makes the server refuse an upload; the caller holds the mutex.
QString refusal(const ServerCore &core, const Upload &upload)
{
    if (!upload.contentEncoding.isEmpty() && !core.compress)
        return QStringLiteral("compressed requests are not accepted");
    if (!upload.error.isEmpty())
        return upload.error;
    if (upload.fullSubmitSize >= 0 && upload.bytesReceived != upload.fullSubmitSize)
        return QStringLiteral("received %1 bytes, %2 announced")
            .arg(upload.bytesReceived)
            .arg(upload.fullSubmitSize);
    return QString();
}

int submit(Connection &call, Operation op, const ombrel::SubmitEntry &entry,
    const ombrel::xsd__base64Binary &data, const std::vector<ombrel::MetadataToFillClass> &metadata,
    qint64 fullSubmitSize, std::wstring &outJobId)
{
    describe(call, QStringLiteral("inEntry"), entry);
    describe(call, QStringLiteral("inSubmitData"), data);
    describe(call, QStringLiteral("metadata"), metadata);
    if (fullSubmitSize >= 0)
        describe(call, QStringLiteral("fullSubmitSize"), fullSubmitSize);
    if (const int rc = call.begin())
        return rc;

    Upload upload;
    upload.operation = op;
    upload.user = call.user();
    upload.flowId = qt(entry.flowId);
    upload.targetId = qt(entry.submitPointId);
    upload.jobName = qt(entry.jobName);
    upload.metadata = fromWire(metadata);
    upload.fullSubmitSize = fullSubmitSize;
    takePayload(call, data, upload);

    ServerCore &core = call.core();
    {
        std::lock_guard<std::mutex> lock(core.mutex);
        const Flow *flow = core.findFlow(upload.flowId);
        const testserver::SubmitPoint *point = nullptr;
        for (const testserver::SubmitPoint &candidate :
            flow ? flow->submitPoints : QList<testserver::SubmitPoint>()) {
            if (candidate.id == upload.targetId)
                point = &candidate;
        }
        upload.error = point ? refusal(core, upload) : QStringLiteral("no such submit point");
        upload.accepted = upload.error.isEmpty();
        if (upload.accepted) {
            outJobId = wide(QStringLiteral("job-%1").arg(core.nextJobNumber++));
            const QString now = ServerClock::format(ServerClock::now());
            ProgressEntry progress;
            progress.fullUserName = upload.user;
            progress.jobName = upload.jobName;
            progress.serverName = core.serverName;
            progress.flowName = flow->name;
            progress.submitPoint = point->name;
            progress.submittedTime = now;
            progress.state = QStringLiteral("Processing");
            progress.enteredState = now;
            progress.onHold = QStringLiteral("No");
            core.progress.prepend(progress);
        }
        core.uploads.append(upload);
    }
    core.changed.notify_all();
    if (!upload.accepted)
        return soap_sender_fault(
            call.soap(), soap_strdup(call.soap(), upload.error.toUtf8().constData()), nullptr);

    ombrel::ombrel__SubmitFile08Response response;
    response.outJobId = outJobId;
    return call.respond(response, ombrel::soap_out_ombrel__SubmitFile08Response);
}

int replace(Connection &call, Operation op, const ombrel::ReplaceEntry &entry,
    const ombrel::xsd__base64Binary &data, const ombrel::PushJobStatus &jobInfo, qint64 fullSubmitSize,
    int &isReplaced)
{
    describe(call, QStringLiteral("inEntry"), entry);
    describe(call, QStringLiteral("inSubmitData"), data);
    describe(call, QStringLiteral("jobInfo"), jobInfo);
    if (fullSubmitSize >= 0)
        describe(call, QStringLiteral("fullSubmitSize"), fullSubmitSize);
    if (const int rc = call.begin())
        return rc;

    Upload upload;
    upload.operation = op;
    upload.user = call.user();
    upload.flowId = qt(entry.flowId);
    upload.targetId = qt(entry.checkPointId);
    upload.jobId = qt(entry.jobId);
    upload.fileName = qt(entry.fileName);
    upload.jobInfo = fromWire(jobInfo);
    upload.fullSubmitSize = fullSubmitSize;
    takePayload(call, data, upload);

    ServerCore &core = call.core();
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(core.mutex);
        Job *job = core.findJob(upload.flowId, upload.targetId, upload.jobId);
        known = job != nullptr;
        upload.error = known ? refusal(core, upload) : QStringLiteral("no such job");
        upload.accepted = upload.error.isEmpty();
        if (upload.accepted) {
            // The replacement is what later downloads of the job deliver.
            job->package = Package::fromPath(upload.mainFile);
            job->size = -1;
            // Sent with outgoing connections, the replacement is pushed on
            // along them at once, as a push would.
            if (!upload.jobInfo.connectionIds.isEmpty())
                core.removeJob(upload.flowId, upload.targetId, upload.jobId);
        }
        core.uploads.append(upload);
    }
    core.changed.notify_all();
    if (known && !upload.accepted)
        return soap_sender_fault(
            call.soap(), soap_strdup(call.soap(), upload.error.toUtf8().constData()), nullptr);

    isReplaced = upload.accepted ? 1 : 0;
    ombrel::ombrel__ReplaceFile08Response response;
    response.isReplaced = isReplaced;
    return call.respond(response, ombrel::soap_out_ombrel__ReplaceFile08Response);
}

QByteArray wholePackage(const Package &package)
{
    Sender sender(package);
    QByteArray bytes;
    char buffer[65536];
    while (const size_t got = sender.read(buffer, sizeof buffer))
        bytes.append(buffer, static_cast<qsizetype>(got));
    return bytes;
}

int download(Connection &call, const std::wstring &flowId, const std::wstring &checkPointId,
    const std::wstring &jobId, int downloadType, ombrel::xsd__base64Binary &inSubmitData)
{
    describe(call, QStringLiteral("flowId"), flowId);
    describe(call, QStringLiteral("checkPointId"), checkPointId);
    describe(call, QStringLiteral("jobId"), jobId);
    describe(call, QStringLiteral("downloadType"), downloadType);
    if (const int rc = call.begin())
        return rc;

    Package package;
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        if (const Job *job = call.core().findJob(qt(flowId), qt(checkPointId), qt(jobId))) {
            known = true;
            package = downloadType == 1 ? job->report : job->package;
        }
    }
    if (!known)
        return soap_sender_fault(call.soap(), "no such job", nullptr);
    if (!package.isSet())
        return soap_sender_fault(call.soap(), "nothing to download", nullptr);

    const QByteArray tag = "ombrel:" + OperationInfo::name(call.operation()).toLatin1() + "Response";
    switch (call.fault().kind) {
    case Fault::RawBody:
        return call.sendRawBody(call.fault().text.toUtf8());
    case Fault::InlinePayload:
        return call.sendRawBody('<' + tag + "><inSubmitData>" + wholePackage(package).toBase64()
            + "</inSubmitData></" + tag + '>');
    case Fault::EmptyPayload:
        return call.sendRawBody('<' + tag + "><inSubmitData/></" + tag + '>');
    case Fault::OmitResult:
        return call.sendRawBody('<' + tag + "/>");
    default:
        break;
    }

    Sender *sender = call.addSender(package);
    if (!sender->isValid())
        return soap_receiver_fault(call.soap(), "package unreadable", nullptr);
    inSubmitData.__ptr = reinterpret_cast<unsigned char *>(sender);
    inSubmitData.__size = 0;
    inSubmitData.id = nullptr;
    inSubmitData.type = soap_strdup(call.soap(), "streamer");
    inSubmitData.options = nullptr;
    // Literal output goes out as DIME only when asked for; chunked, so the
    // package size need not be known in advance.
    struct soap *soap = call.soap();
    soap->omode = (soap->omode & ~SOAP_IO) | SOAP_IO_CHUNK | SOAP_ENC_DIME;
    return SOAP_OK;
}

} // namespace

namespace ombrel {

int ombrel__SubmitFile(struct soap *soap, SubmitEntry inEntry, xsd__base64Binary inSubmitData,
    std::vector<MetadataToFillClass> metadata, std::wstring &outJobId)
{
    return submit(
        *Connection::of(soap), Operation::SubmitFile, inEntry, inSubmitData, metadata, -1, outJobId);
}

int ombrel__SubmitFile08(struct soap *soap, SubmitEntry inEntry, xsd__base64Binary inSubmitData,
    std::vector<MetadataToFillClass> metadata, LONG64 fullSubmitSize, std::wstring &outJobId)
{
    return submit(*Connection::of(soap), Operation::SubmitFile08, inEntry, inSubmitData, metadata,
        qMax<qint64>(0, fullSubmitSize), outJobId);
}

int ombrel__ReplaceFile(struct soap *soap, ReplaceEntry inEntry, xsd__base64Binary inSubmitData,
    PushJobStatus jobInfo, int &isReplaced)
{
    return replace(
        *Connection::of(soap), Operation::ReplaceFile, inEntry, inSubmitData, jobInfo, -1, isReplaced);
}

int ombrel__ReplaceFile08(struct soap *soap, ReplaceEntry inEntry, xsd__base64Binary inSubmitData,
    PushJobStatus jobInfo, LONG64 fullSubmitSize, int &isReplaced)
{
    return replace(*Connection::of(soap), Operation::ReplaceFile08, inEntry, inSubmitData, jobInfo,
        qMax<qint64>(0, fullSubmitSize), isReplaced);
}

int ombrel__DownloadFile(struct soap *soap, std::wstring flowId, std::wstring checkPointId,
    std::wstring jobId, xsd__base64Binary &inSubmitData)
{
    return download(*Connection::of(soap), flowId, checkPointId, jobId, 0, inSubmitData);
}

int ombrel__DownloadFile07(struct soap *soap, std::wstring flowId, std::wstring checkPointId,
    std::wstring jobId, int downloadType, xsd__base64Binary &inSubmitData)
{
    return download(*Connection::of(soap), flowId, checkPointId, jobId, downloadType, inSubmitData);
}

int ombrel__DownloadFile08(struct soap *soap, std::wstring flowId, std::wstring checkPointId,
    std::wstring jobId, int downloadType, xsd__base64Binary &inSubmitData)
{
    return download(*Connection::of(soap), flowId, checkPointId, jobId, downloadType, inSubmitData);
}

} // namespace ombrel
