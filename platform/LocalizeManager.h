#pragma once

#include <QString>

class LogRecord;

namespace Tamsor {

// Turns server log records, types and module names into the user's
// language. Texts are looked up with QCoreApplication::translate in the
// context given by the caller ("Logging"), so a language pack's catalogs
// translate them; without a translation the source text stands.
class LocalizeManager
{
public:
    static LocalizeManager *instance();

    virtual ~LocalizeManager();

    // The record's message, translated, with its arguments put in.
    virtual QString getMessage(const LogRecord &record, const QString &context) const;
    // A log type ("error", "warning", "info", "debug", "assert").
    virtual QString translateType(const QString &type, const QString &context) const;
    // The name of the server module that logged the record.
    virtual QString translateModule(const QString &module, const QString &context) const;

protected:
    LocalizeManager() = default;
    LocalizeManager(const LocalizeManager &) = delete;
    LocalizeManager &operator=(const LocalizeManager &) = delete;
};

} // namespace Tamsor
