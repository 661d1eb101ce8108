#include "CheckPoint.h"
#include "CheckPointJob.h"
#include "CheckPointPage.h"
#include "CheckpointJobsModel.h"
#include "CheckpointJobsView.h"
#include "CheckpointsModel.h"
#include "CheckpointsView.h"
#include "FocusPalettes.h"
#include "HeaderLabel.h"
#include "ListPageSelection.h"
#include "MainWindow.h"
#include "ProgressPage.h"
#include "PushJobWidget.h"
#include "SelectionFrame.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "TestEnv.h"
#include "UpdateControl.h"
#include "WorkFlags.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeView>
#include <QtTest>

using Client::CheckpointJobsModel;
using Client::CheckpointJobsView;
using Client::CheckPointPage;
using Client::CheckpointsModel;
using Client::CheckpointsView;

Q_DECLARE_METATYPE(CheckPointJobPtr)

namespace {

int rowWithText(const QAbstractItemModel &model, int column, const QString &text)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.index(row, column).data().toString() == text)
            return row;
    }
    return -1;
}

void clickRow(QTreeView *view, int row)
{
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
}

QString selectedText(QTreeView *view, int column = 0)
{
    const QModelIndexList rows = view->selectionModel()->selectedRows(column);
    return rows.isEmpty() ? QString() : rows.first().data().toString();
}

CheckPointJobPtr jobOf(const QSignalSpy &spy, int at)
{
    return spy.at(at).at(0).value<CheckPointJobPtr>();
}

PushJobInfo pushTo(const QString &connectionId)
{
    PushJobInfo info;
    info.connectionIds = { connectionId };
    info.jobName = QStringLiteral("Catalog 2024");
    info.push = true;
    return info;
}

} // namespace

class TestCheckPointPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void listsTheDemoServersCheckpointsAndJobs();
    void selectedJobKeptAcrossUpdates();
    void waitingPushDrawnMarkedAndSentOnce();
    void resetEmptiesBothTables();
    void unlistedCheckPointClearsJobsAndPanel_data();
    void unlistedCheckPointClearsJobsAndPanel();
    void layoutStoredUnderCheckpoints();
    void demoScreenshots();

private:
    // Shows the page, updates, and picks the "Approve Proof" checkpoint.
    bool openProof(CheckPointPage &page);
    bool update();

    std::unique_ptr<testserver::Server> m_server;
    ServerProxyPtr m_proxy;
    ServerConnection *m_connection = nullptr;
};

void TestCheckPointPage::initTestCase()
{
    qRegisterMetaType<CheckPointJobPtr>();
    ServerTest::useShortTimeouts();
}

void TestCheckPointPage::init()
{
    QSettings().clear();
    m_server = ServerTest::startServer();
    QVERIFY(m_server);
    m_server->loadDemoData();
    m_proxy = ServerProxyPtr(new ServerProxy);
    m_connection = ServerTest::addConnection(*m_proxy, m_server->port());
}

void TestCheckPointPage::cleanup()
{
    m_proxy = ServerProxyPtr();
    m_connection = nullptr;
    m_server.reset();
}

bool TestCheckPointPage::update()
{
    QSignalSpy updated(m_proxy.get(), &ServerProxy::updateCheckPointsRequest);
    m_proxy->startUpdatingData(UpdateFlags::CheckPoints);
    return updated.wait(10000);
}

bool TestCheckPointPage::openProof(CheckPointPage &page)
{
    page.resize(1000, 700);
    page.show();
    if (!QTest::qWaitForWindowExposed(&page))
        return false;
    QSignalSpy updated(m_proxy.get(), &ServerProxy::updateCheckPointsRequest);
    // The first showing asks for the checkpoints.
    emit page.selected();
    if (!updated.wait(10000))
        return false;
    QTreeView *view = page.checkpointsView()->view();
    const int row
        = rowWithText(*view->model(), CheckpointsModel::CheckpointColumn, QStringLiteral("Approve Proof"));
    if (row < 0)
        return false;
    clickRow(view, row);
    return page.jobsView()->model()->rowCount() == 3;
}

void TestCheckPointPage::listsTheDemoServersCheckpointsAndJobs()
{
    CheckPointPage page(m_proxy);
    QAbstractItemModelTester checkpointsTester(
        page.checkpointsView()->view()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester jobsTester(
        page.jobsView()->view()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(page.jobsView()->title()->text(), QStringLiteral("Jobs"));
    QSignalSpy chosen(page.checkpointsView(), &CheckpointsView::checkPointSelected);
    QVERIFY(openProof(page));
    QCOMPARE(chosen.count(), 1);

    const QAbstractItemModel *checkpoints = page.checkpointsView()->view()->model();
    QCOMPARE(checkpoints->rowCount(), 3);
    const int review = rowWithText(
        *checkpoints, CheckpointsModel::CheckpointColumn, QStringLiteral("Review Before Archiving"));
    QVERIFY(review >= 0);
    QCOMPARE(checkpoints->index(review, CheckpointsModel::FlowNameColumn).data().toString(),
        QStringLiteral("Archiving"));
    QCOMPARE(checkpoints->index(review, CheckpointsModel::ServerNameColumn).data().toString(),
        QStringLiteral("Demo Workflow Server"));
    QCOMPARE(checkpoints->index(review, CheckpointsModel::JobsWaitingColumn).data().toInt(), 1);
    QCOMPARE(page.jobsView()->title()->text(),
        QStringLiteral("Jobs for Demo Workflow Server -> Print Production -> Approve Proof report"));

    const QAbstractItemModel *jobs = page.jobsView()->view()->model();
    QStringList names;
    for (int row = 0; row < jobs->rowCount(); ++row)
        names.append(jobs->index(row, 0).data().toString());
    names.sort();
    QCOMPARE(names,
        (QStringList {
            QStringLiteral("Brochure.pdf"), QStringLiteral("Catalog 2024"), QStringLiteral("Flyer.pdf") }));
    const int catalog = rowWithText(*jobs, 0, QStringLiteral("Catalog 2024"));
    QCOMPARE(jobs->index(catalog, 1).data().toString(), QStringLiteral("Demo User"));
    QVERIFY(jobs->index(catalog, CheckpointJobsModel::SubmittedColumn)
                .data(CheckpointJobsModel::SortRole)
                .toDateTime()
                .isValid());
    // Only one table shows an active selection.
    QTreeView *jobView = page.jobsView()->view();
    clickRow(jobView, catalog);
    QCOMPARE(jobView->palette(), Client::FocusPalettes::focused(jobView));
    QCOMPARE(page.checkpointsView()->view()->palette(), Client::FocusPalettes::unfocused(jobView));
}

void TestCheckPointPage::selectedJobKeptAcrossUpdates()
{
    CheckPointPage page(m_proxy);
    QVERIFY(openProof(page));
    CheckPoint *proof = page.jobsView()->checkPoint();
    QVERIFY(proof);
    QSignalSpy selected(page.jobsView(), &CheckpointJobsView::jobSelected);
    QTreeView *jobView = page.jobsView()->view();
    clickRow(jobView, rowWithText(*jobView->model(), 0, QStringLiteral("Catalog 2024")));
    QCOMPARE(selected.count(), 1);
    QCOMPARE(jobOf(selected, 0)->jobId(), QStringLiteral("job-102"));
    QCOMPARE(proof->getSelectedJobId(), QStringLiteral("job-102"));
    const int checkpointRow = rowWithText(*page.checkpointsView()->view()->model(),
        CheckpointsModel::CheckpointColumn, QStringLiteral("Approve Proof"));
    QCOMPARE(page.checkpointsView()->rememberedRow(), -1);

    // An update rebuilds both tables; the same job stays chosen, and the
    // panel gets its fresh record.
    QVERIFY(update());
    QCOMPARE(selectedText(jobView), QStringLiteral("Catalog 2024"));
    QCOMPARE(selected.count(), 2);
    QCOMPARE(jobOf(selected, 1)->jobId(), QStringLiteral("job-102"));
    QVERIFY(jobOf(selected, 1) != jobOf(selected, 0));
    QCOMPARE(selectedText(page.checkpointsView()->view(), CheckpointsModel::CheckpointColumn),
        QStringLiteral("Approve Proof"));
    QCOMPARE(page.checkpointsView()->rememberedRow(), checkpointRow);

    // The job leaves the checkpoint: the top job becomes the chosen one.
    QList<testserver::Flow> flows = m_server->flows();
    flows[0].checkPoints[0].jobs.removeAt(1);
    m_server->setFlows(flows);
    QVERIFY(update());
    QCOMPARE(jobView->model()->rowCount(), 2);
    const QString top = jobView->model()->index(0, 0).data().toString();
    QCOMPARE(selectedText(jobView), top);
    QCOMPARE(jobOf(selected, selected.count() - 1)->record().name, top);
    QCOMPARE(proof->getSelectedJobId(), jobOf(selected, selected.count() - 1)->jobId());

    // Another checkpoint and back: each keeps its own choice.
    QTreeView *checkView = page.checkpointsView()->view();
    clickRow(checkView,
        rowWithText(*checkView->model(), CheckpointsModel::CheckpointColumn, QStringLiteral("Press Check")));
    QCOMPARE(jobView->model()->rowCount(), 1);
    QVERIFY(selectedText(jobView).isEmpty());
    clickRow(jobView, 0);
    clickRow(checkView,
        rowWithText(
            *checkView->model(), CheckpointsModel::CheckpointColumn, QStringLiteral("Approve Proof")));
    QCOMPARE(selectedText(jobView), top);

    // No job left: the panel falls back to the checkpoint.
    flows[0].checkPoints[0].jobs.clear();
    m_server->setFlows(flows);
    QVERIFY(update());
    QCOMPARE(jobView->model()->rowCount(), 0);
    QCOMPARE(proof->getSelectedJobId(), QStringLiteral("-1"));
    QVERIFY(!jobOf(selected, selected.count() - 1));
}

void TestCheckPointPage::waitingPushDrawnMarkedAndSentOnce()
{
    CheckPointPage page(m_proxy);
    QVERIFY(openProof(page));
    CheckPoint *proof = page.jobsView()->checkPoint();
    QTreeView *jobView = page.jobsView()->view();
    clickRow(jobView, rowWithText(*jobView->model(), 0, QStringLiteral("Catalog 2024")));

    m_server->setRefuseConnections(true);
    page.jobsView()->jobPushed(pushTo(QStringLiteral("conn-ok")));
    QCOMPARE(proof->getJobStatus(QStringLiteral("job-102")), int(CheckPointJobData::kPushWaiting));
    const int row = rowWithText(*jobView->model(), 0, QStringLiteral("Catalog 2024"));
    QVERIFY(row >= 0);
    QCOMPARE(jobView->model()->index(row, 2).data(Qt::ForegroundRole).value<QColor>(), QColor(220, 150, 0));
    QCOMPARE(selectedText(jobView), QStringLiteral("Catalog 2024"));
    // Choosing push again for a waiting job sends nothing more.
    page.jobsView()->jobPushed(pushTo(QStringLiteral("conn-redo")));
    QCOMPARE(m_proxy->actionList().count(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!m_proxy->hasConnectionActivity(m_connection), 10000);

    m_server->setRefuseConnections(false);
    m_proxy->startUpdatingData(UpdateFlags::CheckPoints);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->pushes().size(), 1, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(rowWithText(*jobView->model(), 0, QStringLiteral("Catalog 2024")), -1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(m_proxy->actionList().count(), 0, 10000);
    QVERIFY(update());
    QCOMPARE(m_server->pushes().size(), 1);
    QCOMPARE(m_server->pushes().first().request.connectionIds, QStringList { QStringLiteral("conn-ok") });
    const QAbstractItemModel *checkpoints = page.checkpointsView()->view()->model();
    const auto waitingAtProof = [checkpoints] {
        const int row
            = rowWithText(*checkpoints, CheckpointsModel::CheckpointColumn, QStringLiteral("Approve Proof"));
        return checkpoints->index(row, CheckpointsModel::JobsWaitingColumn).data().toInt();
    };
    // A refresh that fetched before the push may show three until the one
    // after the push is in.
    QTRY_COMPARE_WITH_TIMEOUT(waitingAtProof(), 2, 10000);
}

void TestCheckPointPage::resetEmptiesBothTables()
{
    CheckPointPage page(m_proxy);
    QVERIFY(openProof(page));
    emit m_proxy->resetPages();
    QCOMPARE(page.jobsView()->model()->rowCount(), 0);
    QCOMPARE(page.jobsView()->checkPoint(), nullptr);
    QCOMPARE(page.jobsView()->title()->text(), QStringLiteral("Jobs"));
    QCOMPARE(page.checkpointsView()->rememberedRow(), -1);
    QVERIFY(page.checkpointsView()->view()->selectionModel()->selectedRows().isEmpty());
    // The next click rebuilds the jobs from the checkpoint.
    QTreeView *checkView = page.checkpointsView()->view();
    clickRow(checkView,
        rowWithText(
            *checkView->model(), CheckpointsModel::CheckpointColumn, QStringLiteral("Approve Proof")));
    QCOMPARE(page.jobsView()->model()->rowCount(), 3);
}

void TestCheckPointPage::unlistedCheckPointClearsJobsAndPanel_data()
{
    QTest::addColumn<bool>("wholeFlow");
    QTest::newRow("checkpoint gone") << false;
    QTest::newRow("flow gone") << true;
}

void TestCheckPointPage::unlistedCheckPointClearsJobsAndPanel()
{
    QFETCH(bool, wholeFlow);
    CheckPointPage page(m_proxy);
    QVERIFY(openProof(page));
    QTreeView *jobView = page.jobsView()->view();
    clickRow(jobView, rowWithText(*jobView->model(), 0, QStringLiteral("Catalog 2024")));
    Client::SelectionFrame *panel = page.jobPanel();
    QCOMPARE(panel->viewMode(), int(Client::SelectionFrame::JobShown));

    QList<testserver::Flow> flows = m_server->flows();
    if (wholeFlow)
        flows.removeFirst();
    else
        flows[0].checkPoints.removeFirst();
    m_server->setFlows(flows);
    QVERIFY(update());
    QCOMPARE(rowWithText(*page.checkpointsView()->view()->model(), CheckpointsModel::CheckpointColumn,
                 QStringLiteral("Approve Proof")),
        -1);
    QCOMPARE(page.jobsView()->checkPoint(), nullptr);
    QCOMPARE(jobView->model()->rowCount(), 0);
    QVERIFY(!panel->currentJob());
    QCOMPARE(panel->currentCheckPoint(), nullptr);
    QVERIFY(!panel->pushWidget()->isVisible());
    QVERIFY(!panel->viewJobButton()->isVisible());
    QCOMPARE(panel->titleLabel()->text(), QStringLiteral("Job view"));
}

void TestCheckPointPage::layoutStoredUnderCheckpoints()
{
    QByteArray top;
    QByteArray bottom;
    {
        CheckPointPage page(m_proxy);
        page.resize(900, 600);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        page.horizontalSplitter()->setSizes({ 600, 300 });
        page.verticalSplitter()->setSizes({ 150, 350 });
        page.checkpointsView()->view()->header()->resizeSection(1, 177);
        page.jobsView()->view()->header()->resizeSection(2, 133);
        top = page.checkpointsView()->view()->header()->saveState();
        bottom = page.jobsView()->view()->header()->saveState();
        page.updateControl()->intervalEdit()->setText(QStringLiteral("7"));
    }
    QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("Layout/Checkpoints/TopHeaders")).toByteArray(), top);
    QCOMPARE(settings.value(QStringLiteral("Layout/Checkpoints/BottomHeaders")).toByteArray(), bottom);
    QCOMPARE(settings.value(QStringLiteral("Layout/Checkpoints/Horizontal Splitter")).toList().size(), 2);
    QCOMPARE(settings.value(QStringLiteral("Layout/Checkpoints/Vertical Splitter")).toList().size(), 2);
    QCOMPARE(settings.value(QStringLiteral("Default/Checkpoints: update interval")).toString(),
        QStringLiteral("7"));

    CheckPointPage again(m_proxy);
    QCOMPARE(again.checkpointsView()->view()->header()->sectionSize(1), 177);
    QCOMPARE(again.jobsView()->view()->header()->sectionSize(2), 133);
    const QList<QVariant> stored
        = settings.value(QStringLiteral("Layout/Checkpoints/Horizontal Splitter")).toList();
    again.resize(900, 600);
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QCOMPARE(again.horizontalSplitter()->sizes().first(), stored.first().toInt());
}

void TestCheckPointPage::demoScreenshots()
{
    const QString folder = qEnvironmentVariable("VORNEX_SCREENSHOT_DIR");
    if (folder.isEmpty())
        QSKIP("VORNEX_SCREENSHOT_DIR names no folder for the screenshots");
    QDir().mkpath(folder);
    MainWindow window;
    ServerConnection *connection = ServerTest::addConnection(*window.serverProxy(), m_server->port());
    Q_UNUSED(connection);
    window.showNormal();
    window.resize(1280, 760);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *checkpoints = qobject_cast<CheckPointPage *>(window.pageList()->stack()->widget(2));
    QVERIFY(checkpoints);
    QVERIFY(qobject_cast<Client::ProgressPage *>(window.pageList()->stack()->widget(3)));

    QSignalSpy checkUpdate(window.serverProxy().get(), &ServerProxy::updateCheckPointsRequest);
    window.pageList()->listWidget()->setCurrentRow(2);
    QVERIFY(checkUpdate.wait(10000));
    QTreeView *checkView = checkpoints->checkpointsView()->view();
    clickRow(checkView,
        rowWithText(
            *checkView->model(), CheckpointsModel::CheckpointColumn, QStringLiteral("Approve Proof")));
    QTreeView *jobView = checkpoints->jobsView()->view();
    clickRow(jobView, rowWithText(*jobView->model(), 0, QStringLiteral("Catalog 2024")));
    QTest::qWait(300);
    QVERIFY(window.screen()->grabWindow(0).save(folder + QStringLiteral("/checkpoints-page.png")));

    QSignalSpy progressUpdate(window.serverProxy().get(), &ServerProxy::updateProgressRequest);
    window.pageList()->listWidget()->setCurrentRow(3);
    QVERIFY(progressUpdate.wait(10000));
    QTest::qWait(300);
    QVERIFY(window.screen()->grabWindow(0).save(folder + QStringLiteral("/progress-page.png")));
}

VORNEX_TEST_MAIN(TestCheckPointPage)
#include "tst_checkpointpage.moc"
