#include "FileHandler.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QDomDocument>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <csignal>
#include <cstring>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using Tamsor::FileHandler;

using TestFiles::FileSizeLimit;
using TestFiles::modeOf;
using TestFiles::readFile;

using TestFiles::PermissionsChecked;

class TestFileHandler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tempFolderIsPrivateAndUnpredictable();
    void copyFile();
    void copyReplacesALinkInsteadOfWritingThroughIt();
    void copyFolderCopiesTreeWithoutFollowingLinks();
    void copyFolderIntoItselfIsRefused();
    void cleanupAndRemoveDoNotFollowLinks();
    void renameWithinFileSystem();
    void renameAcrossFileSystems_data();
    void renameAcrossFileSystems();
    void readOnlyPartsOfTheSource_data();
    void readOnlyPartsOfTheSource();
    void saveDomElementDropsForbiddenCharacters();
    void saveDomElementKeepsOldFileOnFailure();
    void formatSize_data();
    void formatSize();
    void byteCount();

private:
    QString m_work;
    QString at(const QString &relative) const { return m_work + QLatin1Char('/') + relative; }
    QMap<QString, QString> m_outsideBefore;
};

void TestFileHandler::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestFileHandler::init()
{
    m_work = QDir::tempPath() + QStringLiteral("/fh-") + QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        m_work += QLatin1Char('-') + QString::number(qHash(QString::fromUtf8(QTest::currentDataTag())));
    QDir(m_work).removeRecursively();
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("outside/victim.txt")), "untouched"));
    QVERIFY(QDir().mkpath(at(QStringLiteral("outside/keep"))));
    m_outsideBefore = TestFiles::describeTree(at(QStringLiteral("outside")));
}

void TestFileHandler::cleanup()
{
    QCOMPARE(TestFiles::describeTree(at(QStringLiteral("outside"))), m_outsideBefore);
    if (!QTest::currentTestFailed())
        QDir(m_work).removeRecursively();
}

void TestFileHandler::tempFolderIsPrivateAndUnpredictable()
{
    const mode_t oldMask = ::umask(0);
    const QString a = FileHandler::createTempFolderForFile(QStringLiteral("downloaded"), QString());
    ::umask(oldMask);
    const QString b
        = FileHandler::createTempFolderForFile(QStringLiteral("downloaded"), QStringLiteral(".x"));
    QVERIFY(!a.isEmpty());
    QVERIFY(!b.isEmpty());
    QVERIFY(a != b);
    QCOMPARE(QFileInfo(a).absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
    QVERIFY(QFileInfo(a).fileName().startsWith(QStringLiteral("downloaded")));
    QVERIFY(QFileInfo(b).fileName().endsWith(QStringLiteral(".x")));
    // At least 64 bits of randomness in the name.
    QVERIFY(QFileInfo(a).fileName().size() >= int(qstrlen("downloaded")) + 16);
    QCOMPARE(modeOf(a), mode_t(0700));
    QCOMPARE(modeOf(b), mode_t(0700));
    QVERIFY(QDir(a).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));

    // A prefix cannot place the folder elsewhere.
    const QString c = FileHandler::createTempFolderForFile(QStringLiteral("../escape"), QString());
    QCOMPARE(QFileInfo(c).absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
    QVERIFY(QDir(a).removeRecursively() && QDir(b).removeRecursively() && QDir(c).removeRecursively());
}

void TestFileHandler::copyFile()
{
    const QByteArray content = TestFiles::pattern(3 << 20);
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("src/a.bin")), content));
    QVERIFY(QFile::setPermissions(
        at(QStringLiteral("src/a.bin")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(QDir().mkpath(at(QStringLiteral("dst"))));
    QVERIFY(FileHandler::copy(at(QStringLiteral("src/a.bin")), at(QStringLiteral("dst/b.bin"))));
    QCOMPARE(readFile(at(QStringLiteral("dst/b.bin"))), content);
    QCOMPARE(modeOf(at(QStringLiteral("dst/b.bin"))), mode_t(0700));
    // An existing target file is replaced, and no temporary file stays.
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("src/c.txt")), "new"));
    QVERIFY(FileHandler::copy(at(QStringLiteral("src/c.txt")), at(QStringLiteral("dst/b.bin"))));
    QCOMPARE(readFile(at(QStringLiteral("dst/b.bin"))), QByteArray("new"));
    QCOMPARE(
        QDir(at(QStringLiteral("dst"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { QStringLiteral("b.bin") });

    QVERIFY(!FileHandler::copy(at(QStringLiteral("src/missing")), at(QStringLiteral("dst/m"))));
    QVERIFY(!FileHandler::copy(at(QStringLiteral("src/c.txt")), at(QStringLiteral("nofolder/x/c.txt"))));
    // A folder given to copy() is copied as a tree.
    QVERIFY(FileHandler::copy(at(QStringLiteral("src")), at(QStringLiteral("tree"))));
    QCOMPARE(TestFiles::describeTree(at(QStringLiteral("tree"))),
        TestFiles::describeTree(at(QStringLiteral("src"))));
}

void TestFileHandler::copyReplacesALinkInsteadOfWritingThroughIt()
{
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("src/a.txt")), "payload"));
    QVERIFY(QDir().mkpath(at(QStringLiteral("dst"))));
    QVERIFY(QFile::link(at(QStringLiteral("outside/victim.txt")), at(QStringLiteral("dst/a.txt"))));
    QVERIFY(FileHandler::copy(at(QStringLiteral("src/a.txt")), at(QStringLiteral("dst/a.txt"))));
    QVERIFY(!QFileInfo(at(QStringLiteral("dst/a.txt"))).isSymLink());
    QCOMPARE(readFile(at(QStringLiteral("dst/a.txt"))), QByteArray("payload"));
}

void TestFileHandler::copyFolderCopiesTreeWithoutFollowingLinks()
{
    QVERIFY(QDir().mkpath(at(QStringLiteral("src/empty"))));
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("src/Überblick/日本.txt")), "nihon"));
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("src/.hidden")), "h"));
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("src/deep/er/est.bin")), TestFiles::pattern(5000)));
    const QMap<QString, QString> plain = TestFiles::describeTree(at(QStringLiteral("src")));
    QVERIFY(QFile::link(at(QStringLiteral("outside")), at(QStringLiteral("src/out-link"))));
    QVERIFY(QFile::link(at(QStringLiteral("outside/victim.txt")), at(QStringLiteral("src/deep/file-link"))));

    QString error;
    QVERIFY2(FileHandler::copyFolder(at(QStringLiteral("src")), at(QStringLiteral("new/target")), error),
        qPrintable(error));
    QCOMPARE(TestFiles::describeTree(at(QStringLiteral("new/target"))), plain);

    // Into an existing folder: merged, existing files replaced, others kept.
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("merge/own.txt")), "own"));
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("merge/.hidden")), "old"));
    QVERIFY(FileHandler::copyFolder(at(QStringLiteral("src")), at(QStringLiteral("merge")), error));
    QCOMPARE(readFile(at(QStringLiteral("merge/own.txt"))), QByteArray("own"));
    QCOMPARE(readFile(at(QStringLiteral("merge/.hidden"))), QByteArray("h"));
    QVERIFY(QFileInfo::exists(at(QStringLiteral("merge/Überblick/日本.txt"))));

    // A link planted in the target is not written through.
    QVERIFY(QDir().mkpath(at(QStringLiteral("planted"))));
    QVERIFY(QFile::link(at(QStringLiteral("outside")), at(QStringLiteral("planted/deep"))));
    QVERIFY(!FileHandler::copyFolder(at(QStringLiteral("src")), at(QStringLiteral("planted")), error));
    QVERIFY(!error.isEmpty());

    error.clear();
    QVERIFY(!FileHandler::copyFolder(at(QStringLiteral("missing")), at(QStringLiteral("x")), error));
    QVERIFY(!error.isEmpty());
}

void TestFileHandler::copyFolderIntoItselfIsRefused()
{
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("src/a.txt")), "a"));
    QString error;
    QVERIFY(!FileHandler::copyFolder(at(QStringLiteral("src")), at(QStringLiteral("src/inner")), error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!FileHandler::copyFolder(at(QStringLiteral("src")), at(QStringLiteral("src/new/deeper")), error));
    QVERIFY(!FileHandler::copyFolder(at(QStringLiteral("src")), at(QStringLiteral("src")), error));
    // Nothing is made for a copy that is refused.
    QCOMPARE(TestFiles::entriesOf(at(QStringLiteral("src"))), QStringList { QStringLiteral("a.txt") });
}

void TestFileHandler::cleanupAndRemoveDoNotFollowLinks()
{
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("tree/a/b/c.txt")), "c"));
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("tree/.h")), "h"));
    QVERIFY(QFile::link(at(QStringLiteral("outside")), at(QStringLiteral("tree/a/out-link"))));
    QVERIFY(QFile::link(at(QStringLiteral("outside/victim.txt")), at(QStringLiteral("tree/file-link"))));

    QVERIFY(FileHandler::cleanupFolder(at(QStringLiteral("tree"))));
    QVERIFY(QFileInfo(at(QStringLiteral("tree"))).isDir());
    QVERIFY(QDir(at(QStringLiteral("tree")))
                .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));

    // A folder given as a link is not emptied through the link.
    QVERIFY(QFile::link(at(QStringLiteral("outside")), at(QStringLiteral("folder-link"))));
    QVERIFY(!FileHandler::cleanupFolder(at(QStringLiteral("folder-link"))));
    // Removing it removes the link only.
    QVERIFY(FileHandler::removeFolder(at(QStringLiteral("folder-link"))));
    QVERIFY(!QFileInfo(at(QStringLiteral("folder-link"))).isSymLink());

    QVERIFY(TestFiles::writeFile(at(QStringLiteral("tree/x/y.txt")), "y"));
    QVERIFY(QFile::link(at(QStringLiteral("outside")), at(QStringLiteral("tree/x/out-link"))));
    QVERIFY(FileHandler::removeFolder(at(QStringLiteral("tree"))));
    QVERIFY(!QFileInfo::exists(at(QStringLiteral("tree"))));
    QVERIFY(FileHandler::removeFolder(at(QStringLiteral("tree")))); // already gone
    QVERIFY(!FileHandler::removeFolder(at(QStringLiteral("outside/victim.txt")))); // not a folder
    QVERIFY(!FileHandler::cleanupFolder(QString()));
}

void TestFileHandler::renameWithinFileSystem()
{
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("a.txt")), "a"));
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("b.txt")), "b"));
    QVERIFY(!FileHandler::rename(at(QStringLiteral("a.txt")), at(QStringLiteral("b.txt")), false));
    QCOMPARE(readFile(at(QStringLiteral("a.txt"))), QByteArray("a"));
    QCOMPARE(readFile(at(QStringLiteral("b.txt"))), QByteArray("b"));
    QVERIFY(FileHandler::rename(at(QStringLiteral("a.txt")), at(QStringLiteral("b.txt")), true));
    QCOMPARE(readFile(at(QStringLiteral("b.txt"))), QByteArray("a"));
    QVERIFY(!QFileInfo::exists(at(QStringLiteral("a.txt"))));
    QVERIFY(FileHandler::rename(at(QStringLiteral("b.txt")), at(QStringLiteral("c.txt")), false));

    // A folder over a non-empty folder, with overwrite.
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("f1/x.txt")), "new"));
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("f2/old.txt")), "old"));
    QVERIFY(!FileHandler::rename(at(QStringLiteral("f1")), at(QStringLiteral("f2")), false));
    QVERIFY(FileHandler::rename(at(QStringLiteral("f1")), at(QStringLiteral("f2")), true));
    QCOMPARE(QDir(at(QStringLiteral("f2"))).entryList(QDir::Files), QStringList { QStringLiteral("x.txt") });
    QCOMPARE(QDir(m_work).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        (QStringList { QStringLiteral("c.txt"), QStringLiteral("f2"), QStringLiteral("outside") }));
    QVERIFY(!FileHandler::rename(at(QStringLiteral("missing")), at(QStringLiteral("x")), false));
}

void TestFileHandler::renameAcrossFileSystems_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<bool>("overwrite");
    QTest::newRow("file") << false << false << false;
    QTest::newRow("file onto existing, no overwrite") << false << true << false;
    QTest::newRow("file onto existing, overwrite") << false << true << true;
    QTest::newRow("folder") << true << false << false;
    QTest::newRow("folder onto existing, no overwrite") << true << true << false;
    QTest::newRow("folder onto existing, overwrite") << true << true << true;
}

void TestFileHandler::renameAcrossFileSystems()
{
    QFETCH(bool, folder);
    QFETCH(bool, targetExists);
    QFETCH(bool, overwrite);
    struct stat a, b;
    QVERIFY(::stat(QFile::encodeName(m_work).constData(), &a) == 0);
    if (::stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev)
        QSKIP("needs a second file system at /dev/shm");
    QTemporaryDir shm(QStringLiteral("/dev/shm/vornex-fh-XXXXXX"));
    QVERIFY(shm.isValid());

    const QString source = shm.path() + (folder ? QStringLiteral("/job") : QStringLiteral("/job.bin"));
    const QString target = at(folder ? QStringLiteral("saved/job") : QStringLiteral("saved/job.bin"));
    QMap<QString, QString> expected;
    if (folder) {
        QVERIFY(TestFiles::writeFile(source + QStringLiteral("/a/b.bin"), TestFiles::pattern(70000)));
        QVERIFY(QDir().mkpath(source + QStringLiteral("/empty")));
        QVERIFY(QFile::link(at(QStringLiteral("outside")), source + QStringLiteral("/link")));
        expected = TestFiles::describeTree(source);
        expected.remove(QStringLiteral("link"));
    } else {
        QVERIFY(TestFiles::writeFile(source, TestFiles::pattern(70000)));
    }
    if (targetExists)
        QVERIFY(TestFiles::writeFile(folder ? target + QStringLiteral("/old.txt") : target, "old"));
    else
        QVERIFY(QDir().mkpath(at(QStringLiteral("saved"))));

    const bool moved = FileHandler::rename(source, target, overwrite);
    QCOMPARE(moved, overwrite || !targetExists);
    if (moved) {
        QVERIFY(!QFileInfo::exists(source));
        if (folder)
            QCOMPARE(TestFiles::describeTree(target), expected);
        else
            QCOMPARE(readFile(target), TestFiles::pattern(70000));
    } else {
        QVERIFY(QFileInfo::exists(source));
        QCOMPARE(readFile(folder ? target + QStringLiteral("/old.txt") : target), QByteArray("old"));
    }
    // No temporary entries left beside the target.
    const QStringList beside
        = QDir(at(QStringLiteral("saved"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QCOMPARE(beside, QStringList { QFileInfo(target).fileName() });
}

void TestFileHandler::readOnlyPartsOfTheSource_data()
{
    // Moves go across file systems; copies stay on one.
    QTest::addColumn<bool>("move");
    QTest::addColumn<bool>("folder");
    QTest::newRow("copy, read-only sub-folder") << false << true;
    QTest::newRow("move, read-only sub-folder") << true << true;
    QTest::newRow("move, file in a read-only folder") << true << false;
}

void TestFileHandler::readOnlyPartsOfTheSource()
{
    QFETCH(bool, move);
    QFETCH(bool, folder);
    QString base = at(QStringLiteral("src"));
    QTemporaryDir shm(QStringLiteral("/dev/shm/vornex-fh-XXXXXX"));
    if (move) {
        struct stat a, b;
        QVERIFY(::stat(QFile::encodeName(m_work).constData(), &a) == 0);
        if (!shm.isValid() || ::stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev)
            QSKIP("needs a second file system at /dev/shm");
        base = shm.path();
    }
    const QString readOnly = base + (folder ? QStringLiteral("/job/ro") : QStringLiteral("/ro"));
    const QString source = folder ? base + QStringLiteral("/job") : readOnly + QStringLiteral("/job.bin");
    const QString target = at(folder ? QStringLiteral("saved/job") : QStringLiteral("saved/job.bin"));
    QVERIFY(TestFiles::writeFile(readOnly + QStringLiteral("/inner/g.bin"), TestFiles::pattern(5000)));
    QVERIFY(TestFiles::writeFile(folder ? base + QStringLiteral("/job/a.txt") : source, "a"));
    QVERIFY(QDir().mkpath(at(QStringLiteral("saved"))));
    QVERIFY(::chmod(QFile::encodeName(readOnly).constData(), 0555) == 0);
    const QMap<QString, QString> tree = TestFiles::describeTree(source);
    const auto writable = qScopeGuard([&] {
        ::chmod(QFile::encodeName(readOnly).constData(), 0755);
        ::chmod(QFile::encodeName(target + QStringLiteral("/ro")).constData(), 0755);
    });

    QString error;
    bool done;
    {
        const PermissionsChecked checked;
        done = move ? FileHandler::rename(source, target, false)
                    : FileHandler::copyFolder(source, target, error);
    }
    QVERIFY2(done, qPrintable(error));
    if (folder) {
        QCOMPARE(TestFiles::describeTree(target), tree);
        QCOMPARE(modeOf(target + QStringLiteral("/ro")), mode_t(0555));
    } else {
        QCOMPARE(readFile(target), QByteArray("a"));
    }
}

void TestFileHandler::saveDomElementDropsForbiddenCharacters()
{
    QDomDocument document;
    QDomElement root = document.createElement(QStringLiteral("root"));
    document.appendChild(root);
    QDomElement item = document.createElement(QStringLiteral("Item"));
    const QString dirty = QStringLiteral("a") + QChar(0x0001) + QStringLiteral("b") + QChar(0xFFFE)
        + QChar(0xD800) + QStringLiteral("c\td – ü 😀");
    item.setAttribute(QStringLiteral("name"), dirty);
    item.appendChild(document.createTextNode(dirty));
    root.appendChild(item);

    const QString path = at(QStringLiteral("cache/~#~srv#51008.xml"));
    QVERIFY(QDir().mkpath(at(QStringLiteral("cache"))));
    QVERIFY(FileHandler::saveDomElement(document, path));

    QDomDocument back;
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(bool(back.setContent(&file)));
    const QDomElement readItem = back.documentElement().firstChildElement(QStringLiteral("Item"));
    const QString clean = QStringLiteral("abc\td – ü 😀");
    QCOMPARE(readItem.text(), clean);
    QCOMPARE(readItem.attribute(QStringLiteral("name")), clean);
    QVERIFY(!FileHandler::saveDomElement(document, at(QStringLiteral("no/such/folder/x.xml"))));
}

void TestFileHandler::saveDomElementKeepsOldFileOnFailure()
{
    const QString path = at(QStringLiteral("doc.xml"));
    QVERIFY(TestFiles::writeFile(path, "<root/>"));
    QDomDocument big;
    QDomElement root = big.createElement(QStringLiteral("root"));
    big.appendChild(root);
    root.appendChild(big.createTextNode(QString(3 << 20, QLatin1Char('x'))));

    bool saved = true;
    {
        const TestFiles::FileSizeLimit limit(1 << 20);
        saved = FileHandler::saveDomElement(big, path);
    }

    QVERIFY(!saved);
    QCOMPARE(readFile(path), QByteArray("<root/>"));
    QCOMPARE(QDir(m_work).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("doc.xml") });
}

void TestFileHandler::formatSize_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << qint64(0) << QStringLiteral("0 B");
    QTest::newRow("1023") << qint64(1023) << QStringLiteral("1023 B");
    QTest::newRow("1024") << qint64(1024) << QStringLiteral("1.0 KB");
    QTest::newRow("1536") << qint64(1536) << QStringLiteral("1.5 KB");
    QTest::newRow("just below 1 MB") << qint64(1048575) << QStringLiteral("1.0 MB");
    QTest::newRow("5 GB") << (qint64(5) << 30) << QStringLiteral("5.0 GB");
    QTest::newRow("32-bit wrap") << (qint64(4) << 30) + 1 << QStringLiteral("4.0 GB");
    QTest::newRow("2 TB") << (qint64(2) << 40) << QStringLiteral("2.0 TB");
    QTest::newRow("max") << std::numeric_limits<qint64>::max() << QStringLiteral("8.0 EB");
    QTest::newRow("negative") << qint64(-1) << QStringLiteral("-1 B");
}

void TestFileHandler::formatSize()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(FileHandler::formatSize(bytes), text);
}

void TestFileHandler::byteCount()
{
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("t/a")), QByteArray(100, 'a')));
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("t/s/b")), QByteArray(20, 'b')));
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("t/s/s/c")), QByteArray(3, 'c')));
    QVERIFY(TestFiles::writeFile(at(QStringLiteral("big")), QByteArray(50000, 'x')));
    QVERIFY(QFile::link(at(QStringLiteral("big")), at(QStringLiteral("t/link"))));
    QVERIFY(QFile::link(m_work, at(QStringLiteral("t/s/loop"))));
    QCOMPARE(FileHandler::getByteCount(at(QStringLiteral("t")), true), qint64(123));
    QCOMPARE(FileHandler::getByteCount(at(QStringLiteral("t")), false), qint64(100));
    QCOMPARE(FileHandler::getByteCount(at(QStringLiteral("t/s/b")), true), qint64(20));
    QCOMPARE(FileHandler::getByteCount(at(QStringLiteral("nothing")), true), qint64(0));
}

VORNEX_TEST_GUILESS_MAIN(TestFileHandler)
#include "tst_filehandler.moc"
