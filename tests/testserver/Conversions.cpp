#include "Conversions.h"

#include "Connection.h"
#include "FilesStreamer.h"
#include "Transfers.h"
#include "WideText.h"

namespace testserver {
namespace Conversions {

std::wstring wide(const QString &text)
{
    return WideText::fromQString(text);
}

QString qt(const std::wstring &text)
{
    return WideText::toQString(text);
}

ombrel::MetadataToFillClass toWire(const MetadataField &field)
{
    ombrel::MetadataToFillClass wire;
    wire.mtfLabel = wide(field.label);
    wire.mtfDescription = wide(field.description);
    wire.mtfDataType = wide(field.dataType);
    wire.mtfDataFormat = wide(field.dataFormat);
    wire.mtfValueIsRequired = field.valueIsRequired;
    wire.mtfRememberLastValue = field.rememberLastValue;
    wire.mtfValue = wide(field.value);
    return wire;
}

MetadataField fromWire(const ombrel::MetadataToFillClass &wire)
{
    MetadataField field;
    field.label = qt(wire.mtfLabel);
    field.description = qt(wire.mtfDescription);
    field.dataType = qt(wire.mtfDataType);
    field.dataFormat = qt(wire.mtfDataFormat);
    field.valueIsRequired = wire.mtfValueIsRequired;
    field.rememberLastValue = wire.mtfRememberLastValue;
    field.value = qt(wire.mtfValue);
    return field;
}

QList<MetadataField> fromWire(const std::vector<ombrel::MetadataToFillClass> &fields)
{
    QList<MetadataField> result;
    for (const auto &field : fields)
        result.append(fromWire(field));
    return result;
}

ombrel::MetadataToDisplayClass toWire(const DisplayField &field)
{
    ombrel::MetadataToDisplayClass wire;
    wire.mtdLabel = wide(field.label);
    wire.mtdDescription = wide(field.description);
    wire.mtdDataType = wide(field.dataType);
    wire.mtdValue = wide(field.value);
    return wire;
}

qint64 wireJobSize(const Job &job)
{
    qint64 size = job.size;
    if (size < 0) {
        if (job.package.kind == Package::Path)
            size = static_cast<qint64>(FilesStreamer(job.package.path).getFullSize());
        else
            size = job.package.bytes.size();
    }
    return size;
}

ombrel::JobStatus toWire(const Job &job)
{
    ombrel::JobStatus wire;
    wire.jobAllowMultipleOutputs = job.allowMultipleOutputs;
    wire.jobEnableReportViewing = job.enableReportViewing;
    wire.jobAllowReplacingJob = job.allowReplacing;
    wire.jobName = wide(job.name);
    wire.jobReportName = wide(job.reportName);
    wire.fullUserName = wide(job.fullUserName);
    wire.jobSize = wireJobSize(job);
    wire.jobSubmitTime = wide(job.submitTime);
    wire.jobWaitingTime = wide(job.waitingTime);
    for (const OutgoingConnection &connection : job.connections) {
        ombrel::ConnectionState state;
        state.connectionId = wide(connection.id);
        state.connectionName = wide(connection.name);
        wire.connections.push_back(state);
    }
    for (const DisplayField &field : job.metadata)
        wire.jobMetadata.push_back(toWire(field));
    wire.jobRequiresMetadata = job.requiresMetadata;
    for (const MetadataField &field : job.requiredMetadata)
        wire.jobRequiredMetadata.push_back(toWire(field));
    return wire;
}

ombrel::LoggedRecord toWire(const LogEntry &entry)
{
    ombrel::LoggedRecord wire;
    wire.recId = entry.recId;
    wire.timeStamp = wide(entry.timeStamp);
    wire.module = wide(entry.module);
    wire.serverName = wide(entry.serverName);
    wire.flowName = wide(entry.flowName);
    wire.jobName = wide(entry.jobName);
    wire.message = wide(entry.message);
    wire.type = wide(entry.type);
    return wire;
}

ombrel::ProgressRecord toWire(const ProgressEntry &entry)
{
    ombrel::ProgressRecord wire;
    wire.fullUserName = wide(entry.fullUserName);
    wire.jobName = wide(entry.jobName);
    wire.serverName = wide(entry.serverName);
    wire.flowName = wide(entry.flowName);
    wire.submitPoint = wide(entry.submitPoint);
    wire.submittedTime = wide(entry.submittedTime);
    wire.state = wide(entry.state);
    wire.enteredState = wide(entry.enteredState);
    wire.onHold = wide(entry.onHold);
    wire.checkpoint = wide(entry.checkpoint);
    return wire;
}

PushRequest fromWire(const ombrel::PushJobStatus &wire)
{
    PushRequest request;
    request.requiredMetadata = fromWire(wire.jobRequiredMetadata);
    for (const std::wstring &id : wire.connectionIds)
        request.connectionIds.append(qt(id));
    request.jobName = qt(wire.jobName);
    return request;
}

void describe(Connection &call, const QString &name, const std::wstring &value)
{
    call.argument(name, qt(value));
}

void describe(Connection &call, const QString &name, qint64 value)
{
    call.argument(name, QString::number(value));
}

void describe(Connection &call, const QString &name, const std::vector<std::wstring> &values)
{
    call.argument(name + QStringLiteral(".count"), QString::number(values.size()));
    for (size_t i = 0; i < values.size(); ++i)
        call.argument(QStringLiteral("%1[%2]").arg(name).arg(i), qt(values[i]));
}

void describe(Connection &call, const QString &name, const ombrel::SubmitEntry &entry)
{
    describe(call, name + QStringLiteral(".flowId"), entry.flowId);
    describe(call, name + QStringLiteral(".submitPointId"), entry.submitPointId);
    describe(call, name + QStringLiteral(".jobName"), entry.jobName);
}

void describe(Connection &call, const QString &name, const ombrel::ReplaceEntry &entry)
{
    describe(call, name + QStringLiteral(".flowId"), entry.flowId);
    describe(call, name + QStringLiteral(".checkPointId"), entry.checkPointId);
    describe(call, name + QStringLiteral(".jobId"), entry.jobId);
    describe(call, name + QStringLiteral(".fileName"), entry.fileName);
}

void describe(Connection &call, const QString &name, const std::vector<ombrel::MetadataToFillClass> &fields)
{
    call.argument(name + QStringLiteral(".count"), QString::number(fields.size()));
    for (size_t i = 0; i < fields.size(); ++i) {
        const QString prefix = QStringLiteral("%1[%2].").arg(name).arg(i);
        const ombrel::MetadataToFillClass &field = fields[i];
        describe(call, prefix + QStringLiteral("mtfLabel"), field.mtfLabel);
        describe(call, prefix + QStringLiteral("mtfDescription"), field.mtfDescription);
        describe(call, prefix + QStringLiteral("mtfDataType"), field.mtfDataType);
        describe(call, prefix + QStringLiteral("mtfDataFormat"), field.mtfDataFormat);
        call.argument(prefix + QStringLiteral("mtfValueIsRequired"),
            field.mtfValueIsRequired ? QStringLiteral("true") : QStringLiteral("false"));
        call.argument(prefix + QStringLiteral("mtfRememberLastValue"),
            field.mtfRememberLastValue ? QStringLiteral("true") : QStringLiteral("false"));
        describe(call, prefix + QStringLiteral("mtfValue"), field.mtfValue);
    }
}

void describe(Connection &call, const QString &name, const ombrel::PushJobStatus &request)
{
    describe(call, name + QStringLiteral(".jobRequiredMetadata"), request.jobRequiredMetadata);
    describe(call, name + QStringLiteral(".connectionIds"), request.connectionIds);
    describe(call, name + QStringLiteral(".jobName"), request.jobName);
}

void describe(Connection &call, const QString &name, const ombrel::xsd__base64Binary &data)
{
    const Receiver *receiver = call.receiverFor(data.__ptr);
    call.argument(
        name + QStringLiteral(".attachment"), receiver ? QStringLiteral("true") : QStringLiteral("false"));
    if (receiver) {
        call.argument(name + QStringLiteral(".bytes"), QString::number(receiver->bytes()));
        call.argument(name + QStringLiteral(".type"), QString::fromLatin1(receiver->type));
        call.argument(name + QStringLiteral(".options"), QString::fromLatin1(receiver->optionsText));
    } else {
        call.argument(name + QStringLiteral(".bytes"), QString::number(data.__ptr ? data.__size : 0));
    }
}

} // namespace Conversions
} // namespace testserver
