#include "FilesStreamer.h"
#include "FilesStreamerW.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QtTest/QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

struct Pumped
{
    quint64 total = 0;
    bool shortRead = false; // a read came back short before the end
    QByteArray bytes; // only when keep is set
};

// Moves the whole stream in pieces of capacity bytes, into a writer when
// one is given; stops at the first 0.
Pumped pump(FilesStreamer &streamer, FilesStreamerW *writer, qint64 capacity, bool keep = false)
{
    Pumped result;
    std::vector<char> buffer(static_cast<size_t>(capacity));
    bool sawShort = false;
    for (;;) {
        const qint64 n = streamer.getData(buffer.data(), capacity);
        if (n <= 0)
            break;
        if (sawShort)
            result.shortRead = true;
        if (n < capacity)
            sawShort = true;
        result.total += quint64(n);
        if (keep)
            result.bytes.append(buffer.data(), int(n));
        if (writer)
            writer->addData(buffer.data(), n);
    }
    return result;
}

// write(2) calls of this process so far.
qint64 writeCalls()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("syscw:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

QString S(const char *text)
{
    return QString::fromUtf8(text);
}

QStringList SL(std::initializer_list<const char *> texts)
{
    QStringList out;
    for (const char *text : texts)
        out << QString::fromUtf8(text);
    return out;
}

} // namespace

class TestFilesStreamer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void roundTrip_data();
    void roundTrip();
    void fullSizeExactlyDelivered_data();
    void fullSizeExactlyDelivered();
    void restartGivesSameBytes();
    void endWorkStopsDelivery();
    void vanishedFileInvalidates();
    void resizedFileInvalidates_data();
    void resizedFileInvalidates();
    void linksInTreeAreNotFollowed();
    void topLevelLinkIsResolved();
    void missingPathIsInvalid();
    void packedUnderAnotherName_data();
    void packedUnderAnotherName();
    void nameThatIsNotOneSegmentIsRefused_data();
    void nameThatIsNotOneSegmentIsRefused();
    void sparseMultiGigabyteFileWithoutMemoryGrowth();
    void unpackerWritesInBlocks();

private:
    QString m_work;
    QString src() const { return m_work + QStringLiteral("/src"); }
    QString dst() const { return m_work + QStringLiteral("/dst"); }
};

void TestFilesStreamer::init()
{
    m_work = QDir::tempPath() + QStringLiteral("/work-") + QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        m_work += QLatin1Char('-') + QString::number(qHash(QString::fromUtf8(QTest::currentDataTag())));
    QDir(m_work).removeRecursively();
    QVERIFY(QDir().mkpath(src()));
    QVERIFY(QDir().mkpath(dst()));
}

void TestFilesStreamer::cleanup()
{
    if (!QTest::currentTestFailed())
        QDir(m_work).removeRecursively();
}

void TestFilesStreamer::roundTrip_data()
{
    QTest::addColumn<QString>("top");
    QTest::addColumn<QStringList>("folders"); // relative to src()
    QTest::addColumn<QStringList>("files"); // relative to src()
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<int>("capacity");

    QTest::newRow("empty file") << S("empty.bin") << SL({}) << SL({ "empty.bin" }) << QList<int> { 0 }
                                << 2048;
    QTest::newRow("file 2048*k") << S("exact.bin") << SL({}) << SL({ "exact.bin" }) << QList<int> { 2048 * 5 }
                                 << 2048;
    QTest::newRow("file 2048*k+1") << S("over.bin") << SL({}) << SL({ "over.bin" })
                                   << QList<int> { 2048 * 5 + 1 } << 2048;
    QTest::newRow("file larger than a block")
        << S("big.bin") << SL({}) << SL({ "big.bin" }) << QList<int> { (1 << 20) * 3 + 17 } << 2048;
    QTest::newRow("empty folder") << S("empty") << SL({ "empty" }) << SL({}) << QList<int>() << 2048;
    QTest::newRow("nested tree") << S("job")
                                 << SL({ "job", "job/a", "job/a/b", "job/a/b/c", "job/empty", "job/.hidden" })
                                 << SL({ "job/top.txt", "job/a/one.bin", "job/a/b/c/deep.bin",
                                        "job/a/zero.bin", "job/.hidden/.dot" })
                                 << QList<int> { 100, 4096, 70000, 0, 5 } << 2048;
    QTest::newRow("non-ASCII names") << S("Aufträge – 日本")
                                     << SL({ "Aufträge – 日本", "Aufträge – 日本/Résumé" })
                                     << SL({ "Aufträge – 日本/Übersicht.pdf",
                                            "Aufträge – 日本/Résumé/Ωμέγα 😀.txt" })
                                     << QList<int> { 3000, 12 } << 2048;
    QTest::newRow("odd buffer") << S("job") << SL({ "job", "job/x" }) << SL({ "job/x/a", "job/x/b", "job/c" })
                                << QList<int> { 1, 2047, 2049 } << 7;
    QTest::newRow("large buffer") << S("job") << SL({ "job" }) << SL({ "job/a", "job/b" })
                                  << QList<int> { 5000, 3 << 20 } << (1 << 21);
}

void TestFilesStreamer::roundTrip()
{
    QFETCH(QString, top);
    QFETCH(QStringList, folders);
    QFETCH(QStringList, files);
    QFETCH(QList<int>, sizes);
    QFETCH(int, capacity);

    for (const QString &folder : folders)
        QVERIFY(QDir(src()).mkpath(folder));
    for (int i = 0; i < files.size(); ++i)
        QVERIFY(TestFiles::writeFile(src() + QLatin1Char('/') + files[i], TestFiles::pattern(sizes[i], i)));

    FilesStreamer streamer(src() + QLatin1Char('/') + top);
    QVERIFY2(streamer.isValid(), qPrintable(streamer.errorString()));
    FilesStreamerW writer(dst());
    QVERIFY(writer.isValid());

    const Pumped pumped = pump(streamer, &writer, capacity);
    QVERIFY(streamer.isValid());
    QCOMPARE(pumped.total, streamer.getFullSize());
    QVERIFY2(!pumped.shortRead, "a buffer came back short before the end");
    streamer.endWork();
    writer.endWork();
    QVERIFY2(writer.isValid(), qPrintable(writer.errorString()));
    QVERIFY(writer.isComplete());

    const QString mainFile = writer.getMainFile();
    QCOMPARE(mainFile, QFileInfo(dst()).canonicalFilePath() + QLatin1Char('/') + top);
    QCOMPARE(writer.getDir(), QFileInfo(dst()).canonicalFilePath());
    QVERIFY(QFileInfo::exists(mainFile));
    QCOMPARE(TestFiles::describeTree(dst()), TestFiles::describeTree(src()));
}

void TestFilesStreamer::fullSizeExactlyDelivered_data()
{
    QTest::addColumn<int>("capacity");
    QTest::newRow("1") << 1;
    QTest::newRow("2048") << 2048;
    QTest::newRow("65536") << 65536;
}

void TestFilesStreamer::fullSizeExactlyDelivered()
{
    QFETCH(int, capacity);
    QVERIFY(TestFiles::writeFile(src() + QStringLiteral("/job/a.bin"), TestFiles::pattern(2048 * 3)));
    QVERIFY(TestFiles::writeFile(src() + QStringLiteral("/job/b/c.bin"), TestFiles::pattern(777)));
    FilesStreamer streamer(src() + QStringLiteral("/job"));
    // Header 8, folder "job" 1+4+3, file "job/a.bin" 1+4+9+8+6144, folder
    // "job/b" 1+4+5, file "job/b/c.bin" 1+4+11+8+777, end 1.
    QCOMPARE(streamer.getFullSize(), quint64(8 + 8 + 6166 + 10 + 801 + 1));
    const Pumped pumped = pump(streamer, nullptr, capacity);
    QCOMPARE(pumped.total, streamer.getFullSize());
    QVERIFY(!pumped.shortRead);
    // At the end it stays at the end.
    char c;
    QCOMPARE(streamer.getData(&c, 1), qint64(0));
    QVERIFY(streamer.isValid());
}

void TestFilesStreamer::restartGivesSameBytes()
{
    QVERIFY(TestFiles::writeFile(src() + QStringLiteral("/job/a.bin"), TestFiles::pattern(100000)));
    QVERIFY(TestFiles::writeFile(src() + QStringLiteral("/job/b.bin"), TestFiles::pattern(10)));
    FilesStreamer streamer(src() + QStringLiteral("/job"));
    const Pumped first = pump(streamer, nullptr, 2048, true);
    streamer.endWork();
    QVERIFY(streamer.restart());
    const Pumped second = pump(streamer, nullptr, 2048, true);
    QCOMPARE(second.total, streamer.getFullSize());
    QVERIFY(first.bytes == second.bytes);

    // Restarting half-way through starts again from the first byte.
    QVERIFY(streamer.restart());
    char buffer[5000];
    QCOMPARE(streamer.getData(buffer, sizeof buffer), qint64(sizeof buffer));
    QVERIFY(streamer.restart());
    const Pumped third = pump(streamer, nullptr, 2048, true);
    QVERIFY(first.bytes == third.bytes);
}

void TestFilesStreamer::endWorkStopsDelivery()
{
    QVERIFY(TestFiles::writeFile(src() + QStringLiteral("/a.bin"), TestFiles::pattern(10000)));
    FilesStreamer streamer(src() + QStringLiteral("/a.bin"));
    char buffer[2048];
    QCOMPARE(streamer.getData(buffer, sizeof buffer), qint64(2048));
    streamer.endWork();
    QCOMPARE(streamer.getData(buffer, sizeof buffer), qint64(0));
    QVERIFY(streamer.restart());
    QCOMPARE(pump(streamer, nullptr, 2048).total, streamer.getFullSize());
}

void TestFilesStreamer::vanishedFileInvalidates()
{
    QVERIFY(TestFiles::writeFile(src() + QStringLiteral("/job/a.bin"), TestFiles::pattern(5000)));
    QVERIFY(TestFiles::writeFile(src() + QStringLiteral("/job/b.bin"), TestFiles::pattern(5000)));
    FilesStreamer streamer(src() + QStringLiteral("/job"));
    QVERIFY(streamer.isValid());
    QVERIFY(QFile::remove(src() + QStringLiteral("/job/b.bin")));
    const Pumped pumped = pump(streamer, nullptr, 2048);
    QVERIFY(!streamer.isValid());
    QVERIFY(!streamer.errorString().isEmpty());
    QVERIFY(pumped.total < streamer.getFullSize());
    char c;
    QCOMPARE(streamer.getData(&c, 1), qint64(0));
    // A restart on a still broken tree fails again rather than sending other bytes.
    streamer.restart();
    QVERIFY(pump(streamer, nullptr, 2048).total < streamer.getFullSize());
    QVERIFY(!streamer.isValid());
}

void TestFilesStreamer::resizedFileInvalidates_data()
{
    QTest::addColumn<int>("newSize");
    QTest::addColumn<bool>("whileOpen");
    QTest::newRow("shrunk before") << 4000 << false;
    QTest::newRow("grown before") << 6000 << false;
    QTest::newRow("shrunk while sending") << 100 << true;
    QTest::newRow("grown while sending") << 3000000 << true;
}

void TestFilesStreamer::resizedFileInvalidates()
{
    QFETCH(int, newSize);
    QFETCH(bool, whileOpen);
    const QString file = src() + QStringLiteral("/job/a.bin");
    QVERIFY(TestFiles::writeFile(file, TestFiles::pattern(whileOpen ? 2100000 : 5000)));
    FilesStreamer streamer(src() + QStringLiteral("/job"));
    char buffer[2048];
    quint64 total = 0;
    if (whileOpen) {
        // Into the file's content, then change it under the open handle.
        for (int i = 0; i < 10; ++i)
            total += quint64(streamer.getData(buffer, sizeof buffer));
    }
    QVERIFY(::truncate(QFile::encodeName(file).constData(), newSize) == 0);
    total += pump(streamer, nullptr, 2048).total;
    QVERIFY(!streamer.isValid());
    QVERIFY(total < streamer.getFullSize());
}

void TestFilesStreamer::linksInTreeAreNotFollowed()
{
    QVERIFY(TestFiles::writeFile(m_work + QStringLiteral("/outside/secret.txt"), "secret"));
    QVERIFY(TestFiles::writeFile(src() + QStringLiteral("/job/real.txt"), "real"));
    QVERIFY(QFile::link(
        m_work + QStringLiteral("/outside/secret.txt"), src() + QStringLiteral("/job/file-link")));
    QVERIFY(QFile::link(m_work + QStringLiteral("/outside"), src() + QStringLiteral("/job/folder-link")));
    QVERIFY(::mkfifo(QFile::encodeName(src() + QStringLiteral("/job/pipe")).constData(), 0600) == 0);

    FilesStreamer streamer(src() + QStringLiteral("/job"));
    QVERIFY2(streamer.isValid(), qPrintable(streamer.errorString()));
    FilesStreamerW writer(dst());
    const Pumped pumped = pump(streamer, &writer, 2048, true);
    writer.endWork();
    QVERIFY(writer.isComplete());
    QVERIFY(!pumped.bytes.contains("secret"));
    const QMap<QString, QString> expected { { QStringLiteral("job"), QStringLiteral("D") },
        { QStringLiteral("job/real.txt"),
            TestFiles::describeTree(src()).value(QStringLiteral("job/real.txt")) } };
    QCOMPARE(TestFiles::describeTree(dst()), expected);
}

void TestFilesStreamer::topLevelLinkIsResolved()
{
    QVERIFY(TestFiles::writeFile(src() + QStringLiteral("/target.txt"), "content"));
    QVERIFY(QFile::link(src() + QStringLiteral("/target.txt"), src() + QStringLiteral("/chosen.txt")));
    FilesStreamer streamer(src() + QStringLiteral("/chosen.txt"));
    FilesStreamerW writer(dst());
    pump(streamer, &writer, 2048);
    writer.endWork();
    QVERIFY(writer.isComplete());
    QCOMPARE(QFileInfo(writer.getMainFile()).fileName(), QStringLiteral("chosen.txt"));
    QFile out(writer.getMainFile());
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.readAll(), QByteArray("content"));
}

void TestFilesStreamer::missingPathIsInvalid()
{
    FilesStreamer missing(src() + QStringLiteral("/nothing"));
    QVERIFY(!missing.isValid());
    QVERIFY(!missing.errorString().isEmpty());
    QCOMPARE(missing.getFullSize(), quint64(0));
    char c;
    QCOMPARE(missing.getData(&c, 1), qint64(0));
    QVERIFY(!missing.restart());

    FilesStreamer empty { QString() };
    QVERIFY(!empty.isValid());
}

void TestFilesStreamer::packedUnderAnotherName_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("viaSetter");
    QTest::newRow("folder, constructor") << true << false;
    QTest::newRow("folder, renamed later") << true << true;
    QTest::newRow("file, constructor") << false << false;
    QTest::newRow("file, renamed later") << false << true;
}

void TestFilesStreamer::packedUnderAnotherName()
{
    QFETCH(bool, folder);
    QFETCH(bool, viaSetter);
    const QString newName = S("Auftrag März – №7");
    QVERIFY(TestFiles::writeFile(src() + QStringLiteral("/job/a.bin"), TestFiles::pattern(2048 * 3)));
    QVERIFY(TestFiles::writeFile(src() + QStringLiteral("/job/sub/b.bin"), TestFiles::pattern(10, 2)));
    QVERIFY(QDir(src()).mkpath(QStringLiteral("job/empty")));
    const QString packed = src() + (folder ? QStringLiteral("/job") : QStringLiteral("/job/a.bin"));

    std::unique_ptr<FilesStreamer> streamer;
    if (viaSetter) {
        streamer = std::make_unique<FilesStreamer>(packed);
        const quint64 before = streamer->getFullSize();
        char head[100];
        QCOMPARE(streamer->getData(head, sizeof head), qint64(sizeof head)); // renaming rewinds
        QVERIFY(streamer->setTopLevelName(newName));
        const quint64 grown = quint64(newName.toUtf8().size() - (folder ? 3 : 5)) * (folder ? 5 : 1);
        QCOMPARE(streamer->getFullSize(), before + grown);
    } else {
        streamer = std::make_unique<FilesStreamer>(packed, newName);
    }
    QVERIFY2(streamer->isValid(), qPrintable(streamer->errorString()));
    QCOMPARE(streamer->topLevelName(), newName);

    FilesStreamerW writer(dst());
    const Pumped pumped = pump(*streamer, &writer, 2048);
    QCOMPARE(pumped.total, streamer->getFullSize());
    writer.endWork();
    QVERIFY2(writer.isComplete(), qPrintable(writer.errorString()));
    QCOMPARE(QFileInfo(writer.getMainFile()).fileName(), newName);

    // The original stays where it was, and nothing else is written.
    QMap<QString, QString> expected;
    const QMap<QString, QString> original = TestFiles::describeTree(src());
    for (auto it = original.cbegin(); it != original.cend(); ++it) {
        QString rel = it.key();
        if (!folder && rel != QStringLiteral("job/a.bin"))
            continue;
        rel = folder ? newName + rel.mid(3) : newName;
        expected.insert(rel, it.value());
    }
    QCOMPARE(TestFiles::describeTree(dst()), expected);
    QVERIFY(QFileInfo::exists(src() + QStringLiteral("/job/a.bin")));
}

void TestFilesStreamer::nameThatIsNotOneSegmentIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QString();
    QTest::newRow("dot") << S(".");
    QTest::newRow("dot dot") << S("..");
    QTest::newRow("slash") << S("a/b");
    QTest::newRow("escape") << S("../../etc");
    QTest::newRow("absolute") << S("/tmp");
    QTest::newRow("backslash") << S("a\\b");
    QTest::newRow("nul") << (S("a") + QChar(0) + S("b"));
    QTest::newRow("lone surrogate") << QString(QChar(0xd800));
    QTest::newRow("256 bytes") << QString(128, QChar(0xe9));
}

void TestFilesStreamer::nameThatIsNotOneSegmentIsRefused()
{
    QFETCH(QString, name);
    QVERIFY(TestFiles::writeFile(src() + QStringLiteral("/job/a.bin"), TestFiles::pattern(100)));
    QVERIFY(!FilesStreamer::isValidTopLevelName(name));

    FilesStreamer renamed(src() + QStringLiteral("/job"));
    const quint64 size = renamed.getFullSize();
    QVERIFY(!renamed.setTopLevelName(name));
    QVERIFY(renamed.isValid());
    QCOMPARE(renamed.getFullSize(), size);
    QCOMPARE(renamed.topLevelName(), QStringLiteral("job"));

    FilesStreamer made(src() + QStringLiteral("/job"), name);
    QVERIFY(!made.isValid());
    QVERIFY(!made.errorString().isEmpty());
    char c;
    QCOMPARE(made.getData(&c, 1), qint64(0));

    // The longest allowed name is accepted.
    QVERIFY(renamed.setTopLevelName(QString(127, QChar(0xe9)) + QLatin1Char('x')));
}

void TestFilesStreamer::sparseMultiGigabyteFileWithoutMemoryGrowth()
{
    // 5 GiB: past the 32-bit boundary, with data at the start, across 4 GiB
    // and at the very end; the rest is holes on both sides.
    const qint64 size = (qint64(5) << 30) + 12345;
    const QString file = src() + QStringLiteral("/huge.bin");
    const QList<qint64> offsets { 0, (qint64(4) << 30) - 1000, size - 3000 };
    {
        const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        QVERIFY(::ftruncate(fd, size) == 0);
        for (int i = 0; i < offsets.size(); ++i) {
            const QByteArray data = TestFiles::pattern(3000, i + 7);
            QCOMPARE(::pwrite(fd, data.constData(), size_t(data.size()), offsets[i]), ssize_t(data.size()));
        }
        ::close(fd);
    }

    const qint64 rssBefore = TestFiles::statusKb("VmRSS:");
    const qint64 hwmBefore = TestFiles::statusKb("VmHWM:");
    {
        FilesStreamer streamer(file);
        QVERIFY(streamer.isValid());
        FilesStreamerW writer(dst());
        const Pumped pumped = pump(streamer, &writer, 65536);
        QCOMPARE(pumped.total, streamer.getFullSize());
        QVERIFY(!pumped.shortRead);
        writer.endWork();
        QVERIFY2(writer.isComplete(), qPrintable(writer.errorString()));
    }
    const qint64 hwmAfter = TestFiles::statusKb("VmHWM:");
    const qint64 rssAfter = TestFiles::statusKb("VmRSS:");
    qInfo("VmRSS %lld -> %lld kB, VmHWM %lld -> %lld kB", rssBefore, rssAfter, hwmBefore, hwmAfter);
    // One read block and a few buffers: far below a percent of the file.
    if (TestEnv::peakMemoryIsTheProgramsOwn)
        QVERIFY2(hwmAfter - rssBefore < 16 * 1024, "peak memory grew with the file");

    const QString copy = dst() + QStringLiteral("/huge.bin");
    QCOMPARE(QFileInfo(copy).size(), size);
    const int fd = ::open(QFile::encodeName(copy).constData(), O_RDONLY);
    QVERIFY(fd >= 0);
    for (int i = 0; i < offsets.size(); ++i) {
        QByteArray read(3000, Qt::Uninitialized);
        QCOMPARE(::pread(fd, read.data(), 3000, offsets[i]), ssize_t(3000));
        QVERIFY(read == TestFiles::pattern(3000, i + 7));
        char around[16];
        const qint64 zeroAt = i == 0 ? 3000 : offsets[i] - 16;
        QCOMPARE(::pread(fd, around, sizeof around, zeroAt), ssize_t(sizeof around));
        QVERIFY(QByteArray(around, sizeof around) == QByteArray(sizeof around, '\0'));
    }
    struct stat st;
    QVERIFY(::fstat(fd, &st) == 0);
    ::close(fd);
    // The holes stayed holes.
    QVERIFY(qint64(st.st_blocks) * 512 < 64 * 1024 * 1024);
}

void TestFilesStreamer::unpackerWritesInBlocks()
{
    // Pieces of 2048 bytes, as a download brings them, go to disk in
    // blocks of 64 KiB.
    const qint64 size = 4 << 20;
    const QByteArray content = TestFiles::pattern(size, 3);
    QVERIFY(TestFiles::writeFile(src() + QStringLiteral("/data.bin"), content));
    FilesStreamer streamer(src() + QStringLiteral("/data.bin"));
    FilesStreamerW writer(dst());
    const qint64 before = writeCalls();
    QVERIFY(before >= 0);
    const Pumped pumped = pump(streamer, &writer, 2048);
    writer.endWork();
    const qint64 calls = writeCalls() - before;
    QVERIFY2(writer.isComplete(), qPrintable(writer.errorString()));
    QCOMPARE(pumped.total, streamer.getFullSize());
    QVERIFY2(calls <= size / (64 * 1024) + 4, qPrintable(QString::number(calls)));
    QFile copy(dst() + QStringLiteral("/data.bin"));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), content);
}

VORNEX_TEST_GUILESS_MAIN(TestFilesStreamer)
#include "tst_filesstreamer.moc"
