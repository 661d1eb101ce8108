#include "DataFolder.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using TestFiles::entriesOf;
using TestFiles::FileSizeLimit;
using TestFiles::modeOf;
using TestFiles::PermissionsChecked;
using TestFiles::readFile;
using TestFiles::writeFile;

class TestDataFolder : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void madeWhenMissing();
    void seededOnceFromTheAllUsersFolder();
    void brokenSeedIsFinishedLater();
    void readOnlyFoldersAreSeededWhole();
    void unusableRootFallsBackUnderHome();
    void folderThatCannotBeMadeGivesEmpty();

private:
    QString m_user;
    QString m_common;
};

void TestDataFolder::init()
{
    static int round = 0;
    const QString base = TestEnv::homeDir() + QStringLiteral("/round%1").arg(++round);
    m_user = base + QStringLiteral("/user");
    m_common = base + QStringLiteral("/common");
    QVERIFY(QDir().mkpath(m_user));
    QVERIFY(QDir().mkpath(m_common));
}

void TestDataFolder::madeWhenMissing()
{
    const mode_t oldMask = ::umask(022);
    const QString path = Client::DataFolder::prepare(m_user, m_common);
    QCOMPARE(path, m_user + QStringLiteral("/Marvolt Software/VORNEXclient"));
    QVERIFY(QFileInfo(path).isDir());
    QVERIFY(QFileInfo(path).isAbsolute());
    QCOMPARE(entriesOf(path), QStringList());
    QCOMPARE(modeOf(path), mode_t(0700));
    QCOMPARE(modeOf(m_user + QStringLiteral("/Marvolt Software")), mode_t(0700));
    // One that an earlier version left open is closed at the next start.
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0755) == 0);
    QCOMPARE(Client::DataFolder::prepare(m_user, QString()), path);
    QCOMPARE(modeOf(path), mode_t(0700));
    ::umask(oldMask);
}

void TestDataFolder::seededOnceFromTheAllUsersFolder()
{
    const QString seed = m_common + QStringLiteral("/Marvolt Software/VORNEXclient");
    QVERIFY(writeFile(seed + QStringLiteral("/host#51008.xml"), "<cache/>"));
    QVERIFY(writeFile(seed + QStringLiteral("/sub/deep.txt"), "deep"));

    const QString path = Client::DataFolder::prepare(m_user, m_common);
    QCOMPARE(entriesOf(path), QStringList({ QStringLiteral("host#51008.xml"), QStringLiteral("sub") }));
    QCOMPARE(readFile(path + QStringLiteral("/sub/deep.txt")), QByteArray("deep"));
    // Nothing but the folder itself is left beside it.
    QCOMPARE(entriesOf(m_user + QStringLiteral("/Marvolt Software")),
        QStringList({ QStringLiteral("VORNEXclient") }));

    // An existing per-user folder is never refreshed.
    QVERIFY(QFile::remove(path + QStringLiteral("/host#51008.xml")));
    QVERIFY(writeFile(seed + QStringLiteral("/new.xml"), "<new/>"));
    QCOMPARE(Client::DataFolder::prepare(m_user, m_common), path);
    QCOMPARE(entriesOf(path), QStringList({ QStringLiteral("sub") }));
}

void TestDataFolder::brokenSeedIsFinishedLater()
{
    const QString seed = m_common + QStringLiteral("/Marvolt Software/VORNEXclient");
    const QByteArray big(64 * 1024, 'x');
    QVERIFY(writeFile(seed + QStringLiteral("/a.xml"), "aaa"));
    QVERIFY(writeFile(seed + QStringLiteral("/big.xml"), big));
    QVERIFY(writeFile(seed + QStringLiteral("/z.xml"), "zzz"));

    QString path;
    {
        FileSizeLimit limit(1024);
        path = Client::DataFolder::prepare(m_user, m_common);
    }
    QCOMPARE(path, m_user + QStringLiteral("/Marvolt Software/VORNEXclient"));
    // Nothing of the broken copy shows in the folder; it says the seed is due.
    QCOMPARE(entriesOf(path), QStringList({ Client::DataFolder::seedMarkerName() }));
    QCOMPARE(entriesOf(m_user + QStringLiteral("/Marvolt Software")),
        QStringList({ QStringLiteral("VORNEXclient") }));

    // Meanwhile the client wrote a file of its own; the seed must not replace it.
    QVERIFY(writeFile(path + QStringLiteral("/a.xml"), "mine"));

    QCOMPARE(Client::DataFolder::prepare(m_user, m_common), path);
    QCOMPARE(entriesOf(path),
        QStringList({ QStringLiteral("a.xml"), QStringLiteral("big.xml"), QStringLiteral("z.xml") }));
    QCOMPARE(readFile(path + QStringLiteral("/a.xml")), QByteArray("mine"));
    QCOMPARE(readFile(path + QStringLiteral("/big.xml")), big);

    // Complete now: later starts copy nothing.
    QVERIFY(QFile::remove(path + QStringLiteral("/z.xml")));
    Client::DataFolder::prepare(m_user, m_common);
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("/z.xml")));
}

void TestDataFolder::readOnlyFoldersAreSeededWhole()
{
    const QString seed = m_common + QStringLiteral("/Marvolt Software/VORNEXclient");
    QVERIFY(writeFile(seed + QStringLiteral("/Strings/Common_en.qm"), "qm"));
    QVERIFY(writeFile(seed + QStringLiteral("/Docs/inner/help.htm"), "help"));
    const QString organization = m_user + QStringLiteral("/Marvolt Software");
    // What an earlier seed that broke off on such a folder left behind.
    const QString leftover = organization + QStringLiteral("/.VORNEXclient-seed-a1B2c3");
    QVERIFY(writeFile(leftover + QStringLiteral("/Strings/Common_en.qm"), "old"));
    for (const QString &folder : { seed + QStringLiteral("/Strings"), seed + QStringLiteral("/Docs/inner"),
             seed + QStringLiteral("/Docs"), leftover + QStringLiteral("/Strings") })
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);

    QString path;
    {
        const PermissionsChecked checked;
        path = Client::DataFolder::prepare(m_user, m_common);
    }
    QCOMPARE(entriesOf(path), QStringList({ QStringLiteral("Docs"), QStringLiteral("Strings") }));
    QCOMPARE(readFile(path + QStringLiteral("/Strings/Common_en.qm")), QByteArray("qm"));
    QCOMPARE(readFile(path + QStringLiteral("/Docs/inner/help.htm")), QByteArray("help"));
    QCOMPARE(modeOf(path + QStringLiteral("/Strings")), mode_t(0555));
    QCOMPARE(modeOf(path + QStringLiteral("/Docs")), mode_t(0555));
    QCOMPARE(entriesOf(organization), QStringList({ QStringLiteral("VORNEXclient") }));
}

void TestDataFolder::unusableRootFallsBackUnderHome()
{
    const QString expected = QDir::homePath() + QStringLiteral("/.local/share/Marvolt Software/VORNEXclient");
    QCOMPARE(Client::DataFolder::prepare(QString(), QString()), expected);
    QVERIFY(QFileInfo(expected).isDir());
    // A relative root would depend on the working folder.
    QVERIFY(QDir::setCurrent(m_common));
    QCOMPARE(Client::DataFolder::prepare(QStringLiteral("relative"), QString()), expected);
    QVERIFY(!QFileInfo::exists(m_common + QStringLiteral("/relative")));
}

void TestDataFolder::folderThatCannotBeMadeGivesEmpty()
{
    // Below a plain file no folder can be made, not even by root.
    QVERIFY(writeFile(m_user + QStringLiteral("/blocker"), "file"));
    QCOMPARE(Client::DataFolder::prepare(m_user + QStringLiteral("/blocker"), m_common), QString());
}

VORNEX_TEST_GUILESS_MAIN(TestDataFolder)
#include "tst_datafolder.moc"
