#pragma once

#include <QString>

// Settings keys of metadata entry and the Submit Points page, spelled as
// stored ("Submittions" included).
namespace SubmitNames {

// Remembered metadata values: this group, one key per field key.
inline QString metadataGroup()
{
    return QStringLiteral("Metadata");
}

inline QString lastChosenFilePathKey()
{
    return QStringLiteral("Default/Submittions: last chosen file path");
}
inline QString lastChosenFolderPathKey()
{
    return QStringLiteral("Default/Submittions: last chosen folder path");
}

inline QString layoutGroup()
{
    return QStringLiteral("Layout/Submittions");
}

// The jobs kept for the next run, written by the submit points.
inline QString submissionsGroup()
{
    return QStringLiteral("Submittions");
}

} // namespace SubmitNames
