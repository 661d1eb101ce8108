#pragma once

#include "MetadataToFill.h"

#include <QList>
#include <QString>
#include <QStringList>

// The user's decision for a checkpoint job.
struct PushJobInfo
{
    QList<MetadataToFill> requiredMetadata;
    QStringList connectionIds;
    QString jobName;
    bool push = false;
    // The job the decision is for: whoever carries it out acts on this id,
    // not on whatever happens to be selected by then.
    QString jobId;
};
