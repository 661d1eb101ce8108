#pragma once

#include <QChar>
#include <QString>

// The names of the cache file's elements and attributes, which the writer
// and the reader share, spelled as stored files have them.
namespace CacheFormat {

// Element names.
inline const QString kRoot = QStringLiteral("root");
inline const QString kFlow = QStringLiteral("Flow");
inline const QString kSubmitPoint = QStringLiteral("SubmitPoint");
inline const QString kMetadata = QStringLiteral("Metadata");
inline const QString kCheckPoint = QStringLiteral("CheckPoint");
inline const QString kJob = QStringLiteral("Job");
inline const QString kJobConnection = QStringLiteral("JobConnection");
inline const QString kRequiredMetadata = QStringLiteral("RequiredMetadata");
inline const QString kProgress = QStringLiteral("Progress");
inline const QString kProgressData = QStringLiteral("ProgressData");

// Attribute names.
inline const QString kName = QStringLiteral("name");
inline const QString kId = QStringLiteral("id");
inline const QString kKey = QStringLiteral("key");
inline const QString kDataFormat = QStringLiteral("DataFormat");
inline const QString kDataType = QStringLiteral("DataType");
inline const QString kDescription = QStringLiteral("Description");
inline const QString kLabel = QStringLiteral("Label");
inline const QString kRememberLastValue = QStringLiteral("RememberLastValue");
inline const QString kValue = QStringLiteral("Value");
inline const QString kValueIsRequired = QStringLiteral("ValueIsRequired");
inline const QString kFullUserName = QStringLiteral("fullUserName");
inline const QString kAllowMultipleOutputs = QStringLiteral("AllowMultipleOutputs");
inline const QString kFileName = QStringLiteral("FileName");
inline const QString kFullFileName = QStringLiteral("FullFileName");
inline const QString kJobName = QStringLiteral("Name");
inline const QString kEnableReportViewing = QStringLiteral("EnableReportViewing");
inline const QString kReportFileName = QStringLiteral("ReportFileName");
inline const QString kRequiresMetadata = QStringLiteral("RequiresMetadata");
inline const QString kSize = QStringLiteral("Size");
inline const QString kSubmitPointName = QStringLiteral("SubmitPointName");
inline const QString kStatus = QStringLiteral("Status");
inline const QString kChosenConnectionsId = QStringLiteral("ChosenConnectionsId");
inline const QString kSubmitTime = QStringLiteral("SubmitTime");
inline const QString kWaitingTime = QStringLiteral("WaitingTime");
inline const QString kPCheckpoint = QStringLiteral("checkpoint");
inline const QString kPEnteredState = QStringLiteral("enteredState");
inline const QString kPFlowName = QStringLiteral("flowName");
inline const QString kPFullUserName = QStringLiteral("fullUserName");
inline const QString kPJobName = QStringLiteral("jobName");
inline const QString kPOnHold = QStringLiteral("onHold");
inline const QString kPServerName = QStringLiteral("serverName");
inline const QString kPState = QStringLiteral("state");
inline const QString kPSubmitPoint = QStringLiteral("submitPoint");
inline const QString kPSubmittedTime = QStringLiteral("submittedTime");

inline const QChar kIdSeparator = QLatin1Char(';');

} // namespace CacheFormat
