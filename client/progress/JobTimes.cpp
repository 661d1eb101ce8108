#include "JobTimes.h"

#include "ServerTime.h"

#include <QLocale>

namespace Client {
namespace JobTimes {

namespace {

// Digits at [at, at + count), or -1.
int digits(const QString &text, int at, int count)
{
    int value = 0;
    for (int i = at; i < at + count; ++i) {
        const char16_t ch = text.at(i).unicode();
        if (ch < u'0' || ch > u'9')
            return -1;
        value = value * 10 + (ch - u'0');
    }
    return value;
}

// "yyyy-MM-ddThh:mm:ss.zzzZ" read by hand: tens of thousands of records
// come with every progress refresh.
QDateTime parseServerTime(const QString &text)
{
    if (text.size() != 24 || text.at(4) != u'-' || text.at(7) != u'-' || text.at(10) != u'T'
        || text.at(13) != u':' || text.at(16) != u':' || text.at(19) != u'.' || text.at(23) != u'Z')
        return QDateTime();
    const QDate date(digits(text, 0, 4), digits(text, 5, 2), digits(text, 8, 2));
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    const int ms = digits(text, 20, 3);
    if (!date.isValid() || !QTime::isValid(hour, minute, second, ms))
        return QDateTime();
    return QDateTime(date, QTime(hour, minute, second, ms), Qt::UTC);
}

} // namespace

QDateTime parse(const QString &text)
{
    const QDateTime fast = parseServerTime(text);
    if (fast.isValid())
        return fast;
    const QDateTime server = ServerTime::parse(text);
    if (server.isValid())
        return server;
    return QDateTime::fromString(text, QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz"));
}

QString display(const QDateTime &time)
{
    return QLocale::system().toString(time.toLocalTime(), QLocale::ShortFormat);
}

} // namespace JobTimes
} // namespace Client
