#include "ClientNames.h"
#include "Desktop.h"
#include "LanguageSupport.h"
#include "ListPageSelection.h"
#include "MainWindow.h"
#include "ServerConnection.h"
#include "ShellSupport.h"
#include "SplashScreen.h"
#include "SubmitStatus.h"
#include "SubmittedFilesModel.h"
#include "TestEnv.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// The packs the build lays out beside the program, used as the program
// uses them.
namespace {

QString packsRoot()
{
    return TestEnv::binDir() + QStringLiteral("/VORNEXclient Language Packs");
}

class RecordingDesktop : public Desktop
{
public:
    QString appDataFolder() const override { return TestEnv::homeDir() + QStringLiteral("/appdata"); }
    QString commonAppDataFolder() const override { return QString(); }
    bool openWithHandler(const QString &path) override
    {
        opened.append(path);
        return true;
    }
    QStringList opened;
};

} // namespace

class TestLanguagePacks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyTextIsTranslated_data();
    void everyTextIsTranslated();
    void everySourceTextIsInTheCatalogs_data();
    void everySourceTextIsInTheCatalogs();
    void packsNameThemselves();
    void helpDocumentInEachPack_data();
    void helpDocumentInEachPack();
    void helpNamesWhatTheClientShows_data();
    void helpNamesWhatTheClientShows();
    void germanPackTranslatesTheClient();

private:
    RecordingDesktop m_desktop;
};

void TestLanguagePacks::initTestCase()
{
    QVERIFY2(QFileInfo(packsRoot()).isDir(), qPrintable(packsRoot()));
    QCoreApplication::setOrganizationName(ClientNames::organizationName());
    QCoreApplication::setApplicationName(ClientNames::applicationName());
    Desktop::setInstance(&m_desktop);
}

void TestLanguagePacks::cleanupTestCase()
{
    Desktop::setInstance(nullptr);
}

void TestLanguagePacks::everyTextIsTranslated_data()
{
    QTest::addColumn<QString>("path");
    const QDir sources(QStringLiteral(VORNEX_TS_DIR));
    const QStringList files = sources.entryList({ QStringLiteral("*.ts") }, QDir::Files);
    QVERIFY(files.size() >= 6);
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << sources.filePath(file);
}

void TestLanguagePacks::everyTextIsTranslated()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QDomDocument document;
    QVERIFY(document.setContent(&file));
    const QDomNodeList messages = document.elementsByTagName(QStringLiteral("message"));
    QVERIFY(messages.count() > 0);
    // Texts that read the same in German; any other one left as it stands
    // was forgotten.
    const QStringList sameInGerman { QStringLiteral("Jobs"), QStringLiteral("Job: %1"),
        QStringLiteral("Port"), QStringLiteral("Status"), QStringLiteral("JOB"),
        QStringLiteral("VORNEXclient"), QStringLiteral("vornex_help.htm") };
    const bool german = path.endsWith(QStringLiteral("_de.ts"));
    for (int i = 0; i < messages.count(); ++i) {
        const QDomElement message = messages.at(i).toElement();
        const QString source = message.firstChildElement(QStringLiteral("source")).text();
        const QDomElement translation = message.firstChildElement(QStringLiteral("translation"));
        QVERIFY2(translation.attribute(QStringLiteral("type")).isEmpty() && !translation.text().isEmpty(),
            qPrintable(source));
        // Units and texts of placeholders alone read the same in every language.
        const bool wordless = !source.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2}")));
        if (german && !wordless && !source.contains(QRegularExpression(QStringLiteral("^%1 [KMGTPE]?B$"))))
            QVERIFY2(translation.text() != source || sameInGerman.contains(source), qPrintable(source));
        // Placeholders survive translation.
        for (const QString &placeholder :
            { QStringLiteral("%1"), QStringLiteral("%2"), QStringLiteral("%3") })
            QCOMPARE(translation.text().contains(placeholder), source.contains(placeholder));
    }
}

void TestLanguagePacks::everySourceTextIsInTheCatalogs_data()
{
    QTest::addColumn<QString>("catalog");
    for (const char *catalog : { "Common", "GuiCommon", "Client" })
        QTest::newRow(catalog) << QString::fromLatin1(catalog);
}

// The texts the sources pass to tr() today, extracted as the catalogs are
// made, into copies of them: any text a catalog lacks comes out unfinished.
void TestLanguagePacks::everySourceTextIsInTheCatalogs()
{
    QFETCH(QString, catalog);
    QTemporaryDir copies;
    QVERIFY(copies.isValid());
    QStringList missing;
    for (const char *code : { "en", "de" }) {
        const QString name = catalog + QLatin1Char('_') + QLatin1String(code) + QStringLiteral(".ts");
        const QString copy = copies.filePath(name);
        QVERIFY(QFile::copy(QStringLiteral(VORNEX_TS_DIR "/") + name, copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        QProcess lupdate;
        lupdate.setProcessChannelMode(QProcess::MergedChannels);
        lupdate.start(QStringLiteral(VORNEX_LUPDATE),
            { QStringLiteral("-no-obsolete"), QStringLiteral("-locations"), QStringLiteral("none"),
                QStringLiteral("-source-language"), QStringLiteral("en"), QStringLiteral("-target-language"),
                QLatin1String(code),
                QStringLiteral("@" VORNEX_TS_LISTS "/") + catalog + QStringLiteral(".lst"),
                QStringLiteral("-ts"), copy });
        QVERIFY(lupdate.waitForFinished(60000));
        QVERIFY2(lupdate.exitCode() == 0, lupdate.readAll().constData());

        QFile file(copy);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QDomDocument document;
        QVERIFY(document.setContent(&file));
        const QDomNodeList messages = document.elementsByTagName(QStringLiteral("message"));
        QVERIFY(messages.count() > 0);
        for (int i = 0; i < messages.count(); ++i) {
            const QDomElement message = messages.at(i).toElement();
            const QString source = message.firstChildElement(QStringLiteral("source")).text();
            const QDomElement translation = message.firstChildElement(QStringLiteral("translation"));
            bool done
                = translation.attribute(QStringLiteral("type")).isEmpty() && !translation.text().isEmpty();
            // Every plural form filled, none left as the "(s)" source.
            const QDomNodeList forms = translation.elementsByTagName(QStringLiteral("numerusform"));
            for (int f = 0; f < forms.count(); ++f)
                done = done && !forms.at(f).toElement().text().isEmpty()
                    && forms.at(f).toElement().text() != source;
            if (!done) {
                const QString context = message.parentNode().firstChildElement(QStringLiteral("name")).text();
                missing << QStringLiteral("%1 %2: \"%3\"").arg(QLatin1String(code), context, source);
            }
        }
    }
    // Listed whole, to be translated at once after
    //   cmake --build <build> --target vornex_update_translations
    QVERIFY2(missing.isEmpty(),
        qPrintable(
            QStringLiteral("%1 text(s) missing or unfinished in %2_*.ts:\n").arg(missing.size()).arg(catalog)
            + missing.join(QLatin1Char('\n'))));
}

void TestLanguagePacks::packsNameThemselves()
{
    Client::setupLanguageIn(TestEnv::binDir(), ClientNames::applicationName(), QStringLiteral("English"), {});
    QStringList names = Client::availableLanguages();
    names.sort();
    QCOMPARE(names, QStringList({ QStringLiteral("Deutsch"), QStringLiteral("English") }));
    QCOMPARE(Client::findLanguageFolder(QStringLiteral("Deutsch")), QStringLiteral("de"));
    QCOMPARE(Client::findLanguageFolder(QStringLiteral("English")), QStringLiteral("en"));
    for (const char *code : { "en", "de" }) {
        const QDir strings(packsRoot() + QLatin1Char('/') + QLatin1String(code) + QStringLiteral("/Strings"));
        for (const char *catalog : { "Common_", "GuiCommon_", "Client_", "qt_", "qtbase_" }) {
            const QString name = QLatin1String(catalog) + QLatin1String(code) + QStringLiteral(".qm");
            QVERIFY2(strings.exists(name), qPrintable(strings.filePath(name)));
        }
    }
}

void TestLanguagePacks::helpDocumentInEachPack_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("pageHeading");
    QTest::newRow("en") << QStringLiteral("en") << QStringLiteral(">Connections</h2>");
    QTest::newRow("de") << QStringLiteral("de") << QStringLiteral(">Verbindungen</h2>");
}

void TestLanguagePacks::helpDocumentInEachPack()
{
    QFETCH(QString, code);
    QFETCH(QString, pageHeading);
    QFile help(packsRoot() + QLatin1Char('/') + code + QStringLiteral("/Docs/vornex_help.htm"));
    QVERIFY(help.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(help.readAll());
    QVERIFY(text.contains(QStringLiteral("<html lang=\"%1\">").arg(code)));
    QVERIFY(text.contains(pageHeading));
}

void TestLanguagePacks::helpNamesWhatTheClientShows_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("code");
    // English first: a pack's translations stay installed for the process.
    QTest::newRow("en") << QStringLiteral("English") << QStringLiteral("en");
    QTest::newRow("de") << QStringLiteral("Deutsch") << QStringLiteral("de");
}

// The help speaks of the pages, buttons and status texts as the client
// shows them in that language.
void TestLanguagePacks::helpNamesWhatTheClientShows()
{
    QFETCH(QString, language);
    QFETCH(QString, code);
    Client::setupLanguageIn(TestEnv::binDir(), ClientNames::applicationName(), language,
        { QStringLiteral("Common*.qm"), QStringLiteral("GuiCommon*.qm"), QStringLiteral("Client*.qm") });
    QFile file(packsRoot() + QLatin1Char('/') + code + QStringLiteral("/Docs/vornex_help.htm"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString help = QString::fromUtf8(file.readAll()).simplified();

    MainWindow window;
    QStringList shown;
    QListWidget *list = window.pageList()->listWidget();
    for (int row = 0; row < list->count(); ++row)
        shown << list->item(row)->text();
    for (const QAbstractButton *button : window.findChildren<QAbstractButton *>())
        shown << button->text().remove(QLatin1Char('&'));
    for (const char *status :
        { "Never connected", "Connected", "Connected securely", "Disabled", "Can't reach host" })
        shown << QCoreApplication::translate("ServerConnection", status);
    shown << ServerConnection::loginFailedText() << ServerConnection::hostMissingText();
    // A fetch that fails, as the status line tells it for as long as it does.
    shown << QStringLiteral("Demo Workflow Server: ")
            + QCoreApplication::translate(
                "ServerConnection", "%1: %2", "why a fetch failed: the kind of data")
                  .arg(QCoreApplication::translate("ServerConnection", "The server's answer was too large"),
                      QCoreApplication::translate("ServerConnection", "log messages"));
    // The Progress limit, and what resets the time filter.
    shown << QCoreApplication::translate(
        "Client::ProgressPage", "No longer show completed jobs after (hours)");
    shown << QCoreApplication::translate("Velloc::LogTableView", "Reset all filters");
    for (const int status :
        { SubmitStatus::Waiting, SubmitStatus::WaitingConnection, SubmitStatus::PreparingData,
            SubmitStatus::Uploading, SubmitStatus::Verifying, SubmitStatus::Finished, SubmitStatus::Error })
        shown << Client::SubmittedFilesModel::statusText(status);
    shown.removeAll(QString());
    QVERIFY(shown.size() > 20);
    for (const QString &text : std::as_const(shown))
        QVERIFY2(help.contains(text), qPrintable(text));
}

void TestLanguagePacks::germanPackTranslatesTheClient()
{
    Client::setupLanguageIn(TestEnv::binDir(), ClientNames::applicationName(), QStringLiteral("Deutsch"),
        { QStringLiteral("Common*.qm"), QStringLiteral("GuiCommon*.qm"), QStringLiteral("Client*.qm") });
    // Qt's own texts come from the pack as well.
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));

    MainWindow window;
    QListWidget *list = window.pageList()->listWidget();
    QCOMPARE(list->item(list->count() - 2)->text(), QStringLiteral("Hilfe"));
    QCOMPARE(list->item(list->count() - 1)->text(), QStringLiteral("\u00dcber"));
    // The command keeps its label whatever the language.
    QCOMPARE(window.preferencesAction()->text(), QStringLiteral("Preferences"));
    QCOMPARE(SplashScreen().versionText(), QStringLiteral("VORNEXclient 07 Update 5"));

    window.helpIndexAction()->trigger();
    QCOMPARE(m_desktop.opened,
        QStringList({ QDir(packsRoot()).canonicalPath() + QStringLiteral("/de/Docs/vornex_help.htm") }));
}

VORNEX_TEST_MAIN(TestLanguagePacks)
#include "tst_languagepacks.moc"
