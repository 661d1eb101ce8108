#pragma once

#include <QString>

// Settings keys of the Progress page, spelled as stored.
namespace ProgressNames {

inline QString headersKey()
{
    return QStringLiteral("Layout/Progress/Headers");
}
// The hours after which completed jobs are no longer shown, as typed.
inline QString hoursKey()
{
    return QStringLiteral("Default/Progress: no show jobs");
}

} // namespace ProgressNames
