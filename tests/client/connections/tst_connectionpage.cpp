#include "BaseWidget.h"
#include "ConnectionNames.h"
#include "ConnectionPage.h"
#include "ConnectionStore.h"
#include "ConnectionTableModel.h"
#include "ConnectionView.h"
#include "HeaderLabel.h"
#include "LocalServerLookup.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTreeView>
#include <QtTest>

#include <memory>

using Client::ConnectionPage;
using Client::ConnectionStore;
using Client::LocalServerLookup;
using namespace ServerTest;

using TestFiles::settingsFile;

namespace {

// Not ASCII, and '<' as a settings or XML writer might mangle it.
const QString kPassword = QStringLiteral("p\u00e4<\u00df \u20ac\u65e5&");

// A page over a proxy of its own, with both models under the tester. The
// page goes first, as in the program (it saves on the way out).
struct Fixture
{
    ServerProxyPtr proxy { new ServerProxy };
    std::unique_ptr<ConnectionPage> page;
    std::unique_ptr<QAbstractItemModelTester> modelTester;
    std::unique_ptr<QAbstractItemModelTester> sortTester;

    Fixture()
    {
        page = std::make_unique<ConnectionPage>(proxy);
        modelTester = std::make_unique<QAbstractItemModelTester>(
            page->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        sortTester = std::make_unique<QAbstractItemModelTester>(
            page->sortModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    ~Fixture()
    {
        sortTester.reset();
        modelTester.reset();
        page.reset();
    }
    ServerConnection *connection(int row) const { return proxy->getConnection(row); }
};

void clearSettings()
{
    QSettings().clear();
    QSettings(QSettings::SystemScope, ConnectionNames::localServerOrganization(),
        ConnectionNames::localServerApplication())
        .clear();
}

// The local server's system-wide settings point at a folder holding a
// preferences file with this content (none when content is null).
void announceLocalServer(const QString &content)
{
    const QString folder = TestEnv::homeDir() + QStringLiteral("/local-server");
    QDir().mkpath(folder);
    QFile::remove(folder + QStringLiteral("/settingsNew.xml"));
    if (!content.isNull()) {
        QFile file(folder + QStringLiteral("/settingsNew.xml"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content.toUtf8());
    }
    QSettings system(QSettings::SystemScope, ConnectionNames::localServerOrganization(),
        ConnectionNames::localServerApplication());
    system.setValue(ConnectionNames::localServerFolderKey(), folder);
    system.sync();
}

QString preferences(const QString &port)
{
    return QStringLiteral("<?xml version=\"1.0\"?>\n<UserPreferences>\n  <Group>\n"
                          "    <UserPreference QSettingsKey=\"Other\">7</UserPreference>\n"
                          "    <UserPreference QSettingsKey=\"OmbrelPort\">%1</UserPreference>\n"
                          "  </Group>\n</UserPreferences>\n")
        .arg(port);
}

void saveConnection(int index, const QString &host, int port, const QString &user = QStringLiteral("user"))
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("Connections/%1").arg(index));
    settings.setValue(QStringLiteral("server"), host);
    settings.setValue(QStringLiteral("host"), host);
    settings.setValue(QStringLiteral("port"), port);
    settings.setValue(QStringLiteral("user"), user);
    settings.setValue(QStringLiteral("uptime"), 3.0);
    settings.setValue(QStringLiteral("pass"), ConnectionStore::scramble(QString()));
    settings.setValue(QStringLiteral("enabled"), true);
    settings.setValue(QStringLiteral("isSSLUsed"), false);
}

// Typed key by key, also characters no key of a US keyboard gives.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

int probes(const testserver::Server &server)
{
    return int(operations(server).count(QStringLiteral("CheckConnect")));
}

} // namespace

class TestConnectionPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void passwordScrambling();
    void groupsInNumericOrder();
    void addEditApplyRemove();
    void twelveConnectionsKeepTheirOrder();
    void removingTheSecondOfThree();
    void formWithoutConnection();
    void portMustBeAPort();
    void portWithGroupSeparator_data();
    void portWithGroupSeparator();
    void firstShowingLogsEveryoneIn();
    void layoutIsKept();
    void preferencesFile_data();
    void preferencesFile();
    void savedLocalServerMeansNoProbe();
    void announcedServerIsAddedWhenItLogsIn();
    void announcedServerBecomesTheCurrentRow();
    void refusedProbeIsListedOffline();
    void demoServerAnnouncesItself();
};

void TestConnectionPage::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Marvolt Software"));
    QCoreApplication::setApplicationName(QStringLiteral("VORNEXclient"));
    useShortTimeouts();
}

void TestConnectionPage::init()
{
    clearSettings();
}

void TestConnectionPage::passwordScrambling()
{
    const QByteArray stored = ConnectionStore::scramble(kPassword);
    const QByteArray utf8 = kPassword.toUtf8();
    QCOMPARE(stored.size(), utf8.size());
    for (int i = 0; i < utf8.size(); ++i)
        QCOMPARE(char(stored.at(i) ^ 0x3c), utf8.at(i));
    QCOMPARE(ConnectionStore::unscramble(stored), kPassword);
    // The text ends at the first zero byte.
    QCOMPARE(ConnectionStore::unscramble(ConnectionStore::scramble(QStringLiteral("ab")) + char(0x3c) + 'x'),
        QStringLiteral("ab"));
    QCOMPARE(ConnectionStore::unscramble(QByteArray()), QString());
}

void TestConnectionPage::groupsInNumericOrder()
{
    QCOMPARE(ConnectionStore::orderedGroups({ QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("10"),
                 QStringLiteral("11"), QStringLiteral("2"), QStringLiteral("b"), QStringLiteral("a") }),
        (QStringList { QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("10"),
            QStringLiteral("11"), QStringLiteral("a"), QStringLiteral("b") }));
}

void TestConnectionPage::addEditApplyRemove()
{
    auto server = startServer(false, kPassword);
    QVERIFY(server);
    {
        Fixture f;
        ConnectionPage &page = *f.page;
        QVERIFY(!page.updateButton()->isEnabled());
        QVERIFY(!page.removeButton()->isEnabled());
        QTest::mouseClick(page.addButton(), Qt::LeftButton);
        QCOMPARE(f.proxy->getConnectionCount(), 1);
        ServerConnection *added = f.connection(0);
        QCOMPARE(added->settings().port, 51008);
        QVERIFY(added->settings().host.isEmpty());
        QCOMPARE(page.selectedRow(), 0);
        QCOMPARE(page.view()->connection(), added);
        QCOMPARE(page.view()->portEdit()->text(), QStringLiteral("51008"));
        QVERIFY(page.removeButton()->isEnabled());
        QVERIFY(page.updateButton()->isEnabled());
        // Adding alone saves nothing.
        QVERIFY(!QSettings().childGroups().contains(QStringLiteral("Connections")));

        Client::ConnectionView *form = page.view();
        QVERIFY(!form->applyButton()->isEnabled());
        form->hostEdit()->clear();
        QTest::keyClicks(form->hostEdit(), QStringLiteral("127.0.0.1"));
        form->portEdit()->selectAll();
        QTest::keyClicks(form->portEdit(), QString::number(server->port()));
        QTest::keyClicks(form->userEdit(), QStringLiteral("user"));
        typeText(form->passwordEdit(), kPassword);
        QCOMPARE(form->headerLabel()->text(), QStringLiteral("Connection to 127.0.0.1"));
        QVERIFY(form->applyButton()->isEnabled());
        // The live connection changes only on Apply.
        QCOMPARE(added->host(), QString());
        QTest::mouseClick(form->applyButton(), Qt::LeftButton);
        QVERIFY(!form->applyButton()->isEnabled());
        QCOMPARE(added->host(), QStringLiteral("127.0.0.1"));
        // Online already after the connect; the log-in names the server.
        QTRY_VERIFY_WITH_TIMEOUT(!f.proxy->hasConnectionActivity(added), 10000);
        QVERIFY(added->isOnline());
        QTRY_COMPARE_WITH_TIMEOUT(
            page.model()->index(0, ConnectionTableModel::EnabledColumn).data(Qt::CheckStateRole).toInt(),
            int(Qt::Checked), 5000);
        const QModelIndex name = page.model()->index(0, ConnectionTableModel::ServerNameColumn);
        QCOMPARE(name.data().toString(), QStringLiteral("Test Server"));
        QCOMPARE(page.model()->index(0, ConnectionTableModel::StatusColumn).data().toString(),
            QStringLiteral("Running"));
        const QModelIndex checked = page.model()->index(0, ConnectionTableModel::LastCheckedColumn);
        QVERIFY(checked.data(ConnectionTableModel::SortRole).toDateTime().isValid());
        QVERIFY(!checked.data().toString().isEmpty());

        QSettings settings;
        settings.beginGroup(QStringLiteral("Connections/0"));
        QCOMPARE(settings.value(QStringLiteral("host")).toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(settings.value(QStringLiteral("port")).toInt(), int(server->port()));
        QCOMPARE(settings.value(QStringLiteral("user")).toString(), QStringLiteral("user"));
        QCOMPARE(settings.value(QStringLiteral("pass")).toByteArray(), ConnectionStore::scramble(kPassword));
        QVERIFY(settings.value(QStringLiteral("enabled")).toBool());
        QCOMPARE(settings.value(QStringLiteral("uptime")).toDouble(), 3.0);
        QVERIFY(!settings.value(QStringLiteral("isSSLUsed")).toBool());
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther
            | QFileDevice::ExeOther;
        QCOMPARE(QFile::permissions(settingsFile()) & others, QFileDevice::Permissions());
        QVERIFY(QFile::permissions(settingsFile()) & QFileDevice::ReadOwner);
        // Another writer of the same file keeps it private.
        {
            QSettings other;
            other.setValue(QStringLiteral("General/Language"), QStringLiteral("English"));
        }
        QCOMPARE(QSettings().value(QStringLiteral("General/Language")).toString(), QStringLiteral("English"));
        QCOMPARE(QFile::permissions(settingsFile()) & others, QFileDevice::Permissions());
    }
    // The next run.
    {
        Fixture f;
        QCOMPARE(f.proxy->getConnectionCount(), 1);
        const ServerConnection::ConnectionSettings loaded = f.connection(0)->settings();
        QCOMPARE(loaded.host, QStringLiteral("127.0.0.1"));
        QCOMPARE(loaded.port, int(server->port()));
        QCOMPARE(loaded.password, kPassword);
        QCOMPARE(loaded.serverName, QStringLiteral("Test Server"));
        QVERIFY(loaded.enabled);
        // Loading logs nobody in.
        QVERIFY(!f.proxy->hasConnectionActivity(f.connection(0)));

        f.page->table()->setCurrentIndex(f.page->sortModel()->index(0, 1));
        QTest::mouseClick(f.page->removeButton(), Qt::LeftButton);
        QCOMPARE(f.proxy->getConnectionCount(), 0);
        QCOMPARE(f.page->view()->connection(), nullptr);
        QVERIFY(!f.page->removeButton()->isEnabled());
        QSettings settings;
        settings.beginGroup(QStringLiteral("Connections"));
        QVERIFY(settings.childGroups().isEmpty());
    }
}

void TestConnectionPage::twelveConnectionsKeepTheirOrder()
{
    QStringList hosts;
    {
        Fixture f;
        for (int i = 0; i < 12; ++i) {
            ServerConnection *connection = f.page->model()->addConnection();
            hosts << QStringLiteral("host-%1.example").arg(i);
            connection->setHost(hosts.last());
            connection->setPort(1000 + i);
            connection->applySettings();
        }
        f.page->saveConnections();
    }
    for (int run = 0; run < 2; ++run) {
        Fixture f;
        QCOMPARE(f.proxy->getConnectionCount(), 12);
        QStringList loaded;
        for (int i = 0; i < 12; ++i) {
            loaded << f.connection(i)->settings().host;
            QCOMPARE(f.connection(i)->settings().port, 1000 + i);
        }
        QCOMPARE(loaded, hosts);
        // Ids count up in the order the rows were added.
        QVERIFY(f.connection(11)->connectionId() > f.connection(10)->connectionId());
    }
}

void TestConnectionPage::removingTheSecondOfThree()
{
    saveConnection(0, QStringLiteral("a.example"), 1);
    saveConnection(1, QStringLiteral("b.example"), 2);
    saveConnection(2, QStringLiteral("c.example"), 3);
    QSettings().sync();
    QFile::setPermissions(settingsFile(), QFile::permissions(settingsFile()) | QFileDevice::ReadOther);
    Fixture f;
    // Loading makes the file private already.
    QVERIFY(!(QFile::permissions(settingsFile()) & QFileDevice::ReadOther));
    QCOMPARE(f.proxy->getConnectionCount(), 3);
    QSignalSpy removed(f.page->model(), &QAbstractItemModel::rowsRemoved);
    const QModelIndex second = f.page->sortModel()->mapFromSource(f.page->model()->index(1, 1));
    f.page->table()->selectionModel()->setCurrentIndex(
        second, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    f.page->removeConnection();
    QCOMPARE(removed.count(), 1);
    QSettings settings;
    settings.beginGroup(QStringLiteral("Connections"));
    QCOMPARE(settings.childGroups(), (QStringList { QStringLiteral("0"), QStringLiteral("1") }));
    QCOMPARE(settings.value(QStringLiteral("1/host")).toString(), QStringLiteral("c.example"));
    QCOMPARE(f.page->view()->connection(), f.page->model()->connectionAt(f.page->selectedRow()));
}

void TestConnectionPage::formWithoutConnection()
{
    Fixture f;
    Client::ConnectionView *form = f.page->view();
    QCOMPARE(form->headerLabel()->text(), QStringLiteral("Connection to server"));
    QVERIFY(!form->hostEdit()->isEnabled());
    QVERIFY(!form->enabledBox()->isEnabled());
    QVERIFY(!form->applyButton()->isEnabled());
    QVERIFY(form->intervalEdit()->isHidden());
    QVERIFY(!f.page->updateButton()->isEnabled());
    QVERIFY(f.page->addButton()->isEnabled());
    QVERIFY(f.page->updateAllButton()->isEnabled());
    QCOMPARE(f.page->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Server name"));
    QVERIFY(!f.page->model()->headerData(1, Qt::Vertical).isValid());
}

void TestConnectionPage::portMustBeAPort()
{
    Fixture f;
    f.page->addConnection();
    ServerConnection *connection = f.connection(0);
    Client::ConnectionView *form = f.page->view();
    QTest::keyClicks(form->hostEdit(), QStringLiteral("srv"));
    QVERIFY(form->applyButton()->isEnabled());
    form->portEdit()->selectAll();
    QTest::keyClicks(form->portEdit(), QStringLiteral("0"));
    QCOMPARE(connection->settings().port, 0);
    QVERIFY(!form->applyButton()->isEnabled());
    form->portEdit()->selectAll();
    QTest::keyClicks(form->portEdit(), QStringLiteral("70000"));
    QCOMPARE(connection->settings().port, 0);
    QVERIFY(!form->applyButton()->isEnabled());
    form->portEdit()->selectAll();
    QTest::keyClicks(form->portEdit(), QStringLiteral("8x0"));
    QCOMPARE(form->portEdit()->text(), QStringLiteral("80"));
    QCOMPARE(connection->settings().port, 80);
    QVERIFY(form->applyButton()->isEnabled());

    // The hidden interval still travels.
    form->setConnection(connection);
    QCOMPARE(form->intervalEdit()->text(), QStringLiteral("3"));
    form->intervalEdit()->setText(QStringLiteral("2.5"));
    emit form->intervalEdit()->textEdited(QStringLiteral("2.5"));
    QCOMPARE(connection->settings().uptime, 2.5f);

    // A hand-edited settings file with an impossible port loads as unusable.
    saveConnection(0, QStringLiteral("x.example"), 123456);
    Fixture reloaded;
    QCOMPARE(reloaded.connection(0)->settings().port, 0);
    QVERIFY(!reloaded.connection(0)->isUsable());
}

void TestConnectionPage::portWithGroupSeparator_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("typed");
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << QStringLiteral("51,008");
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << QStringLiteral("51.008");
}

void TestConnectionPage::portWithGroupSeparator()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, typed);
    const QLocale saved;
    QLocale::setDefault(locale);
    const auto restore = qScopeGuard([saved] { QLocale::setDefault(saved); });
    Fixture f;
    f.page->addConnection();
    ServerConnection *connection = f.connection(0);
    Client::ConnectionView *form = f.page->view();
    QTest::keyClicks(form->hostEdit(), QStringLiteral("127.0.0.1"));
    form->portEdit()->selectAll();
    QTest::keyClicks(form->portEdit(), typed);

    // What the form shows is what the connection gets, and is stored.
    QCOMPARE(form->portEdit()->text(), QStringLiteral("51008"));
    QCOMPARE(connection->settings().port, 51008);
    QVERIFY(form->applyButton()->isEnabled());
    QTest::mouseClick(form->applyButton(), Qt::LeftButton);
    QCOMPARE(connection->port(), 51008);
    QCOMPARE(QSettings().value(QStringLiteral("Connections/0/port")).toInt(), 51008);
}

void TestConnectionPage::firstShowingLogsEveryoneIn()
{
    auto server = startServer();
    QVERIFY(server);
    saveConnection(0, QStringLiteral("127.0.0.1"), server->port());
    saveConnection(1, QStringLiteral("127.0.0.1"), server->port());
    Fixture f;
    QCOMPARE(f.page->selectedRow(), -1);
    QSignalSpy ended(f.proxy.get(), &ServerProxy::refreshConnectionModelRequest);
    emit f.page->selected();
    QCOMPARE(f.page->selectedRow(), 0);
    QCOMPARE(f.page->table()->currentIndex().row(), 0);
    QCOMPARE(f.page->view()->connection(), f.connection(0));
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 2, 10000);
    QVERIFY(f.connection(0)->isOnline());
    QVERIFY(f.connection(1)->isOnline());
    // Once only.
    emit f.page->selected();
    QVERIFY(!f.proxy->hasConnectionActivity(f.connection(0)));
    QCOMPARE(operations(*server).count(QStringLiteral("CheckUserNameAndPass")), 2);
}

void TestConnectionPage::layoutIsKept()
{
    {
        Fixture f;
        f.page->resize(900, 400);
        f.page->splitter()->setSizes({ 600, 300 });
        f.page->table()->header()->moveSection(3, 0);
    }
    const QSettings settings;
    QVERIFY(!settings.value(QStringLiteral("Layout/Connections/Headers")).toByteArray().isEmpty());
    QCOMPARE(settings.value(QStringLiteral("Layout/Connections/Splitter")).toList().size(), 2);
    Fixture f;
    QCOMPARE(f.page->table()->header()->visualIndex(3), 0);
}

void TestConnectionPage::preferencesFile_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<int>("port");
    QTest::newRow("port") << preferences(QStringLiteral("51008")) << QStringList { QStringLiteral("51008") }
                          << 51008;
    QTest::newRow("port with blanks")
        << preferences(QStringLiteral(" 8080\n")) << QStringList { QStringLiteral(" 8080\n") } << 8080;
    QTest::newRow("no file") << QString() << QStringList() << 0;
    QTest::newRow("not XML") << QStringLiteral("<UserPreferences><Group>") << QStringList() << 0;
    QTest::newRow("wrong root") << QString(preferences(QStringLiteral("51008")))
                                       .replace(QStringLiteral("UserPreferences"), QStringLiteral("Prefs"))
                                << QStringList() << 0;
    QTest::newRow("no port key") << QString(preferences(QStringLiteral("51008")))
                                        .replace(QStringLiteral("OmbrelPort"), QStringLiteral("WebPort"))
                                 << QStringList() << 0;
    QTest::newRow("not a number") << preferences(QStringLiteral("http"))
                                  << QStringList { QStringLiteral("http") } << 0;
    QTest::newRow("too large") << preferences(QStringLiteral("70000"))
                               << QStringList { QStringLiteral("70000") } << 0;
    QTest::newRow("zero") << preferences(QStringLiteral("0")) << QStringList { QStringLiteral("0") } << 0;
    QTest::newRow("negative") << preferences(QStringLiteral("-5")) << QStringList { QStringLiteral("-5") }
                              << 0;
    QTest::newRow("empty") << preferences(QString()) << QStringList { QString() } << 0;
}

void TestConnectionPage::preferencesFile()
{
    QFETCH(QString, content);
    QFETCH(QStringList, values);
    QFETCH(int, port);
    QVERIFY(LocalServerLookup::preferencesFile().isEmpty());
    announceLocalServer(content);
    const QString path = LocalServerLookup::preferencesFile();
    QCOMPARE(path.isEmpty(), content.isNull());
    QCOMPARE(LocalServerLookup::portValues(path), values);
    QCOMPARE(LocalServerLookup::parsePort(values.value(0)), port);
}

void TestConnectionPage::savedLocalServerMeansNoProbe()
{
    auto server = startServer();
    QVERIFY(server);
    announceLocalServer(preferences(QString::number(server->port())));
    saveConnection(0, QStringLiteral("localhost"), server->port());
    {
        Fixture f;
        QCOMPARE(f.proxy->getConnectionCount(), 1);
        // A probe would have started with the page, before this log-in,
        // which connects first and then takes two more calls.
        QSignalSpy ended(f.proxy.get(), &ServerProxy::refreshConnectionModelRequest);
        f.page->loginConnection(f.connection(0));
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 10000);
        QVERIFY(f.connection(0)->isOnline());
        QCOMPARE(probes(*server), 1);
        QCOMPARE(f.proxy->getConnectionCount(), 1);
    }
    // Saved under another name for the same machine, it is probed.
    server->clearJournal();
    clearSettings();
    announceLocalServer(preferences(QString::number(server->port())));
    saveConnection(0, QStringLiteral("127.0.0.1"), server->port());
    Fixture f;
    QSignalSpy added(f.proxy.get(), &ServerProxy::connectionAdded);
    QTRY_COMPARE_WITH_TIMEOUT(added.count(), 1, 10000);
    QCOMPARE(probes(*server), 1);
    QCOMPARE(f.connection(1)->settings().host, QStringLiteral("localhost"));
}

void TestConnectionPage::announcedServerIsAddedWhenItLogsIn()
{
    auto server = startServer();
    QVERIFY(server);
    announceLocalServer(preferences(QString::number(server->port())));
    Fixture f;
    QSignalSpy refreshed(f.proxy.get(), &ServerProxy::refreshConnectionModelRequest);
    // Probe ended, probe listed, its log-in ended.
    QTRY_COMPARE_WITH_TIMEOUT(refreshed.count(), 3, 10000);
    QCOMPARE(f.page->model()->rowCount(), 1);
    QVERIFY(refreshed.at(1).first().toBool());
    ServerConnection *local = f.connection(0);
    QVERIFY(local->isOnline());
    QCOMPARE(local->settings().host, QStringLiteral("localhost"));
    QCOMPARE(local->settings().user, QStringLiteral("user"));
    QCOMPARE(local->settings().port, int(server->port()));
    QCOMPARE(f.page->sortModel()->rowCount(), 1);
    QCOMPARE(f.page->sortModel()->index(0, 1).data().toString(), QStringLiteral("Test Server"));
    // It is kept with the next save like any other.
    f.page->saveConnections();
    QCOMPARE(QSettings().value(QStringLiteral("Connections/0/host")).toString(), QStringLiteral("localhost"));
}

void TestConnectionPage::announcedServerBecomesTheCurrentRow()
{
    auto server = startServer();
    QVERIFY(server);
    announceLocalServer(preferences(QString::number(server->port())));
    Fixture f;
    // First start: shown before the probe has logged in.
    emit f.page->selected();
    QCOMPARE(f.page->view()->connection(), nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(f.page->table()->currentIndex().isValid(), 10000);
    ServerConnection *local = f.connection(0);
    QVERIFY(local);
    QCOMPARE(f.page->selectedRow(), 0);
    QCOMPARE(f.page->model()->connectionAt(f.page->selectedRow()), local);
    QCOMPARE(f.page->view()->connection(), local);
    QVERIFY(f.page->view()->hostEdit()->isEnabled());
    QCOMPARE(f.page->view()->hostEdit()->text(), QStringLiteral("localhost"));
    QCOMPARE(f.page->view()->portEdit()->text(), QString::number(server->port()));
}

void TestConnectionPage::refusedProbeIsListedOffline()
{
    auto server = startServer(false, QStringLiteral("secret"));
    QVERIFY(server);
    announceLocalServer(preferences(QString::number(server->port())));
    Fixture f;
    QSignalSpy refreshed(f.proxy.get(), &ServerProxy::refreshConnectionModelRequest);
    QTRY_COMPARE_WITH_TIMEOUT(refreshed.count(), 3, 10000);
    QCOMPARE(f.page->model()->rowCount(), 1);
    QVERIFY(!f.connection(0)->isOnline());
    QCOMPARE(f.page->model()->index(0, ConnectionTableModel::StatusColumn).data().toString(),
        ServerConnection::loginFailedText());
}

void TestConnectionPage::demoServerAnnouncesItself()
{
    // The run command's set-up: the demo program writes its announcement
    // into the first folder of the client's XDG_CONFIG_DIRS.
    const QString configDirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    QVERIFY(!configDirs.isEmpty());
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QDir(TestEnv::binDir()).absoluteFilePath(QStringLiteral("vornex-testserver")),
        { QStringLiteral("--demo"), QStringLiteral("--port"), QStringLiteral("0"),
            QStringLiteral("--register"), configDirs.section(QLatin1Char(':'), 0, 0) });
    QVERIFY(program.waitForStarted(10000));
    QByteArray port;
    QVERIFY(QTest::qWaitFor(
        [&] {
            program.waitForReadyRead(100);
            while (program.canReadLine()) {
                const QByteArray line = program.readLine().trimmed();
                if (line.startsWith("port "))
                    port = line.mid(5);
            }
            return !port.isEmpty();
        },
        20000));
    QCOMPARE(LocalServerLookup::portValues(LocalServerLookup::preferencesFile()),
        QStringList { QString::fromLatin1(port) });

    {
        Fixture f;
        QSignalSpy refreshed(f.proxy.get(), &ServerProxy::refreshConnectionModelRequest);
        QTRY_COMPARE_WITH_TIMEOUT(refreshed.count(), 3, 10000);
        QCOMPARE(f.proxy->getConnectionCount(), 1);
        ServerConnection *local = f.connection(0);
        QVERIFY(local->isOnline());
        QCOMPARE(local->settings().port, port.toInt());
        QVERIFY(
            !f.page->model()->index(0, ConnectionTableModel::ServerNameColumn).data().toString().isEmpty());
    }

    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitCode(), 0);
    // Gone with the server.
    QVERIFY(LocalServerLookup::preferencesFile().isEmpty());
}

VORNEX_TEST_MAIN(TestConnectionPage)
#include "tst_connectionpage.moc"
