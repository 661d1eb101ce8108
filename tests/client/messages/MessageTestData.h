#pragma once

#include "LogMessage.h"

#include <QDateTime>
#include <QString>
#include <QTranslator>

// Log messages as the proxy hands them over, for the Messages page tests.
namespace MessageTestData {

inline LogMessage message(int recordId, int connectionId, const QDateTime &time, const QString &text,
    const QString &type = QStringLiteral("info"), const QString &server = QStringLiteral("Server A"),
    const QString &module = QStringLiteral("Mover"), const QString &flow = QStringLiteral("Print flow"),
    const QString &job = QStringLiteral("Flyer.pdf"))
{
    LogMessage m;
    m.recordId = recordId;
    m.connectionId = connectionId;
    m.timeStamp = time;
    m.module = module;
    m.server = server;
    m.flow = flow;
    m.job = job;
    m.message = text;
    m.type = type;
    return m;
}

// Seconds from now, in UTC as the server's stamps are.
inline QDateTime secondsAgo(qint64 seconds)
{
    return QDateTime::currentDateTimeUtc().addSecs(-seconds);
}

// A catalog for the "Logging" context that translates a few types and
// modules, as a language pack would.
class LoggingTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *disambiguation = nullptr,
        int n = -1) const override
    {
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        if (qstrcmp(context, "Logging") != 0)
            return QString();
        const QString source = QString::fromUtf8(sourceText);
        if (source == QLatin1String("error"))
            return QStringLiteral("Fehler");
        if (source == QLatin1String("Mover"))
            return QStringLiteral("Verschieber");
        return QString();
    }
};

} // namespace MessageTestData
