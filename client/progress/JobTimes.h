#pragma once

#include <QDateTime>
#include <QString>

namespace Client {

// Times of jobs and progress records as the pages read and show them.
namespace JobTimes {

// The server's "yyyy-MM-ddThh:mm:ss.zzzZ" (UTC) or, from older data, a
// local "dd.MM.yyyy hh:mm:ss.zzz". Invalid for anything else.
QDateTime parse(const QString &text);

// In the user's local time and short locale format.
QString display(const QDateTime &time);

} // namespace JobTimes
} // namespace Client
