#include "Desktop.h"
#include "ShellSupport.h"
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

namespace {

class RecordingDesktop : public Desktop
{
public:
    QString appDataFolder() const override { return QStringLiteral("/data/user"); }
    QString commonAppDataFolder() const override { return QStringLiteral("/data/all"); }
    QString documentsFolder() const override { return QStringLiteral("/data/documents"); }
    bool openWithHandler(const QString &path) override
    {
        opened.append(path);
        return true;
    }
    QStringList opened;
};

} // namespace

class TestShellSupport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Desktop::setInstance(&m_desktop); }
    void cleanupTestCase() { Desktop::setInstance(nullptr); }
    void foldersByNumber();
    void opensOnlyExistingFilesByTheirRealPath();

private:
    RecordingDesktop m_desktop;
};

void TestShellSupport::foldersByNumber()
{
    QCOMPARE(Client::personalFolder(), QStringLiteral("/data/documents"));
    QCOMPARE(Client::appDataFolder(), QStringLiteral("/data/user"));
    QCOMPARE(Client::commonAppDataFolder(), QStringLiteral("/data/all"));
    QCOMPARE(Client::specialFolder(5), QStringLiteral("/data/documents"));
    QCOMPARE(Client::specialFolder(26), QStringLiteral("/data/user"));
    QCOMPARE(Client::specialFolder(35), QStringLiteral("/data/all"));
    QCOMPARE(Client::specialFolder(0x10), QString());
}

void TestShellSupport::opensOnlyExistingFilesByTheirRealPath()
{
    const QString folder = TestEnv::homeDir() + QStringLiteral("/docs");
    QVERIFY(QDir().mkpath(folder));
    QFile file(folder + QStringLiteral("/help.htm"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(QFile::link(folder, TestEnv::homeDir() + QStringLiteral("/docs-link")));

    Client::openWithShell(nullptr, QFileInfo(folder + QStringLiteral("/missing.htm")));
    QCOMPARE(m_desktop.opened, QStringList());

    Client::openWithShell(
        nullptr, QFileInfo(TestEnv::homeDir() + QStringLiteral("/docs-link/../docs/help.htm")));
    QCOMPARE(m_desktop.opened, QStringList({ QFileInfo(file).canonicalFilePath() }));
}

VORNEX_TEST_GUILESS_MAIN(TestShellSupport)
#include "tst_shellsupport.moc"
