#include "FuzzCalls.h"

#include "CallBounds.h"
#include "PointConversions.h"
#include "RecordStream.h"
#include "ReplyConversions.h"
#include "ReplyPeer.h"
#include "ServerCache.h"
#include "ServiceProxyFactory.h"

#include <ombrelServiceProxy.h>

#include <cstdlib>
#include <memory>

namespace FuzzCalls {

namespace {

constexpr int kCallMs = 3000;

struct Client
{
    ReplyPeer peer;
    std::unique_ptr<ombrel::Service> proxy;
    QByteArray endpoint;

    Client()
    {
        if (!peer.start())
            std::abort();
        endpoint = peer.endpoint();
        proxy.reset(createServiceProxy(false));
        proxy->endpoint = endpoint.constData();
    }
};

Client &client()
{
    static Client c;
    return c;
}

// As the client's calls begin and end (ServerConnection::prepareCall,
// endCall).
struct soap *begin(const QByteArray &reply)
{
    Client &c = client();
    c.peer.setReply(reply);
    CallBounds::boundEnvelope(c.proxy->soap, kCallMs, kCallMs);
    return c.proxy->soap;
}

void end()
{
    struct soap *soap = client().proxy->soap;
    soap_destroy(soap);
    soap_end(soap);
}

const std::wstring kId = L"id";
// The demo flows of the test server, so that the seed replies carry records.
const std::vector<std::wstring> kIds { L"flow-print", L"flow-archive" };

} // namespace

const char *envelopeCallName(int which)
{
    static const char *const names[kEnvelopeCalls] = { "CheckConnect", "CheckUserNameAndPass", "GetStatus",
        "GetFlowList07", "GetSubmitPoints07", "GetCheckPoints07", "GetLogData07", "GetProgressData",
        "GetJobLockStatus", "SetJobLockStatus", "PushCheckpointJob", "CloseConnection" };
    return names[unsigned(which) % kEnvelopeCalls];
}

void envelopeCall(int which, const QByteArray &reply)
{
    begin(reply);
    ombrel::Service &p = *client().proxy;
    int number = 0;
    std::wstring text;
    switch (unsigned(which) % kEnvelopeCalls) {
    case 0:
        p.ombrel__CheckConnect(number);
        break;
    case 1:
        p.ombrel__CheckUserNameAndPass(number);
        break;
    case 2: {
        ombrel::ombrel__GetStatusResponse r;
        p.ombrel__GetStatus(r);
        break;
    }
    case 3: {
        ombrel::ombrel__GetFlowList07Response r;
        p.ombrel__GetFlowList07(r);
        break;
    }
    case 4: {
        ombrel::ombrel__GetSubmitPoints07Response r;
        p.ombrel__GetSubmitPoints07(kIds, r);
        break;
    }
    case 5: {
        ombrel::ombrel__GetCheckPoints07Response r;
        p.ombrel__GetCheckPoints07(kIds, 1, r);
        break;
    }
    case 6: {
        ombrel::ombrel__GetLogData07Response r;
        p.ombrel__GetLogData07(L"2026-01-01T00:00:00.000Z", r);
        break;
    }
    case 7: {
        ombrel::ombrel__GetProgressDataResponse r;
        p.ombrel__GetProgressData(24, r);
        break;
    }
    case 8:
        p.ombrel__GetJobLockStatus(kId, kId, kId, text);
        break;
    case 9:
        p.ombrel__SetJobLockStatus(kId, kId, kId, 1, number);
        break;
    case 10: {
        ombrel::PushJobStatus status;
        p.ombrel__PushCheckpointJob(kId, kId, kId, status, number);
        break;
    }
    default:
        p.ombrel__CloseConnection(number);
        break;
    }
    end();
}

void recordCalls(const QByteArray &reply)
{
    const auto within
        = [](quint64 &used, quint64 cost) { return (used += cost) <= CallBounds::recordBudget(); };
    {
        struct soap *soap = begin(reply);
        quint64 used = 0;
        RecordStream::getLogData07(soap, client().endpoint.constData(), L"2026-01-01T00:00:00.000Z",
            [&](const ombrel::LoggedRecord &record) {
                const LogMessage message = ReplyConversions::toLogMessage(record, 1);
                return within(used, quint64(message.message.size()) * 2 + 256);
            });
        end();
    }
    {
        struct soap *soap = begin(reply);
        quint64 used = 0;
        RecordStream::getProgressData(
            soap, client().endpoint.constData(), 24, [&](const ombrel::ProgressRecord &record) {
                const ProgressData data = ReplyConversions::toProgressData(record);
                return within(used, quint64(data.jobName.size()) * 2 + 256);
            });
        end();
    }
    {
        struct soap *soap = begin(reply);
        quint64 used = 0;
        RecordStream::CheckPointTaker take;
        take.flowBegins = [] {};
        take.checkPointBegins = [] {};
        take.job = [&](const ombrel::JobIdStatus &job) {
            if (job.jobInfo.empty())
                return true;
            const CheckPointJobData data = PointConversions::toJobData(job.jobInfo.front(), QString());
            return within(used, quint64(data.name.size()) * 2 + 256);
        };
        take.checkPointEnds = [](const std::wstring &, const std::wstring &) {};
        take.flowEnds = [](const std::wstring &) {};
        RecordStream::getCheckPoints07(soap, client().endpoint.constData(), kIds, 1, take);
        end();
    }
}

void cacheFile(const QByteArray &bytes)
{
    ServerCache::Content content;
    ServerCache::fromXml(bytes, &content);
}

void runOne(Target target, const uint8_t *data, size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    switch (target) {
    case Target::Envelope:
        if (size > 0)
            envelopeCall(data[0], QByteArray(bytes + 1, qsizetype(size - 1)));
        break;
    case Target::Records:
        recordCalls(QByteArray(bytes, qsizetype(size)));
        break;
    case Target::Cache:
        cacheFile(QByteArray(bytes, qsizetype(size)));
        break;
    }
}

const char *targetName(Target target)
{
    switch (target) {
    case Target::Envelope:
        return "envelope";
    case Target::Records:
        return "records";
    case Target::Cache:
        break;
    }
    return "cache";
}

void relayTo(quint16 port)
{
    client().peer.relayTo(port);
}

QByteArray relayed()
{
    return client().peer.relayed();
}

} // namespace FuzzCalls
