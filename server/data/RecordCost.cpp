#include "RecordCost.h"

#include "CheckPointJobData.h"
#include "LogMessage.h"
#include "ProgressData.h"

namespace RecordCost {

quint64 of(const LogMessage &m)
{
    return sizeof(LogMessage) + of(m.module, m.server, m.flow, m.job, m.message, m.type);
}

quint64 of(const ProgressData &p)
{
    return sizeof(ProgressData)
        + of(p.fullUserName, p.jobName, p.serverName, p.flowName, p.submitPoint, p.submittedTime, p.state,
            p.enteredState, p.onHold, p.checkpoint);
}

quint64 of(const MetadataToFill &field)
{
    return sizeof(field)
        + of(field.label, field.description, field.dataType, field.dataFormat, field.value, field.key);
}

quint64 ofJob(const QString &id, const CheckPointJobData &job)
{
    // The job map's node with its key.
    quint64 cost = sizeof(CheckPointJobData) + 64 + of(id)
        + of(job.name, job.fullUserName, job.fileName, job.fullFileName, job.submitPointName, job.submitTime,
            job.waitingTime, job.reportFileName);
    for (const MetadataToDisplay &field : job.metadata)
        cost += sizeof(field) + of(field.label, field.description, field.dataType, field.value);
    for (const MetadataToFill &field : job.requiredMetadata)
        cost += of(field);
    for (const JobConnection &connection : job.connections)
        cost += sizeof(connection) + of(connection.id, connection.name);
    return cost;
}

} // namespace RecordCost
