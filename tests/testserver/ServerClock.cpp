#include "ServerClock.h"

#include <QTimeZone>

namespace ServerClock {
namespace {

const QString pattern = QStringLiteral("yyyy-MM-dd'T'hh:mm:ss.zzz'Z'");

} // namespace

QDateTime now()
{
    return QDateTime::currentDateTimeUtc();
}

QString format(const QDateTime &time)
{
    return time.toUTC().toString(pattern);
}

QDateTime parse(const QString &text)
{
    QDateTime time = QDateTime::fromString(text, pattern);
    time.setTimeZone(QTimeZone::utc());
    return time;
}

} // namespace ServerClock
