#pragma once

#include "ServerTypes.h"

#include <ombrelH.h>

#include <string>
#include <vector>

namespace testserver {

class Connection;

// Between the server's Qt values and the generated message classes.
namespace Conversions {

std::wstring wide(const QString &text);
QString qt(const std::wstring &text);

ombrel::MetadataToFillClass toWire(const MetadataField &field);
MetadataField fromWire(const ombrel::MetadataToFillClass &field);
QList<MetadataField> fromWire(const std::vector<ombrel::MetadataToFillClass> &fields);
ombrel::MetadataToDisplayClass toWire(const DisplayField &field);
ombrel::JobStatus toWire(const Job &job);
ombrel::LoggedRecord toWire(const LogEntry &entry);
ombrel::ProgressRecord toWire(const ProgressEntry &entry);
PushRequest fromWire(const ombrel::PushJobStatus &request);

// The job's size: given, or that of its package.
qint64 wireJobSize(const Job &job);

// Journal arguments, flattened: "inEntry.flowId", "metadata[0].mtfLabel".
void describe(Connection &call, const QString &name, const std::wstring &value);
void describe(Connection &call, const QString &name, qint64 value);
void describe(Connection &call, const QString &name, const std::vector<std::wstring> &values);
void describe(Connection &call, const QString &name, const ombrel::SubmitEntry &entry);
void describe(Connection &call, const QString &name, const ombrel::ReplaceEntry &entry);
void describe(Connection &call, const QString &name, const std::vector<ombrel::MetadataToFillClass> &fields);
void describe(Connection &call, const QString &name, const ombrel::PushJobStatus &request);
void describe(Connection &call, const QString &name, const ombrel::xsd__base64Binary &data);

} // namespace Conversions
} // namespace testserver
