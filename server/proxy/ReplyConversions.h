#pragma once

#include "LogMessage.h"
#include "ProgressData.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace ombrel {
class LoggedRecord;
class ProgressRecord;
class PushJobStatus;
} // namespace ombrel

struct PushJobInfo;

// The service's message records to the client's own values and back.
namespace ReplyConversions {

std::vector<std::wstring> toWide(const QStringList &texts);

LogMessage toLogMessage(const ombrel::LoggedRecord &record, int connectionId);
// The readable text of a log record's XML message; a null string when the
// message is not well-formed XML.
QString logRecordText(const QString &xml);

ProgressData toProgressData(const ombrel::ProgressRecord &record);

// The key of each metadata record stays on the client.
ombrel::PushJobStatus toPushJobStatus(const PushJobInfo &info);

} // namespace ReplyConversions
