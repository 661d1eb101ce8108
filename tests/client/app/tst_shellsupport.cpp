#include "Desktop.h"
#include "ShellSupport.h"
#include "TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QWidget>
#include <QtTest>

namespace {

class RecordingDesktop : public Desktop
{
public:
    QString appDataFolder() const override { return QStringLiteral("/data/user"); }
    QString commonAppDataFolder() const override { return QStringLiteral("/data/all"); }
    QString documentsFolder() const override { return documents; }
    bool openWithHandler(const QString &path) override
    {
        opened.append(path);
        return !refuse;
    }
    QString documents = QStringLiteral("/data/documents");
    QStringList opened;
    bool refuse = false;
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
    void failedOpenWarnsNamingTheFile();
    void dialogsStartInAFolderThatExists();

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

void TestShellSupport::failedOpenWarnsNamingTheFile()
{
    const QString path = TestEnv::homeDir() + QStringLiteral("/report.xyz");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QWidget parent;
    parent.show();
    m_desktop.refuse = true;
    const bool opened = Client::openWithShell(&parent, QFileInfo(path));
    m_desktop.refuse = false;
    QVERIFY(!opened);
    // Shown without waiting for an answer: the caller goes on.
    QMessageBox *box = parent.findChild<QMessageBox *>(QStringLiteral("shellWarning"));
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->windowTitle(), QStringLiteral("Warning"));
    QCOMPARE(box->icon(), QMessageBox::Warning);
    QVERIFY2(box->text().contains(QDir::toNativeSeparators(path)), qPrintable(box->text()));
    box->accept();

    // An opened file warns of nothing.
    QVERIFY(Client::openWithShell(&parent, QFileInfo(path)));
    QTRY_VERIFY(!parent.findChild<QMessageBox *>(QStringLiteral("shellWarning")));
}

void TestShellSupport::dialogsStartInAFolderThatExists()
{
    const QString documents = TestEnv::homeDir() + QStringLiteral("/Documents");
    const QString remembered = TestEnv::homeDir() + QStringLiteral("/jobs");
    m_desktop.documents = documents;
    // No documents folder: the home folder, not a name typed in.
    QCOMPARE(Client::dialogFolder(QString()), QDir::homePath());
    QCOMPARE(Client::dialogFolder(remembered), QDir::homePath());
    QVERIFY(QDir().mkpath(documents));
    QCOMPARE(Client::dialogFolder(QString()), documents);
    QCOMPARE(Client::dialogFolder(remembered), documents);
    QVERIFY(QDir().mkpath(remembered));
    QCOMPARE(Client::dialogFolder(remembered), remembered);
    m_desktop.documents = QStringLiteral("/data/documents");

    // The system's own: the documents folder only while it exists.
    const Desktop system;
    QCOMPARE(system.documentsFolder(), documents);
    QVERIFY(QDir(documents).removeRecursively());
    QCOMPARE(system.documentsFolder(), QDir::homePath());
}

VORNEX_TEST_MAIN(TestShellSupport)
#include "tst_shellsupport.moc"
