#pragma once

#include <QString>

// Settings keys of the Checkpoints page, spelled as stored.
namespace CheckpointNames {

inline QString layoutGroup()
{
    return QStringLiteral("Layout/Checkpoints");
}

} // namespace CheckpointNames
