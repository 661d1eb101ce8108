#pragma once

// Where a submitted job stands. The values are stored with saved jobs
// ("job status") and shown by the Submit Points page.
namespace SubmitStatus {
enum : int {
    Waiting = 0,
    WaitingConnection = 1,
    PreparingData = 2,
    Uploading = 3,
    Verifying = 4,
    Finished = 5,
    None = 6,
    Error = 7, // any value not listed above reads as this one too
};

// Not yet sent and not being sent: what a saved job keeps.
inline bool isPending(int status)
{
    return status == Waiting || status == WaitingConnection || status == PreparingData;
}
} // namespace SubmitStatus
