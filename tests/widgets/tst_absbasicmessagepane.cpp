#include "AbsBasicMessagePane.h"
#include "FilterComboBox.h"
#include "LogHeaderView.h"
#include "LogTableView.h"
#include "LogTestModel.h"
#include "TestEnv.h"
#include "TestPane.h"

#include <QAbstractItemModelTester>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QtTest/QTest>

#include <memory>

namespace {

// Counts the timer events a widget receives.
class TimerCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Timer)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

QString topRowText(const TestPane &pane)
{
    return pane.tableView()->indexAt(QPoint(1, 1)).data().toString();
}

struct ScrollPane
{
    ScrollPane()
        : tester(pane.model, QAbstractItemModelTester::FailureReportingMode::QtTest)
    {
        pane.model->appendNumbered(200);
        pane.resize(500, 300);
        pane.show();
    }

    QScrollBar *bar() const { return pane.tableView()->verticalScrollBar(); }

    TestPane pane;
    QAbstractItemModelTester tester;
};

} // namespace

class TestAbsBasicMessagePane : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Marvolt Software"));
        QCoreApplication::setApplicationName(QStringLiteral("VORNEXclient"));
    }

    void statusRow()
    {
        TestPane pane;
        QCOMPARE(pane.paneNumber(), 1);
        QCOMPARE(pane.statusLabel()->text(), QStringLiteral("No data loaded"));
        QCOMPARE(pane.statusLabel()->maximumHeight(), 16);
        QVERIFY(pane.progressBar()->isHidden());
        QCOMPARE(pane.progressBar()->maximumSize(), QSize(200, 16));
        QVERIFY(!pane.progressBar()->isTextVisible());
        QVERIFY(pane.lastExportPath().isEmpty());
        QCOMPARE(pane.sourceModel(), pane.model);
        QCOMPARE(pane.tableView()->model(), pane.model);

        auto *button = new QPushButton(QStringLiteral("Update"));
        pane.addStatusWidget(button);
        QCOMPARE(button->parentWidget(), &pane);
        pane.resize(600, 300);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        QTRY_COMPARE(button->geometry().right(), pane.width() - 1);
        QVERIFY(button->geometry().left() > pane.statusLabel()->geometry().right());
    }

    void statusTexts()
    {
        TestPane pane;
        pane.updateMessage();
        QCOMPARE(pane.statusLabel()->text(), QStringLiteral("Ready (0 items)"));
        pane.model->appendNumbered(1);
        pane.updateMessage();
        QCOMPARE(pane.statusLabel()->text(), QStringLiteral("Ready (1 item)"));
        pane.model->appendNumbered(1);
        pane.finishedUpdate();
        QCOMPARE(pane.statusLabel()->text(), QStringLiteral("Ready (1 item)"));
        QTRY_COMPARE(pane.statusLabel()->text(), QStringLiteral("Ready (2 items)"));
    }

    void filteringAndSorting()
    {
        TestPane pane;
        pane.show();
        pane.startedFiltering();
        QCOMPARE(pane.statusLabel()->text(), QStringLiteral("Filtering..."));
        QVERIFY(pane.progressBar()->isVisible());
        QCOMPARE(pane.progressBar()->minimum(), 0);
        QCOMPARE(pane.progressBar()->maximum(), 100);
        QCOMPARE(pane.progressBar()->value(), 0);
        pane.finishedFiltering();
        QVERIFY(pane.progressBar()->isHidden());

        pane.setSortingFlag();
        pane.startedFiltering();
        QCOMPARE(pane.statusLabel()->text(), QStringLiteral("Sorting..."));
        QVERIFY(pane.progressBar()->isHidden());
        pane.finishedFiltering();
        pane.startedFiltering();
        QCOMPARE(pane.statusLabel()->text(), QStringLiteral("Filtering..."));
    }

    void refreshKeepsTheBottom()
    {
        ScrollPane shown;
        QVERIFY(QTest::qWaitForWindowExposed(&shown.pane));
        shown.bar()->setValue(shown.bar()->maximum());
        const int oldMaximum = shown.bar()->maximum();
        shown.pane.rowsAtEnd = 50;
        shown.pane.refreshLogs();
        QVERIFY(shown.bar()->maximum() > oldMaximum);
        QCOMPARE(shown.bar()->value(), shown.bar()->maximum());
        QVERIFY(!shown.pane.isScrollRestorePending());
        QVERIFY(shown.pane.updatesEnabled());
    }

    void refreshKeepsTheTop()
    {
        ScrollPane shown;
        QVERIFY(QTest::qWaitForWindowExposed(&shown.pane));
        shown.pane.rowsOnTop = 30;
        shown.pane.refreshLogs();
        QCOMPARE(shown.bar()->value(), 0);
        QCOMPARE(topRowText(shown.pane), QStringLiteral("new1 0/0"));
        QVERIFY(!shown.pane.isScrollRestorePending());
    }

    void refreshInTheMiddleKeepsTheTopRow()
    {
        ScrollPane shown;
        QVERIFY(QTest::qWaitForWindowExposed(&shown.pane));
        shown.pane.tableView()->scrollTo(shown.pane.model->index(80, 0), QAbstractItemView::PositionAtTop);
        const QString before = topRowText(shown.pane);
        QCOMPARE(before, QStringLiteral("row 80/0"));

        shown.pane.rowsOnTop = 30;
        shown.pane.refreshLogs();
        QVERIFY(shown.pane.isScrollRestorePending());
        QVERIFY(!shown.pane.updatesEnabled());
        QTRY_VERIFY(!shown.pane.isScrollRestorePending());
        QVERIFY(shown.pane.updatesEnabled());
        QCOMPARE(topRowText(shown.pane), before);
    }

    void secondRefreshWhilePendingRestartsTheWait()
    {
        ScrollPane shown;
        QVERIFY(QTest::qWaitForWindowExposed(&shown.pane));
        shown.pane.tableView()->scrollTo(shown.pane.model->index(80, 0), QAbstractItemView::PositionAtTop);
        const QString before = topRowText(shown.pane);
        TimerCounter timers;
        shown.pane.installEventFilter(&timers);

        shown.pane.rowsOnTop = 30;
        shown.pane.refreshLogs();
        shown.pane.refreshLogs();
        shown.pane.refreshLogs();
        QCOMPARE(shown.pane.reloads, 3);
        QVERIFY(shown.pane.isScrollRestorePending());
        QTRY_VERIFY(!shown.pane.isScrollRestorePending());
        QVERIFY(shown.pane.updatesEnabled());
        // The row the user saw before the first reload, not one from between.
        QCOMPARE(topRowText(shown.pane), before);
        QCOMPARE(timers.count, 1);
        // No stale timer keeps firing afterwards.
        QVERIFY(!QTest::qWaitFor([&timers] { return timers.count > 1; }, 200));
    }

    void restoreGoneRowIsHarmless()
    {
        ScrollPane shown;
        QVERIFY(QTest::qWaitForWindowExposed(&shown.pane));
        shown.pane.tableView()->scrollTo(shown.pane.model->index(80, 0), QAbstractItemView::PositionAtTop);
        shown.pane.refreshLogs();
        QVERIFY(shown.pane.isScrollRestorePending());
        // The model goes before the deferred scroll runs.
        shown.pane.setViewModel(nullptr);
        QTRY_VERIFY(!shown.pane.isScrollRestorePending());
        QVERIFY(shown.pane.updatesEnabled());
    }

    void refreshingTimerReloadsRepeatedly()
    {
        TestPane pane;
        pane.setRefreshingTimer();
        QCOMPARE(pane.reloads, 1);
        QTRY_COMPARE_WITH_TIMEOUT(pane.reloads, 2, 5000);
    }

    void settingsRoundTrip()
    {
        const QString stateKey = QStringLiteral("Messages/Header/State");
        const QString filterKey = QStringLiteral("Messages/Header/History");
        {
            TestPane pane;
            QVERIFY(!pane.tableView()->wrapTextAction()->isChecked());
            pane.tableView()->wrapTextAction()->setChecked(true);
            Velloc::LogHeaderView *header = pane.headerView();
            header->moveSection(5, 1);
            header->resizeSection(0, 177);
            header->setSortIndicator(2, Qt::AscendingOrder);
            header->filterBox(0)->addItems({ QStringLiteral("24"), QStringLiteral("48") });
            header->filterBox(0)->setEditText(QStringLiteral("48"));
            header->filterBox(4)->setEditText(QStringLiteral("invoice"));
            pane.storeSettings();
            QSettings settings;
            settings.setValue(stateKey, header->saveState());
            settings.setValue(filterKey, header->saveFilters());
        }
        QSettings().sync();
        QVERIFY(QFile::exists(QSettings().fileName()));
        QVERIFY(QSettings().fileName().startsWith(TestEnv::homeDir()));

        TestPane pane;
        QVERIFY(pane.tableView()->wrapTextAction()->isChecked());
        pane.model->appendNumbered(1);
        QCOMPARE(pane.tableView()->verticalHeader()->sectionResizeMode(0), QHeaderView::ResizeToContents);
        QSettings settings;
        Velloc::LogHeaderView *header = pane.headerView();
        QVERIFY(header->restoreState(settings.value(stateKey).toByteArray()));
        header->restoreFilters(settings.value(filterKey).toString());
        QCOMPARE(header->visualIndex(5), 1);
        QCOMPARE(header->sectionSize(0), 177);
        QCOMPARE(header->sortIndicatorSection(), 2);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QCOMPARE(header->filterBox(0)->currentText(), QStringLiteral("48"));
        QCOMPARE(header->filterBox(0)->items(), (QStringList { QStringLiteral("24"), QStringLiteral("48") }));
        QCOMPARE(pane.model->filterText(4), QStringLiteral("invoice"));
        QVERIFY(pane.model->writesWithRole(Velloc::FilterTextRole).isEmpty());

        pane.tableView()->wrapTextAction()->setChecked(false);
        pane.storeSettings();
        QCOMPARE(QSettings().value(pane.wrapKey()).toBool(), false);

        // A damaged header state is refused and leaves the header as it was.
        QVERIFY(!header->restoreState(QByteArray("not a header state")));
        QCOMPARE(header->visualIndex(5), 1);
    }
};

VORNEX_TEST_MAIN(TestAbsBasicMessagePane)
#include "tst_absbasicmessagepane.moc"
