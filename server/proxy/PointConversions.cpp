#include "PointConversions.h"

#include "WideText.h"

#include <ombrelH.h>

namespace PointConversions {

QString metadataKeyPrefix(const QString &host, int port, const QString &flowId, const QString &pointId)
{
    const QChar colon(QLatin1Char(':'));
    return host + colon + QString::number(port) + colon + flowId + colon + pointId + colon;
}

QList<MetadataToFill> toMetadataToFill(
    const std::vector<ombrel::MetadataToFillClass> &fields, const QString &keyPrefix)
{
    QList<MetadataToFill> list;
    list.reserve(qsizetype(fields.size()));
    for (const ombrel::MetadataToFillClass &wire : fields) {
        MetadataToFill field;
        field.label = WideText::toQString(wire.mtfLabel);
        field.description = WideText::toQString(wire.mtfDescription);
        field.dataType = WideText::toQString(wire.mtfDataType);
        field.dataFormat = WideText::toQString(wire.mtfDataFormat);
        field.valueIsRequired = wire.mtfValueIsRequired;
        field.rememberLastValue = wire.mtfRememberLastValue;
        field.value = WideText::toQString(wire.mtfValue);
        field.key = keyPrefix + QString::number(list.size());
        list.append(field);
    }
    return list;
}

CheckPointJobData toJobData(const ombrel::JobStatus &status, const QString &keyPrefix)
{
    CheckPointJobData job;
    job.name = WideText::toQString(status.jobName);
    job.fullUserName = WideText::toQString(status.fullUserName);
    job.size = status.jobSize;
    job.submitTime = WideText::toQString(status.jobSubmitTime);
    job.waitingTime = WideText::toQString(status.jobWaitingTime);
    for (const ombrel::MetadataToDisplayClass &wire : status.jobMetadata) {
        MetadataToDisplay field;
        field.label = WideText::toQString(wire.mtdLabel);
        field.description = WideText::toQString(wire.mtdDescription);
        field.dataType = WideText::toQString(wire.mtdDataType);
        field.value = WideText::toQString(wire.mtdValue);
        job.metadata.append(field);
    }
    job.requiresMetadata = status.jobRequiresMetadata;
    job.requiredMetadata = toMetadataToFill(status.jobRequiredMetadata, keyPrefix);
    job.allowMultipleOutputs = status.jobAllowMultipleOutputs;
    for (const ombrel::ConnectionState &wire : status.connections)
        job.connections.append(
            { WideText::toQString(wire.connectionId), WideText::toQString(wire.connectionName) });
    job.enableReportViewing = status.jobEnableReportViewing;
    job.reportFileName = WideText::toQString(status.jobReportName);
    job.allowReplacing = status.jobAllowReplacingJob;
    return job;
}

} // namespace PointConversions
