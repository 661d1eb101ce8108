#include "JobTimes.h"

#include "ServerTime.h"

#include <QLocale>

namespace Client {
namespace JobTimes {

QDateTime parse(const QString &text)
{
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
