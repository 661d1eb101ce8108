#include "ReplyConversions.h"

#include "LocalizeManager.h"
#include "LogRecord.h"
#include "PushJobInfo.h"
#include "ServerTime.h"
#include "WideText.h"

#include <QDomDocument>
#include <QDomElement>

#include <ombrelH.h>

namespace ReplyConversions {

std::vector<std::wstring> toWide(const QStringList &texts)
{
    std::vector<std::wstring> wide;
    wide.reserve(static_cast<size_t>(texts.size()));
    for (const QString &text : texts)
        wide.push_back(WideText::fromQString(text));
    return wide;
}

LogMessage toLogMessage(const ombrel::LoggedRecord &record, int connectionId)
{
    LogMessage message;
    message.recordId = record.recId;
    message.connectionId = connectionId;
    message.timeStamp = ServerTime::parse(WideText::toQString(record.timeStamp));
    message.module = WideText::toQString(record.module);
    message.server = WideText::toQString(record.serverName);
    message.flow = WideText::toQString(record.flowName);
    message.job = WideText::toQString(record.jobName);
    message.message = logRecordText(WideText::toQString(record.message));
    message.type = WideText::toQString(record.type);
    return message;
}

QString logRecordText(const QString &xml)
{
    if (!LogRecord::withinBounds(xml))
        return LogRecord::unreadableText();
    QDomDocument document;
    if (!document.setContent(xml))
        return QString();
    LogRecord record;
    record.restoreFromDomElement(document.documentElement());
    const QString text = Tamsor::LocalizeManager::instance()->getMessage(record, QStringLiteral("Logging"));
    // Well-formed but empty stays apart from not well-formed (null).
    return text.isNull() ? QString(QLatin1String("")) : text;
}

ProgressData toProgressData(const ombrel::ProgressRecord &record)
{
    ProgressData data;
    data.fullUserName = WideText::toQString(record.fullUserName);
    data.jobName = WideText::toQString(record.jobName);
    data.serverName = WideText::toQString(record.serverName);
    data.flowName = WideText::toQString(record.flowName);
    data.submitPoint = WideText::toQString(record.submitPoint);
    data.submittedTime = WideText::toQString(record.submittedTime);
    data.state = WideText::toQString(record.state);
    data.enteredState = WideText::toQString(record.enteredState);
    data.onHold = WideText::toQString(record.onHold);
    data.checkpoint = WideText::toQString(record.checkpoint);
    return data;
}

ombrel::PushJobStatus toPushJobStatus(const PushJobInfo &info)
{
    ombrel::PushJobStatus status;
    status.connectionIds = toWide(info.connectionIds);
    for (const MetadataToFill &field : info.requiredMetadata) {
        ombrel::MetadataToFillClass wire;
        wire.mtfLabel = WideText::fromQString(field.label);
        wire.mtfDescription = WideText::fromQString(field.description);
        wire.mtfDataType = WideText::fromQString(field.dataType);
        wire.mtfDataFormat = WideText::fromQString(field.dataFormat);
        wire.mtfValueIsRequired = field.valueIsRequired;
        wire.mtfRememberLastValue = field.rememberLastValue;
        wire.mtfValue = WideText::fromQString(field.value);
        status.jobRequiredMetadata.push_back(wire);
    }
    status.jobName = WideText::fromQString(info.jobName);
    return status;
}

} // namespace ReplyConversions
