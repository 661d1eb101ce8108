// The service operations the generated skeleton dispatches to: everything
// but the transfers (TransferOperations.cpp).
#include "Connection.h"
#include "Conversions.h"
#include "ServerClock.h"
#include "ServerCore.h"

#include <ombrelH.h>

#include <algorithm>
#include <climits>
#include <mutex>

using namespace testserver;
using namespace testserver::Conversions;

namespace {

Connection &connectionOf(struct soap *soap)
{
    return *Connection::of(soap);
}

void logsSince(ServerCore &core, const std::wstring &lastTime, std::vector<ombrel::LoggedRecord> &out)
{
    const QDateTime since = ServerClock::parse(qt(lastTime));
    std::lock_guard<std::mutex> lock(core.mutex);
    // Each stamp parsed once: a large log is sorted in a blink.
    QList<QPair<qint64, const LogEntry *>> newer;
    QDateTime newest = since;
    for (const LogEntry &entry : core.logs) {
        const QDateTime stamp = ServerClock::parse(entry.timeStamp);
        if (!since.isValid() || !stamp.isValid() || stamp > since)
            newer.append({ stamp.isValid() ? stamp.toMSecsSinceEpoch() : LLONG_MIN, &entry });
        if (stamp.isValid() && (!newest.isValid() || stamp > newest))
            newest = stamp;
    }
    std::stable_sort(newer.begin(), newer.end(),
        [](const auto &a, const auto &b) { return a.first > b.first; });
    // The client takes the first record only for its time stamp, the
    // "since" of its next call, and shows the rest.
    LogEntry head;
    head.timeStamp = ServerClock::format(newest.isValid() ? newest : ServerClock::now());
    head.serverName = core.serverName;
    out.push_back(toWire(head));
    out.reserve(std::size_t(newer.size()) + 1);
    for (const auto &entry : newer)
        out.push_back(toWire(*entry.second));
}

} // namespace

namespace ombrel {

int ombrel__CheckConnect(struct soap *soap, int &_param_1)
{
    Connection &call = connectionOf(soap);
    if (const int rc = call.begin())
        return rc;
    _param_1 = 1;
    ombrel__CheckConnectResponse response;
    response._param_1 = _param_1;
    return call.respond(response, soap_out_ombrel__CheckConnectResponse);
}

int ombrel__GetCompressClientJobs(struct soap *soap, bool &_param_2)
{
    Connection &call = connectionOf(soap);
    if (const int rc = call.begin())
        return rc;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        _param_2 = call.core().compress;
    }
    ombrel__GetCompressClientJobsResponse response;
    response._param_2 = _param_2;
    return call.respond(response, soap_out_ombrel__GetCompressClientJobsResponse);
}

int ombrel__CheckUserNameAndPass(struct soap *soap, int &_param_3)
{
    Connection &call = connectionOf(soap);
    if (const int rc = call.begin())
        return rc;
    _param_3 = 1;
    ombrel__CheckUserNameAndPassResponse response;
    response._param_3 = _param_3;
    return call.respond(response, soap_out_ombrel__CheckUserNameAndPassResponse);
}

int ombrel__CloseConnection(struct soap *soap, int &_param_4)
{
    Connection &call = connectionOf(soap);
    if (const int rc = call.begin())
        return rc;
    _param_4 = 1;
    ombrel__CloseConnectionResponse response;
    response._param_4 = _param_4;
    return call.respond(response, soap_out_ombrel__CloseConnectionResponse);
}

int ombrel__GetStatus(struct soap *soap, ombrel__GetStatusResponse &result)
{
    Connection &call = connectionOf(soap);
    if (const int rc = call.begin())
        return rc;
    Status status;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        status.mServerName = wide(call.core().serverName);
        status.mStatus = wide(call.core().statusText);
    }
    result.res.push_back(status);
    return call.respond(result, soap_out_ombrel__GetStatusResponse);
}

int ombrel__GetFlowList(struct soap *soap, ombrel__GetFlowListResponse &result)
{
    Connection &call = connectionOf(soap);
    if (const int rc = call.begin())
        return rc;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        for (const Flow &flow : call.core().flows)
            result.flowList.push_back(wide(flow.id));
    }
    return call.respond(result, soap_out_ombrel__GetFlowListResponse);
}

int ombrel__GetFlowName(struct soap *soap, std::wstring flowId, std::wstring &flowName)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowId"), flowId);
    if (const int rc = call.begin())
        return rc;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        if (const Flow *flow = call.core().findFlow(qt(flowId)))
            flowName = wide(flow->name);
    }
    ombrel__GetFlowNameResponse response;
    response.flowName = flowName;
    return call.respond(response, soap_out_ombrel__GetFlowNameResponse);
}

int ombrel__GetFlowState(struct soap *soap, std::wstring flowId, int &FlowState)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowId"), flowId);
    if (const int rc = call.begin())
        return rc;
    FlowState = 0;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        if (const Flow *flow = call.core().findFlow(qt(flowId)))
            FlowState = flow->state;
    }
    ombrel__GetFlowStateResponse response;
    response.FlowState = FlowState;
    return call.respond(response, soap_out_ombrel__GetFlowStateResponse);
}

int ombrel__GetSubmitPoints(struct soap *soap, std::wstring flowId, ombrel__GetSubmitPointsResponse &result)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowId"), flowId);
    if (const int rc = call.begin())
        return rc;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        if (const Flow *flow = call.core().findFlow(qt(flowId))) {
            for (const testserver::SubmitPoint &point : flow->submitPoints)
                result.submitPoints.push_back(wide(point.id));
        }
    }
    return call.respond(result, soap_out_ombrel__GetSubmitPointsResponse);
}

int ombrel__GetCheckPoints(struct soap *soap, std::wstring flowId, ombrel__GetCheckPointsResponse &result)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowId"), flowId);
    if (const int rc = call.begin())
        return rc;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        if (const Flow *flow = call.core().findFlow(qt(flowId))) {
            for (const testserver::CheckPoint &checkPoint : flow->checkPoints)
                result.checkPoints.push_back(wide(checkPoint.id));
        }
    }
    return call.respond(result, soap_out_ombrel__GetCheckPointsResponse);
}

int ombrel__GetSubmitPointName(struct soap *soap, std::wstring flowId, std::wstring submitPointId,
    ombrel__GetSubmitPointNameResponse &result)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowId"), flowId);
    describe(call, QStringLiteral("submitPointId"), submitPointId);
    if (const int rc = call.begin())
        return rc;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        if (const Flow *flow = call.core().findFlow(qt(flowId))) {
            for (const testserver::SubmitPoint &point : flow->submitPoints) {
                if (point.id != qt(submitPointId))
                    continue;
                SubmitPointData data;
                data.name = wide(point.name);
                for (const MetadataField &field : point.metadata)
                    data.metadata.push_back(toWire(field));
                result.submitPointData.push_back(data);
            }
        }
    }
    return call.respond(result, soap_out_ombrel__GetSubmitPointNameResponse);
}

int ombrel__GetCheckPointName(
    struct soap *soap, std::wstring flowId, std::wstring checkPointId, std::wstring &checkPointName)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowId"), flowId);
    describe(call, QStringLiteral("checkPointId"), checkPointId);
    if (const int rc = call.begin())
        return rc;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        if (const testserver::CheckPoint *checkPoint
            = call.core().findCheckPoint(qt(flowId), qt(checkPointId)))
            checkPointName = wide(checkPoint->name);
    }
    ombrel__GetCheckPointNameResponse response;
    response.checkPointName = checkPointName;
    return call.respond(response, soap_out_ombrel__GetCheckPointNameResponse);
}

int ombrel__GetCheckpointJobsCount(
    struct soap *soap, std::wstring flowId, std::wstring checkPointId, int &jobs)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowId"), flowId);
    describe(call, QStringLiteral("checkPointId"), checkPointId);
    if (const int rc = call.begin())
        return rc;
    jobs = 0;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        if (const testserver::CheckPoint *checkPoint
            = call.core().findCheckPoint(qt(flowId), qt(checkPointId)))
            jobs = static_cast<int>(checkPoint->jobs.size());
    }
    ombrel__GetCheckpointJobsCountResponse response;
    response.jobs = jobs;
    return call.respond(response, soap_out_ombrel__GetCheckpointJobsCountResponse);
}

int ombrel__GetCheckpointJobs(struct soap *soap, std::wstring flowId, std::wstring checkPointId,
    ombrel__GetCheckpointJobsResponse &result)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowId"), flowId);
    describe(call, QStringLiteral("checkPointId"), checkPointId);
    if (const int rc = call.begin())
        return rc;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        if (const testserver::CheckPoint *checkPoint
            = call.core().findCheckPoint(qt(flowId), qt(checkPointId))) {
            for (const Job &job : checkPoint->jobs)
                result.jobIds.push_back(wide(job.id));
        }
    }
    return call.respond(result, soap_out_ombrel__GetCheckpointJobsResponse);
}

int ombrel__GetCheckpointJobInfo(struct soap *soap, std::wstring flowId, std::wstring checkPointId,
    std::wstring jobId, ombrel__GetCheckpointJobInfoResponse &result)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowId"), flowId);
    describe(call, QStringLiteral("checkPointId"), checkPointId);
    describe(call, QStringLiteral("jobId"), jobId);
    if (const int rc = call.begin())
        return rc;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        if (const Job *job = call.core().findJob(qt(flowId), qt(checkPointId), qt(jobId)))
            result.jobInfo.push_back(toWire(*job));
    }
    return call.respond(result, soap_out_ombrel__GetCheckpointJobInfoResponse);
}

int ombrel__GetCheckpointJobsInfo(struct soap *soap, std::wstring flowId, std::wstring checkPointId,
    ombrel__GetCheckpointJobsInfoResponse &result)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowId"), flowId);
    describe(call, QStringLiteral("checkPointId"), checkPointId);
    if (const int rc = call.begin())
        return rc;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        if (const testserver::CheckPoint *checkPoint
            = call.core().findCheckPoint(qt(flowId), qt(checkPointId))) {
            for (const Job &job : checkPoint->jobs) {
                JobIdStatus status;
                status.jobId = wide(job.id);
                status.jobInfo.push_back(toWire(job));
                result.jobInfos.push_back(status);
            }
        }
    }
    return call.respond(result, soap_out_ombrel__GetCheckpointJobsInfoResponse);
}

int ombrel__PushCheckpointJob(struct soap *soap, std::wstring flowId, std::wstring checkPointId,
    std::wstring jobId, PushJobStatus jobInfo, int &_param_5)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowId"), flowId);
    describe(call, QStringLiteral("checkPointId"), checkPointId);
    describe(call, QStringLiteral("jobId"), jobId);
    describe(call, QStringLiteral("jobInfo"), jobInfo);
    if (const int rc = call.begin())
        return rc;
    Push push;
    push.flowId = qt(flowId);
    push.checkPointId = qt(checkPointId);
    push.jobId = qt(jobId);
    push.request = fromWire(jobInfo);
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        push.accepted = call.core().removeJob(push.flowId, push.checkPointId, push.jobId);
        call.core().pushes.append(push);
    }
    call.core().changed.notify_all();
    _param_5 = push.accepted ? 1 : 0;
    ombrel__PushCheckpointJobResponse response;
    response._param_5 = _param_5;
    return call.respond(response, soap_out_ombrel__PushCheckpointJobResponse);
}

int ombrel__GetLogData(struct soap *soap, std::wstring lastTime, ombrel__GetLogDataResponse &result)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("lastTime"), lastTime);
    if (const int rc = call.begin())
        return rc;
    logsSince(call.core(), lastTime, result.logs);
    return call.respond(result, soap_out_ombrel__GetLogDataResponse);
}

int ombrel__GetLogData07(struct soap *soap, std::wstring lastTime, ombrel__GetLogData07Response &result)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("lastTime"), lastTime);
    if (const int rc = call.begin())
        return rc;
    logsSince(call.core(), lastTime, result.logs);
    return call.respond(result, soap_out_ombrel__GetLogData07Response);
}

int ombrel__GetProgressData(struct soap *soap, int lastHours, ombrel__GetProgressDataResponse &result)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("lastHours"), lastHours);
    if (const int rc = call.begin())
        return rc;
    const QDateTime since = ServerClock::now().addSecs(-3600LL * lastHours);
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        for (const ProgressEntry &entry : call.core().progress) {
            const QDateTime submitted = ServerClock::parse(entry.submittedTime);
            if (lastHours > 0 && submitted.isValid() && submitted < since)
                continue;
            result.logs.push_back(toWire(entry));
        }
    }
    return call.respond(result, soap_out_ombrel__GetProgressDataResponse);
}

int ombrel__GetJobLockStatus(struct soap *soap, std::wstring flowId, std::wstring checkPointId,
    std::wstring jobId, std::wstring &userName)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowId"), flowId);
    describe(call, QStringLiteral("checkPointId"), checkPointId);
    describe(call, QStringLiteral("jobId"), jobId);
    if (const int rc = call.begin())
        return rc;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        userName
            = wide(call.core().locks.value(ServerCore::lockKey(qt(flowId), qt(checkPointId), qt(jobId))));
    }
    ombrel__GetJobLockStatusResponse response;
    response.userName = userName;
    return call.respond(response, soap_out_ombrel__GetJobLockStatusResponse);
}

int ombrel__SetJobLockStatus(struct soap *soap, std::wstring flowId, std::wstring checkPointId,
    std::wstring jobId, int lockStatus, int &isSet)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowId"), flowId);
    describe(call, QStringLiteral("checkPointId"), checkPointId);
    describe(call, QStringLiteral("jobId"), jobId);
    describe(call, QStringLiteral("lockStatus"), lockStatus);
    if (const int rc = call.begin())
        return rc;
    isSet = 0;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        if (call.core().findJob(qt(flowId), qt(checkPointId), qt(jobId))) {
            const QString key = ServerCore::lockKey(qt(flowId), qt(checkPointId), qt(jobId));
            // The holder's address in parentheses tells a client whether
            // the lock was taken on its own machine.
            if (lockStatus == 0)
                call.core().locks.remove(key);
            else
                call.core().locks.insert(key, QStringLiteral("%1 (%2)").arg(call.user(), call.peer()));
            isSet = 1;
        }
    }
    ombrel__SetJobLockStatusResponse response;
    response.isSet = isSet;
    return call.respond(response, soap_out_ombrel__SetJobLockStatusResponse);
}

int ombrel__GetFlowList07(struct soap *soap, ombrel__GetFlowList07Response &result)
{
    Connection &call = connectionOf(soap);
    if (const int rc = call.begin())
        return rc;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        for (const Flow &flow : call.core().flows) {
            FlowInfo07 info;
            info.flowId = wide(flow.id);
            info.flowName = wide(flow.name);
            result.flowList.push_back(info);
        }
    }
    return call.respond(result, soap_out_ombrel__GetFlowList07Response);
}

int ombrel__GetSubmitPoints07(
    struct soap *soap, std::vector<std::wstring> flowIds, ombrel__GetSubmitPoints07Response &result)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowIds"), flowIds);
    if (const int rc = call.begin())
        return rc;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        for (const std::wstring &flowId : flowIds) {
            const Flow *flow = call.core().findFlow(qt(flowId));
            if (!flow)
                continue;
            SubmitPoints07 points;
            points.flowId = flowId;
            for (const testserver::SubmitPoint &point : flow->submitPoints) {
                SubmitPointInfo07 info;
                info.spId = wide(point.id);
                info.spData.name = wide(point.name);
                for (const MetadataField &field : point.metadata)
                    info.spData.metadata.push_back(toWire(field));
                points.submitPoints.push_back(info);
            }
            result.submitPoints.push_back(points);
        }
    }
    return call.respond(result, soap_out_ombrel__GetSubmitPoints07Response);
}

int ombrel__GetCheckPoints07(struct soap *soap, std::vector<std::wstring> flowIds, int withJobs,
    ombrel__GetCheckPoints07Response &result)
{
    Connection &call = connectionOf(soap);
    describe(call, QStringLiteral("flowIds"), flowIds);
    describe(call, QStringLiteral("withJobs"), withJobs);
    if (const int rc = call.begin())
        return rc;
    {
        std::lock_guard<std::mutex> lock(call.core().mutex);
        for (const std::wstring &flowId : flowIds) {
            const Flow *flow = call.core().findFlow(qt(flowId));
            if (!flow)
                continue;
            CheckPoints07 checkPoints;
            checkPoints.flowId = flowId;
            for (const testserver::CheckPoint &checkPoint : flow->checkPoints) {
                CheckPointInfo07 info;
                info.cpId = wide(checkPoint.id);
                info.cpName = wide(checkPoint.name);
                info.cpJobsCount = static_cast<int>(checkPoint.jobs.size());
                if (withJobs) {
                    for (const Job &job : checkPoint.jobs) {
                        JobIdStatus status;
                        status.jobId = wide(job.id);
                        status.jobInfo.push_back(toWire(job));
                        info.cpJobs.push_back(status);
                    }
                }
                checkPoints.checkPoints.push_back(info);
            }
            result.checkPoints.push_back(checkPoints);
        }
    }
    return call.respond(result, soap_out_ombrel__GetCheckPoints07Response);
}

} // namespace ombrel
