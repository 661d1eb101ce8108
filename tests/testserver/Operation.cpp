#include "Operation.h"

#include <QStringList>

namespace testserver {
namespace {

struct Info
{
    const char *name;
    const char *result;
};

constexpr Info infos[OperationCount] = {
    { "CheckConnect", "param-1" },
    { "GetCompressClientJobs", "param-2" },
    { "CheckUserNameAndPass", "param-3" },
    { "CloseConnection", "param-4" },
    { "GetStatus", "res" },
    { "SubmitFile", "outJobId" },
    { "ReplaceFile", "isReplaced" },
    { "DownloadFile", "inSubmitData" },
    { "GetFlowList", "flowList" },
    { "GetFlowName", "flowName" },
    { "GetFlowState", "FlowState" },
    { "GetSubmitPoints", "submitPoints" },
    { "GetCheckPoints", "checkPoints" },
    { "GetSubmitPointName", "submitPointData" },
    { "GetCheckPointName", "checkPointName" },
    { "GetCheckpointJobsCount", "jobs" },
    { "GetCheckpointJobs", "jobIds" },
    { "GetCheckpointJobInfo", "jobInfo" },
    { "GetCheckpointJobsInfo", "jobInfos" },
    { "PushCheckpointJob", "param-5" },
    { "GetLogData", "logs" },
    { "GetProgressData", "logs" },
    { "GetJobLockStatus", "userName" },
    { "SetJobLockStatus", "isSet" },
    { "GetFlowList07", "flowList" },
    { "GetSubmitPoints07", "submitPoints" },
    { "GetCheckPoints07", "checkPoints" },
    { "DownloadFile07", "inSubmitData" },
    { "GetLogData07", "logs" },
    { "DownloadFile08", "inSubmitData" },
    { "ReplaceFile08", "isReplaced" },
    { "SubmitFile08", "outJobId" },
};

bool valid(Operation op)
{
    return static_cast<int>(op) >= 0 && static_cast<int>(op) < OperationCount;
}

} // namespace

namespace OperationInfo {

QString name(Operation op)
{
    return valid(op) ? QString::fromLatin1(infos[static_cast<int>(op)].name) : QString();
}

QString resultName(Operation op)
{
    return valid(op) ? QString::fromLatin1(infos[static_cast<int>(op)].result) : QString();
}

Operation fromName(const QString &name)
{
    for (int i = 0; i < OperationCount; ++i) {
        if (name == QLatin1String(infos[i].name))
            return static_cast<Operation>(i);
    }
    return Operation::Unknown;
}

bool isUpload(Operation op)
{
    return op == Operation::SubmitFile || op == Operation::SubmitFile08 || op == Operation::ReplaceFile
        || op == Operation::ReplaceFile08;
}

bool isDownload(Operation op)
{
    return op == Operation::DownloadFile || op == Operation::DownloadFile07
        || op == Operation::DownloadFile08;
}

} // namespace OperationInfo
} // namespace testserver
