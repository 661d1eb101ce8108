#pragma once

#include <QString>

// One metadata field shown with a checkpoint job.
struct MetadataToDisplay
{
    QString label;
    QString description;
    QString dataType;
    QString value;
};
