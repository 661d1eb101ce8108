#pragma once

#include "JobConnection.h"
#include "MetadataToDisplay.h"
#include "MetadataToFill.h"

#include <QList>
#include <QString>

// The record of one job waiting at a checkpoint. The job id is not part of
// it: it is the record's key in its checkpoint's job map.
struct CheckPointJobData
{
    // A push of the job by this client waits in the action queue.
    static constexpr int kPushWaiting = 1;

    QString name;
    QString fullUserName;
    QString fileName;
    QString fullFileName;
    QString submitPointName;
    int status = 0;
    // 64-bit: a job over 2 GiB keeps its size.
    qint64 size = 0;
    QString submitTime;
    QString waitingTime;
    QList<MetadataToDisplay> metadata;
    bool requiresMetadata = false;
    QList<MetadataToFill> requiredMetadata;
    bool allowMultipleOutputs = false;
    QList<JobConnection> connections;
    bool enableReportViewing = false;
    QString reportFileName;
    bool allowReplacing = false;
};
