#pragma once

#include "ServerTypes.h"

namespace testserver {

// A small working world for demos and client tests: flows whose submit
// points ask for metadata of every kind, checkpoints with waiting jobs and
// reports, a few hundred log messages of every type and progress records.
struct DemoData
{
    QString serverName;
    QString statusText;
    QList<Flow> flows;
    QList<LogEntry> logs;
    QList<ProgressEntry> progress;

    // The jobs' and reports' files are made under folder.
    static DemoData make(const QString &folder);

    // The message of a log record: an XML document holding the text with
    // its %n placeholders and the arguments, as the client decodes it.
    static QString logMessage(const QString &text, const QStringList &arguments = QStringList());
};

} // namespace testserver
