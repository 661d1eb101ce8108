#pragma once

// What a download of a checkpoint job fetches; the value goes to the
// server as the download type.
namespace DownloadType {
enum : int {
    Job = 0,
    Report = 1,
};
} // namespace DownloadType
