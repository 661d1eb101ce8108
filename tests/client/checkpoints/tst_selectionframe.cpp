// The job panel: what it shows, and viewing and saving jobs and reports.
#include "JobPanelTest.h"

class TestSelectionFrame : public JobPanelTestBase
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void emptyCheckpointAndJobViews();
    void viewJobAndReportOpenTheDownload();
    void jobButtonsStayOffWhileTheJobDownloads();
    void saveJobAndReportWhereChosen();
    void saveOverAConfirmedFileAndKeepAFailedOne();
    void failedDownloadsKeepTheJob();
    void jobGoneOnTheServerLeavesOnlyThatJob();
    void screenshot();
};

void TestSelectionFrame::emptyCheckpointAndJobViews()
{
    QCOMPARE(m_panel->titleLabel()->text(), QStringLiteral("Job view"));
    QVERIFY(m_panel->viewJobButton()->isHidden());
    QVERIFY(m_panel->explorer()->isHidden());
    QCOMPARE(m_panel->viewMode(), int(SelectionFrame::NothingShown));

    testserver::Job scan = job(QStringLiteral("j1"), QStringLiteral("scan.pdf"), 2, false);
    scan.enableReportViewing = true;
    scan.reportName = QStringLiteral("result.xml");
    serve({ scan });
    QVERIFY(refresh());
    QCOMPARE(m_panel->titleLabel()->text(), QStringLiteral("Checkpoint Test Server->Print->Proof"));
    QCOMPARE(m_panel->viewMode(), int(SelectionFrame::CheckPointShown));

    show(QStringLiteral("j1"));
    QCOMPARE(m_panel->titleLabel()->text(), QStringLiteral("Job: scan.pdf"));
    QCOMPARE(m_panel->viewMode(), int(SelectionFrame::JobShown));
    QVERIFY(m_panel->viewJobButton()->isVisible() && m_panel->viewJobButton()->isEnabled());
    QVERIFY(m_panel->saveReportButton()->isVisible() && m_panel->saveReportButton()->isEnabled());
    QVERIFY(m_panel->replaceButton()->isVisible());
    QVERIFY(m_panel->explorer()->isVisible());
    QCOMPARE(m_panel->explorer()->model()->rowCount(), 2);
    QVERIFY(m_panel->pushWidget()->isVisible());
    QVERIFY(!m_panel->pushWidget()->button(1)->isEnabled());

    // A null job goes back to the checkpoint.
    m_panel->SetJob(CheckPointJobPtr());
    QCOMPARE(m_panel->viewMode(), int(SelectionFrame::CheckPointShown));
    QVERIFY(m_panel->explorer()->isHidden());
    m_panel->clearJob();
    QCOMPARE(m_panel->titleLabel()->text(), QStringLiteral("Job view"));
}

void TestSelectionFrame::viewJobAndReportOpenTheDownload()
{
    QVERIFY(writeFile(path(QStringLiteral("src/job/scan.pdf")), pattern(200000, 1)));
    QVERIFY(writeFile(path(QStringLiteral("src/job/pages/p1.tif")), pattern(5000, 2)));
    QVERIFY(writeFile(path(QStringLiteral("src/result.xml")), pattern(3000, 3)));
    testserver::Job scan = job(QStringLiteral("j1"), QStringLiteral("job"), 2, false);
    scan.package = testserver::Package::fromPath(path(QStringLiteral("src/job")));
    scan.enableReportViewing = true;
    scan.reportName = QStringLiteral("result.xml");
    scan.report = testserver::Package::fromPath(path(QStringLiteral("src/result.xml")));
    serve({ scan });
    QVERIFY(refresh());
    const CheckPointJobPtr shown = show(QStringLiteral("j1"));

    m_panel->viewJobButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->opened.size(), 1, 10000);
    QCOMPARE(m_desktop->contents.at(0), describe(path(QStringLiteral("src/job"))));
    QCOMPARE(shown->downloadState(), int(CheckPointJob::Downloaded));
    QCOMPARE(QFileInfo(m_desktop->opened.at(0)).absoluteFilePath(),
        QFileInfo(shown->jobPath()).absoluteFilePath());
    QCOMPARE(downloads(), 1);
    QTRY_COMPARE(m_panel->runningDownloads(), 0);

    // Again: the earlier download opens, the server is not asked.
    m_panel->viewJobButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->opened.size(), 2, 10000);
    QCOMPARE(downloads(), 1);

    m_panel->viewReportButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->opened.size(), 3, 10000);
    QCOMPARE(m_desktop->contents.at(2), describe(path(QStringLiteral("src/result.xml"))));
    QCOMPARE(downloads(), 2);
    QCOMPARE(m_server->journal().last().arguments.value(QStringLiteral("downloadType")), QStringLiteral("1"));

    // The viewed downloads go when the panel goes.
    QCOMPARE(downloadFolders().size(), 2);
    m_panel.reset();
    QVERIFY(downloadFolders().isEmpty());
}

void TestSelectionFrame::jobButtonsStayOffWhileTheJobDownloads()
{
    QVERIFY(writeFile(path(QStringLiteral("a.pdf")), "a"));
    testserver::Job a = job(QStringLiteral("ja"), QStringLiteral("a.pdf"), 1, false);
    a.package = testserver::Package::fromPath(path(QStringLiteral("a.pdf")));
    testserver::Job b = job(QStringLiteral("jb"), QStringLiteral("b.pdf"), 1, false);
    serve({ a, b });
    QVERIFY(refresh());
    m_server->setFault(testserver::Operation::DownloadFile08, testserver::Fault::delay(1500));
    const CheckPointJobPtr first = show(QStringLiteral("ja"));
    m_panel->viewJobButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(first->downloadState(), int(CheckPointJob::Downloading), 5000);
    QVERIFY(!m_panel->viewJobButton()->isEnabled());
    QVERIFY(!m_panel->saveJobButton()->isEnabled());

    show(QStringLiteral("jb"));
    QVERIFY(m_panel->viewJobButton()->isEnabled());
    m_panel->SetJob(first);
    QVERIFY(!m_panel->viewJobButton()->isEnabled());

    // A refresh rebuilds the job: free again, and viewing asks the server.
    show(QStringLiteral("ja"));
    QVERIFY(m_panel->viewJobButton()->isEnabled());
    QVERIFY(m_panel->saveJobButton()->isEnabled());
    m_panel->viewJobButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(downloads(), 2, 5000);

    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->opened.size(), 2, 10000);
    QVERIFY(m_panel->viewJobButton()->isEnabled());
}

void TestSelectionFrame::saveJobAndReportWhereChosen()
{
    QVERIFY(writeFile(path(QStringLiteral("src/scan.pdf")), pattern(400000, 4)));
    QVERIFY(writeFile(path(QStringLiteral("src/result.xml")), pattern(777, 5)));
    testserver::Job scan = job(QStringLiteral("j1"), QStringLiteral("scan.pdf"), 2, false);
    scan.package = testserver::Package::fromPath(path(QStringLiteral("src/scan.pdf")));
    scan.enableReportViewing = true;
    scan.reportName = QStringLiteral("result.xml");
    scan.report = testserver::Package::fromPath(path(QStringLiteral("src/result.xml")));
    serve({ scan });
    QVERIFY(refresh());
    show(QStringLiteral("j1"));
    QVERIFY(QDir().mkpath(path(QStringLiteral("out"))));

    QString proposed;
    {
        ModalAnswers answers({ saveAs(path(QStringLiteral("out/saved.pdf")), &proposed) });
        m_panel->saveJobButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
    }
    // First time: the documents folder and the downloaded file's name.
    QCOMPARE(proposed, path(QStringLiteral("Documents/scan.pdf")));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path(QStringLiteral("out/saved.pdf"))), 5000);
    QCOMPARE(describe(path(QStringLiteral("out/saved.pdf"))).values(),
        describe(path(QStringLiteral("src/scan.pdf"))).values());
    QCOMPARE(QSettings().value(QStringLiteral("Default/Checkpoints: last saved absolute path")).toString(),
        path(QStringLiteral("out")));
    QTRY_VERIFY(downloadFolders().isEmpty());

    // The report: the job's base name with the report's suffix, in the last folder.
    {
        ModalAnswers answers({ saveAs(path(QStringLiteral("out/scan.xml")), &proposed) });
        m_panel->saveReportButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
    }
    QCOMPARE(proposed, path(QStringLiteral("out/scan.xml")));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path(QStringLiteral("out/scan.xml"))), 5000);
    QCOMPARE(describe(path(QStringLiteral("out/scan.xml"))).values(),
        describe(path(QStringLiteral("src/result.xml"))).values());

    // Cancelled: nothing saved, nothing left, the folder remembered as it was.
    {
        ModalAnswers answers({ saveAs(QString()) });
        m_panel->saveJobButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
    }
    QTRY_COMPARE(m_panel->runningDownloads(), 0);
    QVERIFY(downloadFolders().isEmpty());
    QCOMPARE(QDir(path(QStringLiteral("out"))).entryList(QDir::Files).size(), 2);
    QCOMPARE(QSettings().value(QStringLiteral("Default/Checkpoints: last saved absolute path")).toString(),
        path(QStringLiteral("out")));
}

void TestSelectionFrame::saveOverAConfirmedFileAndKeepAFailedOne()
{
    QVERIFY(writeFile(path(QStringLiteral("src/scan.pdf")), pattern(300000, 6)));
    testserver::Job scan = job(QStringLiteral("j1"), QStringLiteral("scan.pdf"), 1, false);
    scan.package = testserver::Package::fromPath(path(QStringLiteral("src/scan.pdf")));
    serve({ scan });
    QVERIFY(refresh());
    show(QStringLiteral("j1"));
    QVERIFY(writeFile(path(QStringLiteral("out/scan.pdf")), "an older scan"));

    QStringList texts;
    {
        ModalAnswers answers({ saveAs(path(QStringLiteral("out/scan.pdf"))), confirmOverwrite(&texts) });
        m_panel->saveJobButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);

        QCOMPARE(answers.unexpected(), 0);
    }
    QCOMPARE(texts.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(describe(path(QStringLiteral("out/scan.pdf"))).values(),
        describe(path(QStringLiteral("src/scan.pdf"))).values(), 5000);
    QVERIFY(downloadFolders().isEmpty());

    // A target on another file system that cannot take the file: the user
    // is told, and the download stays.
    const QString shm = QStringLiteral("/dev/shm/vornex-save-%1").arg(QCoreApplication::applicationPid());
    QVERIFY(QDir().mkpath(shm));
    texts.clear();
    {
        // Once the download is in, no file may grow past 64 KiB.
        std::unique_ptr<FileSizeLimit> limit;
        const ModalAnswers::Step choose = saveAs(shm + QStringLiteral("/scan.pdf"));
        const ModalAnswers::Step told = okBox(&texts);
        ModalAnswers answers({ [&](QWidget *widget) {
                                  limit = std::make_unique<FileSizeLimit>(64 * 1024);
                                  return choose(widget);
                              },
            [&](QWidget *widget) {
                limit.reset();
                return told(widget);
            } });
        m_panel->saveJobButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
        QCOMPARE(
            answers.seen(), (QStringList { QStringLiteral("QFileDialog"), QStringLiteral("QMessageBox") }));
    }
    QCOMPARE(texts.size(), 1);
    QVERIFY(texts.at(0).contains(QStringLiteral("could not be saved")));
    QCOMPARE(downloadFolders().size(), 1);
    const QString kept = QDir(QDir::tempPath()).absoluteFilePath(downloadFolders().at(0));
    QCOMPARE(describe(kept + QStringLiteral("/scan.pdf")).values(),
        describe(path(QStringLiteral("src/scan.pdf"))).values());
    QVERIFY(texts.at(0).contains(kept));
    QDir(shm).removeRecursively();
    // Not taken away behind the user's back either.
    m_panel.reset();
    QCOMPARE(downloadFolders().size(), 1);
    QDir(kept).removeRecursively();
}

void TestSelectionFrame::failedDownloadsKeepTheJob()
{
    testserver::Job bad = job(QStringLiteral("j1"), QStringLiteral("bad.pdf"), 1, false);
    bad.package = testserver::Package::fromBytes(
        QByteArray("VXFS\0\1\0\0", 8) + QByteArray(1, 2) + QByteArray("\0\0\0\x0b../evil.txt", 15));
    serve({ bad });
    QVERIFY(refresh());
    show(QStringLiteral("j1"));
    QList<PushJobInfo> pushed;
    connect(m_panel.get(), &SelectionFrame::JobPushed, this,
        [&pushed](PushJobInfo &info) { pushed.append(info); });
    QStringList texts;
    ModalAnswers answers({ okBox(&texts) });
    m_panel->viewJobButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
    QCOMPARE(texts, QStringList { QStringLiteral("bad.pdf could not be downloaded. Try later.") });
    QCOMPARE(pushed.size(), 0);
    QVERIFY(m_checkPoint->hasJob(QStringLiteral("j1")));
    QVERIFY(m_desktop->opened.isEmpty());
    QVERIFY(downloadFolders().isEmpty());
    QVERIFY(!QFileInfo::exists(QDir::tempPath() + QStringLiteral("/evil.txt")));
}

void TestSelectionFrame::jobGoneOnTheServerLeavesOnlyThatJob()
{
    testserver::Job gone = job(QStringLiteral("jg"), QStringLiteral("gone.pdf"), 1, false);
    gone.enableReportViewing = true;
    gone.reportName = QStringLiteral("r.txt");
    testserver::Job other = job(QStringLiteral("jo"), QStringLiteral("other.pdf"), 1, false);
    serve({ gone, other });
    QVERIFY(refresh());
    const CheckPointJobPtr goneJob = show(QStringLiteral("jg"));
    // The report is not there: the job stays.
    QStringList texts;
    {
        ModalAnswers answers({ okBox(&texts) });
        m_panel->viewReportButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
    }
    QCOMPARE(texts, QStringList { QStringLiteral("Report for job <gone.pdf> was deleted or processed") });
    QVERIFY(m_checkPoint->hasJob(QStringLiteral("jg")));
    QVERIFY(!m_panel->viewReportButton()->isEnabled());
    QVERIFY(m_panel->viewJobButton()->isEnabled());
    m_panel->SetJob(goneJob);
    QVERIFY(m_panel->viewReportButton()->isEnabled());

    // The job itself is gone by the time its download is answered, and the
    // user has moved on to another job meanwhile.
    serve({ other });
    m_server->setFault(testserver::Operation::DownloadFile08, testserver::Fault::delay(800));
    QList<PushJobInfo> pushed;
    connect(m_panel.get(), &SelectionFrame::JobPushed, this,
        [&pushed](PushJobInfo &info) { pushed.append(info); });
    texts.clear();
    ModalAnswers answers({ okBox(&texts) });
    m_panel->viewJobButton()->click();
    show(QStringLiteral("jo"));
    QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
    QCOMPARE(texts, QStringList { QStringLiteral("gone.pdf was deleted or processed") });
    QCOMPARE(pushed.size(), 1);
    const PushJobInfo info = pushed.at(0);
    QVERIFY(!info.push);
    QCOMPARE(info.jobId, QStringLiteral("jg"));
    QVERIFY(!m_checkPoint->hasJob(QStringLiteral("jg")));
    QVERIFY(m_checkPoint->hasJob(QStringLiteral("jo")));
    QVERIFY(!ServerTest::operations(*m_server).contains(QStringLiteral("PushCheckpointJob")));
    QCOMPARE(goneJob->downloadState(), int(CheckPointJob::Downloaded));
}

void TestSelectionFrame::screenshot()
{
    const QString folder = qEnvironmentVariable("VORNEX_SCREENSHOT_DIR");
    if (folder.isEmpty())
        QSKIP("Set VORNEX_SCREENSHOT_DIR to take the pictures.");
    m_server->loadDemoData();
    m_checkPoint = nullptr;
    QSignalSpy updated(m_proxy.get(), &ServerProxy::updateCheckPointsRequest);
    m_proxy->startUpdatingData(2);
    QVERIFY(updated.wait(10000));
    for (const FlowPtr &flow : m_proxy->getFlows(m_connection)) {
        for (const CheckPointPtr &point : m_proxy->getCheckPoints(flow)) {
            if (!m_checkPoint && point->getJobCount() > 0)
                m_checkPoint = point.get();
        }
    }
    QVERIFY(m_checkPoint);
    m_panel->SetChechpoint(m_checkPoint);
    show(m_checkPoint->getJobIds().first());
    fill(QStringLiteral("Anna"));
    m_panel->pushWidget()->list()->item(0)->setCheckState(Qt::Checked);
    QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
    QVERIFY(m_panel->grab().save(folder + QStringLiteral("/job-panel.png")));

    Client::ReplaceJobDialog dialog(nullptr, m_checkPoint, m_checkPoint->getJobIds().first());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.grab().save(folder + QStringLiteral("/replace-dialog-choose.png")));
    QVERIFY(writeFile(path(QStringLiteral("Brochure v2.pdf")), pattern(90000, 8)));
    emit dialog.dropPanel()->FilesDroped({ path(QStringLiteral("Brochure v2.pdf")) });
    QVERIFY(dialog.grab().save(folder + QStringLiteral("/replace-dialog-decide.png")));
    dialog.close();

    // The whole page, the panel in its place.
    const ServerProxyPtr proxy(new ServerProxy);
    ServerConnection *connection = ServerTest::addConnection(*proxy, m_server->port());
    QVERIFY(connection->connectToServer());
    Client::CheckPointPage page(proxy);
    page.resize(1100, 640);
    page.show();
    QSignalSpy pageUpdated(proxy.get(), &ServerProxy::updateCheckPointsRequest);
    proxy->startUpdatingData(2);
    QVERIFY(pageUpdated.wait(10000));
    QTreeView *points = page.checkpointsView()->view();
    page.checkpointsView()->itemClicked(points->model()->index(0, 0));
    QTreeView *jobs = page.jobsView()->view();
    QVERIFY(jobs->model()->rowCount() > 0);
    page.jobsView()->itemClicked(jobs->model()->index(0, 0));
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QVERIFY(page.grab().save(folder + QStringLiteral("/checkpoints-page.png")));
}

VORNEX_TEST_MAIN(TestSelectionFrame)
#include "tst_selectionframe.moc"
