#pragma once

#include <QString>

namespace testserver {

// The service's operations, in the order of the proxy's methods.
enum class Operation {
    CheckConnect,
    GetCompressClientJobs,
    CheckUserNameAndPass,
    CloseConnection,
    GetStatus,
    SubmitFile,
    ReplaceFile,
    DownloadFile,
    GetFlowList,
    GetFlowName,
    GetFlowState,
    GetSubmitPoints,
    GetCheckPoints,
    GetSubmitPointName,
    GetCheckPointName,
    GetCheckpointJobsCount,
    GetCheckpointJobs,
    GetCheckpointJobInfo,
    GetCheckpointJobsInfo,
    PushCheckpointJob,
    GetLogData,
    GetProgressData,
    GetJobLockStatus,
    SetJobLockStatus,
    GetFlowList07,
    GetSubmitPoints07,
    GetCheckPoints07,
    DownloadFile07,
    GetLogData07,
    DownloadFile08,
    ReplaceFile08,
    SubmitFile08,
    Unknown
};

constexpr int OperationCount = static_cast<int>(Operation::Unknown);

namespace OperationInfo {

// "CheckConnect" and so on; "" for Unknown.
QString name(Operation op);
// Element name of the one child of the response ("param-1", "res", ...).
QString resultName(Operation op);
// By the request element's local name; Unknown when no operation has it.
Operation fromName(const QString &name);

bool isUpload(Operation op);
bool isDownload(Operation op);

} // namespace OperationInfo
} // namespace testserver
