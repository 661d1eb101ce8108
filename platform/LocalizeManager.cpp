#include "LocalizeManager.h"

#include "LogRecord.h"

#include <QCoreApplication>

namespace {

// So the usual types reach the catalogs through lupdate.
[[maybe_unused]] const char *const knownTypes[] = {
    QT_TRANSLATE_NOOP("Logging", "error"),
    QT_TRANSLATE_NOOP("Logging", "warning"),
    QT_TRANSLATE_NOOP("Logging", "info"),
    QT_TRANSLATE_NOOP("Logging", "debug"),
    QT_TRANSLATE_NOOP("Logging", "assert"),
};

QString translated(const QString &context, const QString &text)
{
    if (text.isEmpty())
        return text;
    const QByteArray source = text.toUtf8();
    return QCoreApplication::translate(context.toUtf8().constData(), source.constData());
}

} // namespace

namespace Tamsor {

LocalizeManager *LocalizeManager::instance()
{
    // No state of its own: safe to use from the connection threads.
    static LocalizeManager manager;
    return &manager;
}

LocalizeManager::~LocalizeManager() = default;

QString LocalizeManager::getMessage(const LogRecord &record, const QString &context) const
{
    return LogRecord::substitute(translated(context, record.text()), record.arguments());
}

QString LocalizeManager::translateType(const QString &type, const QString &context) const
{
    return translated(context, type);
}

QString LocalizeManager::translateModule(const QString &module, const QString &context) const
{
    return translated(context, module);
}

} // namespace Tamsor
