#include "CheckPoint.h"
#include "CheckPointJob.h"
#include "CheckPointPage.h"
#include "CheckpointJobsView.h"
#include "CheckpointsView.h"
#include "Desktop.h"
#include "DragDropPanel.h"
#include "HeaderLabel.h"
#include "MetadataExplorer.h"
#include "MetadataExplorerModel.h"
#include "ModalAnswers.h"
#include "PushJobWidget.h"
#include "ReplaceJobDialog.h"
#include "SelectionFrame.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "XMLValues.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTreeView>
#include <QtTest>

#include <csignal>
#include <memory>

#include <sys/resource.h>

using Client::CheckPointJob;
using Client::SelectionFrame;

using TestFiles::describe;
using TestFiles::downloadFolders;
using TestFiles::FileSizeLimit;
using TestFiles::pattern;
using TestFiles::writeFile;

namespace {

const QString flowId = QStringLiteral("flow-1");
const QString pointId = QStringLiteral("check-1");

// Takes what the client would open instead of starting a viewer.
class RecordingDesktop : public Desktop
{
public:
    bool openWithHandler(const QString &path) override
    {
        opened.append(path);
        // What the viewer would see at that moment.
        contents.append(describe(path));
        return true;
    }
    QString documentsFolder() const override { return documents; }

    QStringList opened;
    QList<QMap<QString, QString>> contents;
    QString documents;
};

ModalAnswers::Step okBox(QStringList *texts)
{
    return [texts](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box) {
            widget->close();
            return true;
        }
        texts->append(box->text());
        box->button(QMessageBox::Ok)->click();
        return true;
    };
}

// Saves as `target` (cancels for an empty one); keeps what the dialog proposed.
ModalAnswers::Step saveAs(const QString &target, QString *proposed = nullptr)
{
    auto first = std::make_shared<bool>(true);
    return [target, proposed, first](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog) {
            widget->close();
            return true;
        }
        if (proposed && *first && !dialog->selectedFiles().isEmpty())
            *proposed = dialog->selectedFiles().first();
        *first = false;
        if (target.isEmpty()) {
            dialog->reject();
            return true;
        }
        if (!ModalAnswers::chooseIn(dialog, target))
            return false;
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        return true;
    };
}

// Answers the question of the file dialog before it replaces a file.
ModalAnswers::Step confirmOverwrite(QStringList *texts)
{
    return [texts](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box) {
            widget->close();
            return true;
        }
        texts->append(box->text());
        QAbstractButton *yes = box->button(QMessageBox::Yes);
        if (yes)
            yes->click();
        else
            box->accept();
        return true;
    };
}

ModalAnswers::Step pressButton(const QString &text, QStringList *texts)
{
    return [text, texts](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box) {
            widget->close();
            return true;
        }
        texts->append(box->windowTitle() + QLatin1Char('|') + box->text());
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == text) {
                button->click();
                return true;
            }
        }
        if (text == QLatin1String("Escape"))
            QTest::keyClick(box, Qt::Key_Escape);
        return true;
    };
}

} // namespace

class TestSelectionFrame : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void emptyCheckpointAndJobViews();
    void viewJobAndReportOpenTheDownload();
    void jobButtonsStayOffWhileTheJobDownloads();
    void saveJobAndReportWhereChosen();
    void saveOverAConfirmedFileAndKeepAFailedOne();
    void failedDownloadsKeepTheJob();
    void jobGoneOnTheServerLeavesOnlyThatJob();
    void pushByButtonAndByList();
    void typedMetadataSurvivesARefresh();
    void lockHeldElsewhere();
    void lockCheckFaultIsTold();
    void replaceThroughThePanel();
    void waitingPushLocksTheJob();
    void pageActsOnTheJobTheDecisionNames();
    void pushKeepsItsCheckpointWhateverIsShown_data();
    void pushKeepsItsCheckpointWhateverIsShown();
    void offlinePushWaitsInTheQueue();
    void clicksDuringALockCheckAreKept();
    void screenshot();

private:
    QString path(const QString &name) const { return m_work + QLatin1Char('/') + name; }
    testserver::Job job(const QString &id, const QString &name, int connections, bool multiple) const;
    void serve(const QList<testserver::Job> &jobs);
    // Brings the checkpoint's jobs over as the client takes them in.
    bool refresh();
    CheckPointJobPtr show(const QString &jobId);
    QStringList lockModes() const;
    int downloads() const;
    void fill(const QString &value);

    QString m_work;
    std::unique_ptr<testserver::Server> m_server;
    std::unique_ptr<ServerProxy> m_proxy;
    ServerConnection *m_connection = nullptr;
    CheckPoint *m_checkPoint = nullptr;
    std::unique_ptr<SelectionFrame> m_panel;
    std::unique_ptr<RecordingDesktop> m_desktop;
};

void TestSelectionFrame::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Marvolt Software"));
    QCoreApplication::setApplicationName(QStringLiteral("VORNEXclient"));
    ServerTest::useShortTimeouts();
}

void TestSelectionFrame::init()
{
    m_work = QDir::tempPath() + QStringLiteral("/work-") + QString::fromLatin1(QTest::currentTestFunction());
    QDir(m_work).removeRecursively();
    QVERIFY(QDir().mkpath(m_work));
    m_desktop = std::make_unique<RecordingDesktop>();
    m_desktop->documents = path(QStringLiteral("Documents"));
    QVERIFY(QDir().mkpath(m_desktop->documents));
    Desktop::setInstance(m_desktop.get());
    m_server = ServerTest::startServer();
    QVERIFY(m_server);
    m_proxy = std::make_unique<ServerProxy>();
    m_connection = ServerTest::addConnection(*m_proxy, m_server->port());
    QVERIFY(m_connection->connectToServer());
    m_panel = std::make_unique<SelectionFrame>();
    m_panel->resize(360, 560);
    m_panel->show();
    // What the page does with a decision: push the job the record names.
    connect(m_panel.get(), &SelectionFrame::JobPushed, this, [this](PushJobInfo &info) {
        if (m_checkPoint)
            m_checkPoint->pushJob(info.jobId, info);
    });
}

void TestSelectionFrame::cleanup()
{
    m_panel.reset();
    m_checkPoint = nullptr;
    m_proxy.reset();
    m_connection = nullptr;
    m_server.reset();
    Desktop::setInstance(nullptr);
    m_desktop.reset();
    QSettings().clear();
    if (!QTest::currentTestFailed())
        QDir(m_work).removeRecursively();
}

testserver::Job TestSelectionFrame::job(
    const QString &id, const QString &name, int connections, bool multiple) const
{
    testserver::Job job;
    job.id = id;
    job.name = name;
    job.fullUserName = QStringLiteral("Anna");
    job.allowReplacing = true;
    job.allowMultipleOutputs = multiple;
    for (int i = 1; i <= connections; ++i)
        job.connections.append(
            { QStringLiteral("%1-out%2").arg(id).arg(i), QStringLiteral("Out %1").arg(i) });
    testserver::MetadataField customer;
    customer.label = QStringLiteral("Customer");
    customer.dataType = Tamsor::XMLValues::EDITORTYPE_STRING;
    customer.valueIsRequired = true;
    job.requiresMetadata = true;
    job.requiredMetadata = { customer };
    job.metadata = { { QStringLiteral("Pages"), QStringLiteral("Page count"),
        Tamsor::XMLValues::EDITORTYPE_STRING, QStringLiteral("12") } };
    return job;
}

void TestSelectionFrame::serve(const QList<testserver::Job> &jobs)
{
    testserver::CheckPoint point;
    point.id = pointId;
    point.name = QStringLiteral("Proof");
    point.jobs = jobs;
    testserver::Flow flow;
    flow.id = flowId;
    flow.name = QStringLiteral("Print");
    flow.checkPoints = { point };
    m_server->setFlows({ flow });
}

bool TestSelectionFrame::refresh()
{
    QSignalSpy updated(m_proxy.get(), &ServerProxy::updateCheckPointsRequest);
    m_proxy->startUpdatingData(2);
    if (!updated.wait(10000))
        return false;
    const QVector<FlowPtr> flows = m_proxy->getFlows(m_connection);
    for (const FlowPtr &flow : flows) {
        for (const CheckPointPtr &point : m_proxy->getCheckPoints(flow)) {
            if (point->getId() == pointId)
                m_checkPoint = point.get();
        }
    }
    if (!m_checkPoint)
        return false;
    m_panel->SetChechpoint(m_checkPoint);
    return true;
}

CheckPointJobPtr TestSelectionFrame::show(const QString &jobId)
{
    CheckPointJobPtr shown(new CheckPointJob(m_checkPoint, jobId));
    m_panel->SetJob(shown);
    return shown;
}

QStringList TestSelectionFrame::lockModes() const
{
    QStringList modes;
    for (const testserver::JournalEntry &entry : m_server->journal()) {
        if (entry.operation == QLatin1String("SetJobLockStatus"))
            modes.append(entry.arguments.value(QStringLiteral("lockStatus")));
    }
    return modes;
}

int TestSelectionFrame::downloads() const
{
    return int(ServerTest::operations(*m_server).count(QStringLiteral("DownloadFile08")));
}

void TestSelectionFrame::fill(const QString &value)
{
    Client::MetadataExplorerModel *model = m_panel->explorer()->model();
    QVERIFY(model->setData(model->index(0, 1), value, Qt::EditRole));
}

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

void TestSelectionFrame::pushByButtonAndByList()
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

void TestSelectionFrame::typedMetadataSurvivesARefresh()
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

void TestSelectionFrame::lockHeldElsewhere()
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
void TestSelectionFrame::lockCheckFaultIsTold()
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

void TestSelectionFrame::replaceThroughThePanel()
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

void TestSelectionFrame::waitingPushLocksTheJob()
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

void TestSelectionFrame::pageActsOnTheJobTheDecisionNames()
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

void TestSelectionFrame::pushKeepsItsCheckpointWhateverIsShown_data()
{
    QTest::addColumn<bool>("reset");
    QTest::newRow("another checkpoint picked") << false;
    QTest::newRow("page reset") << true;
}

void TestSelectionFrame::pushKeepsItsCheckpointWhateverIsShown()
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

void TestSelectionFrame::offlinePushWaitsInTheQueue()
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

void TestSelectionFrame::clicksDuringALockCheckAreKept()
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
