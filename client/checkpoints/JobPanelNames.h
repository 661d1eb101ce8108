#pragma once

#include <QString>

// Settings keys of the checkpoint job panel and the replace dialog,
// spelled as stored.
namespace JobPanelNames {

inline QString lastSavedPathKey()
{
    return QStringLiteral("Default/Checkpoints: last saved absolute path");
}

inline QString replaceLastOpenedPathKey()
{
    return QStringLiteral("ReplaceJob/LastOpenedPath");
}

} // namespace JobPanelNames
