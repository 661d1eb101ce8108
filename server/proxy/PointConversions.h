#pragma once

#include "CheckPointJobData.h"
#include "MetadataToFill.h"

#include <QList>
#include <QString>

#include <vector>

namespace ombrel {
class JobStatus;
class MetadataToFillClass;
} // namespace ombrel

// Submit point and checkpoint replies to the client's own records.
namespace PointConversions {

// The text that, followed by the field's 0-based position, keys each
// metadata field of one point or checkpoint: "host:port:flow:point:".
QString metadataKeyPrefix(const QString &host, int port, const QString &flowId, const QString &pointId);

QList<MetadataToFill> toMetadataToFill(
    const std::vector<ombrel::MetadataToFillClass> &fields, const QString &keyPrefix);

CheckPointJobData toJobData(const ombrel::JobStatus &status, const QString &keyPrefix);

} // namespace PointConversions
