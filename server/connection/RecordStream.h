#pragma once

#include <functional>
#include <string>
#include <vector>

struct soap;

namespace ombrel {
class JobIdStatus;
class LoggedRecord;
class ProgressRecord;
} // namespace ombrel

// The calls whose replies can hold a busy server's hundreds of thousands of
// records. Each sends its request as the generated stub does and reads the
// reply with the generated readers one record at a time: the record goes
// to the caller, and what the toolkit allocated for it is released before
// the next, so a reply costs what the caller keeps of it. A taker that
// returns false refuses the reply (CallBounds::refuse: too large). The
// result is the call's gSOAP code, as the stub's would be. The read...
// functions read a reply alone, from wherever the context reads (a socket
// after the request, or any source of bytes set up by the caller).
namespace RecordStream {

int getLogData07(struct soap *soap, const char *endpoint, const std::wstring &lastTime,
    const std::function<bool(const ombrel::LoggedRecord &)> &take);

int readLogData07(struct soap *soap, const std::function<bool(const ombrel::LoggedRecord &)> &take);

int getProgressData(struct soap *soap, const char *endpoint, int lastHours,
    const std::function<bool(const ombrel::ProgressRecord &)> &take);

int readProgressData(struct soap *soap, const std::function<bool(const ombrel::ProgressRecord &)> &take);

// A checkpoint reply's records in document order; ids and names are
// handed over when their element ends, since they may come after the jobs.
struct CheckPointTaker
{
    std::function<void()> flowBegins;
    std::function<void()> checkPointBegins;
    std::function<bool(const ombrel::JobIdStatus &)> job;
    std::function<void(const std::wstring &id, const std::wstring &name)> checkPointEnds;
    std::function<void(const std::wstring &flowId)> flowEnds;
};

int getCheckPoints07(struct soap *soap, const char *endpoint, const std::vector<std::wstring> &flowIds,
    int withJobs, const CheckPointTaker &take);
int readCheckPoints07(struct soap *soap, const CheckPointTaker &take);

} // namespace RecordStream
