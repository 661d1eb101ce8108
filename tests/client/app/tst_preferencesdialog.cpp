#include "ClientNames.h"
#include "LanguagePackMaker.h"
#include "LanguageSupport.h"
#include "PreferencesDialog.h"
#include "TestEnv.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

using namespace LanguagePackMaker;

class TestPreferencesDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void storedLanguageIsPreselected();
    void okWritesTheChoice();
    void cancelWritesNothing();
    void unknownStoredNameShowsNoSelection();

private:
    static QComboBox *combo(PreferencesDialog &dialog) { return dialog.findChild<QComboBox *>(); }
    static QPushButton *button(PreferencesDialog &dialog, QDialogButtonBox::StandardButton which)
    {
        return dialog.findChild<QDialogButtonBox *>()->button(which);
    }
};

void TestPreferencesDialog::initTestCase()
{
    QCoreApplication::setOrganizationName(ClientNames::organizationName());
    QCoreApplication::setApplicationName(ClientNames::applicationName());
    const QString program = TestEnv::homeDir() + QStringLiteral("/bin");
    const QString root = program + QStringLiteral("/VORNEXclient Language Packs");
    QVERIFY(writePack(root, QStringLiteral("de"), QStringLiteral("Deutsch")));
    QVERIFY(writePack(root, QStringLiteral("en"), QStringLiteral("English")));
    QVERIFY(writePack(root, QStringLiteral("xx"), QString()));
    Client::setupLanguageIn(program, ClientNames::applicationName(), QStringLiteral("English"), {});
}

void TestPreferencesDialog::init()
{
    QSettings().clear();
}

void TestPreferencesDialog::storedLanguageIsPreselected()
{
    {
        PreferencesDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Preferences"));
        QStringList names;
        for (int i = 0; i < combo(dialog)->count(); ++i)
            names.append(combo(dialog)->itemText(i));
        names.sort();
        QCOMPARE(names,
            QStringList({ QStringLiteral("Deutsch"), QStringLiteral("English"), QStringLiteral("xx") }));
        // Nothing stored means English.
        QCOMPARE(combo(dialog)->currentText(), QStringLiteral("English"));
    }
    QSettings().setValue(QStringLiteral("General/Language"), QStringLiteral("Deutsch"));
    PreferencesDialog dialog;
    QCOMPARE(combo(dialog)->currentText(), QStringLiteral("Deutsch"));
}

void TestPreferencesDialog::okWritesTheChoice()
{
    PreferencesDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    combo(dialog)->setCurrentIndex(combo(dialog)->findText(QStringLiteral("xx")));
    QVERIFY(!QSettings().contains(QStringLiteral("General/Language")));
    QTest::mouseClick(button(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(QSettings().value(QStringLiteral("General/Language")).toString(), QStringLiteral("xx"));
    // The name stored selects that pack at the next start.
    QCOMPARE(Client::findLanguageFolder(QStringLiteral("xx")), QStringLiteral("xx"));
}

void TestPreferencesDialog::cancelWritesNothing()
{
    QSettings().setValue(QStringLiteral("General/Language"), QStringLiteral("English"));
    PreferencesDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    combo(dialog)->setCurrentIndex(combo(dialog)->findText(QStringLiteral("Deutsch")));
    QTest::mouseClick(button(dialog, QDialogButtonBox::Cancel), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(QSettings().value(QStringLiteral("General/Language")).toString(), QStringLiteral("English"));

    PreferencesDialog escaped;
    escaped.show();
    QVERIFY(QTest::qWaitForWindowExposed(&escaped));
    combo(escaped)->setCurrentIndex(combo(escaped)->findText(QStringLiteral("Deutsch")));
    QTest::keyClick(&escaped, Qt::Key_Escape);
    QCOMPARE(QSettings().value(QStringLiteral("General/Language")).toString(), QStringLiteral("English"));
}

void TestPreferencesDialog::unknownStoredNameShowsNoSelection()
{
    QSettings().setValue(QStringLiteral("General/Language"), QStringLiteral("Klingon"));
    PreferencesDialog dialog;
    QCOMPARE(combo(dialog)->currentIndex(), -1);
    dialog.accept();
    QCOMPARE(QSettings().value(QStringLiteral("General/Language")).toString(), QString());
}

VORNEX_TEST_MAIN(TestPreferencesDialog)
#include "tst_preferencesdialog.moc"
