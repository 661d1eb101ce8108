#include "FilesStreamer.h"
#include "FilesStreamerW.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QtTest/QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

// Builds streams by hand, independently of the packer, so hostile input
// can be made.
class RawStream
{
public:
    explicit RawStream(bool header = true)
    {
        if (header)
            m_bytes.append("VXFS\x00\x01\x00\x00", 8);
    }
    RawStream &folder(const QByteArray &path) { return record(1, path); }
    RawStream &file(const QByteArray &path, const QByteArray &content)
    {
        record(2, path);
        u64(quint64(content.size()));
        m_bytes.append(content);
        return *this;
    }
    RawStream &record(quint8 type, const QByteArray &path)
    {
        m_bytes.append(char(type));
        u32(quint32(path.size()));
        m_bytes.append(path);
        return *this;
    }
    RawStream &end()
    {
        m_bytes.append(char(3));
        return *this;
    }
    RawStream &raw(const QByteArray &bytes)
    {
        m_bytes.append(bytes);
        return *this;
    }
    RawStream &u32(quint32 v)
    {
        for (int i = 3; i >= 0; --i)
            m_bytes.append(char(v >> (8 * i)));
        return *this;
    }
    RawStream &u64(quint64 v)
    {
        for (int i = 7; i >= 0; --i)
            m_bytes.append(char(v >> (8 * i)));
        return *this;
    }
    QByteArray bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

QByteArray packed(const QString &path)
{
    FilesStreamer streamer(path);
    QByteArray out;
    char buffer[2048];
    qint64 n;
    while ((n = streamer.getData(buffer, sizeof buffer)) > 0)
        out.append(buffer, int(n));
    return out;
}

} // namespace

class TestFilesStreamerW : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void acceptsPiecesSplitAtEveryByte();
    void hostileStreamsWriteNothingOutside_data();
    void hostileStreamsWriteNothingOutside();
    void truncatedAtEveryByteIsIncomplete();
    void preplantedLinksAreNotFollowed();
    void linkSwappedInDuringStreamIsNotFollowed();
    void writeFailureIsReported();
    void missingFolderIsInvalid();
    void hugePathLengthAllocatesNothing();

private:
    QString m_work;
    QString dst() const { return m_work + QStringLiteral("/dst"); }
    QString outside() const { return m_work + QStringLiteral("/outside"); }
    QMap<QString, QString> m_outsideBefore;
    QString m_freshDst(int i) const { return m_work + QStringLiteral("/d%1").arg(i); }
};

void TestFilesStreamerW::init()
{
    m_work = QDir::tempPath() + QStringLiteral("/w-") + QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        m_work += QLatin1Char('-') + QString::number(qHash(QString::fromUtf8(QTest::currentDataTag())));
    QDir(m_work).removeRecursively();
    QVERIFY(QDir().mkpath(dst()));
    // Something for a hostile stream to overwrite if it ever got out.
    QVERIFY(TestFiles::writeFile(outside() + QStringLiteral("/victim.txt"), "untouched"));
    QVERIFY(QDir().mkpath(outside() + QStringLiteral("/sub")));
    m_outsideBefore = TestFiles::describeTree(outside());
}

void TestFilesStreamerW::cleanup()
{
    if (!QTest::currentTestFailed())
        QDir(m_work).removeRecursively();
}

void TestFilesStreamerW::acceptsPiecesSplitAtEveryByte()
{
    const QString src = m_work + QStringLiteral("/src");
    QVERIFY(QDir().mkpath(src + QStringLiteral("/Jöb/empty")));
    QVERIFY(TestFiles::writeFile(src + QStringLiteral("/Jöb/a.txt"), "alpha"));
    QVERIFY(TestFiles::writeFile(src + QStringLiteral("/Jöb/sub/ß.bin"), TestFiles::pattern(300)));
    QVERIFY(TestFiles::writeFile(src + QStringLiteral("/Jöb/sub/zero"), QByteArray()));
    const QByteArray stream = packed(src + QStringLiteral("/Jöb"));
    const QMap<QString, QString> expected = TestFiles::describeTree(src);

    for (int split = 0; split <= stream.size(); ++split) {
        const QString folder = m_freshDst(split);
        QVERIFY(QDir().mkpath(folder));
        FilesStreamerW writer(folder);
        QVERIFY(writer.addData(stream.constData(), split));
        QVERIFY(writer.addData(stream.constData() + split, stream.size() - split));
        writer.endWork();
        QVERIFY2(writer.isComplete(),
            qPrintable(QStringLiteral("split at %1: %2").arg(split).arg(writer.errorString())));
        QCOMPARE(TestFiles::describeTree(folder), expected);
        QVERIFY(writer.getMainFile().startsWith(writer.getDir() + QLatin1Char('/')));
        QVERIFY(QDir(folder).removeRecursively());
    }

    FilesStreamerW writer(dst());
    for (int i = 0; i < stream.size(); ++i)
        QVERIFY(writer.addData(stream.constData() + i, 1));
    writer.endWork();
    QVERIFY(writer.isComplete());
    QCOMPARE(TestFiles::describeTree(dst()), expected);
}

void TestFilesStreamerW::hostileStreamsWriteNothingOutside_data()
{
    QTest::addColumn<QByteArray>("stream");
    const QByteArray payload("escaped");

    QTest::newRow("absolute top") << RawStream()
                                         .file(QFile::encodeName(outside() + QStringLiteral("/victim.txt")),
                                             payload)
                                         .end()
                                         .bytes();
    QTest::newRow("absolute folder")
        << RawStream().folder(QFile::encodeName(outside() + QStringLiteral("/new"))).end().bytes();
    QTest::newRow("dot-dot top") << RawStream().folder("..").end().bytes();
    QTest::newRow("dot-dot inner")
        << RawStream().folder("job").file("job/../../outside/victim.txt", payload).end().bytes();
    QTest::newRow("dot-dot after folders")
        << RawStream().folder("job").folder("job/a").file("job/a/../../x", payload).end().bytes();
    QTest::newRow("backslash")
        << RawStream().folder("job").file("job\\..\\..\\outside\\victim.txt", payload).end().bytes();
    QTest::newRow("backslash top") << RawStream().file("..\\escape.txt", payload).end().bytes();
    QTest::newRow("empty segment") << RawStream().folder("job").file("job//x", payload).end().bytes();
    QTest::newRow("trailing slash") << RawStream().folder("job/").end().bytes();
    QTest::newRow("dot segment") << RawStream().folder("job").file("job/./x", payload).end().bytes();
    QTest::newRow("dot top") << RawStream().file(".", payload).end().bytes();
    QTest::newRow("NUL in name")
        << RawStream().folder("job").file(QByteArray("job/a\0b", 7), payload).end().bytes();
    QTest::newRow("invalid UTF-8") << RawStream().folder("job").file("job/\xff\xfe", payload).end().bytes();
    QTest::newRow("two tops") << RawStream().folder("job").folder("other").end().bytes();
    QTest::newRow("after single file")
        << RawStream().file("a.txt", payload).file("b.txt", payload).end().bytes();
    QTest::newRow("nested top") << RawStream().folder("job/sub").end().bytes();
    QTest::newRow("parent not announced")
        << RawStream().folder("job").file("job/missing/x", payload).end().bytes();
    QTest::newRow("parent is a file")
        << RawStream().folder("job").file("job/f", payload).file("job/f/x", payload).end().bytes();
    QTest::newRow("duplicate file")
        << RawStream().folder("job").file("job/x", "one").file("job/x", payload).end().bytes();
    QTest::newRow("duplicate folder")
        << RawStream().folder("job").folder("job/a").folder("job/a").end().bytes();
    QTest::newRow("symlink entry")
        << RawStream().folder("job").record(4, "job/link").raw("../../outside").end().bytes();
    QTest::newRow("device entry") << RawStream().folder("job").record(5, "job/dev").end().bytes();
    QTest::newRow("unknown entry") << RawStream().folder("job").record(0x7f, "job/x").end().bytes();
    QTest::newRow("bad magic")
        << RawStream(false).raw(QByteArray("XXXX\x00\x01\x00\x00", 8)).folder("job").end().bytes();
    QTest::newRow("bad version")
        << RawStream(false).raw(QByteArray("VXFS\x00\x09\x00\x00", 8)).folder("job").end().bytes();
    QTest::newRow("zero path length") << RawStream().folder("").end().bytes();
    QTest::newRow("long segment") << RawStream().folder(QByteArray(256, 'a')).end().bytes();
    QTest::newRow("nothing in it") << RawStream().end().bytes();
    QTest::newRow("data after end") << RawStream().folder("job").end().raw("more").bytes();
    QTest::newRow("record after end") << RawStream().folder("job").end().folder("job/late").end().bytes();
    QTest::newRow("no header") << RawStream(false).folder("job").end().bytes();
}

void TestFilesStreamerW::hostileStreamsWriteNothingOutside()
{
    QFETCH(QByteArray, stream);
    for (const bool bytewise : { false, true }) {
        const QString folder = m_freshDst(bytewise);
        QVERIFY(QDir().mkpath(folder));
        FilesStreamerW writer(folder);
        bool accepted = true;
        if (bytewise) {
            for (int i = 0; i < stream.size() && accepted; ++i)
                accepted = writer.addData(stream.constData() + i, 1);
        } else {
            accepted = writer.addData(stream.constData(), stream.size());
        }
        writer.endWork();
        QVERIFY(!accepted || !writer.isComplete());
        QVERIFY(!writer.isValid());
        QVERIFY(!writer.isComplete());
        QVERIFY(!writer.errorString().isEmpty());
        // Once refused, it stays refused.
        QVERIFY(!writer.addData("x", 1));
        if (!writer.getMainFile().isEmpty())
            QVERIFY(writer.getMainFile().startsWith(writer.getDir() + QLatin1Char('/')));
    }
    QCOMPARE(TestFiles::describeTree(outside()), m_outsideBefore);
    // Nothing but the writers' folders appeared beside them.
    const QStringList work = QDir(m_work).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QCOMPARE(work,
        (QStringList {
            QStringLiteral("d0"), QStringLiteral("d1"), QStringLiteral("dst"), QStringLiteral("outside") }));
    QVERIFY(!QFileInfo::exists(m_work + QStringLiteral("/x")));
}

void TestFilesStreamerW::truncatedAtEveryByteIsIncomplete()
{
    const QByteArray stream = RawStream()
                                  .folder("job")
                                  .file("job/a", "abc")
                                  .folder("job/e")
                                  .file("job/z", QByteArray())
                                  .end()
                                  .bytes();
    for (int cut = 0; cut < stream.size(); ++cut) {
        const QString folder = m_freshDst(cut);
        QVERIFY(QDir().mkpath(folder));
        FilesStreamerW writer(folder);
        QVERIFY(writer.addData(stream.constData(), cut));
        writer.endWork();
        QVERIFY2(!writer.isComplete(), qPrintable(QString::number(cut)));
        QVERIFY(!writer.isValid());
        QVERIFY(QDir(folder).removeRecursively());
    }
    FilesStreamerW writer(dst());
    QVERIFY(writer.addData(stream.constData(), stream.size()));
    writer.endWork();
    QVERIFY(writer.isComplete());
    QCOMPARE(TestFiles::describeTree(outside()), m_outsideBefore);
}

void TestFilesStreamerW::preplantedLinksAreNotFollowed()
{
    // A link in the receiving folder named like the stream's top entry.
    QVERIFY(QFile::link(outside(), dst() + QStringLiteral("/job")));
    {
        FilesStreamerW writer(dst());
        const QByteArray stream = RawStream().folder("job").file("job/victim.txt", "escaped").end().bytes();
        QVERIFY(!writer.addData(stream.constData(), stream.size()));
        QVERIFY(!writer.isValid());
    }
    QVERIFY(QFile::link(outside() + QStringLiteral("/victim.txt"), dst() + QStringLiteral("/a.txt")));
    {
        FilesStreamerW writer(dst());
        const QByteArray stream = RawStream().file("a.txt", "escaped").end().bytes();
        QVERIFY(!writer.addData(stream.constData(), stream.size()));
        QVERIFY(!writer.isValid());
    }
    QFile victim(outside() + QStringLiteral("/victim.txt"));
    QVERIFY(victim.open(QIODevice::ReadOnly));
    QCOMPARE(victim.readAll(), QByteArray("untouched"));
    QVERIFY(!QFileInfo::exists(outside() + QStringLiteral("/victim.txt/x")));
}

void TestFilesStreamerW::linkSwappedInDuringStreamIsNotFollowed()
{
    const QByteArray head = RawStream().folder("job").folder("job/sub").bytes();
    const QByteArray tail = RawStream(false).file("job/sub/victim.txt", "escaped").end().bytes();
    FilesStreamerW writer(dst());
    QVERIFY(writer.addData(head.constData(), head.size()));
    // Between two pieces the folder the writer made is replaced by a link.
    QVERIFY(QDir(dst()).rmdir(QStringLiteral("job/sub")));
    QVERIFY(QFile::link(outside(), dst() + QStringLiteral("/job/sub")));
    QVERIFY(!writer.addData(tail.constData(), tail.size()));
    writer.endWork();
    QVERIFY(!writer.isComplete());
    QCOMPARE(TestFiles::describeTree(outside()), m_outsideBefore);
}

void TestFilesStreamerW::writeFailureIsReported()
{
    // A file size limit makes write(2) fail as a full disk would.
    auto limit = std::make_unique<TestFiles::FileSizeLimit>(1 << 20);
    FilesStreamerW writer(dst());
    const QByteArray stream = RawStream().file("big.bin", TestFiles::pattern(3 << 20)).end().bytes();
    bool accepted = true;
    for (int pos = 0; pos < stream.size() && accepted; pos += 4096)
        accepted = writer.addData(stream.constData() + pos, qMin(4096, stream.size() - pos));
    writer.endWork();
    limit.reset();

    QVERIFY(!accepted);
    QVERIFY(!writer.isValid());
    QVERIFY(!writer.isComplete());
    QVERIFY2(writer.errorString().contains(QStringLiteral("big.bin")), qPrintable(writer.errorString()));
}

void TestFilesStreamerW::missingFolderIsInvalid()
{
    FilesStreamerW missing(m_work + QStringLiteral("/nowhere"));
    QVERIFY(!missing.isValid());
    QVERIFY(!missing.addData("VXFS", 4));
    FilesStreamerW empty { QString() };
    QVERIFY(!empty.isValid());
}

void TestFilesStreamerW::hugePathLengthAllocatesNothing()
{
    const qint64 before = TestFiles::statusKb("VmHWM:");
    FilesStreamerW writer(dst());
    const QByteArray stream
        = RawStream().raw(QByteArray("\x01", 1)).u32(0xffffffffu).raw(QByteArray(100, 'a')).bytes();
    QVERIFY(!writer.addData(stream.constData(), stream.size()));
    QVERIFY(!writer.isValid());
    QVERIFY(TestFiles::statusKb("VmHWM:") - before < 1024);
}

VORNEX_TEST_GUILESS_MAIN(TestFilesStreamerW)
#include "tst_filesstreamerw.moc"
