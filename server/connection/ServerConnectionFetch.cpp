// ServerConnection's data fetches, the calls that update threads make.
#include "ServerConnection.h"

#include "FetchedPoints.h"
#include "PointConversions.h"
#include "PushJobInfo.h"
#include "RecordCost.h"
#include "RecordStream.h"
#include "ReplyConversions.h"
#include "ServerTime.h"
#include "TextPool.h"
#include "WideText.h"
#include "WorkFlags.h"

#include <QMutexLocker>

#include <ombrelServiceProxy.h>

namespace {

// The records of one reply, within the budget.
class Budget : public RecordCost::Budget
{
public:
    Budget()
        : RecordCost::Budget(CallBounds::recordBudget())
    { }
};

template <typename T>
bool sameFields(const QList<T> &a, const QList<T> &b, bool (*same)(const T &, const T &))
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!same(a.at(i), b.at(i)))
            return false;
    }
    return true;
}

bool sameField(const MetadataToFill &a, const MetadataToFill &b)
{
    return a.label == b.label && a.description == b.description && a.dataType == b.dataType
        && a.dataFormat == b.dataFormat && a.valueIsRequired == b.valueIsRequired
        && a.rememberLastValue == b.rememberLastValue && a.value == b.value && a.key == b.key;
}

bool sameConnection(const JobConnection &a, const JobConnection &b)
{
    return a.id == b.id && a.name == b.name;
}

// A checkpoint's jobs mostly repeat their user, submit point, metadata
// texts and connections: the repeats share one copy, a field list equal to
// the previous job's shares its list.
void shareJobTexts(CheckPointJobData &job, TextPool &pool, CheckPointJobData &last)
{
    pool.share(job.fullUserName);
    pool.share(job.submitPointName);
    for (MetadataToDisplay &field : job.metadata) {
        pool.share(field.label);
        pool.share(field.description);
        pool.share(field.dataType);
        pool.share(field.value);
    }
    if (sameFields(job.requiredMetadata, last.requiredMetadata, &sameField)) {
        job.requiredMetadata = last.requiredMetadata;
    } else {
        for (MetadataToFill &field : job.requiredMetadata) {
            pool.share(field.label);
            pool.share(field.description);
            pool.share(field.dataType);
            pool.share(field.dataFormat);
            pool.share(field.value);
        }
        last.requiredMetadata = job.requiredMetadata;
    }
    if (sameFields(job.connections, last.connections, &sameConnection)) {
        job.connections = last.connections;
    } else {
        for (JobConnection &connection : job.connections) {
            pool.share(connection.id);
            pool.share(connection.name);
        }
        last.connections = job.connections;
    }
}

} // namespace

bool ServerConnection::getFlowList(QStringList &flowIds)
{
    QMutexLocker soapLock(&m_soapMutex);
    ombrel::Service *proxy = activeProxy();
    ombrel::ombrel__GetFlowList07Response reply;
    int rc = prepareCall(proxy, Caller::Worker);
    if (rc == SOAP_OK)
        rc = proxy->ombrel__GetFlowList07(reply);
    const CallBounds::Breach breach = CallBounds::breach(proxy->soap);
    endCall(proxy);
    if (rc != SOAP_OK) {
        {
            const QMutexLocker lock(&m_dataMutex);
            m_flows.clear();
        }
        soapLock.unlock();
        m_flowListFailed = true;
        noteFetch(UpdateFlags::SubmitPoints | UpdateFlags::CheckPoints, rc, breach);
        return false;
    }
    m_flowListFailed = false;
    // Flows the server no longer lists stay in the table; they get no data
    // because their ids are not asked for.
    for (const ombrel::FlowInfo07 &info : reply.flowList) {
        const QString id = WideText::toQString(info.flowId);
        addFlow(id, WideText::toQString(info.flowName));
        flowIds.append(id);
    }
    return true;
}

bool ServerConnection::getSubmitPoints(
    const QStringList &flowIds, std::vector<ombrel::SubmitPoints07> &points)
{
    QMutexLocker soapLock(&m_soapMutex);
    ombrel::Service *proxy = activeProxy();
    ombrel::ombrel__GetSubmitPoints07Response reply;
    int rc = prepareCall(proxy, Caller::Worker);
    if (rc == SOAP_OK)
        rc = proxy->ombrel__GetSubmitPoints07(ReplyConversions::toWide(flowIds), reply);
    const CallBounds::Breach breach = CallBounds::breach(proxy->soap);
    endCall(proxy);
    soapLock.unlock();
    // Without the flow list the points were asked for no flow: that says
    // nothing of what the flow list's failure left out.
    if (rc != SOAP_OK || !m_flowListFailed)
        noteFetch(UpdateFlags::SubmitPoints, rc, breach);
    if (rc != SOAP_OK)
        return false;
    points.swap(reply.submitPoints);
    return true;
}

bool ServerConnection::getCheckPoints(
    const QStringList &flowIds, bool withJobs, QList<FetchedCheckPointFlow> &flows)
{
    // Remembered values are keyed on the server as applied, not as typed.
    const ConnectionSettings applied = appliedSettings();
    QList<FetchedCheckPointFlow> read;
    Budget budget;
    // Over the budget once the keys got their prefixes: refused as a
    // reply over it, since the cache holds the keys so.
    bool overBudget = false;
    TextPool pool;
    CheckPointJobData last;
    RecordStream::CheckPointTaker take;
    take.flowBegins = [&] { read.append(FetchedCheckPointFlow()); };
    take.checkPointBegins = [&] { read.last().checkPoints.append(FetchedCheckPoint()); };
    take.job = [&](const ombrel::JobIdStatus &job) {
        // A job without a status record has nothing to show or decide on.
        if (job.jobInfo.empty())
            return true;
        // The metadata keys get their prefix once the ids are known.
        CheckPointJobData data = PointConversions::toJobData(job.jobInfo.front(), QString());
        const QString jobId = WideText::toQString(job.jobId);
        if (overBudget || !budget.take(RecordCost::ofJob(jobId, data)))
            return false;
        shareJobTexts(data, pool, last);
        read.last().checkPoints.last().jobs.insert(jobId, data);
        return true;
    };
    take.checkPointEnds = [&](const std::wstring &id, const std::wstring &name) {
        FetchedCheckPoint &checkPoint = read.last().checkPoints.last();
        checkPoint.id = WideText::toQString(id);
        checkPoint.name = WideText::toQString(name);
    };
    take.flowEnds = [&](const std::wstring &flowId) {
        FetchedCheckPointFlow &flow = read.last();
        flow.flowId = WideText::toQString(flowId);
        for (FetchedCheckPoint &checkPoint : flow.checkPoints) {
            const QString prefix
                = PointConversions::metadataKeyPrefix(applied.host, applied.port, flow.flowId, checkPoint.id);
            // Jobs that shared a field list before share the prefixed one.
            QList<MetadataToFill> plain;
            QList<MetadataToFill> prefixed;
            for (CheckPointJobData &job : checkPoint.jobs) {
                if (job.requiredMetadata.isEmpty())
                    continue;
                if (job.requiredMetadata.isSharedWith(plain)) {
                    job.requiredMetadata = prefixed;
                    continue;
                }
                plain = job.requiredMetadata;
                for (MetadataToFill &field : job.requiredMetadata)
                    field.key = pool(prefix + field.key);
                prefixed = job.requiredMetadata;
            }
            for (const CheckPointJobData &job : checkPoint.jobs) {
                for (const MetadataToFill &field : job.requiredMetadata) {
                    const quint64 plainKey = RecordCost::of(field.key.mid(prefix.size()));
                    if (!budget.take(RecordCost::of(field.key) - plainKey))
                        overBudget = true;
                }
            }
        }
    };

    QMutexLocker soapLock(&m_soapMutex);
    ombrel::Service *proxy = activeProxy();
    int rc = prepareCall(proxy, Caller::Worker);
    if (rc == SOAP_OK)
        rc = RecordStream::getCheckPoints07(
            proxy->soap, proxy->endpoint, ReplyConversions::toWide(flowIds), withJobs ? 1 : 0, take);
    if (rc == SOAP_OK && overBudget) {
        CallBounds::refuse(proxy->soap);
        rc = SOAP_LENGTH;
    }
    const CallBounds::Breach breach = CallBounds::breach(proxy->soap);
    endCall(proxy);
    soapLock.unlock();
    if (rc != SOAP_OK || !m_flowListFailed)
        noteFetch(UpdateFlags::CheckPoints, rc, breach);
    if (rc != SOAP_OK)
        return false;
    flows.swap(read);
    return true;
}

QString ServerConnection::getLogData(LogBatch *messages)
{
    QMutexLocker soapLock(&m_soapMutex);
    const int generation = m_serverGeneration;
    const QDateTime fetchTime = QDateTime::currentDateTimeUtc();
    ombrel::Service *proxy = activeProxy();
    const int id = m_connectionId;
    Budget budget;
    TextPool pool;
    bool first = true;
    QDateTime next = fetchTime;
    LogBatch read;
    // A stop request refuses the call in prepareCall.
    int rc = prepareCall(proxy, Caller::Worker);
    if (rc == SOAP_OK)
        rc = RecordStream::getLogData07(proxy->soap, proxy->endpoint,
            WideText::fromQString(ServerTime::format(lastLogTime())),
            [&](const ombrel::LoggedRecord &record) {
                // The first record only carries the time the next fetch
                // starts from.
                if (first) {
                    first = false;
                    next = ServerTime::parse(WideText::toQString(record.timeStamp));
                    return true;
                }
                read.append(ReplyConversions::toLogMessage(record, id));
                LogMessage &message = read.last();
                const bool within = budget.take(RecordCost::of(message));
                pool.share(message.module);
                pool.share(message.server);
                pool.share(message.flow);
                pool.share(message.job);
                pool.share(message.type);
                message.message.squeeze();
                return within;
            });
    const CallBounds::Breach breach = CallBounds::breach(proxy->soap);
    endCall(proxy);
    soapLock.unlock();
    // A reply refused as too large is not asked for again and again: the
    // next fetch starts after it (the failure is told meanwhile).
    const bool moveOn = rc == SOAP_OK || (breach == CallBounds::Breach::TooLarge && !first);
    if (moveOn && next.isValid()) {
        // The log time of a server the connection left meanwhile stays behind.
        const QMutexLocker lock(&m_dataMutex);
        if (generation == m_serverGeneration)
            m_lastLogTime = next;
    }
    noteFetch(UpdateFlags::Messages, rc, breach);
    if (rc != SOAP_OK)
        return QString();
    messages->swap(read);
    return ServerTime::format(fetchTime);
}

bool ServerConnection::getProgressData(int count, ProgressList *records)
{
    QMutexLocker soapLock(&m_soapMutex);
    ombrel::Service *proxy = activeProxy();
    Budget budget;
    TextPool pool;
    ProgressList read;
    int rc = prepareCall(proxy, Caller::Worker);
    if (rc == SOAP_OK)
        rc = RecordStream::getProgressData(
            proxy->soap, proxy->endpoint, count, [&](const ombrel::ProgressRecord &record) {
                read.append(ReplyConversions::toProgressData(record));
                ProgressData &data = read.last();
                const bool within = budget.take(RecordCost::of(data));
                for (QString *text : { &data.fullUserName, &data.serverName, &data.flowName,
                         &data.submitPoint, &data.state, &data.onHold, &data.checkpoint })
                    pool.share(*text);
                return within;
            });
    const CallBounds::Breach breach = CallBounds::breach(proxy->soap);
    endCall(proxy);
    soapLock.unlock();
    noteFetch(UpdateFlags::Progress, rc, breach);
    if (rc != SOAP_OK)
        return false;
    records->swap(read);
    return true;
}

bool ServerConnection::pushCheckpointJob(const QString &flowId, const QString &checkPointId,
    const QString &jobId, const PushJobInfo &info, int *answerOut, int *soapError)
{
    QMutexLocker soapLock(&m_soapMutex);
    ombrel::Service *proxy = activeProxy();
    int answer = 0;
    int rc = prepareCall(proxy, Caller::Worker);
    if (rc == SOAP_OK)
        rc = proxy->ombrel__PushCheckpointJob(WideText::fromQString(flowId),
            WideText::fromQString(checkPointId), WideText::fromQString(jobId),
            ReplyConversions::toPushJobStatus(info), answer);
    endCall(proxy);
    soapLock.unlock();
    if (answerOut)
        *answerOut = answer;
    if (soapError)
        *soapError = rc;
    if (rc != SOAP_OK) {
        noteCallResult(false, false);
        return false;
    }
    return true;
}
