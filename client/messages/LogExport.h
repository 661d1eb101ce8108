#pragma once

#include "LogMessage.h"

#include <QList>
#include <QString>

#include <atomic>

class QSaveFile;

namespace Client {

// The XML file of exported log messages: a "message-list" with one
// "message" per record, indented by 4. The file is written as it is made,
// into a temporary file beside the target that replaces the target only
// once it is complete: a failed export never leaves a half-written file.
namespace LogExport {

// Writes the records in their order; on failure the target is as before
// and `error` says why.
bool write(const QList<LogMessage> &messages, const QString &path, QString *error = nullptr);

// The same into a file opened for writing, committed at the end: the
// file is opened where the name was chosen, and written in a worker thread.
// A set `cancel` stops it between two messages, leaving no file.
bool write(const QList<LogMessage> &messages, QSaveFile &file, QString *error = nullptr,
    const std::atomic<bool> *cancel = nullptr);

// The name the file is written under: ".xml" is added unless the name
// already ends with it in lower case.
QString fileNameFor(const QString &chosen);

} // namespace LogExport

} // namespace Client
