// ServerConnection's data fetches, the calls that update threads make.
#include "ServerConnection.h"

#include "PushJobInfo.h"
#include "ReplyConversions.h"
#include "ServerTime.h"
#include "WideText.h"

#include <QMutexLocker>

#include <ombrelServiceProxy.h>

bool ServerConnection::getFlowList(QStringList &flowIds)
{
    QMutexLocker soapLock(&m_soapMutex);
    ombrel::Service *proxy = activeProxy();
    ombrel::ombrel__GetFlowList07Response reply;
    int rc = prepareCall(proxy, Caller::Worker);
    if (rc == SOAP_OK)
        rc = proxy->ombrel__GetFlowList07(reply);
    endCall(proxy);
    if (rc != SOAP_OK) {
        {
            const QMutexLocker lock(&m_dataMutex);
            m_flows.clear();
        }
        soapLock.unlock();
        noteCallResult(false, false);
        return false;
    }
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
    endCall(proxy);
    soapLock.unlock();
    if (rc != SOAP_OK) {
        noteCallResult(false, false);
        return false;
    }
    points.swap(reply.submitPoints);
    return true;
}

bool ServerConnection::getCheckPoints(
    const QStringList &flowIds, bool withJobs, std::vector<ombrel::CheckPoints07> &points)
{
    QMutexLocker soapLock(&m_soapMutex);
    ombrel::Service *proxy = activeProxy();
    ombrel::ombrel__GetCheckPoints07Response reply;
    int rc = prepareCall(proxy, Caller::Worker);
    if (rc == SOAP_OK)
        rc = proxy->ombrel__GetCheckPoints07(ReplyConversions::toWide(flowIds), withJobs ? 1 : 0, reply);
    endCall(proxy);
    soapLock.unlock();
    if (rc != SOAP_OK) {
        noteCallResult(false, false);
        return false;
    }
    points.swap(reply.checkPoints);
    return true;
}

QString ServerConnection::getLogData(LogBatch *messages)
{
    QMutexLocker soapLock(&m_soapMutex);
    const QDateTime fetchTime = QDateTime::currentDateTimeUtc();
    ombrel::Service *proxy = activeProxy();
    ombrel::ombrel__GetLogData07Response reply;
    // A stop request refuses the call in prepareCall.
    int rc = prepareCall(proxy, Caller::Worker);
    if (rc == SOAP_OK)
        rc = proxy->ombrel__GetLogData07(WideText::fromQString(ServerTime::format(lastLogTime())), reply);
    endCall(proxy);
    if (rc != SOAP_OK) {
        soapLock.unlock();
        noteCallResult(false, false);
        return QString();
    }
    // The first record only carries the time the next fetch starts from.
    const int id = m_connectionId;
    for (size_t i = 1; i < reply.logs.size(); ++i)
        messages->append(ReplyConversions::toLogMessage(reply.logs[i], id));
    QDateTime next = fetchTime;
    if (!reply.logs.empty())
        next = ServerTime::parse(WideText::toQString(reply.logs.front().timeStamp));
    if (next.isValid()) {
        const QMutexLocker lock(&m_dataMutex);
        m_lastLogTime = next;
    }
    return ServerTime::format(fetchTime);
}

bool ServerConnection::getProgressData(int count, ProgressList *records)
{
    QMutexLocker soapLock(&m_soapMutex);
    ombrel::Service *proxy = activeProxy();
    ombrel::ombrel__GetProgressDataResponse reply;
    int rc = prepareCall(proxy, Caller::Worker);
    if (rc == SOAP_OK)
        rc = proxy->ombrel__GetProgressData(count, reply);
    endCall(proxy);
    soapLock.unlock();
    if (rc != SOAP_OK) {
        noteCallResult(false, false);
        return false;
    }
    for (const ombrel::ProgressRecord &record : reply.logs)
        records->append(ReplyConversions::toProgressData(record));
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
