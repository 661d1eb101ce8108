#pragma once

#include <QFileInfo>
#include <QString>
#include <QStringList>

// Language packs: folders named by a short code ("en", "de") with the
// translation catalogs in "Strings" and the help documents in "Docs",
// under "<application> Language Packs" above or beside the program.
namespace Client {

// Installs the catalogs of the pack the language names (see
// findLanguageFolder), Qt's own "qt_*.qm" first, then those matching the
// patterns. Call once, before any window exists.
void setupLanguage(const QString &applicationName, const QString &language, const QStringList &patterns);

// The same for a program in programFolder.
void setupLanguageIn(const QString &programFolder, const QString &applicationName, const QString &language,
    const QStringList &patterns);

// Folder name of the pack listed under that name by availableLanguages;
// "en" when none is.
QString findLanguageFolder(const QString &language);

// The name of every installed pack, each once: the pack's own name for
// itself, else its folder name.
QStringList availableLanguages();

// The document in the chosen pack's "Docs", else in the fallback pack's.
// The file may not exist.
QFileInfo findDocument(const QString &fileName);

} // namespace Client
