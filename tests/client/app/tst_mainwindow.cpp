#include "ClientNames.h"
#include "Desktop.h"
#include "ListPageSelection.h"
#include "LocalPeer.h"
#include "MainWindow.h"
#include "PreferencesDialog.h"
#include "QtSingleWinApplication.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "SplashScreen.h"
#include "StatusLine.h"
#include "TestEnv.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLayout>
#include <QListWidget>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <memory>

#include <sys/stat.h>

namespace {

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

// The program's application object under a test id, so this run never
// meets a client the developer has open.
class TestApplication : public QtSingleWinApplication
{
public:
    TestApplication(int &argc, char **argv)
        : QtSingleWinApplication(QStringLiteral("VORNEXclient test instance"), argc, argv)
    { }
};

class TestDesktop : public Desktop
{
public:
    QString appDataFolder() const override { return user; }
    QString commonAppDataFolder() const override { return common; }
    bool openWithHandler(const QString &path) override
    {
        opened.append(path);
        return true;
    }

    QString user;
    QString common;
    QStringList opened;
};

TestApplication *application()
{
    return static_cast<TestApplication *>(QCoreApplication::instance());
}

// Closes every modal dialog that turns up while it lives, noting its
// class: the call under test runs the dialog's own event loop. It acts only
// once that loop runs and the dialog is visible: showing a splash-type window
// runs pending events, and a dialog closed then leaves exec() waiting on a
// hidden window. A loop left waiting that way is ended after a bound, noted
// as "stuck", so the test fails instead of hanging.
class ModalCloser
{
public:
    ModalCloser()
        : m_level(QThread::currentThread()->loopLevel())
    {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { poll(); });
        m_timer.start(kPollMs);
    }
    QStringList seen() const { return m_seen; }

private:
    void poll()
    {
        if (QThread::currentThread()->loopLevel() <= m_level) {
            m_idle = 0;
            return;
        }
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            dialog && dialog->isVisible()) {
            m_seen.append(QString::fromLatin1(dialog->metaObject()->className()));
            dialog->reject();
            m_idle = 0;
            return;
        }
        if (++m_idle * kPollMs < kStuckMs)
            return;
        m_idle = 0;
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget *window : windows) {
            // Hiding ends exec(), so a hidden dialog is shown to be closed.
            if (auto *dialog = qobject_cast<QDialog *>(window); dialog && dialog->isModal()) {
                m_seen.append(QStringLiteral("stuck"));
                dialog->show();
                dialog->reject();
            }
        }
    }

    static constexpr int kPollMs = 20;
    static constexpr int kStuckMs = 10000;
    const int m_level;
    int m_idle = 0;
    QTimer m_timer;
    QStringList m_seen;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void dataFolderAndApplicationPath();
    void geometryRestoredInsideThePrimaryScreen();
    void geometryFallsBackToMaximised_data();
    void geometryFallsBackToMaximised();
    void closingSavesPositionAndSize();
    void statusLineAndServerConnections();
    void pageListHoldsHelpAndAbout();
    void aboutShowsTheSplashPicture();
    void helpOpensTheDocumentOnlyWhenPresent();
    void preferencesCommand();
    void wakeUpMessageBringsTheWindowForward();

private:
    TestDesktop m_desktop;
};

void TestMainWindow::initTestCase()
{
    QCoreApplication::setOrganizationName(ClientNames::organizationName());
    QCoreApplication::setApplicationName(ClientNames::applicationName());
    m_desktop.user = TestEnv::homeDir() + QStringLiteral("/appdata");
    m_desktop.common = TestEnv::homeDir() + QStringLiteral("/common-appdata");
    Desktop::setInstance(&m_desktop);
}

void TestMainWindow::cleanupTestCase()
{
    Desktop::setInstance(nullptr);
}

void TestMainWindow::init()
{
    QSettings().clear();
    m_desktop.opened.clear();
}

void TestMainWindow::dataFolderAndApplicationPath()
{
    const QString seed = m_desktop.common + QStringLiteral("/Marvolt Software/VORNEXclient");
    QVERIFY(QDir().mkpath(seed));
    QFile cache(seed + QStringLiteral("/localhost#51008.xml"));
    QVERIFY(cache.open(QIODevice::WriteOnly));
    cache.write("<server/>");
    cache.close();

    // Private under the usual umask: the settings file from its first
    // write, the data folder and its parent.
    const mode_t oldMask = ::umask(022);
    const QString settingsFile = QSettings().fileName();
    QFile::remove(settingsFile);
    QVERIFY(!QFileInfo::exists(settingsFile));
    auto window = std::make_unique<MainWindow>();
    ::umask(oldMask);
    const QString expected = m_desktop.user + QStringLiteral("/Marvolt Software/VORNEXclient");
    QCOMPARE(QSettings().value(QStringLiteral("General/ApplicationPath")).toString(), expected);
    QVERIFY(QFileInfo::exists(expected + QStringLiteral("/localhost#51008.xml")));
    QCOMPARE(modeOf(settingsFile), mode_t(0600));
    QCOMPARE(modeOf(QFileInfo(settingsFile).absolutePath()), mode_t(0700));
    QCOMPARE(modeOf(expected), mode_t(0700));
    QCOMPARE(modeOf(QFileInfo(expected).absolutePath()), mode_t(0700));

    // Written at every start, also when the folder already exists.
    QSettings().remove(QStringLiteral("General/ApplicationPath"));
    MainWindow again;
    QCOMPARE(QSettings().value(QStringLiteral("General/ApplicationPath")).toString(), expected);
}

void TestMainWindow::geometryRestoredInsideThePrimaryScreen()
{
    QSettings settings;
    settings.setValue(QStringLiteral("Layout/Main Window/Position"), QPoint(40, 50));
    settings.setValue(QStringLiteral("Layout/Main Window/Size"), QSize(500, 400));
    MainWindow window;
    QCOMPARE(window.pos(), QPoint(40, 50));
    QCOMPARE(window.size(), QSize(500, 400));
    QVERIFY(!(window.windowState() & Qt::WindowMaximized));

    // A size kept from a larger monitor fits this screen, its place kept
    // as far as the room allows.
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    settings.setValue(QStringLiteral("Layout/Main Window/Size"), room.size() + QSize(520, 200));
    MainWindow large;
    QCOMPARE(QRect(large.pos(), large.size()), room);
    settings.setValue(QStringLiteral("Layout/Main Window/Size"), QSize(room.width() - 20, 300));
    MainWindow wide;
    QCOMPARE(QRect(wide.pos(), wide.size()), QRect(room.left() + 20, 50, room.width() - 20, 300));
}

void TestMainWindow::geometryFallsBackToMaximised_data()
{
    QTest::addColumn<QVariant>("position");
    QTest::addColumn<QVariant>("size");
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QTest::newRow("nothing saved") << QVariant() << QVariant();
    QTest::newRow("corner of the screen") << QVariant(screen.topLeft()) << QVariant(QSize(500, 400));
    QTest::newRow("right edge") << QVariant(QPoint(screen.right(), 100)) << QVariant(QSize(500, 400));
    QTest::newRow("off the screen") << QVariant(QPoint(screen.right() + 300, 100))
                                    << QVariant(QSize(500, 400));
    QTest::newRow("position without size") << QVariant(QPoint(40, 50)) << QVariant();
    QTest::newRow("position with invalid size") << QVariant(QPoint(40, 50)) << QVariant(QSize(-1, -1));
    QTest::newRow("position with empty size") << QVariant(QPoint(40, 50)) << QVariant(QSize(0, 300));
    QTest::newRow("garbage size") << QVariant(QPoint(40, 50)) << QVariant(QStringLiteral("big"));
}

void TestMainWindow::geometryFallsBackToMaximised()
{
    QFETCH(QVariant, position);
    QFETCH(QVariant, size);
    QSettings settings;
    if (position.isValid())
        settings.setValue(QStringLiteral("Layout/Main Window/Position"), position);
    if (size.isValid())
        settings.setValue(QStringLiteral("Layout/Main Window/Size"), size);
    settings.sync();
    MainWindow window;
    QVERIFY(window.windowState() & Qt::WindowMaximized);
    // Without a window manager to maximise it, it still covers the screen.
    QCOMPARE(window.geometry(), QGuiApplication::primaryScreen()->availableGeometry());
}

void TestMainWindow::closingSavesPositionAndSize()
{
    {
        MainWindow window;
        window.setWindowState(Qt::WindowNoState);
        window.move(60, 70);
        window.resize(520, 410);
        window.OnLastWindowClosed();
    }
    QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("Layout/Main Window/Position")).toPoint(), QPoint(60, 70));
    QCOMPARE(settings.value(QStringLiteral("Layout/Main Window/Size")).toSize(), QSize(520, 410));
    MainWindow next;
    QCOMPARE(next.pos(), QPoint(60, 70));
    QCOMPARE(next.size(), QSize(520, 410));
}

void TestMainWindow::statusLineAndServerConnections()
{
    MainWindow window;
    const ServerProxyPtr proxy = window.serverProxy();
    QVERIFY(proxy);
    QVERIFY(window.statusLine());
    // Below the row of page list and page.
    QLayout *column = window.pageList()->layout();
    QCOMPARE(column->itemAt(column->count() - 1)->widget(), window.statusLine());

    ServerConnection *connection = proxy->getConnection(
        proxy->addConnection(QStringLiteral("user"), QString(), QStringLiteral("127.0.0.1"), 1));
    window.OnLastWindowClosed();
    // Closing stopped the connection's work before the window goes.
    QVERIFY(connection->isStopRequested());
}

void TestMainWindow::pageListHoldsHelpAndAbout()
{
    MainWindow window;
    QListWidget *list = window.pageList()->listWidget();
    QCOMPARE(window.centralWidget(), window.pageList());
    QCOMPARE(window.windowTitle(), QStringLiteral("VORNEXclient"));
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        texts.append(list->item(row)->text());
        // The icons are compiled in.
        QVERIFY2(!list->item(row)->icon().pixmap(32, 32).isNull(), qPrintable(list->item(row)->text()));
    }
    QCOMPARE(texts.mid(texts.size() - 2), QStringList({ QStringLiteral("Help"), QStringLiteral("About") }));
    for (const char *name : { "img_Connections_32.png", "img_SubmitPoints_32.png", "img_Checkpoints_32.png",
             "img_Progress_32.png", "img_Logs_32.png", "img_Help_32.png", "img_About_32.png",
             "img_ExportLogs.png", "img_ClearLogs.png" }) {
        const QString path = QStringLiteral(":/Dovelin/Images/") + QLatin1String(name);
        QVERIFY2(!QIcon(path).pixmap(32, 32).isNull(), name);
    }
    QCOMPARE(QImage(QStringLiteral(":/Dovelin/Images/OmbrelSplash.png")).size(), QSize(500, 425));
}

void TestMainWindow::aboutShowsTheSplashPicture()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ModalCloser closer;
    window.aboutAction()->trigger();
    QVERIFY(closer.seen().contains(QStringLiteral("SplashScreen")));
    QCOMPARE(SplashScreen().versionText(), QStringLiteral("VORNEXclient 07 update 5"));
}

void TestMainWindow::helpOpensTheDocumentOnlyWhenPresent()
{
    MainWindow window;
    window.helpIndexAction()->trigger();
    QCOMPARE(m_desktop.opened, QStringList());
    // Told, not silent.
    QMessageBox *box = window.findChild<QMessageBox *>(QStringLiteral("shellWarning"));
    QVERIFY(box);
    QVERIFY2(box->text().contains(QStringLiteral("vornex_help.htm")), qPrintable(box->text()));
    box->accept();
}

void TestMainWindow::preferencesCommand()
{
    QVERIFY(QtSingleWinApplication::isPreferencesCommand(0x112, 0xE001));
    QVERIFY(!QtSingleWinApplication::isPreferencesCommand(0x112, 0xE003));
    QVERIFY(!QtSingleWinApplication::isPreferencesCommand(0x112, 0xE000));
    QVERIFY(!QtSingleWinApplication::isPreferencesCommand(0x111, 0xE001));

    // Before the window exists the command does nothing.
    QVERIFY(!application()->systemCommand(0x112, 0xE001));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    application()->setMainWindow(&window);
    {
        ModalCloser closer;
        QVERIFY(!application()->systemCommand(0x112, 0xE001));
        QCOMPARE(closer.seen().value(0), QStringLiteral("PreferencesDialog"));
    }

    // Linux has no window menu: the command sits in the page list's context
    // menu and on the desktop's shortcut, under the same untranslated label.
    QAction *action = window.preferencesAction();
    QCOMPARE(action->text(), QStringLiteral("Preferences"));
    QVERIFY(window.pageList()->listWidget()->actions().contains(action));
    QCOMPARE(window.pageList()->listWidget()->contextMenuPolicy(), Qt::ActionsContextMenu);
    QVERIFY(!action->shortcut().isEmpty());
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    ModalCloser closer;
    QTest::keySequence(&window, action->shortcut());
    QCOMPARE(closer.seen().value(0), QStringLiteral("PreferencesDialog"));
    application()->setMainWindow(nullptr);
}

void TestMainWindow::wakeUpMessageBringsTheWindowForward()
{
    QVERIFY(application()->initialize(true));
    QVERIFY(application()->initialize(true));
    MainWindow window;
    application()->setMainWindow(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.setWindowState(window.windowState() | Qt::WindowMinimized);
    QVERIFY(window.windowState() & Qt::WindowMinimized);
    QSignalSpy received(application(), &QtSingleApplication::messageReceived);

    // A second start, on a thread of its own so this loop can answer.
    std::atomic<int> result { -1 };
    std::unique_ptr<QThread> second(QThread::create([&result] {
        const LocalPeer peer(QStringLiteral("VORNEXclient test instance"));
        result = peer.sendMessage(QStringLiteral("VORNEXclient_check"), 5000) ? 1 : 0;
    }));
    second->start();
    QTRY_VERIFY_WITH_TIMEOUT(result.load() >= 0, 6000);
    second->wait();
    QCOMPARE(result.load(), 1);
    QCOMPARE(received.count(), 1);
    QVERIFY(!(window.windowState() & Qt::WindowMinimized));
    QVERIFY(window.windowState() & Qt::WindowMaximized);
    application()->setMainWindow(nullptr);
}

VORNEX_TEST_MAIN_APP(TestMainWindow, TestApplication)
#include "tst_mainwindow.moc"
