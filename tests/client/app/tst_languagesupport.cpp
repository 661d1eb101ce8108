#include "LanguagePackMaker.h"
#include "LanguageSupport.h"
#include "TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QtTest>

using namespace LanguagePackMaker;

namespace {

const QStringList kPatterns { QStringLiteral("Common*.qm"), QStringLiteral("GuiCommon*.qm"),
    QStringLiteral("Client*.qm") };

} // namespace

class TestLanguageSupport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void packsAreListedOnceByName();
    void packWithoutNameIsChosenByFolder();
    void chosenPackCatalogsAreInstalled();
    void unknownLanguageFallsBackToEn();
    void upperRootWins();
    void documentFallbackIsTheLastPackWithDocs();
    void noPacksAtAll();

private:
    QString localRoot() const { return m_program + QStringLiteral("/VORNEXclient Language Packs"); }
    QString upperRoot() const { return m_base + QStringLiteral("/VORNEXclient Language Packs"); }
    static QString translated(const char *context, const char *source)
    {
        return QCoreApplication::translate(context, source);
    }

    QString m_base;
    QString m_program;
};

void TestLanguageSupport::init()
{
    static int round = 0;
    m_base = TestEnv::homeDir() + QStringLiteral("/install%1").arg(++round);
    m_program = m_base + QStringLiteral("/bin");
    QVERIFY(QDir().mkpath(m_program));
}

void TestLanguageSupport::packsAreListedOnceByName()
{
    QVERIFY(writePack(localRoot(), QStringLiteral("de"), QStringLiteral("Deutsch")));
    QVERIFY(writePack(localRoot(), QStringLiteral("en"), QStringLiteral("English")));
    QVERIFY(writePack(upperRoot(), QStringLiteral("fr"), QStringLiteral("Fran\u00e7ais")));
    QVERIFY(writePack(upperRoot(), QStringLiteral("de2"), QStringLiteral("Deutsch")));
    // A folder without its marker is no pack.
    QVERIFY(writeFile(localRoot() + QStringLiteral("/zz/Strings/Client_zz.qm"), "junk"));

    Client::setupLanguageIn(m_program, QStringLiteral("VORNEXclient"), QStringLiteral("English"), kPatterns);
    QStringList names = Client::availableLanguages();
    names.sort();
    QCOMPARE(names,
        QStringList(
            { QStringLiteral("Deutsch"), QStringLiteral("English"), QStringLiteral("Fran\u00e7ais") }));
    QCOMPARE(Client::findLanguageFolder(QStringLiteral("Deutsch")), QStringLiteral("de"));
    QCOMPARE(Client::findLanguageFolder(QStringLiteral("Fran\u00e7ais")), QStringLiteral("fr"));
    QCOMPARE(Client::findLanguageFolder(QStringLiteral("deutsch")), QStringLiteral("en"));
    QCOMPARE(Client::findLanguageFolder(QStringLiteral("zz")), QStringLiteral("en"));
    QCOMPARE(Client::findLanguageFolder(QString()), QStringLiteral("en"));
}

void TestLanguageSupport::packWithoutNameIsChosenByFolder()
{
    QVERIFY(writePack(localRoot(), QStringLiteral("en"), QStringLiteral("English")));
    QVERIFY(writePack(localRoot(), QStringLiteral("xx"), QString()));
    QVERIFY(writeCatalog(localRoot() + QStringLiteral("/xx/Strings/Client_xx.qm"),
        { { "NamelessCtx", "Client text", QStringLiteral("from xx") } }));
    QVERIFY(writeCatalog(localRoot() + QStringLiteral("/en/Strings/Client_en.qm"),
        { { "NamelessCtx", "Client text", QStringLiteral("from en") } }));

    Client::setupLanguageIn(m_program, QStringLiteral("VORNEXclient"), QStringLiteral("English"), kPatterns);
    QVERIFY(Client::availableLanguages().contains(QStringLiteral("xx")));
    // What the list offers must select that pack, not fall back to "en".
    QCOMPARE(Client::findLanguageFolder(QStringLiteral("xx")), QStringLiteral("xx"));
}

void TestLanguageSupport::chosenPackCatalogsAreInstalled()
{
    const QString strings = localRoot() + QStringLiteral("/de/Strings/");
    QVERIFY(writeCatalog(strings + QStringLiteral("Common_de.qm"),
        { { "LangSupport", "language", QStringLiteral("Deutsch") },
            { "InstallCtx", "Common text", QStringLiteral("Gemeinsam") } }));
    QVERIFY(writeCatalog(strings + QStringLiteral("GuiCommon_de.qm"),
        { { "InstallCtx", "Gui text", QStringLiteral("Oberfl\u00e4che") } }));
    QVERIFY(writeCatalog(strings + QStringLiteral("Client_de.qm"),
        { { "InstallCtx", "Client text", QStringLiteral("Klient") } }));
    QVERIFY(writeCatalog(
        strings + QStringLiteral("qt_de.qm"), { { "InstallCtx", "Qt text", QStringLiteral("Qt-Text") } }));
    QVERIFY(writeCatalog(strings + QStringLiteral("Other_de.qm"),
        { { "InstallCtx", "Other text", QStringLiteral("Anderes") } }));
    QVERIFY(writePack(localRoot(), QStringLiteral("en"), QStringLiteral("English")));
    QVERIFY(writeCatalog(localRoot() + QStringLiteral("/en/Strings/Client_en.qm"),
        { { "InstallCtx", "Client text", QStringLiteral("english client") } }));

    Client::setupLanguageIn(m_program, QStringLiteral("VORNEXclient"), QStringLiteral("Deutsch"), kPatterns);
    QCOMPARE(translated("InstallCtx", "Common text"), QStringLiteral("Gemeinsam"));
    QCOMPARE(translated("InstallCtx", "Gui text"), QStringLiteral("Oberfl\u00e4che"));
    QCOMPARE(translated("InstallCtx", "Client text"), QStringLiteral("Klient"));
    QCOMPARE(translated("InstallCtx", "Qt text"), QStringLiteral("Qt-Text"));
    QCOMPARE(translated("InstallCtx", "Other text"), QStringLiteral("Other text"));
}

void TestLanguageSupport::unknownLanguageFallsBackToEn()
{
    QVERIFY(writePack(localRoot(), QStringLiteral("de"), QStringLiteral("Deutsch")));
    QVERIFY(writeCatalog(localRoot() + QStringLiteral("/de/Strings/Client_de.qm"),
        { { "FallbackCtx", "Client text", QStringLiteral("aus de") } }));
    QVERIFY(writePack(localRoot(), QStringLiteral("en"), QStringLiteral("English")));
    QVERIFY(writeCatalog(localRoot() + QStringLiteral("/en/Strings/Client_en.qm"),
        { { "FallbackCtx", "Client text", QStringLiteral("from en") } }));
    QVERIFY(writeFile(localRoot() + QStringLiteral("/en/Docs/vornex_help.htm"), "english help"));

    Client::setupLanguageIn(m_program, QStringLiteral("VORNEXclient"), QStringLiteral("Klingon"), kPatterns);
    QCOMPARE(translated("FallbackCtx", "Client text"), QStringLiteral("from en"));
    const QFileInfo help = Client::findDocument(QStringLiteral("vornex_help.htm"));
    QVERIFY(help.exists());
    QCOMPARE(help.absoluteFilePath(), localRoot() + QStringLiteral("/en/Docs/vornex_help.htm"));
}

void TestLanguageSupport::upperRootWins()
{
    for (const QString &root : { localRoot(), upperRoot() }) {
        QVERIFY(writePack(root, QStringLiteral("de"), QStringLiteral("Deutsch")));
        const QString which = root == upperRoot() ? QStringLiteral("upper") : QStringLiteral("local");
        QVERIFY(writeCatalog(
            root + QStringLiteral("/de/Strings/Client_de.qm"), { { "RootCtx", "Client text", which } }));
        QVERIFY(writeFile(root + QStringLiteral("/de/Docs/vornex_help.htm"), which.toUtf8()));
    }
    Client::setupLanguageIn(m_program, QStringLiteral("VORNEXclient"), QStringLiteral("Deutsch"), kPatterns);
    QCOMPARE(Client::availableLanguages(), QStringList({ QStringLiteral("Deutsch") }));
    QCOMPARE(translated("RootCtx", "Client text"), QStringLiteral("upper"));
    QCOMPARE(Client::findDocument(QStringLiteral("vornex_help.htm")).absoluteFilePath(),
        QDir(upperRoot()).absoluteFilePath(QStringLiteral("de/Docs/vornex_help.htm")));
}

void TestLanguageSupport::documentFallbackIsTheLastPackWithDocs()
{
    QVERIFY(writePack(localRoot(), QStringLiteral("b"), QStringLiteral("Bee")));
    QVERIFY(writeFile(localRoot() + QStringLiteral("/b/Docs/own.htm"), "b"));
    QVERIFY(writeFile(localRoot() + QStringLiteral("/A/Docs/only.htm"), "a"));
    QVERIFY(writeFile(localRoot() + QStringLiteral("/c/Docs/only.htm"), "c"));

    Client::setupLanguageIn(m_program, QStringLiteral("VORNEXclient"), QStringLiteral("Bee"), kPatterns);
    QCOMPARE(Client::findDocument(QStringLiteral("own.htm")).absoluteFilePath(),
        localRoot() + QStringLiteral("/b/Docs/own.htm"));
    // "c" is the last pack in name order (case ignored) that has documents.
    QCOMPARE(Client::findDocument(QStringLiteral("only.htm")).absoluteFilePath(),
        localRoot() + QStringLiteral("/c/Docs/only.htm"));

    // Without documents in "c", the chosen pack is the last one: "A"'s copy
    // is not found.
    QVERIFY(QDir(localRoot() + QStringLiteral("/c")).removeRecursively());
    Client::setupLanguageIn(m_program, QStringLiteral("VORNEXclient"), QStringLiteral("Bee"), kPatterns);
    QVERIFY(!Client::findDocument(QStringLiteral("only.htm")).exists());
}

void TestLanguageSupport::noPacksAtAll()
{
    Client::setupLanguageIn(m_program, QStringLiteral("VORNEXclient"), QStringLiteral("English"), kPatterns);
    QCOMPARE(Client::availableLanguages(), QStringList());
    QCOMPARE(Client::findLanguageFolder(QStringLiteral("English")), QStringLiteral("en"));
    QVERIFY(!Client::findDocument(QStringLiteral("vornex_help.htm")).exists());
}

VORNEX_TEST_GUILESS_MAIN(TestLanguageSupport)
#include "tst_languagesupport.moc"
