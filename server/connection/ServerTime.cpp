#include "ServerTime.h"

#include <QDate>
#include <QTime>

namespace ServerTime {

QString format(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'hh:mm:ss.zzz'Z'"));
}

QDateTime parse(const QString &text)
{
    // Read as UTC from the start: read as local time first, an hour that a
    // daylight-saving change skips would not parse.
    if (text.size() != 24 || text.at(10) != QLatin1Char('T') || text.at(23) != QLatin1Char('Z'))
        return QDateTime();
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11, 12), QStringLiteral("hh:mm:ss.zzz"));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::UTC);
}

QDateTime logStart()
{
    return parse(QStringLiteral("2007-01-01T00:00:00.000Z"));
}

} // namespace ServerTime
