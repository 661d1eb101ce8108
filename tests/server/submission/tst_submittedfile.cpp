#include "Desktop.h"
#include "FilesStreamer.h"
#include "SubmitStatus.h"
#include "SubmittedFile.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

using TestFiles::writeFile;

namespace {

class LabelDesktop : public Desktop
{
public:
    explicit LabelDesktop(const QString &label)
        : m_label(label)
    { }
    QString volumeLabel(const QString &) const override { return m_label; }

private:
    QString m_label;
};

// Drives an upload attempt the way the upload thread does; returns the
// bytes read, or -1 when reading was aborted.
qint64 pumpAll(SubmittedFile &job, qint64 capacity = 2048)
{
    std::vector<char> buffer(static_cast<size_t>(capacity));
    qint64 total = 0;
    for (;;) {
        const qint64 n = job.readData(buffer.data(), capacity);
        if (n < 0)
            return -1;
        total += n;
        if (n < capacity)
            return total;
    }
}

} // namespace

class TestSubmittedFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void timeLeftText_data();
    void timeLeftText();
    void jobNameIsTheFileName();
    void renamedJobTravelsUnderItsName();
    void namesThatAreNotOneSegmentAreRefused_data();
    void namesThatAreNotOneSegmentAreRefused();
    void wholeVolumeIsNamedByItsLabel();
    void completeUploadGoesThroughEveryStatus();
    void cancelAbortsTheStreamAndEndsInError();
    void changedContentAbortsTheStream();
    void successNeedsTheServersAnswer();
    void progressPastFourGigabytes();

private:
    QString m_work;
};

void TestSubmittedFile::init()
{
    m_work = QDir::tempPath() + QStringLiteral("/submitted-")
        + QString::fromLatin1(QTest::currentTestFunction());
    QDir(m_work).removeRecursively();
    QVERIFY(QDir().mkpath(m_work));
}

void TestSubmittedFile::cleanup()
{
    Desktop::setInstance(nullptr);
    if (!QTest::currentTestFailed())
        QDir(m_work).removeRecursively();
}

void TestSubmittedFile::timeLeftText_data()
{
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("sent");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("expected");

    QTest::newRow("a quarter after 3 s")
        << qint64(100) << qint64(25) << qint64(3000) << QStringLiteral("9 sec. left");
    QTest::newRow("1 of 100 after 110 s")
        << qint64(100) << qint64(1) << qint64(110000) << QStringLiteral("3 h 01 min. left");
    QTest::newRow("minutes") << qint64(100) << qint64(50) << qint64(125000) << QStringLiteral("2 min. left");
    QTest::newRow("all sent") << qint64(100) << qint64(100) << qint64(5000) << QStringLiteral("0 sec. left");
    QTest::newRow("nothing sent yet") << qint64(100) << qint64(0) << qint64(5000) << QString();
    // 64-bit sizes and a whole day: no wrap into negative values.
    QTest::newRow("5 GiB, 1 MiB after a day") << (qint64(5) << 30) << (qint64(1) << 20) << qint64(86400000)
                                              << QStringLiteral("122856 h 00 min. left");
    QTest::newRow("clock stepped back")
        << qint64(100) << qint64(10) << qint64(-5000) << QStringLiteral("0 sec. left");
}

void TestSubmittedFile::timeLeftText()
{
    QFETCH(qint64, total);
    QFETCH(qint64, sent);
    QFETCH(qint64, elapsedMs);
    QFETCH(QString, expected);
    QCOMPARE(SubmittedFile::timeLeftText(total, sent, elapsedMs), expected);
}

void TestSubmittedFile::jobNameIsTheFileName()
{
    QVERIFY(writeFile(m_work + QStringLiteral("/Übersicht 1.pdf"), 10));
    QVERIFY(QDir().mkpath(m_work + QStringLiteral("/folder job/sub")));

    SubmittedFile file(QStringLiteral("f"), QStringLiteral("p"), m_work + QStringLiteral("/Übersicht 1.pdf"));
    QCOMPARE(file.getJobName(), QStringLiteral("Übersicht 1.pdf"));
    QVERIFY(file.isFile());
    QCOMPARE(file.getStatus(), int(SubmitStatus::Waiting));
    QCOMPARE(file.getTotalSize(),
        qint64(FilesStreamer(m_work + QStringLiteral("/Übersicht 1.pdf")).getFullSize()));
    QVERIFY(file.isReadable());
    QCOMPARE(file.getStartTimeText(), QString());
    QCOMPARE(file.getTimeLeftText(), QString());

    SubmittedFile folder(QStringLiteral("f"), QStringLiteral("p"), m_work + QStringLiteral("/folder job/"));
    QCOMPARE(folder.getJobName(), QStringLiteral("folder job"));
    QVERIFY(!folder.isFile());

    SubmittedFile missing(QStringLiteral("f"), QStringLiteral("p"), m_work + QStringLiteral("/gone.txt"));
    QVERIFY(!missing.isReadable());
    QVERIFY(!missing.errorString().isEmpty());
}

void TestSubmittedFile::renamedJobTravelsUnderItsName()
{
    QVERIFY(writeFile(m_work + QStringLiteral("/job/a.bin"), 3000));
    SubmittedFile job(QStringLiteral("f"), QStringLiteral("p"), m_work + QStringLiteral("/job"));
    QSignalSpy saves(&job, &SubmittedFile::saveJobRequest);
    const qint64 before = job.getTotalSize();

    QVERIFY(job.setJobName(QStringLiteral("job")));
    QCOMPARE(saves.count(), 0); // unchanged name: nothing to save

    const QString name = QStringLiteral("März-Auftrag");
    QVERIFY(job.setJobName(name));
    QCOMPARE(saves.count(), 1);
    QCOMPARE(saves.at(0).at(0).value<SubmittedFile *>(), &job);
    QCOMPARE(job.getJobName(), name);
    // Two entries (the folder and its file) carry the longer top-level name.
    QCOMPARE(job.getTotalSize(), before + 2 * (name.toUtf8().size() - 3));

    QVERIFY(job.prepareUpload());
    QVERIFY(job.beginUpload());
    std::vector<char> head(64);
    QCOMPARE(job.readData(head.data(), 64), qint64(64));
    // The first record names the top-level entry: type, length, name.
    QCOMPARE(QByteArray(head.data() + 13, name.toUtf8().size()), name.toUtf8());
    // No rename while an attempt runs: the size went to the server already.
    QVERIFY(!job.setJobName(QStringLiteral("other")));
    QCOMPARE(job.getJobName(), name);
    // Nothing was copied beside the original.
    QCOMPARE(QDir(m_work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
        QStringList { QStringLiteral("job") });
    QCOMPARE(QDir::temp().entryList({ QStringLiteral("temporaryItem*") }), QStringList());
}

void TestSubmittedFile::namesThatAreNotOneSegmentAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QString();
    QTest::newRow("slash") << QStringLiteral("a/b");
    QTest::newRow("parent") << QStringLiteral("..");
    QTest::newRow("escape") << QStringLiteral("../../etc/passwd");
    QTest::newRow("absolute") << QStringLiteral("/tmp/x");
    QTest::newRow("backslash") << QStringLiteral("a\\b");
}

void TestSubmittedFile::namesThatAreNotOneSegmentAreRefused()
{
    QFETCH(QString, name);
    QVERIFY(writeFile(m_work + QStringLiteral("/a.txt"), 5));
    SubmittedFile job(QStringLiteral("f"), QStringLiteral("p"), m_work + QStringLiteral("/a.txt"));
    QSignalSpy saves(&job, &SubmittedFile::saveJobRequest);
    const qint64 size = job.getTotalSize();
    QVERIFY(!job.setJobName(name));
    QCOMPARE(job.getJobName(), QStringLiteral("a.txt"));
    QCOMPARE(job.getTotalSize(), size);
    QCOMPARE(saves.count(), 0);
}

void TestSubmittedFile::wholeVolumeIsNamedByItsLabel()
{
    // A small mounted volume that a test may read whole.
    const QString root = QStringLiteral("/dev/shm");
    const QStorageInfo storage(root);
    if (!storage.isValid() || QDir::cleanPath(storage.rootPath()) != root)
        QSKIP("no small mounted volume to submit on this machine");

    LabelDesktop labelled(QStringLiteral("DATA"));
    Desktop::setInstance(&labelled);
    SubmittedFile data(QStringLiteral("f"), QStringLiteral("p"), root);
    QCOMPARE(data.getJobName(), QStringLiteral("DATA"));

    LabelDesktop bare { QString() };
    Desktop::setInstance(&bare);
    SubmittedFile job(QStringLiteral("f"), QStringLiteral("p"), root);
    QCOMPARE(job.getJobName(), QStringLiteral("JOB"));

    // A label that is no single name falls back as well.
    LabelDesktop odd(QStringLiteral("A/B"));
    Desktop::setInstance(&odd);
    QCOMPARE(
        SubmittedFile(QStringLiteral("f"), QStringLiteral("p"), root).getJobName(), QStringLiteral("JOB"));

    // A plain folder is named after itself whatever the platform says.
    Desktop::setInstance(&labelled);
    QVERIFY(QDir().mkpath(m_work + QStringLiteral("/plain")));
    QCOMPARE(SubmittedFile(QStringLiteral("f"), QStringLiteral("p"), m_work + QStringLiteral("/plain"))
                 .getJobName(),
        QStringLiteral("plain"));
}

void TestSubmittedFile::completeUploadGoesThroughEveryStatus()
{
    QVERIFY(writeFile(m_work + QStringLiteral("/job/a.bin"), 2048 * 7));
    QVERIFY(writeFile(m_work + QStringLiteral("/job/b.bin"), 0));
    SubmittedFile job(QStringLiteral("f"), QStringLiteral("p"), m_work + QStringLiteral("/job"));
    QList<int> statuses;
    connect(&job, &SubmittedFile::StatusChanged, this, [&] { statuses.append(job.getStatus()); });
    QSignalSpy attemptEnded(&job, qOverload<>(&SubmittedFile::SubmitFinished));
    QSignalSpy settled(&job, qOverload<SubmittedFile *>(&SubmittedFile::SubmitFinished));

    QVERIFY(job.prepareUpload());
    job.setStartTime();
    QVERIFY(job.beginUpload());
    QCOMPARE(pumpAll(job), job.getTotalSize());
    QCOMPARE(job.getSentSize(), job.getTotalSize());
    QVERIFY(job.getTimeLeftText().endsWith(QStringLiteral(" left")));
    QVERIFY(job.endUpload());
    QCOMPARE(job.getStatus(), int(SubmitStatus::Verifying));
    QCOMPARE(job.getSentSize(), qint64(0)); // only while uploading
    job.finishUpload(SubmittedFile::Verdict::Accepted);

    QCOMPARE(
        statuses, (QList<int> { SubmitStatus::Uploading, SubmitStatus::Verifying, SubmitStatus::Finished }));
    QCOMPARE(attemptEnded.count(), 1);
    QCOMPARE(settled.count(), 1);
    QCOMPARE(job.getTimeLeftText(), job.getEndTime().toString(Qt::ISODate));
    QVERIFY(!job.getStartTimeText().isEmpty());

    // A second attempt starts again from the first byte.
    QVERIFY(job.prepareUpload());
    QVERIFY(job.beginUpload());
    QCOMPARE(job.getBytesSent(), qint64(0));
    QCOMPARE(pumpAll(job, 4096), job.getTotalSize());
}

void TestSubmittedFile::cancelAbortsTheStreamAndEndsInError()
{
    QVERIFY(writeFile(m_work + QStringLiteral("/big.bin"), 1 << 20));
    SubmittedFile job(QStringLiteral("f"), QStringLiteral("p"), m_work + QStringLiteral("/big.bin"));
    QSignalSpy settled(&job, qOverload<SubmittedFile *>(&SubmittedFile::SubmitFinished));
    QVERIFY(job.prepareUpload());
    QVERIFY(job.beginUpload());
    std::vector<char> buffer(2048);
    QCOMPARE(job.readData(buffer.data(), 2048), qint64(2048));
    job.cancel();
    // Never a short read that would look like the end of the data.
    QCOMPARE(job.readData(buffer.data(), 2048), qint64(-1));
    QVERIFY(!job.endUpload());
    QCOMPARE(job.getStatus(), int(SubmitStatus::Error));
    // Even if the server answered (it got a request cut short), no success.
    job.finishUpload(SubmittedFile::Verdict::Accepted);
    QCOMPARE(job.getStatus(), int(SubmitStatus::Error));
    QCOMPARE(settled.count(), 1);
    // A cancelled job does not start again.
    QVERIFY(!job.prepareUpload());
}

void TestSubmittedFile::changedContentAbortsTheStream()
{
    const QString path = m_work + QStringLiteral("/job/a.bin");
    QVERIFY(writeFile(path, 100000));
    SubmittedFile job(QStringLiteral("f"), QStringLiteral("p"), m_work + QStringLiteral("/job"));
    QVERIFY(job.prepareUpload());
    QVERIFY(job.beginUpload());
    std::vector<char> buffer(2048);
    QCOMPARE(job.readData(buffer.data(), 2048), qint64(2048));
    QVERIFY(::truncate(QFile::encodeName(path).constData(), 10) == 0);
    QCOMPARE(pumpAll(job), qint64(-1));
    QVERIFY(!job.endUpload());
    job.finishUpload(SubmittedFile::Verdict::Refused);
    QCOMPARE(job.getStatus(), int(SubmitStatus::Error));
    QVERIFY(!job.errorString().isEmpty());
}

void TestSubmittedFile::successNeedsTheServersAnswer()
{
    QVERIFY(writeFile(m_work + QStringLiteral("/a.bin"), 5000));
    SubmittedFile job(QStringLiteral("f"), QStringLiteral("p"), m_work + QStringLiteral("/a.bin"));
    QSignalSpy attemptEnded(&job, qOverload<>(&SubmittedFile::SubmitFinished));
    QSignalSpy settled(&job, qOverload<SubmittedFile *>(&SubmittedFile::SubmitFinished));

    // Every byte out, but the connection broke before the answer.
    QVERIFY(job.prepareUpload());
    QVERIFY(job.beginUpload());
    QCOMPARE(pumpAll(job), job.getTotalSize());
    QVERIFY(job.endUpload());
    job.finishUpload(SubmittedFile::Verdict::NoAnswer);
    QCOMPARE(job.getStatus(), int(SubmitStatus::Error));
    QCOMPARE(attemptEnded.count(), 1);
    // Settled: the server may hold it, so it is never sent again alone.
    QCOMPARE(settled.count(), 1);
    QVERIFY(job.deliveryNote().contains(QStringLiteral("may have taken it")));

    // The server refused it: settled, in error.
    QVERIFY(job.prepareUpload());
    QVERIFY(job.beginUpload());
    QCOMPARE(pumpAll(job), job.getTotalSize());
    QVERIFY(job.endUpload());
    job.finishUpload(SubmittedFile::Verdict::Refused, QStringLiteral("no room"));
    QCOMPARE(job.getStatus(), int(SubmitStatus::Error));
    QCOMPARE(settled.count(), 2);
    QCOMPARE(job.deliveryNote(), QStringLiteral("The server refused the job: no room"));

    // Not one byte left: waits for the connection again, unsettled.
    QVERIFY(job.prepareUpload());
    job.finishUpload(SubmittedFile::Verdict::NotSent);
    QCOMPARE(job.getStatus(), int(SubmitStatus::WaitingConnection));
    QCOMPARE(settled.count(), 2);

    // The close never came (sending failed): no success whatever the code.
    QVERIFY(job.prepareUpload());
    QVERIFY(job.beginUpload());
    job.finishUpload(SubmittedFile::Verdict::Accepted);
    QCOMPARE(job.getStatus(), int(SubmitStatus::Error));
}

void TestSubmittedFile::progressPastFourGigabytes()
{
    // Sparse: 4.5 GiB of holes reads fast and takes no disk.
    const QString path = m_work + QStringLiteral("/huge.bin");
    const qint64 size = (qint64(9) << 29) + 123;
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        QVERIFY(::ftruncate(fd, size) == 0);
        ::close(fd);
    }
    SubmittedFile job(QStringLiteral("f"), QStringLiteral("p"), path);
    QVERIFY(job.getTotalSize() > size);
    QVERIFY(job.prepareUpload());
    job.setStartTime();
    QVERIFY(job.beginUpload());
    std::vector<char> buffer(1 << 20);
    qint64 sent = 0;
    const qint64 mark = qint64(17) << 28; // past 4 GiB, before the end
    while (sent < mark)
        sent += job.readData(buffer.data(), qint64(buffer.size()));
    QCOMPARE(job.getStatus(), int(SubmitStatus::Uploading));
    QCOMPARE(job.getSentSize(), sent);
    QVERIFY(job.getSentSize() > (qint64(1) << 32));
    const QString left = job.getTimeLeftText();
    QVERIFY2(left.endsWith(QStringLiteral(" left")) && !left.startsWith(QLatin1Char('-')), qPrintable(left));
    QCOMPARE(pumpAll(job, qint64(buffer.size())) + sent, job.getTotalSize());
    QVERIFY(job.endUpload());
}

VORNEX_TEST_GUILESS_MAIN(TestSubmittedFile)
#include "tst_submittedfile.moc"
