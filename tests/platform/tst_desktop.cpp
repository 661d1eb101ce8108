#include "Desktop.h"
#include "TestEnv.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStorageInfo>
#include <QUrl>
#include <QtTest/QTest>

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class FixedDesktop : public Desktop
{
public:
    QString documentsFolder() const override { return QStringLiteral("/fixed/docs"); }
};

class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void dataFoldersFollowXdg();
    void documentsFolderIsInHome();
    void openWithHandler();
    void volumeLabelOnlyForAWholeVolume();
    void instanceCanBeReplaced();
};

void TestDesktop::dataFoldersFollowXdg()
{
    Desktop desktop;
    QCOMPARE(desktop.appDataFolder(), TestEnv::homeDir() + QStringLiteral("/.local/share"));
    QCOMPARE(desktop.commonAppDataFolder(), TestEnv::homeDir() + QStringLiteral("/usr-share"));

    const QByteArray oldDirs = qgetenv("XDG_DATA_DIRS");
    qputenv(
        "XDG_DATA_DIRS", TestEnv::homeDir().toUtf8() + "/first:" + TestEnv::homeDir().toUtf8() + "/second");
    QCOMPARE(desktop.commonAppDataFolder(), TestEnv::homeDir() + QStringLiteral("/first"));
    qputenv("XDG_DATA_DIRS", oldDirs);

    // Without XDG_DATA_HOME the per-user folder is still the usual one in the home.
    const QByteArray oldHome = qgetenv("XDG_DATA_HOME");
    qunsetenv("XDG_DATA_HOME");
    QCOMPARE(desktop.appDataFolder(), QDir::homePath() + QStringLiteral("/.local/share"));
    qputenv("XDG_DATA_HOME", oldHome);
}

void TestDesktop::documentsFolderIsInHome()
{
    const QString documents = Desktop().documentsFolder();
    QVERIFY(!documents.isEmpty());
    QVERIFY2(documents.startsWith(QDir::homePath()), qPrintable(documents));
}

void TestDesktop::openWithHandler()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    const QString path = TestEnv::homeDir() + QStringLiteral("/Hilfe ü.htm");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    Desktop desktop;
    QVERIFY(desktop.openWithHandler(path));
    QVERIFY(!desktop.openWithHandler(TestEnv::homeDir() + QStringLiteral("/missing.htm")));
    QVERIFY(!desktop.openWithHandler(QString()));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

    QCOMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls.first().toLocalFile(), QFileInfo(path).canonicalFilePath());
}

void TestDesktop::volumeLabelOnlyForAWholeVolume()
{
    Desktop desktop;
    QCOMPARE(desktop.volumeLabel(QString()), QString());
    QCOMPARE(desktop.volumeLabel(TestEnv::homeDir() + QStringLiteral("/missing")), QString());
    // A folder somewhere on a volume is not the volume, even when it is labelled.
    const QStorageInfo volume(TestEnv::homeDir());
    if (volume.rootPath() != QFileInfo(TestEnv::homeDir()).canonicalFilePath())
        QCOMPARE(desktop.volumeLabel(TestEnv::homeDir()), QString());
    QCOMPARE(desktop.volumeLabel(volume.rootPath()), volume.name());
}

void TestDesktop::instanceCanBeReplaced()
{
    Desktop *system = Desktop::instance();
    QVERIFY(system);
    FixedDesktop fixed;
    Desktop::setInstance(&fixed);
    QCOMPARE(Desktop::instance()->documentsFolder(), QStringLiteral("/fixed/docs"));
    Desktop::setInstance(nullptr);
    QCOMPARE(Desktop::instance(), system);
}

VORNEX_TEST_MAIN_APP(TestDesktop, QGuiApplication)
#include "tst_desktop.moc"
