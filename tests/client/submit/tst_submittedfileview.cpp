#include "DragDropPanel.h"
#include "HeaderLabel.h"
#include "MetadataEditor.h"
#include "MetadataExplorer.h"
#include "MetadataExplorerModel.h"
#include "ModalAnswers.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "SubmitPoint.h"
#include "SubmitStatus.h"
#include "SubmittedFile.h"
#include "SubmittedFileView.h"
#include "SubmittedFilesModel.h"
#include "SubmittedFilesView.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "XMLValues.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

using Client::SubmittedFilesView;
using Client::SubmittedFileView;

namespace {

const QString kFlowId = QStringLiteral("flow-1");
const QString kPointId = QStringLiteral("point-1");

MetadataToFill requiredField(const QString &key = QString(), bool remember = false)
{
    MetadataToFill field;
    field.label = QStringLiteral("Order");
    field.dataType = Tamsor::XMLValues::EDITORTYPE_STRING;
    field.dataFormat = QStringLiteral("^\\d+$");
    field.valueIsRequired = true;
    field.rememberLastValue = remember;
    field.key = key;
    return field;
}

// Closes the next modal file dialog once it is up: with the file chosen,
// or cancelled when the path is empty. Gives up after a bound; a dialog that
// never takes the choice is cancelled, so the test fails instead of hanging.
void answerFileDialog(QObject *context, const QString &choose, QString *filterSeen = nullptr, int attempt = 0)
{
    constexpr int kPollMs = 10;
    constexpr int kAttempts = 1000;
    QTimer::singleShot(kPollMs, context, [=] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        const bool up = dialog && dialog->isVisible() && QThread::currentThread()->loopLevel() > 0;
        if (!up || (!choose.isEmpty() && !ModalAnswers::chooseIn(dialog, choose))) {
            if (attempt < kAttempts)
                answerFileDialog(context, choose, filterSeen, attempt + 1);
            else if (dialog)
                dialog->reject();
            return;
        }
        if (filterSeen)
            *filterSeen = dialog->selectedNameFilter();
        if (choose.isEmpty())
            dialog->reject();
        else
            QMetaObject::invokeMethod(dialog, "accept");
    });
}

} // namespace

class TestSubmittedFileView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void modesAndTitles();
    void controlsFollowTheJobStatus();
    void requiredMetadataGatesBeginTransfer();
    void rememberedValuesGoIntoTheJob();
    void jobNameEditing();
    void filesAndFoldersMakeJobs();
    void fileDialogs();
    void beginTransferUploads();
    void vanishedFileIsReported();
    void keyboardChoiceIsTheJobCancelled();

private:
    QString makeFile(const QString &name, int size = 100);

    QString m_work;
    ServerProxyPtr m_proxy;
    ServerConnection *m_connection = nullptr;
    SubmitPointPtr m_point;
};

void TestSubmittedFileView::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Marvolt Software"));
    QCoreApplication::setApplicationName(QStringLiteral("VORNEXclient"));
    ServerTest::useShortTimeouts();
}

void TestSubmittedFileView::init()
{
    QSettings().clear();
    m_work
        = TestEnv::homeDir() + QStringLiteral("/work-") + QString::fromLatin1(QTest::currentTestFunction());
    QVERIFY(QDir().mkpath(m_work));
    m_proxy = ServerProxyPtr(new ServerProxy);
    m_connection = ServerTest::addConnection(*m_proxy, ServerTest::closedPort());
    m_point = SubmitPointPtr(new SubmitPoint(m_connection, kPointId, kFlowId, QStringLiteral("Inbox")));
}

void TestSubmittedFileView::cleanup()
{
    m_point = SubmitPointPtr();
    m_proxy = ServerProxyPtr();
    QDir(m_work).removeRecursively();
}

QString TestSubmittedFileView::makeFile(const QString &name, int size)
{
    return TestFiles::makeFile(m_work + QLatin1Char('/') + name, size);
}

void TestSubmittedFileView::modesAndTitles()
{
    SubmittedFileView form(m_proxy);
    QCOMPARE(form.mode(), SubmittedFileView::EmptyMode);
    QCOMPARE(form.title()->text(), QStringLiteral("Job view"));
    QVERIFY(form.pathCaption()->isHidden());
    QVERIFY(form.dropPanel()->isHidden());
    QVERIFY(form.addFileButton()->isHidden());
    QVERIFY(form.explorer()->isHidden());
    QVERIFY(form.beginButton()->isHidden());
    QVERIFY(form.cancelButton()->isHidden());
    QVERIFY(form.jobNameEdit()->isHidden());

    form.SetSubmitPoint(m_point);
    QCOMPARE(form.mode(), SubmittedFileView::PointMode);
    QCOMPARE(form.title()->text(),
        QStringLiteral("Submit to %1 -> %2 -> Inbox").arg(m_point->getServerName(), m_point->getFlowName()));
    QVERIFY(!form.dropPanel()->isHidden());
    QCOMPARE(form.dropPanel()->label()->text(), QStringLiteral("Drag file or folder here to submit"));
    QVERIFY(!form.addFileButton()->isHidden());
    QVERIFY(!form.addFolderButton()->isHidden());
    QVERIFY(form.pathCaption()->isHidden());
    QVERIFY(form.explorer()->isHidden());
    QVERIFY(form.beginButton()->isHidden());

    const QString path = makeFile(QStringLiteral("report.pdf"));
    const SubmittedFilePtr job = m_point->createJob(path);
    form.SetSubmittedFile(job);
    QCOMPARE(form.mode(), SubmittedFileView::JobMode);
    QCOMPARE(form.currentJob(), job);
    QCOMPARE(form.title()->text(), QStringLiteral("Job: report.pdf"));
    QCOMPARE(form.dropPanel()->label()->text(), path);
    QCOMPARE(form.jobNameEdit()->text(), QStringLiteral("report.pdf"));
    QVERIFY(!form.pathCaption()->isHidden());
    QVERIFY(!form.explorer()->isHidden());
    QVERIFY(!form.beginButton()->isHidden());
    QVERIFY(!form.cancelButton()->isHidden());
    QVERIFY(!form.jobNameEdit()->isHidden());
    QVERIFY(form.addFileButton()->isHidden());

    // Choosing the point again leaves the job.
    form.SetSubmitPoint(m_point);
    QCOMPARE(form.mode(), SubmittedFileView::PointMode);
    QVERIFY(!form.currentJob());
    QCOMPARE(form.dropPanel()->label()->text(), QStringLiteral("Drag file or folder here to submit"));

    form.reset();
    QCOMPARE(form.mode(), SubmittedFileView::EmptyMode);
    QCOMPARE(form.title()->text(), QStringLiteral("Job view"));
    QVERIFY(!form.currentPoint());
}

void TestSubmittedFileView::controlsFollowTheJobStatus()
{
    SubmittedFileView form(m_proxy);
    form.SetSubmitPoint(m_point);
    const SubmittedFilePtr job = m_point->createJob(makeFile(QStringLiteral("a.txt")));
    form.SetSubmittedFile(job);

    struct Expected
    {
        int status;
        bool begin, cancel, edit;
    };
    const Expected table[] = {
        { SubmitStatus::Waiting, true, true, true },
        { SubmitStatus::WaitingConnection, false, true, false },
        { SubmitStatus::Uploading, false, true, false },
        { SubmitStatus::Verifying, false, false, false },
        { SubmitStatus::Finished, false, false, false },
        { SubmitStatus::Error, true, true, false },
    };
    for (const Expected &row : table) {
        job->setStatus(row.status);
        // Shown anew, and while shown.
        form.SetSubmittedFile(job);
        QVERIFY2(form.beginButton()->isEnabled() == row.begin, qPrintable(QString::number(row.status)));
        QVERIFY2(form.cancelButton()->isEnabled() == row.cancel, qPrintable(QString::number(row.status)));
        QVERIFY2(form.jobNameEdit()->isEnabled() == row.edit, qPrintable(QString::number(row.status)));
        QCOMPARE(form.explorer()->isEnabled(), row.edit);
    }
    job->setStatus(SubmitStatus::Waiting);
    QVERIFY(form.beginButton()->isEnabled());
    job->setStatus(SubmitStatus::Verifying);
    QVERIFY(!form.cancelButton()->isEnabled());
    QVERIFY(!form.beginButton()->isEnabled());
}

void TestSubmittedFileView::requiredMetadataGatesBeginTransfer()
{
    m_point->setMetadata({ requiredField() });
    const SubmittedFilePtr job = m_point->createJob(makeFile(QStringLiteral("a.txt")));
    SubmittedFileView form(m_proxy);
    form.resize(500, 600);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.SetSubmitPoint(m_point);
    form.SetSubmittedFile(job);
    QVERIFY(!form.beginButton()->isEnabled());

    QTreeView *table = form.explorer()->view();
    table->setFocus();
    table->setCurrentIndex(table->model()->index(0, 1));
    auto *editor = qobject_cast<Client::MetadataEditor *>(table->indexWidget(table->model()->index(0, 1)));
    QVERIFY(editor && editor->lineEdit());
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), editor->lineEdit(), 2000);
    QTest::keyClicks(editor->lineEdit(), QStringLiteral("4711"));
    QTest::keyClick(editor->lineEdit(), Qt::Key_Return);

    QVERIFY(form.beginButton()->isEnabled());
    QCOMPARE(job->getMetadata().at(0).value, QStringLiteral("4711"));

    // Emptied again: the button follows at once.
    QTest::keyClick(editor->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(editor->lineEdit(), Qt::Key_Delete);
    QTest::keyClick(editor->lineEdit(), Qt::Key_Return);
    QVERIFY(!form.beginButton()->isEnabled());
    QCOMPARE(job->getMetadata().at(0).value, QString());

    // Edits made while the point is chosen never reach the job.
    form.SetSubmitPoint(m_point);
    form.explorer()->model()->setData(form.explorer()->model()->index(0, 1), QStringLiteral("99"));
    QCOMPARE(job->getMetadata().at(0).value, QString());
}

void TestSubmittedFileView::rememberedValuesGoIntoTheJob()
{
    const QString key = QStringLiteral("127.0.0.1:1:flow-1:point-1:0");
    QSettings().setValue(QStringLiteral("Metadata/") + key, QStringLiteral("123"));
    m_point->setMetadata({ requiredField(key, true) });
    const SubmittedFilePtr waiting = m_point->createJob(makeFile(QStringLiteral("a.txt")));
    const SubmittedFilePtr queued = m_point->createJob(makeFile(QStringLiteral("b.txt")));
    queued->setStatus(SubmitStatus::WaitingConnection);

    SubmittedFileView form(m_proxy);
    form.SetSubmitPoint(m_point);
    form.SetSubmittedFile(waiting);
    QCOMPARE(waiting->getMetadata().at(0).value, QStringLiteral("123"));
    QVERIFY(form.beginButton()->isEnabled());

    // A job already on its way keeps the values it was sent with.
    form.SetSubmittedFile(queued);
    QCOMPARE(queued->getMetadata().at(0).value, QString());
}

void TestSubmittedFileView::jobNameEditing()
{
    const SubmittedFilePtr job = m_point->createJob(makeFile(QStringLiteral("a.txt")));
    SubmittedFileView form(m_proxy);
    form.SetSubmitPoint(m_point);
    form.SetSubmittedFile(job);
    QSignalSpy saved(job.get(), &SubmittedFile::saveJobRequest);
    QLineEdit *edit = form.jobNameEdit();

    edit->setText(QString());
    emit edit->editingFinished();
    QCOMPARE(edit->text(), QStringLiteral("a.txt"));
    QCOMPARE(saved.count(), 0);

    edit->setText(QStringLiteral("a.txt"));
    emit edit->editingFinished();
    QCOMPARE(saved.count(), 0);

    edit->setText(QStringLiteral("Order 17"));
    emit edit->editingFinished();
    QCOMPARE(saved.count(), 1);
    QCOMPARE(job->getJobName(), QStringLiteral("Order 17"));
    QCOMPARE(form.title()->text(), QStringLiteral("Job: Order 17"));

    // Not a plain name: the job keeps its own.
    edit->setText(QStringLiteral("../elsewhere"));
    emit edit->editingFinished();
    QCOMPARE(job->getJobName(), QStringLiteral("Order 17"));
    QCOMPARE(edit->text(), QStringLiteral("Order 17"));
    QCOMPARE(saved.count(), 1);
}

void TestSubmittedFileView::filesAndFoldersMakeJobs()
{
    SubmittedFileView form(m_proxy);
    QSignalSpy update(&form, &SubmittedFileView::UpdateRequired);
    const QString first = makeFile(QStringLiteral("one.txt"));
    const QString second = makeFile(QStringLiteral("two"));

    // No point chosen: nothing happens.
    form.FilesAdded({ first });
    QCOMPARE(update.count(), 0);

    form.SetSubmitPoint(m_point);
    form.FilesAdded({});
    QCOMPARE(update.count(), 0);
    form.FilesAdded({ first, second });
    QCOMPARE(update.count(), 1);
    QCOMPARE(m_point->getJobCount(), 2);
    QCOMPARE(m_point->getJob(1)->getJobName(), QStringLiteral("two"));
    QCOMPARE(form.lastChosenFilePath(), m_work);
    QCOMPARE(
        QSettings().value(QStringLiteral("Default/Submittions: last chosen file path")).toString(), m_work);

    // Renaming a job made here is saved by its point.
    QVERIFY(m_point->getJob(0)->setJobName(QStringLiteral("renamed")));

    const QString folder = m_work + QStringLiteral("/folder");
    QVERIFY(QDir().mkpath(folder));
    makeFile(QStringLiteral("folder/inside.txt"));
    form.FolderAdded(folder);
    QCOMPARE(update.count(), 2);
    QCOMPARE(m_point->getJobCount(), 3);
    QCOMPARE(m_point->getJob(2)->getPath(), folder);
    QCOMPARE(
        QSettings().value(QStringLiteral("Default/Submittions: last chosen folder path")).toString(), folder);

    // Dropping on the form's panel makes jobs the same way.
    QMimeData data;
    data.setUrls({ QUrl::fromLocalFile(first) });
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.dropPanel(), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.dropPanel(), &drop);
    QCOMPARE(update.count(), 3);
    QCOMPARE(m_point->getJobCount(), 4);
}

void TestSubmittedFileView::fileDialogs()
{
    SubmittedFileView form(m_proxy);
    form.SetSubmitPoint(m_point);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QSignalSpy update(&form, &SubmittedFileView::UpdateRequired);
    const QString before = form.lastChosenFilePath();

    // Cancelled: nothing made, nothing remembered.
    QString filter;
    answerFileDialog(this, QString(), &filter);
    form.AddFileClicked();
    QCOMPARE(update.count(), 0);
    QCOMPARE(m_point->getJobCount(), 0);
    QCOMPARE(form.lastChosenFilePath(), before);
    QVERIFY(!QSettings().contains(QStringLiteral("Default/Submittions: last chosen file path")));
    // Files without a dot are listed too.
    QCOMPARE(filter, QStringLiteral("All files (*)"));

    const QString plain = makeFile(QStringLiteral("README"));
    answerFileDialog(this, plain);
    form.AddFileClicked();
    QCOMPARE(update.count(), 1);
    QCOMPARE(m_point->getJobCount(), 1);
    QCOMPARE(m_point->getJob(0)->getPath(), plain);

    answerFileDialog(this, QString());
    form.AddFolderClicked();
    QCOMPARE(m_point->getJobCount(), 1);
    QVERIFY(!QSettings().contains(QStringLiteral("Default/Submittions: last chosen folder path")));
}

void TestSubmittedFileView::beginTransferUploads()
{
    auto server = ServerTest::startServer();
    QVERIFY(server);
    testserver::Flow flow;
    flow.id = kFlowId;
    flow.name = QStringLiteral("Print");
    testserver::SubmitPoint inbox;
    inbox.id = kPointId;
    inbox.name = QStringLiteral("Inbox");
    flow.submitPoints.append(inbox);
    server->setFlows({ flow });
    m_proxy = ServerProxyPtr(new ServerProxy);
    m_connection = ServerTest::addConnection(*m_proxy, server->port());
    m_proxy->loginAllConnections();
    QTRY_VERIFY_WITH_TIMEOUT(m_connection->isOnline(), 10000);
    m_point = SubmitPointPtr(new SubmitPoint(m_connection, kPointId, kFlowId, QStringLiteral("Inbox")));
    m_point->setMetadata({ requiredField() });

    const SubmittedFilePtr job = m_point->addJob(makeFile(QStringLiteral("a.txt"), 5000));
    SubmittedFileView form(m_proxy);
    form.SetSubmitPoint(m_point);
    form.SetSubmittedFile(job);
    QVERIFY(!form.beginButton()->isEnabled());
    // Clicking a disabled button does nothing.
    QTest::mouseClick(form.beginButton(), Qt::LeftButton);
    QCOMPARE(job->getStatus(), int(SubmitStatus::Waiting));

    form.explorer()->model()->setData(form.explorer()->model()->index(0, 1), QStringLiteral("42"));
    QVERIFY(form.beginButton()->isEnabled());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.beginButton(), Qt::LeftButton);
    QVERIFY(!form.beginButton()->isEnabled());
    QVERIFY(!form.jobNameEdit()->isEnabled());
    QVERIFY(!form.explorer()->isEnabled());

    QTRY_COMPARE_WITH_TIMEOUT(job->getStatus(), int(SubmitStatus::Finished), 20000);
    QTRY_VERIFY(!form.cancelButton()->isEnabled());
    const QList<testserver::Upload> uploads = server->uploads();
    QCOMPARE(uploads.size(), 1);
    QCOMPARE(uploads.first().jobName, QStringLiteral("a.txt"));
    QCOMPARE(uploads.first().metadata.size(), 1);
    QCOMPARE(uploads.first().metadata.first().value, QStringLiteral("42"));

    // The answer is lost after the server took the job: the form says so,
    // and only the user sends it again.
    server->setFault(testserver::Operation::SubmitFile08, testserver::Fault::dropReplyAfter(10).times(1));
    const SubmittedFilePtr again = m_point->addJob(makeFile(QStringLiteral("b.txt"), 5000));
    again->setMetadata(job->getMetadata());
    form.SetSubmittedFile(again);
    QTest::mouseClick(form.beginButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(again->getStatus(), int(SubmitStatus::Error), 20000);
    QTRY_VERIFY(form.noteLabel()->isVisible());
    QVERIFY(form.noteLabel()->text().contains(QStringLiteral("may have taken it")));
    QVERIFY(form.beginButton()->isEnabled());
    QTest::mouseClick(form.beginButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(again->getStatus(), int(SubmitStatus::Finished), 20000);
    QVERIFY(!form.noteLabel()->isVisible());
    QCOMPARE(server->uploads().size(), 3);

    // Refused: the transfer ended, so there is nothing left to cancel.
    server->setFault(testserver::Operation::SubmitFile08, testserver::Fault::senderFault());
    const SubmittedFilePtr refused = m_point->addJob(makeFile(QStringLiteral("b.txt"), 5000));
    form.SetSubmittedFile(refused);
    form.explorer()->model()->setData(form.explorer()->model()->index(0, 1), QStringLiteral("43"));
    QVERIFY(form.cancelButton()->isEnabled());
    QTest::mouseClick(form.beginButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(refused->getStatus(), int(SubmitStatus::Error), 20000);
    QTRY_VERIFY(!form.cancelButton()->isEnabled());
    // Chosen again, it can be removed or started again.
    form.SetSubmittedFile(refused);
    QVERIFY(form.cancelButton()->isEnabled());
    QVERIFY(form.beginButton()->isEnabled());
}

void TestSubmittedFileView::vanishedFileIsReported()
{
    const QString path = makeFile(QStringLiteral("gone.txt"));
    const SubmittedFilePtr job = m_point->addJob(path);
    SubmittedFileView form(m_proxy);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.SetSubmitPoint(m_point);
    form.SetSubmittedFile(job);
    QVERIFY(form.beginButton()->isEnabled());
    QVERIFY(QFile::remove(path));

    QTest::mouseClick(form.beginButton(), Qt::LeftButton);
    QMessageBox *box = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((box = form.findChild<QMessageBox *>()) && box->isVisible(), 2000);
    QCOMPARE(box->windowTitle(), QStringLiteral("Warning"));
    QVERIFY(box->text().contains(QStringLiteral("gone.txt")));
    QCOMPARE(job->getStatus(), int(SubmitStatus::Waiting));
    QCOMPARE(m_proxy->actionList().count(), 0);
    box->accept();
    QTRY_VERIFY(!form.findChild<QMessageBox *>());
}

void TestSubmittedFileView::keyboardChoiceIsTheJobCancelled()
{
    const QStringList names { QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt") };
    for (const QString &name : names)
        m_point->addJob(makeFile(name));

    // Wired as on the page.
    QWidget page;
    auto *jobs = new SubmittedFilesView(&page);
    auto *form = new SubmittedFileView(m_proxy, &page);
    auto *layout = new QHBoxLayout(&page);
    layout->addWidget(jobs);
    layout->addWidget(form);
    connect(jobs, &SubmittedFilesView::submittedFileSelected, form, &SubmittedFileView::SetSubmittedFile);
    connect(form, &SubmittedFileView::jobCanceled, jobs, &SubmittedFilesView::jobCanceled);
    page.resize(900, 500);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    jobs->pointSelected(m_point);
    form->SetSubmitPoint(m_point);

    // Sorted by name, descending: c, b, a.
    QTreeView *tree = jobs->view();
    QCOMPARE(tree->model()->index(0, 0).data().toString(), QStringLiteral("c.txt"));
    QTest::mouseClick(
        tree->viewport(), Qt::LeftButton, {}, tree->visualRect(tree->model()->index(0, 0)).center());
    QCOMPARE(form->currentJob()->getJobName(), QStringLiteral("c.txt"));

    // The keyboard moves on: the form follows.
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Down);
    QCOMPARE(tree->currentIndex().data().toString(), QStringLiteral("b.txt"));
    QCOMPARE(form->currentJob()->getJobName(), QStringLiteral("b.txt"));
    QCOMPARE(m_point->getSelectedJobRow(), 1);

    // Even with the selection moved elsewhere, the job shown is the one
    // that goes.
    tree->selectionModel()->select(
        tree->model()->index(2, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QSignalSpy changed(jobs, &SubmittedFilesView::jobsChanged);
    QTest::mouseClick(form->cancelButton(), Qt::LeftButton);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_point->getJobCount(), 2);
    QStringList left;
    for (const SubmittedFilePtr &job : m_point->getJobs())
        left << job->getJobName();
    QCOMPARE(left, QStringList({ QStringLiteral("a.txt"), QStringLiteral("c.txt") }));
    QCOMPARE(jobs->model()->rowCount(), 2);
    QVERIFY(!form->currentJob());
}

VORNEX_TEST_MAIN(TestSubmittedFileView)

#include "tst_submittedfileview.moc"
