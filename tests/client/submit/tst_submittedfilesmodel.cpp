#include "SubmitPoint.h"
#include "SubmitStatus.h"
#include "SubmittedFile.h"
#include "SubmittedFilesModel.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "FileHandler.h"

using Client::SubmittedFilesModel;

using TestFiles::makeFile;

class TestSubmittedFilesModel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void rowsFollowThePoint();
    void transferColumnsWhileUploading();
    void timerRedrawsTransferColumns();
    void currentJobAndRenames();

private:
    QTemporaryDir m_dir;
};

void TestSubmittedFilesModel::init()
{
    QVERIFY(m_dir.isValid());
}

void TestSubmittedFilesModel::rowsFollowThePoint()
{
    const QDir dir(m_dir.path());
    SubmitPointPtr point(
        new SubmitPoint(nullptr, QStringLiteral("p1"), QStringLiteral("f1"), QStringLiteral("In")));
    point->createJob(makeFile(dir.filePath(QStringLiteral("a.txt")), 10));
    SubmitPointPtr other(
        new SubmitPoint(nullptr, QStringLiteral("p2"), QStringLiteral("f1"), QStringLiteral("Out")));

    SubmittedFilesModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 5);
    const QStringList headers { QStringLiteral("Job name"), QStringLiteral("Size"),
        QStringLiteral("Transferred"), QStringLiteral("Start"), QStringLiteral("End") };
    for (int column = 0; column < 5; ++column)
        QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), headers.at(column));
    QVERIFY(!model.headerData(5, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

    model.setSubmitPoint(point);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("a.txt"));
    QCOMPARE(model.index(0, 0).data(SubmittedFilesModel::SortRole).toString(), QStringLiteral("a.txt"));
    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("Waiting"));
    QCOMPARE(model.index(0, 3).data().toString(), QString());
    QCOMPARE(model.index(0, 4).data().toString(), QString());
    QVERIFY(!model.index(0, 0).data(Qt::ToolTipRole).isValid());

    // Jobs the point gains appear as inserted rows.
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    point->createJob(makeFile(dir.filePath(QStringLiteral("b.txt")), 20));
    point->addJobs({ makeFile(dir.filePath(QStringLiteral("c.txt")), 30),
        makeFile(dir.filePath(QStringLiteral("d.txt")), 40) });
    QCOMPARE(inserted.count(), 3);
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(model.index(3, 0).data().toString(), QStringLiteral("d.txt"));

    model.removeJob(1);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(point->getJobCount(), 3);
    QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("c.txt"));
    model.removeJob(7);
    QCOMPARE(model.rowCount(), 3);

    // A point's jobs no longer shown do not reach the model.
    model.setSubmitPoint(other);
    QCOMPARE(model.rowCount(), 0);
    point->createJob(makeFile(dir.filePath(QStringLiteral("e.txt")), 5));
    QCOMPARE(model.rowCount(), 0);

    // A list changed behind the model's back is read anew on the next tick.
    model.setSubmitPoint(point);
    QCOMPARE(model.rowCount(), 4);
    point->removeJob(point->getJob(0).get());
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.timer();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("c.txt"));

    model.setSubmitPoint(SubmitPointPtr());
    QCOMPARE(model.rowCount(), 0);
}

void TestSubmittedFilesModel::transferColumnsWhileUploading()
{
    const QDir dir(m_dir.path());
    SubmitPointPtr point(
        new SubmitPoint(nullptr, QStringLiteral("p1"), QStringLiteral("f1"), QStringLiteral("In")));
    // Large enough that one byte short of the end is 99%.
    const QString path = makeFile(dir.filePath(QStringLiteral("big.bin")), 5000);
    const SubmittedFilePtr job = point->createJob(path);
    SubmittedFilesModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setSubmitPoint(point);

    const qint64 total = job->getTotalSize();
    QVERIFY(total >= 5000);
    QCOMPARE(model.index(0, 1).data().toString(), Tamsor::FileHandler::formatSize(total));

    QVERIFY(job->prepareUpload());
    job->setStartTime();
    QVERIFY(job->beginUpload());
    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("0%"));

    QByteArray buffer(int(total), '\0');
    QCOMPARE(job->readData(buffer.data(), total - 1), total - 1);
    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("99%"));
    QCOMPARE(model.index(0, 2).data(SubmittedFilesModel::SortRole).toString(), QStringLiteral("99%"));

    const QDateTime start = QDateTime::fromString(job->getStartTimeText(), Qt::ISODate);
    QVERIFY(start.isValid());
    QCOMPARE(model.index(0, 3).data().toString(), QLocale::system().toString(start, QLocale::ShortFormat));
    QCOMPARE(model.index(0, 3).data(SubmittedFilesModel::SortRole).toDateTime(), start);
    // While uploading the end column is the time left, as it stands.
    const QString left = model.index(0, 4).data().toString();
    QVERIFY2(left.endsWith(QStringLiteral(" left")), qPrintable(left));
    QCOMPARE(model.index(0, 4).data(SubmittedFilesModel::SortRole).toString(), left);

    QCOMPARE(job->readData(buffer.data(), 1), qint64(1));
    QVERIFY(job->endUpload());
    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("Verifying"));
    job->finishUpload(SubmittedFile::Verdict::Accepted);
    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("Finished"));
    const QDateTime end = job->getEndTime();
    QCOMPARE(model.index(0, 4).data().toString(),
        QLocale::system().toString(
            QDateTime::fromString(end.toString(Qt::ISODate), Qt::ISODate), QLocale::ShortFormat));
    QVERIFY(model.index(0, 4).data(SubmittedFilesModel::SortRole).toDateTime().isValid());

    // Status texts, any unknown value reading as an error.
    QCOMPARE(SubmittedFilesModel::statusText(SubmitStatus::WaitingConnection),
        QStringLiteral("Waiting connection"));
    QCOMPARE(SubmittedFilesModel::statusText(SubmitStatus::None), QStringLiteral("None"));
    QCOMPARE(SubmittedFilesModel::statusText(SubmitStatus::Error), QStringLiteral("Error"));
    QCOMPARE(SubmittedFilesModel::statusText(42), QStringLiteral("Error"));
}

void TestSubmittedFilesModel::timerRedrawsTransferColumns()
{
    const QDir dir(m_dir.path());
    SubmitPointPtr point(
        new SubmitPoint(nullptr, QStringLiteral("p1"), QStringLiteral("f1"), QStringLiteral("In")));
    SubmittedFilesModel model;
    QCOMPARE(model.refreshTimer().interval(), 500);
    QVERIFY(model.refreshTimer().isActive());
    model.setSubmitPoint(point);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    // No rows, nothing to redraw.
    QVERIFY(!changed.wait(700));
    point->createJob(makeFile(dir.filePath(QStringLiteral("a.txt")), 10));
    point->createJob(makeFile(dir.filePath(QStringLiteral("b.txt")), 10));
    QVERIFY(changed.wait(1500));
    QCOMPARE(changed.first().at(0).toModelIndex(), model.index(0, 2));
    QCOMPARE(changed.first().at(1).toModelIndex(), model.index(1, 4));
}

void TestSubmittedFilesModel::currentJobAndRenames()
{
    const QDir dir(m_dir.path());
    SubmitPointPtr point(
        new SubmitPoint(nullptr, QStringLiteral("p1"), QStringLiteral("f1"), QStringLiteral("In")));
    const SubmittedFilePtr first = point->createJob(makeFile(dir.filePath(QStringLiteral("a.txt")), 10));
    const SubmittedFilePtr second = point->createJob(makeFile(dir.filePath(QStringLiteral("b.txt")), 10));
    SubmittedFilesModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(!model.fileAt(0));
    model.setSubmitPoint(point);

    QCOMPARE(model.fileAt(1), second);
    QCOMPARE(model.currentFile(), second);
    QCOMPARE(model.fileAt(-1), second);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(second->setJobName(QStringLiteral("renamed")));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toModelIndex(), model.index(0, 0));
    QCOMPARE(changed.first().at(1).toModelIndex(), model.index(1, 0));
    QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("renamed"));

    // Only the current job's renames are followed.
    QCOMPARE(model.fileAt(0), first);
    changed.clear();
    QVERIFY(second->setJobName(QStringLiteral("again")));
    QCOMPARE(changed.count(), 0);

    model.removeJob(0);
    QVERIFY(!model.currentFile());
    QCOMPARE(model.rowOf(second.get()), 0);
    QCOMPARE(model.rowOf(first.get()), -1);
}

VORNEX_TEST_MAIN(TestSubmittedFilesModel)

#include "tst_submittedfilesmodel.moc"
