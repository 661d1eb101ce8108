#include "ProgressModel.h"
#include "ServerTime.h"
#include "TestEnv.h"

#include <QAbstractItemModelTester>
#include <QSortFilterProxyModel>
#include <QtTest>

using Client::ProgressModel;

namespace {

ProgressData record(const QString &job, const QString &submitted)
{
    ProgressData data;
    data.fullUserName = QStringLiteral("User ") + job;
    data.jobName = job;
    data.serverName = QStringLiteral("Server");
    data.flowName = QStringLiteral("Flow");
    data.submitPoint = QStringLiteral("Point");
    data.submittedTime = submitted;
    data.state = QStringLiteral("Processing");
    data.enteredState = QStringLiteral("entered ") + job;
    data.onHold = QStringLiteral("No");
    data.checkpoint = QStringLiteral("Check");
    return data;
}

QString hoursAgo(double hours)
{
    return ServerTime::format(QDateTime::currentDateTimeUtc().addSecs(qint64(-hours * 3600.0)));
}

QStringList jobNames(const ProgressModel &model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names.append(model.data(model.index(row, ProgressModel::JobNameColumn)).toString());
    return names;
}

} // namespace

class TestProgressModel : public QObject
{
    Q_OBJECT

private slots:
    void columnsAndRoles();
    void ageLimitKeepsRecentAndUnreadableRecords();
    void serverTimesAreComparedAsInstants();
    void submittedSortsByDate();
};

void TestProgressModel::columnsAndRoles()
{
    ProgressModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.columnCount(), 10);
    const QStringList headers = { QStringLiteral("Job name"), QStringLiteral("User name"),
        QStringLiteral("Server name"), QStringLiteral("Flow name"), QStringLiteral("Submit point"),
        QStringLiteral("Submitted"), QStringLiteral("State"), QStringLiteral("Entered state"),
        QStringLiteral("On hold"), QStringLiteral("Checkpoint") };
    for (int column = 0; column < headers.size(); ++column)
        QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), headers.at(column));
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

    const QString submitted = hoursAgo(1);
    model.setRecords({ record(QStringLiteral("a"), submitted), record(QStringLiteral("b"), QString()),
        record(QStringLiteral("c"), QStringLiteral("yesterday")) });
    QCOMPARE(model.rowCount(), 3);
    const QModelIndex entered = model.index(0, ProgressModel::EnteredStateColumn);
    QCOMPARE(model.data(entered).toString(), QStringLiteral("entered a"));
    QCOMPARE(model.data(entered, Qt::ToolTipRole).toString(), QStringLiteral("entered a"));
    QCOMPARE(model.data(entered, ProgressModel::SortRole).toString(), QStringLiteral("entered a"));
    QVERIFY(!model.data(entered, Qt::ForegroundRole).isValid());
    QCOMPARE(model.data(model.index(0, ProgressModel::CheckpointColumn)).toString(), QStringLiteral("Check"));

    const QModelIndex time = model.index(0, ProgressModel::SubmittedColumn);
    const QDateTime parsed = ServerTime::parse(submitted);
    QCOMPARE(model.data(time, ProgressModel::SortRole).toDateTime(), parsed);
    QCOMPARE(
        model.data(time).toString(), QLocale::system().toString(parsed.toLocalTime(), QLocale::ShortFormat));
    QCOMPARE(model.data(time, Qt::ToolTipRole), model.data(time));
    // An empty time stays empty text; one that does not read shows empty.
    QCOMPARE(model.data(model.index(1, ProgressModel::SubmittedColumn)).toString(), QString());
    QCOMPARE(model.data(model.index(2, ProgressModel::SubmittedColumn)).toString(), QString());
    QVERIFY(!model.data(model.index(2, ProgressModel::SubmittedColumn), ProgressModel::SortRole)
                 .toDateTime()
                 .isValid());

    // The time a job entered its state, as the server sends it, is shown
    // like "Submitted".
    ProgressData timed = record(QStringLiteral("d"), submitted);
    timed.enteredState = hoursAgo(0.5);
    model.setRecords({ timed });
    const QModelIndex enteredTime = model.index(0, ProgressModel::EnteredStateColumn);
    const QDateTime enteredAt = ServerTime::parse(timed.enteredState);
    QCOMPARE(model.data(enteredTime).toString(),
        QLocale::system().toString(enteredAt.toLocalTime(), QLocale::ShortFormat));
    QCOMPARE(model.data(enteredTime, ProgressModel::SortRole).toDateTime(), enteredAt);
}

void TestProgressModel::ageLimitKeepsRecentAndUnreadableRecords()
{
    ProgressModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.ageLimit(), 10.0);
    model.setRecords(
        { record(QStringLiteral("recent"), hoursAgo(0.5)), record(QStringLiteral("old"), hoursAgo(3)),
            record(QStringLiteral("ancient"), hoursAgo(30)), record(QStringLiteral("future"), hoursAgo(-2)),
            record(QStringLiteral("unreadable"), QStringLiteral("??")),
            record(QStringLiteral("none"), QString()) });
    QCOMPARE(jobNames(model),
        QStringList({ QStringLiteral("recent"), QStringLiteral("old"), QStringLiteral("future"),
            QStringLiteral("unreadable"), QStringLiteral("none") }));

    // A new limit shows at once, without another refresh.
    QVERIFY(model.setAgeLimit(1.5));
    QVERIFY(!model.setAgeLimit(1.5));
    QCOMPARE(jobNames(model),
        QStringList({ QStringLiteral("recent"), QStringLiteral("future"), QStringLiteral("unreadable"),
            QStringLiteral("none") }));
    QVERIFY(model.setAgeLimit(0));
    QCOMPARE(jobNames(model),
        QStringList({ QStringLiteral("future"), QStringLiteral("unreadable"), QStringLiteral("none") }));
    QVERIFY(model.setAgeLimit(48));
    QCOMPARE(model.rowCount(), 6);
    QCOMPARE(model.recordAt(2).jobName, QStringLiteral("ancient"));
    QCOMPARE(model.recordAt(6).jobName, QString());
}

void TestProgressModel::serverTimesAreComparedAsInstants()
{
    // Local times as the pages once wrote them are read as local times; the
    // server's are UTC. Both meet the same threshold, whatever the zone.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime threshold = now.addSecs(-3600);
    const QString localForm = QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz");
    QVERIFY(ProgressModel::isWithin(
        record(QStringLiteral("a"), ServerTime::format(now.addSecs(-3500))), threshold));
    QVERIFY(!ProgressModel::isWithin(
        record(QStringLiteral("a"), ServerTime::format(now.addSecs(-3700))), threshold));
    QVERIFY(ProgressModel::isWithin(
        record(QStringLiteral("a"), now.addSecs(-3500).toLocalTime().toString(localForm)), threshold));
    QVERIFY(!ProgressModel::isWithin(
        record(QStringLiteral("a"), now.addSecs(-3700).toLocalTime().toString(localForm)), threshold));
}

void TestProgressModel::submittedSortsByDate()
{
    ProgressModel model;
    QSortFilterProxyModel sorter;
    sorter.setSourceModel(&model);
    sorter.setSortRole(ProgressModel::SortRole);
    QAbstractItemModelTester tester(&sorter, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // As text, "9 minutes ago" would sort among the hours differently.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    model.setRecords({ record(QStringLiteral("b"), ServerTime::format(now.addDays(-1).addSecs(-60))),
        record(QStringLiteral("c"), ServerTime::format(now.addSecs(-9 * 60))),
        record(QStringLiteral("a"), ServerTime::format(now.addMonths(-1).addSecs(5 * 3600))) });
    QVERIFY(model.setAgeLimit(24.0 * 40));
    sorter.sort(ProgressModel::SubmittedColumn, Qt::AscendingOrder);
    QStringList order;
    for (int row = 0; row < sorter.rowCount(); ++row)
        order.append(sorter.index(row, 0).data().toString());
    QCOMPARE(order, QStringList({ QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") }));
}

VORNEX_TEST_GUILESS_MAIN(TestProgressModel)
#include "tst_progressmodel.moc"
