#include "LanguageSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QTranslator>

#include <utility>

namespace Client {

namespace {

struct LanguageState
{
    // Empty until setupLanguage ran: nothing is looked up before.
    QString upperRoot;
    QString localRoot;
    QString documents;
    QString fallbackDocuments;
};

LanguageState &state()
{
    static LanguageState languageState;
    return languageState;
}

// Each pack's "Common" catalog translates this into the pack's own name.
const char *const kPackNameContext = "LangSupport";
const char *const kPackNameSource = QT_TRANSLATE_NOOP("LangSupport", "language");

QString markerFileName(const QString &folderName)
{
    return QStringLiteral("Common_%1.qm").arg(folderName);
}

// Folder name and listed name of every pack under a root, in listing order.
QList<std::pair<QString, QString>> packsIn(const QString &root)
{
    QList<std::pair<QString, QString>> packs;
    if (root.isEmpty())
        return packs;
    const QDir rootDir(root);
    if (!rootDir.exists())
        return packs;
    const QStringList folders
        = rootDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString &folder : folders) {
        const QString marker
            = rootDir.filePath(folder + QStringLiteral("/Strings/") + markerFileName(folder));
        if (!QFileInfo(marker).isFile())
            continue;
        QTranslator translator;
        QString name;
        if (translator.load(marker))
            name = translator.translate(kPackNameContext, kPackNameSource);
        packs.append({ folder, name.isEmpty() ? folder : name });
    }
    return packs;
}

QList<std::pair<QString, QString>> allPacks()
{
    return packsIn(state().localRoot) + packsIn(state().upperRoot);
}

QString packSubFolder(const QString &folder, const QString &sub)
{
    const QString upper = state().upperRoot + QLatin1Char('/') + folder + QLatin1Char('/') + sub;
    if (QFileInfo(upper).isDir())
        return upper;
    return state().localRoot + QLatin1Char('/') + folder + QLatin1Char('/') + sub;
}

} // namespace

void setupLanguage(const QString &applicationName, const QString &language, const QStringList &patterns)
{
    const QString programFolder = QDir(QCoreApplication::applicationDirPath()).canonicalPath();
    setupLanguageIn(programFolder, applicationName, language, patterns);
}

void setupLanguageIn(const QString &programFolder, const QString &applicationName, const QString &language,
    const QStringList &patterns)
{
    LanguageState &s = state();
    const QString rootName = applicationName + QStringLiteral(" Language Packs");
    s.upperRoot = QDir(programFolder + QStringLiteral("/../") + rootName).absolutePath();
    s.localRoot = QDir(programFolder + QLatin1Char('/') + rootName).absolutePath();

    const QString folder = findLanguageFolder(language);
    s.documents = packSubFolder(folder, QStringLiteral("Docs"));

    s.fallbackDocuments = s.documents;
    const QDir localRoot(s.localRoot);
    const QStringList packs
        = localRoot.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString &pack : packs) {
        const QString docs = localRoot.filePath(pack + QStringLiteral("/Docs"));
        if (QFileInfo(docs).isDir())
            s.fallbackDocuments = docs;
    }

    const QDir strings(packSubFolder(folder, QStringLiteral("Strings")));
    if (!strings.exists())
        return;
    QStringList filters { QStringLiteral("qt_*.qm") };
    filters += patterns;
    const QStringList files = strings.entryList(filters, QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString &file : files) {
        auto *translator = new QTranslator(QCoreApplication::instance());
        if (!translator->load(strings.filePath(file)) || !QCoreApplication::installTranslator(translator))
            delete translator;
    }
}

QString findLanguageFolder(const QString &language)
{
    const auto packs = allPacks();
    for (const auto &[folder, name] : packs) {
        if (name == language)
            return folder;
    }
    return QStringLiteral("en");
}

QStringList availableLanguages()
{
    QStringList names;
    const auto packs = allPacks();
    for (const auto &pack : packs) {
        if (!names.contains(pack.second))
            names.append(pack.second);
    }
    return names;
}

QFileInfo findDocument(const QString &fileName)
{
    const LanguageState &s = state();
    if (!s.documents.isEmpty()) {
        const QFileInfo inPack(QDir(s.documents), fileName);
        if (inPack.exists())
            return inPack;
    }
    if (s.fallbackDocuments.isEmpty())
        return QFileInfo();
    return QFileInfo(QDir(s.fallbackDocuments), fileName);
}

} // namespace Client
