#include "DragDropPanel.h"
#include "HeaderLabel.h"
#include "ListPageSelection.h"
#include "MainWindow.h"
#include "SavedSubmissions.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "SubmitPage.h"
#include "SubmitPoint.h"
#include "SubmitPointsModel.h"
#include "SubmitPointsView.h"
#include "SubmitStatus.h"
#include "SubmittedFile.h"
#include "SubmittedFileView.h"
#include "SubmittedFilesModel.h"
#include "SubmittedFilesView.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "UpdateControl.h"
#include "WorkFlags.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTreeView>
#include <QtTest>

using Client::SubmitPage;
using Client::SubmittedFilesModel;
using Client::SubmittedFileView;

namespace {

const QString kFlowId = QStringLiteral("flow-7");

testserver::Flow printFlow()
{
    testserver::Flow flow;
    flow.id = kFlowId;
    flow.name = QStringLiteral("Print");
    for (const char *name : { "Inbox", "Proofs" }) {
        testserver::SubmitPoint point;
        point.id = QStringLiteral("sp-") + QString::fromLatin1(name);
        point.name = QString::fromLatin1(name);
        flow.submitPoints.append(point);
    }
    return flow;
}

// The row of the points view that shows the named point.
QModelIndex pointRow(SubmitPage &page, const QString &name)
{
    QAbstractItemModel *model = page.pointsView()->view()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 2).data().toString() == name)
            return model->index(row, 0);
    }
    return {};
}

void click(QTreeView *tree, const QModelIndex &index)
{
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(index).center());
}

} // namespace

class TestSubmitPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pointsOfUsableConnections();
    void rowPositionSurvivesRefresh();
    void newJobsAndTheJobChosenPerPoint();
    void uploadShowsPercentThenStatus();
    void cancelTakesTheJobShown();
    void savedJobsComeBackOnFirstShowing();
    void savedJobsWaitForTheirPoints();
    void resetEmptiesThePage();
    void layoutIsKept();
    void mainWindowListsThePage();

private:
    // Connects, fetches the submit points and waits until the page lists them.
    bool bringPoints(SubmitPage &page, int expected);
    QString makeFile(const QString &name, int size = 100);

    std::unique_ptr<testserver::Server> m_server;
    ServerProxyPtr m_proxy;
    ServerConnection *m_connection = nullptr;
    QString m_work;
};

void TestSubmitPage::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Marvolt Software"));
    QCoreApplication::setApplicationName(QStringLiteral("VORNEXclient"));
    ServerTest::useShortTimeouts();
}

void TestSubmitPage::init()
{
    QSettings().clear();
    m_work
        = TestEnv::homeDir() + QStringLiteral("/work-") + QString::fromLatin1(QTest::currentTestFunction());
    QVERIFY(QDir().mkpath(m_work));
    m_server = ServerTest::startServer();
    QVERIFY(m_server);
    m_server->setFlows({ printFlow() });
    m_proxy = ServerProxyPtr(new ServerProxy);
    m_connection = ServerTest::addConnection(*m_proxy, m_server->port());
}

void TestSubmitPage::cleanup()
{
    m_proxy = ServerProxyPtr();
    m_server.reset();
    QDir(m_work).removeRecursively();
}

QString TestSubmitPage::makeFile(const QString &name, int size)
{
    return TestFiles::makeFile(m_work + QLatin1Char('/') + name, size);
}

bool TestSubmitPage::bringPoints(SubmitPage &page, int expected)
{
    m_proxy->startUpdatingData(UpdateFlags::SubmitPoints);
    return QTest::qWaitFor([&] { return page.pointsView()->model()->rowCount() == expected; }, 15000);
}

void TestSubmitPage::pointsOfUsableConnections()
{
    // A second connection to the same server, switched off.
    ServerConnection *off = ServerTest::addConnection(*m_proxy, m_server->port());
    SubmitPage page(m_proxy);
    Client::SubmitPointsModel *model = page.pointsView()->model();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model->columnCount(), 5);
    QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Jobs listed"));
    QVERIFY(!model->headerData(0, Qt::Vertical).isValid());

    QVERIFY(bringPoints(page, 4));
    off->setEnabled(false);
    off->applySettings();
    emit m_proxy->updateSubmitPointsRequest();
    QCOMPARE(model->rowCount(), 2);
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row) {
        QCOMPARE(model->index(row, 0).data().toString(), m_connection->serverName());
        QCOMPARE(model->index(row, 1).data().toString(), QStringLiteral("Print"));
        QCOMPARE(model->index(row, 3).data().toInt(), 0);
        QVERIFY(!model->index(row, 4).data().isValid());
        names << model->index(row, 2).data().toString();
    }
    QCOMPARE(names, QStringList({ QStringLiteral("Inbox"), QStringLiteral("Proofs") }));
    QVERIFY(!model->pointAt(2));
    QVERIFY(!model->pointAt(-1));
}

void TestSubmitPage::rowPositionSurvivesRefresh()
{
    SubmitPage page(m_proxy);
    page.resize(1000, 700);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QVERIFY(bringPoints(page, 2));
    QTreeView *tree = page.pointsView()->view();
    QSignalSpy chosen(page.pointsView(), &Client::SubmitPointsView::submitPointSelected);
    click(tree, tree->model()->index(1, 0));
    QVERIFY(chosen.count() >= 1);
    const int before = chosen.count();

    emit m_proxy->updateSubmitPointsRequest();
    const QModelIndexList selected = tree->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().row(), 1);
    QCOMPARE(chosen.count(), before);
}

void TestSubmitPage::newJobsAndTheJobChosenPerPoint()
{
    SubmitPage page(m_proxy);
    page.resize(1000, 700);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QVERIFY(bringPoints(page, 2));
    QTreeView *points = page.pointsView()->view();
    QTreeView *jobs = page.filesView()->view();
    SubmittedFileView *form = page.jobForm();

    click(points, pointRow(page, QStringLiteral("Inbox")));
    QCOMPARE(form->mode(), SubmittedFileView::PointMode);
    QCOMPARE(page.filesView()->title()->text(),
        QStringLiteral("Jobs for %1 -> Print -> Inbox report").arg(m_connection->serverName()));

    // Dropped files: one job each, the last made is shown.
    form->FilesAdded({ makeFile(QStringLiteral("1.txt")), makeFile(QStringLiteral("2.txt")),
        makeFile(QStringLiteral("3.txt")) });
    QCOMPARE(jobs->model()->rowCount(), 3);
    QCOMPARE(form->mode(), SubmittedFileView::JobMode);
    QCOMPARE(form->currentJob()->getJobName(), QStringLiteral("3.txt"));
    QCOMPARE(pointRow(page, QStringLiteral("Inbox")).siblingAtColumn(3).data().toInt(), 3);

    // Sorted descending: 3, 2, 1. Pick 1.
    click(jobs, jobs->model()->index(2, 0));
    QCOMPARE(form->currentJob()->getJobName(), QStringLiteral("1.txt"));

    click(points, pointRow(page, QStringLiteral("Proofs")));
    QCOMPARE(jobs->model()->rowCount(), 0);
    QCOMPARE(form->mode(), SubmittedFileView::PointMode);

    click(points, pointRow(page, QStringLiteral("Inbox")));
    const QModelIndexList selected = jobs->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().data().toString(), QStringLiteral("1.txt"));
}

void TestSubmitPage::uploadShowsPercentThenStatus()
{
    // Slow enough to be seen on its way, and larger than what the kernel's
    // socket buffers take in at once.
    m_server->setFault(testserver::Operation::SubmitFile08, testserver::Fault::throttleRequest(4 << 20));
    SubmitPage page(m_proxy);
    page.resize(1000, 700);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QVERIFY(bringPoints(page, 2));
    click(page.pointsView()->view(), pointRow(page, QStringLiteral("Inbox")));
    page.jobForm()->FilesAdded({ makeFile(QStringLiteral("big.bin"), 16 * 1000 * 1000) });
    QVERIFY(page.jobForm()->beginButton()->isEnabled());
    QTest::mouseClick(page.jobForm()->beginButton(), Qt::LeftButton);

    QAbstractItemModel *model = page.filesView()->view()->model();
    const QRegularExpression percent(QStringLiteral("^[1-9]\\d?%$"));
    QSignalSpy redrawn(page.filesView()->model(), &QAbstractItemModel::dataChanged);
    QTRY_VERIFY_WITH_TIMEOUT(percent.match(model->index(0, 2).data().toString()).hasMatch(), 15000);
    QVERIFY(model->index(0, 4).data().toString().endsWith(QStringLiteral(" left")));
    QTRY_VERIFY_WITH_TIMEOUT(redrawn.count() >= 1, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(model->index(0, 2).data().toString(), QStringLiteral("Finished"), 30000);
    QVERIFY(QDateTime::fromString(
        model->index(0, 4).data(SubmittedFilesModel::SortRole).toDateTime().toString(Qt::ISODate),
        Qt::ISODate)
                .isValid());
}

void TestSubmitPage::cancelTakesTheJobShown()
{
    // Uploads that never end on their own.
    m_server->setFault(testserver::Operation::SubmitFile08, testserver::Fault::throttleRequest(50 * 1024));
    SubmitPage page(m_proxy);
    page.resize(1000, 700);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QVERIFY(bringPoints(page, 2));
    click(page.pointsView()->view(), pointRow(page, QStringLiteral("Inbox")));
    SubmittedFileView *form = page.jobForm();
    // Larger than what the kernel's socket buffers take in at once.
    form->FilesAdded({ makeFile(QStringLiteral("a.bin"), 8 * 1000 * 1000),
        makeFile(QStringLiteral("b.bin"), 8 * 1000 * 1000) });
    QTreeView *jobs = page.filesView()->view();
    QCOMPARE(jobs->model()->rowCount(), 2);

    // b.bin (row 0) uploads.
    click(jobs, jobs->model()->index(0, 0));
    const SubmittedFilePtr uploading = form->currentJob();
    QCOMPARE(uploading->getJobName(), QStringLiteral("b.bin"));
    QTest::mouseClick(form->beginButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(uploading->getStatus(), int(SubmitStatus::Uploading), 10000);
    QCOMPARE(SavedSubmissions::readAll().size(), 2);

    // Down to a.bin with the keyboard, then Cancel: a.bin goes, the upload
    // runs on.
    jobs->setFocus();
    QTest::keyClick(jobs, Qt::Key_Down);
    QCOMPARE(form->currentJob()->getJobName(), QStringLiteral("a.bin"));
    QTest::mouseClick(form->cancelButton(), Qt::LeftButton);

    QCOMPARE(form->mode(), SubmittedFileView::PointMode);
    QCOMPARE(jobs->model()->rowCount(), 1);
    QCOMPARE(jobs->model()->index(0, 0).data().toString(), QStringLiteral("b.bin"));
    QCOMPARE(uploading->getStatus(), int(SubmitStatus::Uploading));
    QVERIFY(!uploading->isCancelled());
    const QList<SavedSubmissions::SavedJob> saved = SavedSubmissions::readAll();
    QCOMPARE(saved.size(), 1);
    QCOMPARE(saved.first().jobName, QStringLiteral("b.bin"));
    QCOMPARE(pointRow(page, QStringLiteral("Inbox")).siblingAtColumn(3).data().toInt(), 1);

    // Cancelling the upload itself stops it.
    click(jobs, jobs->model()->index(0, 0));
    QCOMPARE(form->currentJob(), uploading);
    QVERIFY(form->cancelButton()->isEnabled());
    QTest::mouseClick(form->cancelButton(), Qt::LeftButton);
    QVERIFY(uploading->isCancelled());
    QCOMPARE(jobs->model()->rowCount(), 0);
    QVERIFY(SavedSubmissions::readAll().isEmpty());
    QCOMPARE(m_proxy->actionList().count(), 0);
}

void TestSubmitPage::savedJobsComeBackOnFirstShowing()
{
    const QString file = makeFile(QStringLiteral("kept.txt"), 500);
    const QString group
        = QStringLiteral("Submittions/127.0.0.1:%1/%2:sp-Inbox").arg(m_server->port()).arg(kFlowId);
    {
        QSettings settings;
        settings.beginGroup(group);
        // Waiting for its server: restored and sent.
        settings.setValue(QStringLiteral("3/isFile"), true);
        settings.setValue(QStringLiteral("3/path"), file);
        settings.setValue(QStringLiteral("3/job name"), QStringLiteral("Kept job"));
        settings.setValue(QStringLiteral("3/job status"), 2);
        settings.setValue(QStringLiteral("3/Metadata/0/Label"), QStringLiteral("Copies"));
        settings.setValue(QStringLiteral("3/Metadata/0/DataType"), QStringLiteral("string"));
        settings.setValue(QStringLiteral("3/Metadata/0/Value"), QStringLiteral("2"));
        settings.setValue(QStringLiteral("3/Metadata/0/ValueIsRequired"), true);
        settings.setValue(QStringLiteral("3/Metadata/0/RememberLastValue"), false);
        // Never started: listed, not sent.
        settings.setValue(QStringLiteral("5/isFile"), true);
        settings.setValue(QStringLiteral("5/path"), file);
        settings.setValue(QStringLiteral("5/job name"), QStringLiteral("Later"));
        settings.setValue(QStringLiteral("5/job status"), 0);
        // Incomplete: skipped, kept.
        settings.setValue(QStringLiteral("6/isFile"), true);
        settings.setValue(QStringLiteral("6/job name"), QStringLiteral("No path"));
        settings.endGroup();
        settings.setValue(QStringLiteral("Submittions/nohost/1:2/0/path"), file);
    }

    SubmitPage page(m_proxy);
    QVERIFY(bringPoints(page, 2));
    const SubmitPointPtr inbox = page.pointsView()->model()->pointAt(
        page.pointsView()->sortModel()->mapToSource(pointRow(page, QStringLiteral("Inbox"))).row());
    QVERIFY(inbox);
    QCOMPARE(inbox->getJobCount(), 0);

    emit page.selected();
    QCOMPARE(inbox->getJobCount(), 2);
    const SubmittedFilePtr kept = inbox->getJob(0);
    QCOMPARE(kept->getJobName(), QStringLiteral("Kept job"));
    QCOMPARE(kept->getJobNumber(), 3);
    QCOMPARE(kept->getMetadata().size(), 1);
    QCOMPARE(kept->getMetadata().first().value, QStringLiteral("2"));
    QCOMPARE(inbox->getJob(1)->getStatus(), int(SubmitStatus::Waiting));

    QTRY_COMPARE_WITH_TIMEOUT(kept->getStatus(), int(SubmitStatus::Finished), 20000);
    QCOMPARE(m_server->uploads().size(), 1);
    QCOMPARE(m_server->uploads().first().jobName, QStringLiteral("Kept job"));

    // Shown again: nothing read twice.
    emit page.selected();
    QCOMPARE(inbox->getJobCount(), 2);
    QSettings settings;
    QVERIFY(settings.contains(group + QStringLiteral("/6/job name")));
    QVERIFY(settings.contains(group + QStringLiteral("/5/path")));
}

void TestSubmitPage::savedJobsWaitForTheirPoints()
{
    const QString group
        = QStringLiteral("Submittions/127.0.0.1:%1/%2:sp-Inbox/0/").arg(m_server->port()).arg(kFlowId);
    {
        QSettings settings;
        settings.setValue(group + QStringLiteral("isFile"), true);
        settings.setValue(group + QStringLiteral("path"), makeFile(QStringLiteral("kept.txt")));
        settings.setValue(group + QStringLiteral("job name"), QStringLiteral("Kept job"));
        settings.setValue(group + QStringLiteral("job status"), 1);
    }
    // Shown before any point is known (cache still being read, no refresh
    // yet): the job comes back with the points.
    SubmitPage page(m_proxy);
    emit page.selected();
    QVERIFY(bringPoints(page, 2));
    const SubmitPointPtr inbox = page.pointsView()->model()->pointAt(
        page.pointsView()->sortModel()->mapToSource(pointRow(page, QStringLiteral("Inbox"))).row());
    QCOMPARE(inbox->getJobCount(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(inbox->getJob(0)->getStatus(), int(SubmitStatus::Finished), 20000);
    QCOMPARE(m_server->uploads().size(), 1);

    // Later refreshes restore nothing twice, nor a job made in this run.
    page.jobForm()->SetSubmitPoint(inbox);
    page.jobForm()->FilesAdded({ makeFile(QStringLiteral("new.txt")) });
    emit m_proxy->updateSubmitPointsRequest();
    QCOMPARE(inbox->getJobCount(), 2);
}

void TestSubmitPage::resetEmptiesThePage()
{
    SubmitPage page(m_proxy);
    page.resize(1000, 700);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QVERIFY(bringPoints(page, 2));
    click(page.pointsView()->view(), pointRow(page, QStringLiteral("Inbox")));
    page.jobForm()->FilesAdded({ makeFile(QStringLiteral("a.txt")) });
    QCOMPARE(page.jobForm()->mode(), SubmittedFileView::JobMode);

    emit m_proxy->resetPages();
    QCOMPARE(page.jobForm()->mode(), SubmittedFileView::EmptyMode);
    QVERIFY(!page.jobForm()->currentJob());
    QCOMPARE(page.filesView()->title()->text(), QStringLiteral("Jobs"));
    QCOMPARE(page.filesView()->model()->rowCount(), 0);
    QCOMPARE(page.pointsView()->rememberedRow(), -1);
    QVERIFY(page.pointsView()->view()->selectionModel()->selectedRows().isEmpty());
}

void TestSubmitPage::layoutIsKept()
{
    {
        SubmitPage page(m_proxy);
        page.resize(1000, 700);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        page.horizontalSplitter()->setSizes({ 600, 400 });
        page.verticalSplitter()->setSizes({ 200, 400 });
        page.pointsView()->view()->header()->resizeSection(1, 177);
        QCOMPARE(page.updateControl()->isVisible(), true);
    }
    QSettings settings;
    settings.beginGroup(QStringLiteral("Layout/Submittions"));
    QVERIFY(settings.contains(QStringLiteral("Horizontal Splitter")));
    QVERIFY(!settings.value(QStringLiteral("TopHeaders")).toByteArray().isEmpty());
    QVERIFY(!settings.value(QStringLiteral("BottomHeaders")).toByteArray().isEmpty());
    const QVariantList vertical = settings.value(QStringLiteral("Vertical Splitter")).toList();
    QCOMPARE(vertical.size(), 2);

    SubmitPage again(m_proxy);
    again.resize(1000, 700);
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QCOMPARE(again.pointsView()->view()->header()->sectionSize(1), 177);
    QCOMPARE(again.verticalSplitter()->sizes().first(), vertical.first().toInt());
}

void TestSubmitPage::mainWindowListsThePage()
{
    MainWindow window;
    QListWidget *list = window.pageList()->listWidget();
    QStringList shown;
    for (int i = 0; i < list->count(); ++i)
        shown << list->item(i)->text();
    QVERIFY(shown.contains(QStringLiteral("Submit Points")));
    // Whatever else is listed keeps the list's order around it.
    const QStringList order { QStringLiteral("Connections"), QStringLiteral("Submit Points"),
        QStringLiteral("Checkpoints"), QStringLiteral("Progress"), QStringLiteral("Messages"),
        QStringLiteral("Help"), QStringLiteral("About") };
    QStringList expected;
    for (const QString &entry : order) {
        if (shown.contains(entry))
            expected << entry;
    }
    QCOMPARE(shown, expected);
    QVERIFY(window.findChild<SubmitPage *>());
}

VORNEX_TEST_MAIN(TestSubmitPage)

#include "tst_submitpage.moc"
