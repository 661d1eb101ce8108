#include "CheckPoint.h"
#include "CheckPointJob.h"
#include "CheckpointJobsModel.h"
#include "CheckpointsModel.h"
#include "FileHandler.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "ServerTime.h"
#include "TestEnv.h"
#include "WorkFlags.h"

#include <QAbstractItemModelTester>
#include <QColor>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QtTest>

using Client::CheckpointJobsModel;
using Client::CheckpointsModel;

namespace {

CheckPointJobData record(const QString &name, qint64 size, const QString &submitted)
{
    CheckPointJobData data;
    data.name = name;
    data.fullUserName = QStringLiteral("User of ") + name;
    data.size = size;
    data.submitTime = submitted;
    data.waitingTime = QStringLiteral("12 min");
    return data;
}

testserver::Flow serverFlow(const QString &id, const QStringList &checkPoints)
{
    testserver::Flow flow;
    flow.id = id;
    flow.name = QStringLiteral("Flow ") + id;
    for (const QString &name : checkPoints) {
        testserver::CheckPoint check;
        check.id = id + QLatin1Char('-') + name;
        check.name = name;
        testserver::Job job;
        job.id = check.id + QStringLiteral("-job");
        job.name = QStringLiteral("job.pdf");
        check.jobs = { job, job };
        check.jobs[1].id += QLatin1Char('2');
        flow.checkPoints.append(check);
    }
    return flow;
}

QStringList column(const QAbstractItemModel &model, int col)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts.append(model.index(row, col).data().toString());
    return texts;
}

} // namespace

class TestCheckpointModels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void checkpointsOfUsableConnections();
    void jobColumnsAndRoles();
    void jobSorting();
    void jobsOutliveTheirRecords();
    void rowOperations();
};

void TestCheckpointModels::initTestCase()
{
    ServerTest::useShortTimeouts();
}

void TestCheckpointModels::checkpointsOfUsableConnections()
{
    auto server = ServerTest::startServer();
    QVERIFY(server);
    server->setFlows({ serverFlow(QStringLiteral("A"), { QStringLiteral("Proof"), QStringLiteral("Press") }),
        serverFlow(QStringLiteral("B"), {}), serverFlow(QStringLiteral("C"), { QStringLiteral("Review") }) });
    ServerProxyPtr proxy(new ServerProxy);
    ServerConnection *connection = ServerTest::addConnection(*proxy, server->port());
    CheckpointsModel model(proxy);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.columnCount(), 4);
    QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Jobs waiting"));
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    QSignalSpy updated(&model, &CheckpointsModel::updated);
    connect(
        proxy.get(), &ServerProxy::updateCheckPointsRequest, &model, &CheckpointsModel::updateRequestHandler);

    proxy->startUpdatingData(UpdateFlags::CheckPoints);
    QVERIFY(updated.wait(10000));
    QCOMPARE(column(model, CheckpointsModel::CheckpointColumn),
        (QStringList { QStringLiteral("Proof"), QStringLiteral("Press"), QStringLiteral("Review") }));
    QCOMPARE(column(model, CheckpointsModel::FlowNameColumn),
        (QStringList { QStringLiteral("Flow A"), QStringLiteral("Flow A"), QStringLiteral("Flow C") }));
    QCOMPARE(column(model, CheckpointsModel::ServerNameColumn).first(), QStringLiteral("Test Server"));
    const QModelIndex count = model.index(0, CheckpointsModel::JobsWaitingColumn);
    QCOMPARE(count.data().userType(), QMetaType::Int);
    QCOMPARE(count.data().toInt(), 2);
    QVERIFY(!model.index(0, 0).data(Qt::ToolTipRole).isValid());
    QCOMPARE(model.checkPointAt(2)->getName(), QStringLiteral("Review"));
    QCOMPARE(model.checkPointAt(3), nullptr);
    QCOMPARE(model.checkPointAt(-1), nullptr);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.refreshRows(1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.last().at(0).toModelIndex(), model.index(1, 0));
    QCOMPARE(changed.last().at(1).toModelIndex(), model.index(1, 3));
    model.refreshRows(-1);
    QCOMPARE(changed.last().at(1).toModelIndex(), model.index(2, 3));
    model.refreshRows(3);
    QCOMPARE(changed.count(), 2);

    // The proxy still holds the flows, but the edited settings no longer
    // name a usable server.
    for (int variant = 0; variant < 4; ++variant) {
        connection->setEnabled(variant != 0);
        connection->setUser(variant == 1 ? QString() : QStringLiteral("user"));
        connection->setHost(variant == 2 ? QString() : QStringLiteral("127.0.0.1"));
        connection->setPort(variant == 3 ? 0 : server->port());
        model.updateRequestHandler();
        QCOMPARE(model.rowCount(), 0);
    }
    connection->setPort(server->port());
    model.updateRequestHandler();
    QCOMPARE(model.rowCount(), 3);
}

void TestCheckpointModels::jobColumnsAndRoles()
{
    CheckPoint check(nullptr, QStringLiteral("C"), QStringLiteral("F"), QStringLiteral("Check"));
    const QString submitted = QStringLiteral("2024-05-01T10:00:00.000Z");
    check.setJobs({ QStringLiteral("a"), QStringLiteral("b") },
        { { QStringLiteral("a"), record(QStringLiteral("a.pdf"), 3000000000LL, submitted) },
            { QStringLiteral("b"), record(QStringLiteral("b.pdf"), 10, QStringLiteral("someday")) } });
    CheckpointJobsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.columnCount(), 5);
    const QStringList headers = { QStringLiteral("Job name"), QStringLiteral("User name"),
        QStringLiteral("Size"), QStringLiteral("Submitted"), QStringLiteral("Waiting since") };
    for (int col = 0; col < headers.size(); ++col)
        QCOMPARE(model.headerData(col, Qt::Horizontal).toString(), headers.at(col));
    QCOMPARE(model.rowCount(), 0);

    model.setCheckPoint(&check);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("a.pdf"));
    QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("User of a.pdf"));
    // Over 2 GiB, and the size as the core library writes it.
    QCOMPARE(model.index(0, 2).data().toString(), Tamsor::FileHandler::formatSize(3000000000LL));
    QCOMPARE(model.index(0, 2).data(CheckpointJobsModel::SortRole).toLongLong(), 3000000000LL);
    const QDateTime time = ServerTime::parse(submitted);
    QCOMPARE(model.index(0, 3).data(CheckpointJobsModel::SortRole).toDateTime(), time);
    QCOMPARE(model.index(0, 3).data().toString(),
        QLocale::system().toString(time.toLocalTime(), QLocale::ShortFormat));
    QCOMPARE(model.index(1, 3).data().toString(), QStringLiteral("someday"));
    QCOMPARE(model.index(1, 3).data(CheckpointJobsModel::SortRole).toString(), QStringLiteral("someday"));
    QCOMPARE(model.index(1, 4).data().toString(), QStringLiteral("12 min"));
    QVERIFY(!model.index(0, 0).data(Qt::ToolTipRole).isValid());

    QCOMPARE(model.index(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));
    QVERIFY(check.setJobStatus(QStringLiteral("b"), CheckPointJobData::kPushWaiting));
    for (int col = 0; col < 5; ++col)
        QCOMPARE(model.index(1, col).data(Qt::ForegroundRole).value<QColor>(), QColor(220, 150, 0));
    QCOMPARE(model.index(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));

    model.setCheckPoint(nullptr);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!model.jobAt(0));
}

void TestCheckpointModels::jobSorting()
{
    CheckPoint check(nullptr, QStringLiteral("C"), QStringLiteral("F"), QStringLiteral("Check"));
    const QDateTime base = QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);
    check.setJobs({ QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3") },
        { { QStringLiteral("1"),
              record(QStringLiteral("one"), 900 * 1024, ServerTime::format(base.addDays(1))) },
            { QStringLiteral("2"),
                record(QStringLiteral("two"), 1200 * 1024 * 1024LL,
                    ServerTime::format(base.addSecs(9 * 3600))) },
            { QStringLiteral("3"),
                record(QStringLiteral("three"), 5 * 1024 * 1024, ServerTime::format(base.addDays(-40))) } });
    CheckpointJobsModel model;
    model.setCheckPoint(&check);
    QSortFilterProxyModel sorter;
    sorter.setSourceModel(&model);
    sorter.setSortRole(CheckpointJobsModel::SortRole);
    QAbstractItemModelTester tester(&sorter, QAbstractItemModelTester::FailureReportingMode::QtTest);
    sorter.sort(CheckpointJobsModel::SubmittedColumn, Qt::AscendingOrder);
    QCOMPARE(column(sorter, 0),
        (QStringList { QStringLiteral("three"), QStringLiteral("two"), QStringLiteral("one") }));
    sorter.sort(CheckpointJobsModel::SizeColumn, Qt::AscendingOrder);
    QCOMPARE(column(sorter, 0),
        (QStringList { QStringLiteral("one"), QStringLiteral("three"), QStringLiteral("two") }));
}

void TestCheckpointModels::jobsOutliveTheirRecords()
{
    CheckPoint check(nullptr, QStringLiteral("C"), QStringLiteral("F"), QStringLiteral("Check"));
    check.setJobs(
        { QStringLiteral("a") }, { { QStringLiteral("a"), record(QStringLiteral("a.pdf"), 1, QString()) } });
    CheckpointJobsModel model;
    model.setCheckPoint(&check);
    const CheckPointJobPtr job = model.jobAt(0);
    QVERIFY(job);
    QCOMPARE(job->checkPoint(), &check);
    // A refresh replaces the records; a push takes the job out.
    check.setJobs(
        { QStringLiteral("b") }, { { QStringLiteral("b"), record(QStringLiteral("b.pdf"), 2, QString()) } });
    QCOMPARE(job->record().name, QStringLiteral("a.pdf"));
    QVERIFY(!job->refreshRecord());
    QCOMPARE(job->record().name, QStringLiteral("a.pdf"));
    // Looking the job up never adds it back.
    QCOMPARE(job->status(), 0);
    QVERIFY(!check.hasJob(QStringLiteral("a")));
    QCOMPARE(check.getJobCount(), 1);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("a.pdf"));
    model.updateRequestHandler();
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("b.pdf"));
}

void TestCheckpointModels::rowOperations()
{
    CheckPoint check(nullptr, QStringLiteral("C"), QStringLiteral("F"), QStringLiteral("Check"));
    check.setJobs({ QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z") },
        { { QStringLiteral("x"), record(QStringLiteral("x"), 1, QString()) },
            { QStringLiteral("y"), record(QStringLiteral("y"), 1, QString()) },
            { QStringLiteral("z"), record(QStringLiteral("z"), 1, QString()) } });
    CheckpointJobsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.removeJobRow(0);
    model.setCheckPoint(&check);
    QCOMPARE(model.rowOfJob(QStringLiteral("y")), 1);
    QCOMPARE(model.rowOfJob(QStringLiteral("nope")), -1);
    QCOMPARE(model.findJob(QStringLiteral("z"))->jobId(), QStringLiteral("z"));
    QVERIFY(!model.findJob(QStringLiteral("nope")));
    model.removeJobRow(1);
    model.removeJobRow(7);
    model.removeJobRow(-1);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.jobAt(1)->jobId(), QStringLiteral("z"));
    QVERIFY(!model.jobAt(2));
}

VORNEX_TEST_MAIN(TestCheckpointModels)
#include "tst_checkpointmodels.moc"
