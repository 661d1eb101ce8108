#include "CheckPoint.h"
#include "DragDropPanel.h"
#include "HeaderLabel.h"
#include "MetadataExplorer.h"
#include "MetadataExplorerModel.h"
#include "ModalAnswers.h"
#include "PushJobWidget.h"
#include "ReplaceJobDialog.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "XMLValues.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

using Client::ReplaceJobDialog;

using TestFiles::pattern;
using TestFiles::sha1Of;
using TestFiles::writeFile;

namespace {

const QString flowId = QStringLiteral("flow-1");
const QString pointId = QStringLiteral("check-1");
const QString jobId = QStringLiteral("job-7");

// Answers a message box with OK and keeps its text.
ModalAnswers::Step okBox(QStringList *texts)
{
    return [texts](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box) {
            widget->close();
            return true;
        }
        texts->append(box->windowTitle() + QLatin1Char('|') + box->text());
        box->button(QMessageBox::Ok)->click();
        return true;
    };
}

ModalAnswers::Step fileDialog(const QString &choose)
{
    return [choose](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog) {
            widget->close();
            return true;
        }
        if (choose.isEmpty()) {
            dialog->reject();
            return true;
        }
        if (!ModalAnswers::chooseIn(dialog, choose))
            return false;
        static_cast<QDialog *>(dialog)->accept();
        return true;
    };
}

} // namespace

class TestReplaceJobDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void titleFollowsTheReplacement();
    void chooseByDialogRemembersTheFolder();
    void decisionIsCheckedBeforeTheTransfer();
    void replacementWithPushReachesTheServer();
    void everyWayOutReleasesTheLockOnce_data();
    void everyWayOutReleasesTheLockOnce();
    void failedReplacementReleasesOnceAndClearsThePush();
    void cancelDuringTheTransferStopsItAndReleasesOnce();
    void relockByAnotherUserClosesTheDialog();
    void lockAnsweredAfterTheDialogWentIsReleased();

private:
    QString path(const QString &name) const { return m_work + QLatin1Char('/') + name; }
    QStringList lockModes() const;
    std::unique_ptr<ReplaceJobDialog> openDialog();
    void decide(ReplaceJobDialog &dialog, const QString &replacement);

    QString m_work;
    std::unique_ptr<testserver::Server> m_server;
    std::unique_ptr<ServerProxy> m_proxy;
    ServerConnection *m_connection = nullptr;
    std::unique_ptr<CheckPoint> m_checkPoint;
};

void TestReplaceJobDialog::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Marvolt Software"));
    QCoreApplication::setApplicationName(QStringLiteral("VORNEXclient"));
    ServerTest::useShortTimeouts();
}

void TestReplaceJobDialog::init()
{
    m_work = QDir::tempPath() + QStringLiteral("/work-") + QString::fromLatin1(QTest::currentTestFunction());
    QDir(m_work).removeRecursively();
    QVERIFY(QDir().mkpath(m_work));
    QVERIFY(writeFile(path(QStringLiteral("original/report.pdf")), "original"));

    m_server = ServerTest::startServer();
    QVERIFY(m_server);
    testserver::Job job;
    job.id = jobId;
    job.name = QStringLiteral("report.pdf");
    job.allowReplacing = true;
    job.connections = { { QStringLiteral("c1"), QStringLiteral("Archive") },
        { QStringLiteral("c2"), QStringLiteral("Print") } };
    testserver::MetadataField customer;
    customer.label = QStringLiteral("Customer");
    customer.dataType = Tamsor::XMLValues::EDITORTYPE_STRING;
    customer.valueIsRequired = true;
    job.requiresMetadata = true;
    job.requiredMetadata = { customer };
    job.package = testserver::Package::fromPath(path(QStringLiteral("original/report.pdf")));
    testserver::CheckPoint point;
    point.id = pointId;
    point.name = QStringLiteral("Check");
    point.jobs = { job };
    testserver::Flow flow;
    flow.id = flowId;
    flow.name = QStringLiteral("Flow");
    flow.checkPoints = { point };
    m_server->setFlows({ flow });

    m_proxy = std::make_unique<ServerProxy>();
    m_connection = ServerTest::addConnection(*m_proxy, m_server->port());
    QVERIFY(m_connection->connectToServer());

    CheckPointJobData record;
    record.name = job.name;
    record.allowReplacing = true;
    for (const testserver::OutgoingConnection &out : job.connections)
        record.connections.append({ out.id, out.name });
    MetadataToFill field;
    field.label = customer.label;
    field.dataType = customer.dataType;
    field.valueIsRequired = true;
    record.requiresMetadata = true;
    record.requiredMetadata = { field };
    m_checkPoint = std::make_unique<CheckPoint>(m_connection, pointId, flowId, QStringLiteral("Check"));
    m_checkPoint->setJobs({ jobId }, { { jobId, record } });

    // The panel locks the job for the user before the dialog opens.
    QVERIFY(m_checkPoint->lockJob(jobId, 1));
}

void TestReplaceJobDialog::cleanup()
{
    m_checkPoint.reset();
    m_proxy.reset();
    m_connection = nullptr;
    m_server.reset();
    QSettings().clear();
    if (!QTest::currentTestFailed())
        QDir(m_work).removeRecursively();
}

QStringList TestReplaceJobDialog::lockModes() const
{
    QStringList modes;
    for (const testserver::JournalEntry &entry : m_server->journal()) {
        if (entry.operation == QLatin1String("SetJobLockStatus"))
            modes.append(entry.arguments.value(QStringLiteral("lockStatus")));
    }
    return modes;
}

std::unique_ptr<ReplaceJobDialog> TestReplaceJobDialog::openDialog()
{
    auto dialog = std::make_unique<ReplaceJobDialog>(nullptr, m_checkPoint.get(), jobId);
    dialog->show();
    return dialog;
}

void TestReplaceJobDialog::decide(ReplaceJobDialog &dialog, const QString &replacement)
{
    emit dialog.dropPanel()->FilesDroped({ replacement });
    QCOMPARE(dialog.state(), int(ReplaceJobDialog::Decide));
    Client::MetadataExplorerModel *model = dialog.explorer()->model();
    QVERIFY(model->setData(model->index(0, 1), QStringLiteral("ACME"), Qt::EditRole));
    QVERIFY(dialog.pushWidget()->button(2)->isEnabled());
}

void TestReplaceJobDialog::titleFollowsTheReplacement()
{
    auto dialog = openDialog();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("VORNEXclient - Replace job"));
    QCOMPARE(dialog->minimumSize(), QSize(330, 420));
    QCOMPARE(dialog->titleLabel()->text(), QStringLiteral("Job: report.pdf"));
    QCOMPARE(dialog->statusTimer()->interval(), 5000);
    QVERIFY(dialog->statusTimer()->isActive());
    QCOMPARE(dialog->progressTimer()->interval(), 500);
    QVERIFY(dialog->dropPanel()->isVisible());
    QVERIFY(dialog->explorer()->isHidden());

    // A path that does not exist, or an empty drop, changes nothing.
    emit dialog->dropPanel()->FilesDroped({});
    emit dialog->dropPanel()->FilesDroped({ path(QStringLiteral("missing.tif")) });
    QCOMPARE(dialog->state(), int(ReplaceJobDialog::Choose));

    QVERIFY(writeFile(path(QStringLiteral("scan.tif")), "tif"));
    emit dialog->dropPanel()->FilesDroped({ path(QStringLiteral("scan.tif")) });
    QCOMPARE(dialog->state(), int(ReplaceJobDialog::Decide));
    QCOMPARE(dialog->titleLabel()->text(), QStringLiteral("Job: report.tif"));
    QVERIFY(dialog->dropPanel()->isHidden());
    QVERIFY(dialog->explorer()->isVisible());
    QVERIFY(dialog->pushWidget()->isVisible());
    QVERIFY(dialog->folderButton()->isHidden());
    // A required field still empty: no push yet.
    QVERIFY(!dialog->pushWidget()->button(1)->isEnabled());
    dialog->close();

    QVERIFY(QDir().mkpath(path(QStringLiteral("data"))));
    auto second = openDialog();
    emit second->dropPanel()->FolderDroped(path(QStringLiteral("data")));
    QCOMPARE(second->titleLabel()->text(), QStringLiteral("Job: report."));
    // A drop does not move the remembered folder.
    QVERIFY(!QSettings().contains(QStringLiteral("ReplaceJob/LastOpenedPath")));
}

void TestReplaceJobDialog::chooseByDialogRemembersTheFolder()
{
    QVERIFY(writeFile(path(QStringLiteral("in/scan.tif")), "tif"));
    auto dialog = openDialog();
    {
        ModalAnswers answers({ fileDialog(QString()) });
        dialog->fileButton()->click();
        QVERIFY(answers.done());
    }
    QCOMPARE(dialog->state(), int(ReplaceJobDialog::Choose));
    QVERIFY(!QSettings().contains(QStringLiteral("ReplaceJob/LastOpenedPath")));
    {
        ModalAnswers answers({ fileDialog(path(QStringLiteral("in/scan.tif"))) });
        dialog->fileButton()->click();
        QVERIFY(answers.done());
        QCOMPARE(answers.seen(), QStringList { QStringLiteral("QFileDialog") });
    }
    QCOMPARE(dialog->state(), int(ReplaceJobDialog::Decide));
    QCOMPARE(dialog->replacementPath(), path(QStringLiteral("in/scan.tif")));
    QCOMPARE(QSettings().value(QStringLiteral("ReplaceJob/LastOpenedPath")).toString(),
        QFileInfo(path(QStringLiteral("in"))).absoluteFilePath());
}

void TestReplaceJobDialog::decisionIsCheckedBeforeTheTransfer()
{
    QVERIFY(writeFile(path(QStringLiteral("scan.tif")), "tif"));
    auto dialog = openDialog();
    emit dialog->dropPanel()->FilesDroped({ path(QStringLiteral("scan.tif")) });
    // Required metadata missing: a push that reaches the dialog anyway is refused.
    emit dialog->pushWidget()->pushJobClicked({ QStringLiteral("c1") });
    QCOMPARE(dialog->state(), int(ReplaceJobDialog::Decide));

    Client::MetadataExplorerModel *model = dialog->explorer()->model();
    QVERIFY(model->setData(model->index(0, 1), QStringLiteral("ACME"), Qt::EditRole));
    // More targets than the job has, or one it does not have: still deciding.
    emit dialog->pushWidget()->pushJobClicked(
        { QStringLiteral("c1"), QStringLiteral("c2"), QStringLiteral("c3") });
    QCOMPARE(dialog->state(), int(ReplaceJobDialog::Decide));
    emit dialog->pushWidget()->pushJobClicked({ QStringLiteral("elsewhere") });
    QCOMPARE(dialog->state(), int(ReplaceJobDialog::Decide));
    // The value typed survives the refusals.
    QCOMPARE(dialog->explorer()->metadataToFill().value(0).value, QStringLiteral("ACME"));

    // A push of this job already on its way: nothing goes.
    m_checkPoint->setJobStatus(jobId, CheckPointJobData::kPushWaiting);
    emit dialog->pushWidget()->pushJobClicked({ QStringLiteral("c1") });
    QCOMPARE(dialog->state(), int(ReplaceJobDialog::Decide));
    QVERIFY(!ServerTest::operations(*m_server).contains(QStringLiteral("ReplaceFile08")));
}

void TestReplaceJobDialog::replacementWithPushReachesTheServer()
{
    QVERIFY(writeFile(path(QStringLiteral("scan.tif")), pattern(300000, 1)));
    m_server->clearJournal();
    auto dialog = openDialog();
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    decide(*dialog, path(QStringLiteral("scan.tif")));
    QTest::mouseClick(dialog->pushWidget()->button(2), Qt::LeftButton);
    QCOMPARE(dialog->state(), int(ReplaceJobDialog::Transfer));
    QVERIFY(dialog->statusLabel()->isVisible());
    QVERIFY(dialog->statusLabel()->text().startsWith(QStringLiteral("Transferring replacement (")));
    QVERIFY(dialog->explorer()->isHidden());
    QVERIFY(!dialog->statusTimer()->isActive());

    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    const PushJobInfo info = dialog->getPushJobInfo();
    QVERIFY(info.push);
    QCOMPARE(info.jobId, jobId);
    QCOMPARE(info.connectionIds, QStringList { QStringLiteral("c2") });
    QCOMPARE(info.requiredMetadata.value(0).value, QStringLiteral("ACME"));
    QCOMPARE(dialog->progressBar()->value(), 100);
    QVERIFY(
        dialog->statusLabel()->text().startsWith(QStringLiteral("Replacement is completed successful (")));

    const QList<testserver::Upload> uploads = m_server->uploads();
    QCOMPARE(uploads.size(), 1);
    QVERIFY(uploads.at(0).accepted);
    QCOMPARE(uploads.at(0).jobId, jobId);
    QCOMPARE(uploads.at(0).fileName, QStringLiteral("scan.tif"));
    QCOMPARE(uploads.at(0).jobInfo.connectionIds, QStringList { QStringLiteral("c2") });
    QCOMPARE(uploads.at(0).jobInfo.jobName, QStringLiteral("report.pdf"));
    QCOMPARE(uploads.at(0).jobInfo.requiredMetadata.value(0).value, QStringLiteral("ACME"));
    QCOMPARE(sha1Of(uploads.at(0).mainFile), sha1Of(path(QStringLiteral("scan.tif"))));
    // Locked for the transfer; a replaced job's lock is left to the server.
    QCOMPARE(lockModes(), QStringList { QStringLiteral("3") });
}

void TestReplaceJobDialog::everyWayOutReleasesTheLockOnce_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("decided");
    QTest::newRow("Cancel while choosing") << QStringLiteral("cancel") << false;
    QTest::newRow("Escape while choosing") << QStringLiteral("escape") << false;
    QTest::newRow("close box while deciding") << QStringLiteral("close") << true;
    QTest::newRow("Escape while deciding") << QStringLiteral("escape") << true;
    QTest::newRow("deleted while deciding") << QStringLiteral("delete") << true;
}

void TestReplaceJobDialog::everyWayOutReleasesTheLockOnce()
{
    QFETCH(QString, way);
    QFETCH(bool, decided);
    QVERIFY(writeFile(path(QStringLiteral("scan.tif")), "tif"));
    m_server->clearJournal();
    auto dialog = openDialog();
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    if (decided)
        emit dialog->dropPanel()->FilesDroped({ path(QStringLiteral("scan.tif")) });
    if (way == QLatin1String("cancel"))
        QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    else if (way == QLatin1String("escape"))
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
    else if (way == QLatin1String("close"))
        dialog->close();
    else
        dialog.reset();
    if (dialog) {
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
        QVERIFY(!dialog->getPushJobInfo().push);
        QVERIFY(!dialog->statusTimer()->isActive());
        dialog.reset();
    }
    // Delivered in the background.
    QTRY_COMPARE_WITH_TIMEOUT(lockModes(), QStringList { QStringLiteral("0") }, 5000);
    QVERIFY(m_server->lock(flowId, pointId, jobId).isEmpty());
}

void TestReplaceJobDialog::failedReplacementReleasesOnceAndClearsThePush()
{
    QVERIFY(writeFile(path(QStringLiteral("scan.tif")), pattern(1000, 2)));
    m_server->setFault(testserver::Operation::ReplaceFile08, testserver::Fault::senderFault());
    m_server->clearJournal();
    auto dialog = openDialog();
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    decide(*dialog, path(QStringLiteral("scan.tif")));
    QStringList texts;
    ModalAnswers answers({ okBox(&texts) });
    QTest::mouseClick(dialog->pushWidget()->button(1), Qt::LeftButton);
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    QCOMPARE(texts,
        QStringList {
            QStringLiteral("Warning|The Job <report.pdf> was not replaced with file <%1> on server. "
                           "Try later.")
                .arg(path(QStringLiteral("scan.tif"))) });
    QVERIFY(!dialog->getPushJobInfo().push);
    dialog.reset();
    QTRY_COMPARE_WITH_TIMEOUT(lockModes(), (QStringList { QStringLiteral("3"), QStringLiteral("0") }), 5000);
}

void TestReplaceJobDialog::cancelDuringTheTransferStopsItAndReleasesOnce()
{
    // Larger than what the kernel's socket buffers take in at once.
    QVERIFY(writeFile(path(QStringLiteral("big.bin")), pattern(16 * 1024 * 1024, 3)));
    m_server->setFault(testserver::Operation::ReplaceFile08, testserver::Fault::throttleRequest(128 * 1024));
    m_server->clearJournal();
    auto dialog = openDialog();
    decide(*dialog, path(QStringLiteral("big.bin")));
    QTest::mouseClick(dialog->pushWidget()->button(1), Qt::LeftButton);
    // Under way: the bar shows a share of 100.
    QTRY_COMPARE_WITH_TIMEOUT(dialog->progressBar()->maximum(), 100, 10000);
    QVERIFY(dialog->progressTimer()->isActive());
    QVERIFY(m_checkPoint->isReplacing());

    QElapsedTimer timer;
    timer.start();
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    QVERIFY(timer.elapsed() < 8000);
    QVERIFY(dialog->isHidden());
    QVERIFY(!m_checkPoint->isReplacing());
    QVERIFY(!dialog->getPushJobInfo().push);
    dialog.reset();
    QTRY_COMPARE_WITH_TIMEOUT(lockModes(), (QStringList { QStringLiteral("3"), QStringLiteral("0") }), 5000);
    for (const testserver::Upload &upload : m_server->uploads())
        QVERIFY(!upload.accepted);
}

void TestReplaceJobDialog::relockByAnotherUserClosesTheDialog()
{
    m_server->clearJournal();
    auto dialog = openDialog();
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    QStringList texts;
    ModalAnswers answers({ okBox(&texts) });
    m_server->setLock(flowId, pointId, jobId, QStringLiteral("bob (10.9.9.9)"));
    QVERIFY(finished.wait(15000));
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    QCOMPARE(texts, QStringList { QStringLiteral("Warning|User 'bob (10.9.9.9)' relocked this job") });
    dialog.reset();
    // Bob's lock stays his.
    QCOMPARE(lockModes(), QStringList());
    QCOMPARE(m_server->lock(flowId, pointId, jobId), QStringLiteral("bob (10.9.9.9)"));
}

void TestReplaceJobDialog::lockAnsweredAfterTheDialogWentIsReleased()
{
    QVERIFY(writeFile(path(QStringLiteral("new.pdf")), "new"));
    m_server->clearJournal();
    // The Cancel comes while the transfer's lock is on its way.
    m_server->setFault(testserver::Operation::SetJobLockStatus, testserver::Fault::delay(600).times(1));
    auto dialog = openDialog();
    decide(*dialog, path(QStringLiteral("new.pdf")));
    QTest::mouseClick(dialog->pushWidget()->button(1), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(
        ServerTest::operations(*m_server).contains(QStringLiteral("SetJobLockStatus")), 10000);
    // Cancelled, and deleted at once as the panel does.
    QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    dialog.reset();
    // The release goes once, after the lock's answer.
    QTRY_COMPARE_WITH_TIMEOUT(lockModes(), (QStringList { QStringLiteral("3"), QStringLiteral("0") }), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->lock(flowId, pointId, jobId), QString(), 10000);
    QVERIFY(m_server->uploads().isEmpty());
}

VORNEX_TEST_MAIN(TestReplaceJobDialog)
#include "tst_replacejobdialog.moc"
