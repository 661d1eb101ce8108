#pragma once

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QString>

namespace Client {

// Makes the time column's texts for many stamps at a fraction of the cost
// of converting each to local time and formatting it: the zone offset is
// looked up once per quarter hour, the date once per day and the time of
// day once per minute; rows stamped alike share one text.
// Gives the same text as MessageModel::timeText.
class TimeTextCache
{
public:
    // dateFormat and timeFormat together make the column's format, joined
    // by one blank.
    TimeTextCache(const QString &dateFormat, const QString &timeFormat);

    QString text(const QDateTime &time);

private:
    QString slowText(const QDateTime &time) const;

    QString m_dateFormat;
    QString m_timeFormat;
    bool m_wholeSeconds; // the format shows nothing finer than seconds
    QLocale m_locale;
    QHash<qint64, int> m_offsets; // by quarter hour
    QHash<qint64, QString> m_dates; // by local day
    // The time of day per minute: the text around its two-digit seconds,
    // or, where the format shows them otherwise, none (then per second).
    struct Minute
    {
        bool split = false;
        QString before;
        QString after;
    };
    QHash<int, Minute> m_minutes; // by local minute of the day
    QHash<int, QString> m_times; // by local second of the day
    qint64 m_lastSecs = 0;
    QString m_lastText;
};

} // namespace Client
