#pragma once

// What a ConnectionThread does (activity) and which data an update fetches.
namespace ActivityFlags {
enum : int {
    Connect = 1,
    Login = 2,
    Push = 4,
    Update = 8,
};
} // namespace ActivityFlags

namespace UpdateFlags {
enum : int {
    SubmitPoints = 1,
    CheckPoints = 2,
    Messages = 4,
    Progress = 8,
    All = 15,
};
} // namespace UpdateFlags
