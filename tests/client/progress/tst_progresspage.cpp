#include "ProgressModel.h"
#include "ProgressNames.h"
#include "ProgressPage.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "ServerTime.h"
#include "TestEnv.h"
#include "UpdateControl.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLineEdit>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QtTest>

using Client::ProgressModel;
using Client::ProgressPage;

namespace {

testserver::ProgressEntry entry(const QString &job, double hoursAgo)
{
    testserver::ProgressEntry progress;
    progress.fullUserName = QStringLiteral("Test User");
    progress.jobName = job;
    progress.serverName = QStringLiteral("Test Server");
    progress.flowName = QStringLiteral("Flow");
    progress.submitPoint = QStringLiteral("Point");
    progress.submittedTime
        = ServerTime::format(QDateTime::currentDateTimeUtc().addSecs(qint64(-hoursAgo * 3600.0)));
    progress.state = QStringLiteral("Processing");
    progress.onHold = QStringLiteral("No");
    return progress;
}

QStringList shownJobs(const ProgressPage &page)
{
    QStringList names;
    const QAbstractItemModel *model = page.view()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        names.append(model->index(row, ProgressModel::JobNameColumn).data().toString());
    names.sort();
    return names;
}

QStringList lastHoursAsked(const testserver::Server &server)
{
    QStringList asked;
    for (const testserver::JournalEntry &call : server.journal()) {
        if (call.operation == QLatin1String("GetProgressData"))
            asked.append(call.arguments.value(QStringLiteral("lastHours")));
    }
    return asked;
}

} // namespace

class TestProgressPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void requestCounts();
    void storedHours_data();
    void storedHours();
    void typedHours();
    void settingsSavedOnDestruction();
    void listsAndFiltersTheServersRecords();
};

void TestProgressPage::initTestCase()
{
    ServerTest::useShortTimeouts();
}

void TestProgressPage::init()
{
    QSettings().clear();
}

void TestProgressPage::requestCounts()
{
    QCOMPARE(ProgressPage::requestCount(10), 10);
    QCOMPARE(ProgressPage::requestCount(1.5), 2);
    QCOMPARE(ProgressPage::requestCount(0.5), 1);
    QCOMPARE(ProgressPage::requestCount(0), 1);
    double hours = -1;
    QVERIFY(ProgressPage::parseHours(QStringLiteral("99"), &hours));
    QCOMPARE(hours, 99.0);
    QVERIFY(ProgressPage::parseHours(QStringLiteral("2.5"), &hours));
    QCOMPARE(hours, 2.5);
    for (const char *bad : { "", "100", "-1", "1e3", "abc", "1.", ".5", "12.5" })
        QVERIFY2(!ProgressPage::parseHours(QString::fromLatin1(bad), &hours), bad);
}

void TestProgressPage::storedHours_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<double>("limit");
    QTest::addColumn<int>("count");
    QTest::newRow("none") << QVariant() << QStringLiteral("10") << 10.0 << 10;
    QTest::newRow("empty") << QVariant(QString()) << QStringLiteral("10") << 10.0 << 10;
    QTest::newRow("whole") << QVariant(QStringLiteral("24")) << QStringLiteral("24") << 24.0 << 24;
    QTest::newRow("fraction") << QVariant(QStringLiteral("1.5")) << QStringLiteral("1.5") << 1.5 << 2;
    QTest::newRow("zero") << QVariant(QStringLiteral("0")) << QStringLiteral("0") << 0.0 << 1;
    QTest::newRow("garbage") << QVariant(QStringLiteral("ten")) << QStringLiteral("10") << 10.0 << 10;
    QTest::newRow("negative") << QVariant(QStringLiteral("-4")) << QStringLiteral("10") << 10.0 << 10;
}

void TestProgressPage::storedHours()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, shown);
    QFETCH(double, limit);
    QFETCH(int, count);
    if (stored.isValid())
        QSettings().setValue(ProgressNames::hoursKey(), stored);
    ServerProxyPtr proxy(new ServerProxy);
    proxy->setProgressCount(77);
    ProgressPage page(proxy);
    QCOMPARE(page.hoursEdit()->text(), shown);
    QCOMPARE(page.model()->ageLimit(), limit);
    QCOMPARE(proxy->progressCount(), count);
}

void TestProgressPage::typedHours()
{
    ServerProxyPtr proxy(new ServerProxy);
    ProgressPage page(proxy);
    QLineEdit *edit = page.hoursEdit();
    QCOMPARE(edit->maximumWidth(), 60);
    QCOMPARE(edit->minimumWidth(), 60);

    // An emptied edit means 0: the limit only, the servers are asked as before.
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QCOMPARE(edit->text(), QStringLiteral("0"));
    QCOMPARE(page.model()->ageLimit(), 0.0);
    QCOMPARE(proxy->progressCount(), 10);
    QCOMPARE(QSettings().value(ProgressNames::hoursKey()).toString(), QStringLiteral("0"));

    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("3.5"));
    QCOMPARE(edit->text(), QStringLiteral("3.5"));
    QCOMPARE(page.model()->ageLimit(), 3.5);
    QCOMPARE(proxy->progressCount(), 4);
    QCOMPARE(QSettings().value(ProgressNames::hoursKey()).toString(), QStringLiteral("3.5"));

    // The validator keeps what it cannot take out of the edit.
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("x"));
    QCOMPARE(edit->text(), QStringLiteral("3.5"));

    // Asked again for a value that rounds to the same count.
    proxy->setProgressCount(99);
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("3.2"));
    QCOMPARE(proxy->progressCount(), 4);
}

void TestProgressPage::settingsSavedOnDestruction()
{
    ServerProxyPtr proxy(new ServerProxy);
    QByteArray state;
    {
        ProgressPage page(proxy);
        page.view()->header()->resizeSection(2, 211);
        page.hoursEdit()->setText(QStringLiteral("7"));
        state = page.view()->header()->saveState();
    }
    QSettings settings;
    QCOMPARE(settings.value(ProgressNames::hoursKey()).toString(), QStringLiteral("7"));
    QCOMPARE(settings.value(ProgressNames::headersKey()).toByteArray(), state);
    ProgressPage again(proxy);
    QCOMPARE(again.view()->header()->sectionSize(2), 211);
    QCOMPARE(again.hoursEdit()->text(), QStringLiteral("7"));
}

void TestProgressPage::listsAndFiltersTheServersRecords()
{
    auto server = ServerTest::startServer();
    QVERIFY(server);
    server->setProgress({ entry(QStringLiteral("fresh"), 0.25), entry(QStringLiteral("hours old"), 5),
        entry(QStringLiteral("day old"), 30) });
    ServerProxyPtr proxy(new ServerProxy);
    ServerTest::addConnection(*proxy, server->port());
    ProgressPage page(proxy);
    QAbstractItemModelTester tester(
        page.view()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    emit page.selected();
    QTRY_COMPARE_WITH_TIMEOUT(
        shownJobs(page), QStringList({ QStringLiteral("fresh"), QStringLiteral("hours old") }), 10000);
    QCOMPARE(lastHoursAsked(*server), QStringList { QStringLiteral("10") });

    QLineEdit *edit = page.hoursEdit();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("1"));
    // The new limit shows at once; the servers are asked for the new hours.
    QCOMPARE(shownJobs(page), QStringList { QStringLiteral("fresh") });
    QTRY_COMPARE_WITH_TIMEOUT(lastHoursAsked(*server).value(1), QStringLiteral("1"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(proxy->updateThreads(proxy->getConnection(0)).isEmpty(), 10000);
    QCOMPARE(shownJobs(page), QStringList { QStringLiteral("fresh") });

    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("48"));
    QTRY_COMPARE_WITH_TIMEOUT(lastHoursAsked(*server).last(), QStringLiteral("48"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(shownJobs(page),
        QStringList({ QStringLiteral("day old"), QStringLiteral("fresh"), QStringLiteral("hours old") }),
        10000);
}

VORNEX_TEST_MAIN(TestProgressPage)
#include "tst_progresspage.moc"
