// The job panel's decisions: pushing, replacing, locks, and what the server answers.
#include "JobPanelTest.h"

#include <QElapsedTimer>

class TestJobPanelPush : public JobPanelTestBase
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void pushByButtonAndByList();
    void typedMetadataSurvivesARefresh();
    void refusedPushIsToldAndKeepsWhatWasTyped_data();
    void refusedPushIsToldAndKeepsWhatWasTyped();
    void unansweredPushAsksBeforeItGoesAgain();
    void lockHeldElsewhere();
    void lockCheckFaultIsTold();
    void replaceThroughThePanel();
    void lostLockOfAReplaceIsReleased();
    void waitingPushLocksTheJob();
    void pageActsOnTheJobTheDecisionNames();
    void pushKeepsItsCheckpointWhateverIsShown_data();
    void pushKeepsItsCheckpointWhateverIsShown();
    void offlinePushWaitsInTheQueue();
    void clicksDuringALockCheckAreKept();
    void jobThatLeftIsNotPushed_data();
    void jobThatLeftIsNotPushed();
};

void TestJobPanelPush::pushByButtonAndByList()
{
    serve({ job(QStringLiteral("single"), QStringLiteral("one.pdf"), 3, false),
        job(QStringLiteral("multi"), QStringLiteral("many.pdf"), 3, true) });
    QVERIFY(refresh());

    show(QStringLiteral("single"));
    Client::PushJobWidget *widget = m_panel->pushWidget();
    QVERIFY(!widget->button(2)->isEnabled());
    fill(QStringLiteral("ACME"));
    QVERIFY(widget->button(2)->isEnabled());
    widget->button(2)->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->pushes().size(), 1, 10000);
    testserver::Push push = m_server->pushes().at(0);
    QCOMPARE(push.jobId, QStringLiteral("single"));
    QCOMPARE(push.checkPointId, pointId);
    QCOMPARE(push.request.connectionIds, QStringList { QStringLiteral("single-out2") });
    QCOMPARE(push.request.jobName, QStringLiteral("one.pdf"));
    QCOMPARE(push.request.requiredMetadata.value(0).value, QStringLiteral("ACME"));
    // Gone once the answer is in.
    QTRY_VERIFY_WITH_TIMEOUT(!m_checkPoint->hasJob(QStringLiteral("single")), 10000);

    show(QStringLiteral("multi"));
    QListWidget *list = widget->list();
    QVERIFY(list->isVisible());
    list->item(0)->setCheckState(Qt::Checked);
    list->item(2)->setCheckState(Qt::Checked);
    // Ticks alone push nothing while the customer is missing.
    QVERIFY(!widget->listPushButton()->isEnabled());
    fill(QStringLiteral("Globex"));
    QVERIFY(widget->listPushButton()->isEnabled());
    widget->listPushButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->pushes().size(), 2, 10000);
    push = m_server->pushes().at(1);
    QCOMPARE(push.jobId, QStringLiteral("multi"));
    QCOMPARE(push.request.connectionIds,
        (QStringList { QStringLiteral("multi-out1"), QStringLiteral("multi-out3") }));
    QCOMPARE(push.request.requiredMetadata.value(0).value, QStringLiteral("Globex"));
    // What was typed went with the push.
    QCOMPARE(m_panel->explorer()->metadataToFill().value(0).value, QString());
}

void TestJobPanelPush::typedMetadataSurvivesARefresh()
{
    serve({ job(QStringLiteral("j1"), QStringLiteral("one.pdf"), 2, false),
        job(QStringLiteral("j2"), QStringLiteral("two.pdf"), 2, false) });
    QVERIFY(refresh());
    show(QStringLiteral("j1"));
    fill(QStringLiteral("Initech"));
    // The page rebuilds its job objects and shows the job again.
    QVERIFY(refresh());
    show(QStringLiteral("j1"));
    QCOMPARE(m_panel->explorer()->metadataToFill().value(0).value, QStringLiteral("Initech"));
    QVERIFY(m_panel->pushWidget()->button(1)->isEnabled());
    show(QStringLiteral("j2"));
    QCOMPARE(m_panel->explorer()->metadataToFill().value(0).value, QString());
    QVERIFY(!m_panel->pushWidget()->button(1)->isEnabled());
    show(QStringLiteral("j1"));
    QCOMPARE(m_panel->explorer()->metadataToFill().value(0).value, QStringLiteral("Initech"));
}

void TestJobPanelPush::refusedPushIsToldAndKeepsWhatWasTyped_data()
{
    QTest::addColumn<testserver::Fault>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("fault with a reason")
        << testserver::Fault::senderFault(QStringLiteral("Out of paper"))
        << QStringLiteral("The server refused to send the job on: Out of paper");
    // The job is gone on the server: it answers 0.
    QTest::newRow("answer 0") << testserver::Fault()
                              << QStringLiteral("The server refused to send the job on.");
}

void TestJobPanelPush::refusedPushIsToldAndKeepsWhatWasTyped()
{
    QFETCH(testserver::Fault, fault);
    QFETCH(QString, reason);
    serve({ job(QStringLiteral("j1"), QStringLiteral("one.pdf"), 2, false) });
    QVERIFY(refresh());
    show(QStringLiteral("j1"));
    fill(QStringLiteral("ACME"));
    if (fault.kind == testserver::Fault::None)
        serve({});
    else
        m_server->setFault(testserver::Operation::PushCheckpointJob, fault.times(1));
    QStringList texts;
    {
        ModalAnswers answers({ okBox(&texts) });
        m_panel->pushWidget()->button(1)->click();
        QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
    }
    QCOMPARE(texts, QStringList { QStringLiteral("The job <one.pdf> was not sent on.\n") + reason });
    QCOMPARE(ServerTest::operations(*m_server).count(QStringLiteral("PushCheckpointJob")), 1);
    QCOMPARE(m_checkPoint->getJobStatus(QStringLiteral("j1")), 0);
    QCOMPARE(m_panel->explorer()->metadataToFill().value(0).value, QStringLiteral("ACME"));
    QVERIFY(m_panel->pushWidget()->button(1)->isEnabled());
    show(QStringLiteral("j1"));
    QCOMPARE(m_panel->explorer()->metadataToFill().value(0).value, QStringLiteral("ACME"));
}

void TestJobPanelPush::unansweredPushAsksBeforeItGoesAgain()
{
    serve({ job(QStringLiteral("j1"), QStringLiteral("one.pdf"), 2, false) });
    QVERIFY(refresh());
    show(QStringLiteral("j1"));
    fill(QStringLiteral("ACME"));
    // The answer comes after the call's limit.
    m_server->setFault(testserver::Operation::PushCheckpointJob, testserver::Fault::delay(4000).times(1));
    m_panel->pushWidget()->button(1)->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_checkPoint->isPushUnanswered(QStringLiteral("j1")), 10000);
    show(QStringLiteral("j1"));
    QCOMPARE(m_checkPoint->getJobStatus(QStringLiteral("j1")), int(CheckPointJobData::kPushWaiting));
    fill(QStringLiteral("ACME"));
    QVERIFY(m_panel->pushWidget()->button(1)->isEnabled());
    const auto answer = [](QMessageBox::StandardButton button, QStringList *texts) {
        return [button, texts](QWidget *widget) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (!box)
                return false;
            texts->append(box->text());
            box->button(button)->click();
            return true;
        };
    };
    QStringList texts;
    for (const QMessageBox::StandardButton button : { QMessageBox::No, QMessageBox::Yes }) {
        ModalAnswers answers({ answer(button, &texts) });
        m_panel->pushWidget()->button(2)->click();
        QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
    }
    QCOMPARE(texts.size(), 2);
    QCOMPARE(texts.first(),
        QStringLiteral("The server did not answer the last push of <one.pdf>: it may still send the job on. "
                       "Push it again?"));
    // Only the confirmed one went, with its own choice.
    QTRY_COMPARE_WITH_TIMEOUT(
        ServerTest::operations(*m_server).count(QStringLiteral("PushCheckpointJob")), 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->pushes().size(), 2, 10000);
    QCOMPARE(m_server->pushes().first().request.connectionIds, QStringList { QStringLiteral("j1-out2") });
}

void TestJobPanelPush::lockHeldElsewhere()
{
    QVERIFY(writeFile(path(QStringLiteral("a.pdf")), "a"));
    testserver::Job a = job(QStringLiteral("j1"), QStringLiteral("a.pdf"), 2, false);
    a.package = testserver::Package::fromPath(path(QStringLiteral("a.pdf")));
    serve({ a });
    QVERIFY(refresh());
    show(QStringLiteral("j1"));
    m_server->setLock(flowId, pointId, QStringLiteral("j1"), QStringLiteral("bob (10.9.9.9)"));
    m_server->clearJournal();
    const QString busy = QStringLiteral("User 'bob (10.9.9.9)' is currently replacing this job. Try later.");

    QStringList texts;
    {
        ModalAnswers answers({ okBox(&texts) });
        m_panel->viewJobButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
    }
    fill(QStringLiteral("ACME"));
    {
        ModalAnswers answers({ okBox(&texts) });
        m_panel->pushWidget()->button(1)->click();
        QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
    }
    QCOMPARE(texts, (QStringList { busy, busy }));
    QCOMPARE(downloads(), 0);
    QVERIFY(m_server->pushes().isEmpty());

    // Replacing asks; Escape and Cancel leave the other user's lock alone.
    const QString question
        = QStringLiteral("Acquiring a lock|User 'bob (10.9.9.9)' is currently replacing this "
                         "job; if you press the overrule button, the replacement job provided "
                         "by user 'bob (10.9.9.9)' will be lost");
    for (const QString &answer : { QStringLiteral("Escape"), QStringLiteral("Cancel") }) {
        texts.clear();
        ModalAnswers answers({ pressButton(answer, &texts) });
        m_panel->replaceButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
        QCOMPARE(texts, QStringList { question });
        QTRY_COMPARE(answers.seen().size(), 1);
    }
    QCOMPARE(lockModes(), QStringList());
    QCOMPARE(m_server->lock(flowId, pointId, QStringLiteral("j1")), QStringLiteral("bob (10.9.9.9)"));

    // Overrule takes the lock and opens the dialog; closing it releases.
    texts.clear();
    ModalAnswers answers({ pressButton(QStringLiteral("Overrule"), &texts), [](QWidget *widget) {
                              if (!qobject_cast<Client::ReplaceJobDialog *>(widget))
                                  return false;
                              widget->close();
                              return true;
                          } });
    m_panel->replaceButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
    // The release goes out in the background.
    QTRY_COMPARE_WITH_TIMEOUT(lockModes(), (QStringList { QStringLiteral("1"), QStringLiteral("0") }), 10000);
}

// A server that answers the lock check with a fault was reached: its
// words are told, not a connection failure.
void TestJobPanelPush::lockCheckFaultIsTold()
{
    serve({ job(QStringLiteral("j1"), QStringLiteral("a.pdf"), 2, false) });
    QVERIFY(refresh());
    show(QStringLiteral("j1"));
    m_server->setFault(testserver::Operation::GetJobLockStatus,
        testserver::Fault::receiverFault(QStringLiteral("Job store busy")).times(1));
    QStringList texts;
    ModalAnswers answers({ okBox(&texts) });
    m_panel->viewJobButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
    QCOMPARE(texts,
        QStringList {
            QStringLiteral("The server could not tell whether the job is locked: Job store busy") });
    QCOMPARE(downloads(), 0);
}

void TestJobPanelPush::replaceThroughThePanel()
{
    QVERIFY(writeFile(path(QStringLiteral("orig.pdf")), "orig"));
    QVERIFY(writeFile(path(QStringLiteral("new.pdf")), pattern(50000, 7)));
    testserver::Job a = job(QStringLiteral("j1"), QStringLiteral("orig.pdf"), 2, false);
    a.package = testserver::Package::fromPath(path(QStringLiteral("orig.pdf")));
    serve({ a });
    QVERIFY(refresh());
    show(QStringLiteral("j1"));
    m_server->clearJournal();
    QList<PushJobInfo> removed;
    connect(m_panel.get(), &SelectionFrame::removePushedJob, this,
        [&removed](PushJobInfo &info) { removed.append(info); });
    const QString replacement = path(QStringLiteral("new.pdf"));
    ModalAnswers answers({ [replacement](QWidget *widget) {
        auto *dialog = qobject_cast<Client::ReplaceJobDialog *>(widget);
        if (!dialog)
            return false;
        emit dialog->dropPanel()->FilesDroped({ replacement });
        Client::MetadataExplorerModel *model = dialog->explorer()->model();
        model->setData(model->index(0, 1), QStringLiteral("ACME"), Qt::EditRole);
        dialog->pushWidget()->button(1)->click();
        return true;
    } });
    m_panel->replaceButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(removed.size(), 1, 20000);
    const PushJobInfo info = removed.at(0);
    QVERIFY(info.push);
    QCOMPARE(info.jobId, QStringLiteral("j1"));
    QCOMPARE(info.connectionIds, QStringList { QStringLiteral("j1-out1") });
    QCOMPARE(lockModes(), (QStringList { QStringLiteral("1"), QStringLiteral("3") }));
    QCOMPARE(m_server->uploads().size(), 1);
    QVERIFY(m_server->uploads().at(0).accepted);
    QCOMPARE(m_server->uploads().at(0).jobInfo.connectionIds, QStringList { QStringLiteral("j1-out1") });
}

void TestJobPanelPush::lostLockOfAReplaceIsReleased()
{
    serve({ job(QStringLiteral("j1"), QStringLiteral("a.pdf"), 2, false) });
    QVERIFY(refresh());
    show(QStringLiteral("j1"));
    m_server->clearJournal();
    // The server sets the lock after the call's limit.
    const int delayMs = 2500;
    m_server->setFault(testserver::Operation::SetJobLockStatus, testserver::Fault::delay(delayMs).times(1));
    QElapsedTimer sinceClick;
    sinceClick.start();
    QStringList texts;
    {
        ModalAnswers answers({ okBox(&texts) });
        m_panel->replaceButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
    }
    QCOMPARE(texts, QStringList { QStringLiteral("The job can't be locked") });
    // Nobody else is kept out by it.
    QTRY_VERIFY_WITH_TIMEOUT(sinceClick.elapsed() > delayMs + 500
            && m_server->lock(flowId, pointId, QStringLiteral("j1")).isEmpty()
            && lockModes() == (QStringList { QStringLiteral("1"), QStringLiteral("0") }),
        15000);
}

void TestJobPanelPush::waitingPushLocksTheJob()
{
    serve({ job(QStringLiteral("j1"), QStringLiteral("a.pdf"), 2, false) });
    QVERIFY(refresh());
    QVERIFY(m_checkPoint->setJobStatus(QStringLiteral("j1"), CheckPointJobData::kPushWaiting));
    show(QStringLiteral("j1"));
    QVERIFY(!m_panel->viewJobButton()->isEnabled());
    QVERIFY(!m_panel->saveJobButton()->isEnabled());
    QVERIFY(m_panel->replaceButton()->isHidden());
    QVERIFY(!m_panel->explorer()->isEnabled());
    QVERIFY(!m_panel->pushWidget()->button(1)->isEnabled());
}

void TestJobPanelPush::pageActsOnTheJobTheDecisionNames()
{
    serve({ job(QStringLiteral("j1"), QStringLiteral("one.pdf"), 1, false),
        job(QStringLiteral("j2"), QStringLiteral("two.pdf"), 1, false) });
    const ServerProxyPtr proxy(new ServerProxy);
    ServerConnection *connection = ServerTest::addConnection(*proxy, m_server->port());
    QVERIFY(connection->connectToServer());
    Client::CheckPointPage page(proxy);
    page.resize(1000, 600);
    page.show();
    QSignalSpy updated(proxy.get(), &ServerProxy::updateCheckPointsRequest);
    proxy->startUpdatingData(2);
    QVERIFY(updated.wait(10000));

    QTreeView *points = page.checkpointsView()->view();
    QCOMPARE(points->model()->rowCount(), 1);
    page.checkpointsView()->itemClicked(points->model()->index(0, 0));
    QTreeView *jobs = page.jobsView()->view();
    QCOMPARE(jobs->model()->rowCount(), 2);
    const auto rowOf = [jobs](const QString &name) {
        for (int row = 0; row < jobs->model()->rowCount(); ++row) {
            if (jobs->model()->index(row, 0).data().toString() == name)
                return jobs->model()->index(row, 0);
        }
        return QModelIndex();
    };
    page.jobsView()->itemClicked(rowOf(QStringLiteral("one.pdf")));
    Client::SelectionFrame *panel = page.jobPanel();
    QCOMPARE(panel->titleLabel()->text(), QStringLiteral("Job: one.pdf"));
    Client::MetadataExplorerModel *model = panel->explorer()->model();
    QVERIFY(model->setData(model->index(0, 1), QStringLiteral("ACME"), Qt::EditRole));

    // The user pushes one job and picks the other before the lock check
    // has answered: the push is still the first job's.
    panel->pushWidget()->button(1)->click();
    page.jobsView()->itemClicked(rowOf(QStringLiteral("two.pdf")));
    QCOMPARE(panel->titleLabel()->text(), QStringLiteral("Job: two.pdf"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->pushes().size(), 1, 10000);
    const testserver::Push push = m_server->pushes().at(0);
    QCOMPARE(push.jobId, QStringLiteral("j1"));
    QCOMPARE(push.request.jobName, QStringLiteral("one.pdf"));
    QCOMPARE(push.request.connectionIds, QStringList { QStringLiteral("j1-out1") });
    QCOMPARE(push.request.requiredMetadata.value(0).value, QStringLiteral("ACME"));
    QTRY_COMPARE(jobs->model()->rowCount(), 1);
    QVERIFY(rowOf(QStringLiteral("two.pdf")).isValid());
}

void TestJobPanelPush::pushKeepsItsCheckpointWhateverIsShown_data()
{
    QTest::addColumn<bool>("reset");
    QTest::newRow("another checkpoint picked") << false;
    QTest::newRow("page reset") << true;
}

void TestJobPanelPush::pushKeepsItsCheckpointWhateverIsShown()
{
    QFETCH(bool, reset);
    testserver::CheckPoint first;
    first.id = pointId;
    first.name = QStringLiteral("Proof");
    first.jobs = { job(QStringLiteral("j1"), QStringLiteral("one.pdf"), 1, false) };
    testserver::CheckPoint second;
    second.id = QStringLiteral("check-2");
    second.name = QStringLiteral("Print");
    second.jobs = { job(QStringLiteral("j2"), QStringLiteral("two.pdf"), 1, false) };
    testserver::Flow flow;
    flow.id = flowId;
    flow.name = QStringLiteral("Print");
    flow.checkPoints = { first, second };
    m_server->setFlows({ flow });
    const ServerProxyPtr proxy(new ServerProxy);
    QVERIFY(ServerTest::addConnection(*proxy, m_server->port())->connectToServer());
    Client::CheckPointPage page(proxy);
    page.resize(1000, 600);
    page.show();
    QSignalSpy updated(proxy.get(), &ServerProxy::updateCheckPointsRequest);
    proxy->startUpdatingData(2);
    QVERIFY(updated.wait(10000));
    QTreeView *points = page.checkpointsView()->view();
    const auto pick = [&](const QString &name) {
        for (int row = 0; row < points->model()->rowCount(); ++row) {
            if (points->model()->index(row, 2).data().toString() == name)
                page.checkpointsView()->itemClicked(points->model()->index(row, 0));
        }
    };
    pick(QStringLiteral("Proof"));
    page.jobsView()->itemClicked(page.jobsView()->view()->model()->index(0, 0));
    Client::SelectionFrame *panel = page.jobPanel();
    QCOMPARE(panel->titleLabel()->text(), QStringLiteral("Job: one.pdf"));
    Client::MetadataExplorerModel *model = panel->explorer()->model();
    QVERIFY(model->setData(model->index(0, 1), QStringLiteral("ACME"), Qt::EditRole));

    // The lock check is slow; meanwhile the user picks the other checkpoint.
    m_server->setFault(testserver::Operation::GetJobLockStatus, testserver::Fault::delay(500).times(1));
    panel->pushWidget()->button(1)->click();
    if (reset)
        emit proxy->resetPages();
    else
        pick(QStringLiteral("Print"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->pushes().size(), 1, 10000);
    QCOMPARE(m_server->pushes().at(0).jobId, QStringLiteral("j1"));
    QCOMPARE(m_server->pushes().at(0).checkPointId, pointId);
    QCOMPARE(m_server->pushes().at(0).request.requiredMetadata.value(0).value, QStringLiteral("ACME"));
}

void TestJobPanelPush::offlinePushWaitsInTheQueue()
{
    serve({ job(QStringLiteral("j1"), QStringLiteral("one.pdf"), 1, false) });
    QVERIFY(refresh());
    show(QStringLiteral("j1"));
    fill(QStringLiteral("ACME"));
    m_server->setRefuseConnections(true);
    QStringList texts;
    ModalAnswers answers({ okBox(&texts) });
    m_panel->pushWidget()->button(1)->click();
    // Queued, drawn as waiting, and said by nobody to have failed.
    QTRY_COMPARE_WITH_TIMEOUT(
        m_checkPoint->getJobStatus(QStringLiteral("j1")), int(CheckPointJobData::kPushWaiting), 10000);
    QCOMPARE(m_proxy->actionList().count(), 1);
    QCOMPARE(texts, QStringList());
    // The attempt to reach it again has given up before the server is back.
    QTRY_VERIFY_WITH_TIMEOUT(!m_proxy->hasConnectionActivity(m_connection), 10000);
    QVERIFY(!m_connection->isOnline());

    m_server->setRefuseConnections(false);
    m_proxy->loginAllConnections();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->pushes().size(), 1, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(m_proxy->actionList().count(), 0, 10000);
    QCOMPARE(m_server->pushes().size(), 1);
}

void TestJobPanelPush::clicksDuringALockCheckAreKept()
{
    QVERIFY(writeFile(path(QStringLiteral("a.pdf")), "a"));
    testserver::Job a = job(QStringLiteral("j1"), QStringLiteral("a.pdf"), 1, false);
    a.package = testserver::Package::fromPath(path(QStringLiteral("a.pdf")));
    serve({ a });
    QVERIFY(refresh());
    show(QStringLiteral("j1"));
    fill(QStringLiteral("ACME"));
    // View, then push while the view's check is still out: both are done.
    m_server->setFault(testserver::Operation::GetJobLockStatus, testserver::Fault::delay(500).times(1));
    m_panel->viewJobButton()->click();
    m_panel->pushWidget()->button(1)->click();
    QCOMPARE(m_panel->waitingClicks(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->opened.size(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->pushes().size(), 1, 10000);
    QCOMPARE(m_panel->waitingClicks(), 0);
}

void TestJobPanelPush::jobThatLeftIsNotPushed_data()
{
    QTest::addColumn<bool>("asked");
    QTest::newRow("while its lock is looked at") << false;
    QTest::newRow("while the user is asked to push again") << true;
}

void TestJobPanelPush::jobThatLeftIsNotPushed()
{
    QFETCH(bool, asked);
    const QString j1 = QStringLiteral("j1");
    const testserver::Job other = job(QStringLiteral("j2"), QStringLiteral("two.pdf"), 1, false);
    serve({ job(j1, QStringLiteral("one.pdf"), 2, false), other });
    QVERIFY(refresh());
    show(j1);
    fill(QStringLiteral("ACME"));
    QList<ModalAnswers::Step> steps;
    bool inside = false;
    if (asked) {
        m_server->setFault(testserver::Operation::PushCheckpointJob, testserver::Fault::delay(4000).times(1));
        m_panel->pushWidget()->button(1)->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_checkPoint->isPushUnanswered(j1), 10000);
        show(j1);
        fill(QStringLiteral("ACME"));
        // The job leaves while the question is open; the user says yes.
        steps.append([this, other, &inside](QWidget *widget) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (!box || inside)
                return false;
            inside = true;
            serve({ other });
            const bool taken = refresh();
            inside = false;
            box->button(QMessageBox::Yes)->click();
            return taken;
        });
    } else {
        m_server->setFault(testserver::Operation::GetJobLockStatus, testserver::Fault::delay(800).times(1));
    }
    QStringList texts;
    steps.append(okBox(&texts));
    {
        ModalAnswers answers(steps);
        m_panel->pushWidget()->button(2)->click();
        if (!asked) {
            serve({ other });
            QVERIFY(refresh());
        }
        QTRY_VERIFY_WITH_TIMEOUT(answers.done(), 10000);
        QCOMPARE(answers.unexpected(), 0);
    }
    // The first push may come back refused first, when the server takes it
    // up only after the job left; what counts is that none goes again.
    QVERIFY2(texts.contains(QStringLiteral("The job <one.pdf> has left the checkpoint: it was not sent on.")),
        qPrintable(texts.join(QLatin1Char('|'))));
    QVERIFY(!m_checkPoint->isPushWaiting(j1));
    QCOMPARE(ServerTest::operations(*m_server).count(QStringLiteral("PushCheckpointJob")), asked ? 1 : 0);
    m_server->clearJournal();
}

VORNEX_TEST_MAIN(TestJobPanelPush)
#include "tst_jobpanelpush.moc"
