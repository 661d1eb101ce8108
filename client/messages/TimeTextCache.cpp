#include "TimeTextCache.h"

#include <limits>

namespace Client {

namespace {

constexpr qint64 OffsetBucketSecs = 15 * 60;
constexpr qint64 DaySecs = 24 * 3600;

qint64 floorDiv(qint64 value, qint64 divisor)
{
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

bool showsFractions(const QString &format)
{
    bool quoted = false;
    for (const QChar ch : format) {
        if (ch == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && ch == QLatin1Char('z'))
            return true;
    }
    return false;
}

} // namespace

TimeTextCache::TimeTextCache(const QString &dateFormat, const QString &timeFormat)
    : m_dateFormat(dateFormat)
    , m_timeFormat(timeFormat)
    , m_wholeSeconds(!showsFractions(timeFormat))
    , m_locale(QLocale::system())
{ }

QString TimeTextCache::slowText(const QDateTime &time) const
{
    return m_locale.toString(time.toLocalTime(), m_dateFormat + QLatin1Char(' ') + m_timeFormat);
}

QString TimeTextCache::text(const QDateTime &time)
{
    if (!time.isValid())
        return QString();
    if (!m_wholeSeconds)
        return slowText(time);
    const qint64 secs = floorDiv(time.toMSecsSinceEpoch(), 1000);
    if (!m_lastText.isNull() && secs == m_lastSecs)
        return m_lastText;

    const qint64 bucket = floorDiv(secs, OffsetBucketSecs);
    auto offset = m_offsets.constFind(bucket);
    if (offset == m_offsets.cend()) {
        const QDateTime start = QDateTime::fromSecsSinceEpoch(bucket * OffsetBucketSecs, Qt::UTC);
        const QDateTime end = QDateTime::fromSecsSinceEpoch((bucket + 1) * OffsetBucketSecs - 1, Qt::UTC);
        const int startOffset = start.toLocalTime().offsetFromUtc();
        // A zone change inside the quarter hour: that quarter is formatted
        // the slow way.
        offset = m_offsets.insert(bucket,
            startOffset == end.toLocalTime().offsetFromUtc() ? startOffset : std::numeric_limits<int>::min());
    }
    if (offset.value() == std::numeric_limits<int>::min())
        return slowText(time);

    const qint64 local = secs + offset.value();
    const qint64 day = floorDiv(local, DaySecs);
    const int secondOfDay = int(local - day * DaySecs);
    auto date = m_dates.constFind(day);
    if (date == m_dates.cend()) {
        const QDate d = QDate(1970, 1, 1).addDays(day);
        date = m_dates.insert(day, m_locale.toString(d, m_dateFormat));
    }
    const int minuteOfDay = secondOfDay / 60;
    auto minute = m_minutes.constFind(minuteOfDay);
    if (minute == m_minutes.cend()) {
        const QTime start(minuteOfDay / 60, minuteOfDay % 60);
        const QString first = m_locale.toString(start, m_timeFormat);
        const QString last = m_locale.toString(start.addSecs(59), m_timeFormat);
        Minute entry;
        for (qsizetype at = first.indexOf(QLatin1String("00")); at >= 0 && first.size() == last.size();
             at = first.indexOf(QLatin1String("00"), at + 1)) {
            if (QStringView(last).mid(at, 2) == QLatin1String("59")
                && QStringView(first).left(at) == QStringView(last).left(at)
                && QStringView(first).mid(at + 2) == QStringView(last).mid(at + 2)) {
                entry.split = true;
                entry.before = first.left(at);
                entry.after = first.mid(at + 2);
                break;
            }
        }
        minute = m_minutes.insert(minuteOfDay, entry);
    }
    QString text;
    if (minute->split) {
        const int second = secondOfDay % 60;
        const QString &dateText = date.value();
        text.reserve(dateText.size() + 1 + minute->before.size() + 2 + minute->after.size());
        text += dateText;
        text += QLatin1Char(' ');
        text += minute->before;
        text += QLatin1Char(char('0' + second / 10));
        text += QLatin1Char(char('0' + second % 10));
        text += minute->after;
    } else {
        auto timeOfDay = m_times.constFind(secondOfDay);
        if (timeOfDay == m_times.cend()) {
            timeOfDay = m_times.insert(secondOfDay,
                m_locale.toString(QTime::fromMSecsSinceStartOfDay(secondOfDay * 1000), m_timeFormat));
        }
        text = date.value() + QLatin1Char(' ') + timeOfDay.value();
    }
    m_lastSecs = secs;
    m_lastText = text;
    return text;
}

} // namespace Client
