#pragma once

#include <QDateTime>
#include <QString>

// Times as the server writes them: "yyyy-MM-ddThh:mm:ss.zzzZ", UTC.
namespace ServerTime {

QString format(const QDateTime &time);
// An invalid QDateTime for text that is not such a time.
QDateTime parse(const QString &text);
// The time the first log fetch asks from.
QDateTime logStart();

} // namespace ServerTime
