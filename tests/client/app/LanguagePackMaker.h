#pragma once

#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <initializer_list>

// Lays out language packs in a folder the way the build does, with
// catalogs compiled by Qt's own lrelease.
namespace LanguagePackMaker {

using TestFiles::writeFile;

struct Text
{
    const char *context;
    const char *source;
    QString translation;
};

inline QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// Compiles the texts into a catalog at path; false when lrelease failed.
inline bool writeCatalog(const QString &path, std::initializer_list<Text> texts)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString ts = path + QStringLiteral(".ts");
    QFile file(ts);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QString xml
        = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\">\n");
    for (const Text &text : texts) {
        xml += QStringLiteral(
            "<context><name>%1</name><message><source>%2</source><translation>%3</translation>"
            "</message></context>\n")
                   .arg(escaped(QString::fromUtf8(text.context)), escaped(QString::fromUtf8(text.source)),
                       escaped(text.translation));
    }
    xml += QStringLiteral("</TS>\n");
    file.write(xml.toUtf8());
    file.close();
    QProcess lrelease;
    lrelease.start(
        QStringLiteral(VORNEX_LRELEASE), { QStringLiteral("-silent"), ts, QStringLiteral("-qm"), path });
    const bool ok = lrelease.waitForFinished(30000) && lrelease.exitCode() == 0 && QFileInfo::exists(path);
    QFile::remove(ts);
    return ok;
}

// A pack under root/folder whose marker names it displayName (none when empty).
inline bool writePack(const QString &root, const QString &folder, const QString &displayName)
{
    const QString marker = root + QLatin1Char('/') + folder + QStringLiteral("/Strings/Common_") + folder
        + QStringLiteral(".qm");
    if (displayName.isEmpty())
        return writeCatalog(marker, { { "Other", "unrelated", QStringLiteral("x") } });
    return writeCatalog(marker, { { "LangSupport", "language", displayName } });
}

} // namespace LanguagePackMaker
