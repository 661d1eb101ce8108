#pragma once

#include <QDateTime>
#include <QString>

// Time stamps as the service writes them: "yyyy-MM-ddThh:mm:ss.zzzZ", UTC.
namespace ServerClock {

QDateTime now();
QString format(const QDateTime &time);
// Invalid for text in any other form.
QDateTime parse(const QString &text);

} // namespace ServerClock
