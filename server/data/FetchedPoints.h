#pragma once

#include "CheckPointJobData.h"

#include <QList>
#include <QMap>
#include <QString>

#include <ombrelH.h>

#include <vector>

// One checkpoint of a checkpoint reply, its jobs already the client's own
// records (keyed by job id; a later record with the same id replaces an
// earlier one).
struct FetchedCheckPoint
{
    QString id;
    QString name;
    QMap<QString, CheckPointJobData> jobs;
};

struct FetchedCheckPointFlow
{
    QString flowId;
    QList<FetchedCheckPoint> checkPoints;
};

// Submit point and checkpoint replies of one update, in the order the
// server sent them, for the proxy to take in.
struct FetchedPoints
{
    int updateFlags = 0;
    std::vector<ombrel::SubmitPoints07> submitPoints;
    QList<FetchedCheckPointFlow> checkPoints;
};
