#include "DemoData.h"
#include "FilterComboBox.h"
#include "HeaderLabel.h"
#include "ListPageSelection.h"
#include "LogHeaderView.h"
#include "LogRoles.h"
#include "LogTableView.h"
#include "MainWindow.h"
#include "MessageModel.h"
#include "MessagePage.h"
#include "MessageSFPModel.h"
#include "MessageTestData.h"
#include "MessageView.h"
#include "ModalAnswers.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "UpdateControl.h"

#include <QAbstractItemModelTester>
#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/fsuid.h>
#include <unistd.h>

using Client::MessageModel;
using Client::MessagePage;
using Client::MessageView;
using namespace testserver;
using namespace ServerTest;

namespace {

QString serverTime(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzzZ"));
}

// An hour ago, plus the given seconds: inside the page's first filter.
QDateTime base(qint64 seconds = 0)
{
    static const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-3600);
    return start.addSecs(seconds);
}

// Log entries with record ids from `firstId` on, one second apart, the
// newest at `newest`. The server sends those newer than the client's last
// fetch, so later entries must be stamped later.
QList<LogEntry> logEntries(int firstId, int count, const QDateTime &newest)
{
    static const QStringList types
        = { QStringLiteral("info"), QStringLiteral("error"), QStringLiteral("warning") };
    QList<LogEntry> logs;
    for (int i = 0; i < count; ++i) {
        LogEntry log;
        log.recId = firstId + i;
        log.timeStamp = serverTime(newest.addSecs(i - count + 1));
        log.type = types.at(i % types.size());
        log.module = QStringLiteral("Mover");
        log.serverName = QStringLiteral("Test Server");
        log.flowName = QStringLiteral("Print flow");
        log.jobName = QStringLiteral("Job %1").arg(firstId + i);
        log.message = DemoData::logMessage(QStringLiteral("Message %1"), { QString::number(firstId + i) });
        logs.append(log);
    }
    return logs;
}

// A page on a proxy with one connection to a test workflow server.
struct Setup
{
    Setup()
        : server(startServer())
        , proxy(new ServerProxy)
    {
        if (server)
            connection = addConnection(*proxy, server->port());
    }

    bool idle() const { return proxy->updateThreads(connection).isEmpty(); }

    std::unique_ptr<Server> server;
    ServerProxyPtr proxy;
    ServerConnection *connection = nullptr;
};

int topRecordId(const MessageView *view)
{
    const QModelIndex top = view->tableView()->indexAt(QPoint(1, 1));
    return top.sibling(top.row(), 0).data(Velloc::RecordIdRole).toInt();
}

} // namespace

class TestMessagePage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void pageLayout();
    void updateBringsMessages();
    void scrollPositionIsKept();
    void batchDuringPendingPaneRestore();
    void removedConnectionTakesItsMessages();
    void destructionDropsStoredBatches();
    void mainWindowListsThePage();
    void filterBoxesSayWhatTheyFilter();
    void exportNoteTellsWhatHappened();
};

void TestMessagePage::initTestCase()
{
    useShortTimeouts();
}

void TestMessagePage::init()
{
    QSettings().clear();
}

void TestMessagePage::pageLayout()
{
    ServerProxyPtr proxy(new ServerProxy);
    {
        MessagePage page(proxy);
        auto *frame = page.findChild<QFrame *>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(frame);
        QCOMPARE(frame->frameShape(), QFrame::Panel);
        QCOMPARE(frame->frameShadow(), QFrame::Raised);
        auto *title = frame->findChild<Client::HeaderLabel *>();
        QVERIFY(title);
        QCOMPARE(title->text(), QStringLiteral("Logged messages"));
        QCOMPARE(page.view()->parentWidget(), frame);

        // The update control sits at the right end of the pane's status row.
        Client::UpdateControl *control = page.updateControl();
        QVERIFY(control);
        QVERIFY(page.view()->isAncestorOf(control));
        page.resize(800, 500);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QVERIFY(control->geometry().left() > page.view()->statusLabel()->geometry().right());
        QVERIFY(control->geometry().right() >= page.view()->width() - 5);
        control->intervalEdit()->setText(QStringLiteral("7"));
    }
    QCOMPARE(QSettings().value(QStringLiteral("Default/Messages: update interval")).toString(),
        QStringLiteral("7"));
}

void TestMessagePage::updateBringsMessages()
{
    Setup s;
    QVERIFY(s.server);
    s.server->setLogs(logEntries(1, 5, base()));
    QSignalSpy batches(s.proxy.get(), &ServerProxy::updateLogRequest);
    MessagePage page(s.proxy);
    QAbstractItemModelTester tester(
        page.view()->filterModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    page.resize(800, 500);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    // Shown for the first time: one update of the log messages.
    emit page.selected();
    MessageModel *model = page.view()->messageModel();
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 5, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(s.idle(), 10000);
    QVERIFY(operations(*s.server).contains(QStringLiteral("GetLogData07")));
    QVERIFY(!operations(*s.server).contains(QStringLiteral("GetProgressData")));
    QCOMPARE(batches.count(), 1);

    const QAbstractItemModel *shown = page.view()->filterModel();
    QCOMPARE(shown->rowCount(), 5);
    // Newest first; the texts as the log records and their arguments make them.
    QCOMPARE(shown->index(0, 0).data(Velloc::RecordIdRole).toInt(), 5);
    QCOMPARE(shown->index(0, MessageModel::MessageColumn).data().toString(), QStringLiteral("Message 5"));
    QCOMPARE(shown->index(0, MessageModel::ServerColumn).data().toString(), QStringLiteral("Test Server"));
    QCOMPARE(shown->index(0, MessageModel::JobColumn).data().toString(), QStringLiteral("Job 5"));
    QCOMPARE(shown->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(220, 0, 0));
    QCOMPARE(shown->index(4, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 0));
    QVERIFY(shown->index(0, 0).data(Velloc::TimeStampRole).toDateTime().isValid());
    QTRY_COMPARE(page.view()->statusLabel()->text(), QStringLiteral("Ready (5 items)"));

    // The rows hold the batch; the proxy keeps no copy.
    QList<LogMessage> stored;
    s.proxy->getLogData(batches.first().first().toString(), stored);
    QVERIFY(stored.isEmpty());

    // The "Update" button brings what is new since.
    s.server->setLogs(logEntries(1, 5, base()) + logEntries(6, 2, base(100)));
    QTest::mouseClick(page.updateControl()->updateButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 7, 10000);
    QCOMPARE(shown->index(0, 0).data(Velloc::RecordIdRole).toInt(), 7);
    QTRY_COMPARE(page.view()->statusLabel()->text(), QStringLiteral("Ready (7 items)"));
    QTRY_VERIFY_WITH_TIMEOUT(s.idle(), 10000);
}

void TestMessagePage::scrollPositionIsKept()
{
    Setup s;
    QVERIFY(s.server);
    QList<LogEntry> logs = logEntries(1, 200, base());
    s.server->setLogs(logs);
    MessagePage page(s.proxy);
    page.resize(800, 400);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    MessageView *view = page.view();
    MessageModel *model = view->messageModel();
    QScrollBar *bar = view->tableView()->verticalScrollBar();
    int nextId = 201;
    qint64 later = 0;
    auto update = [&](int count) {
        later += 100;
        logs += logEntries(nextId, count, base(later));
        nextId += count;
        s.server->setLogs(logs);
        const int before = model->rowCount();
        s.proxy->startUpdatingData(4);
        return QTest::qWaitFor([&] { return model->rowCount() == before + count && s.idle(); }, 10000);
    };

    emit page.selected();
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 200, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(s.idle(), 10000);
    QVERIFY(bar->maximum() > 0);

    // At the top (the newest rows) it stays at the top.
    QCOMPARE(bar->value(), bar->minimum());
    QVERIFY(update(5));
    QCOMPARE(bar->value(), bar->minimum());
    QCOMPARE(topRecordId(view), 205);

    // At the bottom it stays at the bottom, however far that moved.
    bar->setValue(bar->maximum());
    const int oldMaximum = bar->maximum();
    QVERIFY(update(20));
    QVERIFY(bar->maximum() > oldMaximum);
    QCOMPARE(bar->value(), bar->maximum());

    // In between, the row at the top stays at the top.
    bar->setValue(bar->maximum() / 2);
    const int top = topRecordId(view);
    QVERIFY(top > 0);
    QVERIFY(update(7));
    QCOMPARE(topRecordId(view), top);
    QVERIFY(!view->isScrollRestorePending());
    QVERIFY(view->updatesEnabled());
}

void TestMessagePage::batchDuringPendingPaneRestore()
{
    Setup s;
    QVERIFY(s.server);
    s.server->setLogs(logEntries(1, 150, base()));
    MessagePage page(s.proxy);
    page.resize(800, 400);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    MessageView *view = page.view();
    MessageModel *model = view->messageModel();
    emit page.selected();
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 150, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(s.idle(), 10000);

    // Fetch a batch that the view does not take in at once.
    disconnect(s.proxy.get(), &ServerProxy::updateLogRequest, view, &MessageView::updateRequestHandler);
    QSignalSpy batches(s.proxy.get(), &ServerProxy::updateLogRequest);
    s.server->setLogs(logEntries(1, 150, base()) + logEntries(151, 30, base(100)));
    s.proxy->startUpdatingData(4);
    QVERIFY(batches.wait(10000));
    QTRY_VERIFY_WITH_TIMEOUT(s.idle(), 10000);
    const QString key = batches.first().first().toString();

    QScrollBar *bar = view->tableView()->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    const int top = topRecordId(view);

    // Two reloads of the pane and a batch, all before the pane's deferred
    // scroll ends: the row seen last is put back once, and painting
    // resumes.
    view->refreshLogs();
    QVERIFY(view->isScrollRestorePending());
    view->refreshLogs();
    view->updateRequestHandler(key);
    QCOMPARE(model->rowCount(), 180);
    QVERIFY(view->isScrollRestorePending());
    QTRY_VERIFY(!view->isScrollRestorePending());
    QVERIFY(view->updatesEnabled());
    QCOMPARE(topRecordId(view), top);
}

void TestMessagePage::removedConnectionTakesItsMessages()
{
    Setup s;
    QVERIFY(s.server);
    s.server->setLogs(logEntries(1, 4, base()));
    auto other = startServer();
    QVERIFY(other);
    other->setLogs(logEntries(100, 3, base()));
    ServerConnection *second = addConnection(*s.proxy, other->port());
    MessagePage page(s.proxy);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    emit page.selected();
    MessageModel *model = page.view()->messageModel();
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 7, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(s.idle() && s.proxy->updateThreads(second).isEmpty(), 10000);

    QVERIFY(s.proxy->removeConnection(s.proxy->indexOfConnection(s.connection)));
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 3, 10000);
    for (const LogMessage &message : model->messages())
        QVERIFY(message.recordId >= 100);
    QTRY_COMPARE(page.view()->statusLabel()->text(), QStringLiteral("Ready (3 items)"));
}

void TestMessagePage::destructionDropsStoredBatches()
{
    Setup s;
    QVERIFY(s.server);
    s.server->setLogs(logEntries(1, 3, base()));
    auto *page = new MessagePage(s.proxy);
    // A batch the view has not taken in stays stored in the proxy.
    disconnect(
        s.proxy.get(), &ServerProxy::updateLogRequest, page->view(), &MessageView::updateRequestHandler);
    QSignalSpy batches(s.proxy.get(), &ServerProxy::updateLogRequest);
    s.proxy->startUpdatingData(4);
    QVERIFY(batches.wait(10000));
    QTRY_VERIFY_WITH_TIMEOUT(s.idle(), 10000);
    const QString key = batches.first().first().toString();
    QList<LogMessage> stored;
    s.proxy->getLogData(key, stored);
    QCOMPARE(stored.size(), 3);

    // The page outlives every other holder of the proxy: its destructor
    // still reaches a live proxy.
    ServerProxy *proxy = s.proxy.get();
    QPointer<ServerProxy> watched(proxy);
    ServerProxyPtr kept = s.proxy;
    s.proxy = ServerProxyPtr();
    QVERIFY(kept.useCount() > 1);
    delete page;
    QVERIFY(watched);
    stored.clear();
    kept->getLogData(key, stored);
    QVERIFY(stored.isEmpty());
    QCOMPARE(kept.useCount(), 1);
}

void TestMessagePage::mainWindowListsThePage()
{
    {
        MainWindow window;
        MessagePage *page = window.messagePage();
        QVERIFY(page);
        QListWidget *list = window.pageList()->listWidget();
        QStringList texts;
        for (int row = 0; row < list->count(); ++row)
            texts << list->item(row)->text();
        const int row = int(texts.indexOf(QStringLiteral("Messages")));
        QVERIFY(row >= 0);
        QCOMPARE(texts.mid(row),
            QStringList({ QStringLiteral("Messages"), QStringLiteral("Help"), QStringLiteral("About") }));
        QVERIFY(window.pageList()->stack()->indexOf(page) >= 0);

        // Selecting the page shows it and starts its update.
        list->setCurrentRow(row);
        QCOMPARE(window.pageList()->currentPage(), page);
        QVERIFY(!page->updateControl()->isPending());

        page->view()->tableView()->wrapTextAction()->setChecked(true);
        window.OnLastWindowClosed();
        QVERIFY(QSettings().value(QStringLiteral("MessagePane1/WrapText")).toBool());
        page->view()->setLastExportPath(QStringLiteral("/somewhere/log.xml"));
    }
    // The page's own settings go when the window does.
    QCOMPARE(QSettings().value(QStringLiteral("Messages/LastExportPath")).toString(),
        QStringLiteral("/somewhere/log.xml"));
    QVERIFY(!QSettings().value(QStringLiteral("Messages/Header/State")).toByteArray().isEmpty());
}

void TestMessagePage::filterBoxesSayWhatTheyFilter()
{
    MessageView view { ServerProxyPtr() };
    const QStringList words = { QStringLiteral("hours"), QStringLiteral("servers"), QStringLiteral("modules"),
        QStringLiteral("flow with"), QStringLiteral("job with"), QStringLiteral("that contain") };
    QStringList tips;
    for (int column = 0; column < MessageModel::ColumnCount; ++column) {
        const QString tip = view.headerView()->filterBox(column)->toolTip();
        QVERIFY2(tip.contains(words.at(column)), qPrintable(tip));
        QVERIFY(!tips.contains(tip));
        tips << tip;
    }
}

// The note beside the status tells the last export's outcome: the count
// and the file, the rows the limit had dropped, or the failure.
void TestMessagePage::exportNoteTellsWhatHappened()
{
    MessageView view { ServerProxyPtr() };
    QList<LogMessage> messages;
    for (int id = 1; id <= 3; ++id)
        messages << MessageTestData::message(
            id, 1, MessageTestData::secondsAgo(10 - id), QStringLiteral("m"));
    view.messageModel()->appendMessages(messages);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QSignalSpy finished(&view, &MessageView::exportFinished);
    const QString good = dir.filePath(QStringLiteral("good.xml"));
    QVERIFY(view.exportTo(good));
    QVERIFY(finished.wait(10000));
    QVERIFY2(view.exportNote().startsWith(QStringLiteral("3 log message")), qPrintable(view.exportNote()));
    QVERIFY(view.exportNote().contains(QDir::toNativeSeparators(good)));
    QVERIFY(!view.exportNote().contains(QStringLiteral("dropped")));

    const auto okBox = [](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (box)
            box->button(QMessageBox::Ok)->click();
        return box != nullptr;
    };
    {
        ModalAnswers answers({ okBox });
        QVERIFY(!view.exportTo(dir.filePath(QStringLiteral("missing/out.xml"))));
        QVERIFY(answers.done());
    }
    QVERIFY2(view.exportNote().startsWith(QStringLiteral("Export to")), qPrintable(view.exportNote()));

    view.messageModel()->setMaximumRows(2);
    QVERIFY(view.exportTo(good));
    QVERIFY(finished.wait(10000));
    QVERIFY2(view.exportNote().contains(
                 QStringLiteral("the oldest 1 had been dropped before: at most 2 are kept")),
        qPrintable(view.exportNote()));

    // A file the user may write, in a folder where nothing can be made: the
    // export writes it in place.
    const QString folder = dir.filePath(QStringLiteral("locked"));
    const QString target = folder + QStringLiteral("/out.xml");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(TestFiles::writeFile(target, "old"));
    const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup
        | QFile::ReadOther | QFile::WriteOther;
    QVERIFY(QFile::setPermissions(target, all));
    QVERIFY(QFile::setPermissions(
        folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    // Root may write anywhere: the folder is then tried as another user,
    // with every folder above it open to that user.
    const bool root = geteuid() == 0;
    if (root) {
        for (QString up = dir.path(); up.startsWith(TestEnv::homeDir()); up = QFileInfo(up).path())
            QFile::setPermissions(up, QFile::permissions(up) | QFile::ExeOther);
        setfsgid(65534);
        setfsuid(65534);
        QCOMPARE(setfsuid(uid_t(-1)), 65534);
    }
    QStringList warnings;
    ModalAnswers answers({ [&warnings, okBox](QWidget *widget) {
        warnings << widget->property("text").toString();
        return okBox(widget);
    } });
    const bool started = view.exportTo(target);
    if (root) {
        setfsuid(0);
        setfsgid(0);
    }
    QVERIFY2(started, qPrintable(warnings.join(QLatin1Char('\n'))));
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.last().at(0).toBool(), true);
    QFile written(target);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll().startsWith("<message-list>"));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList { QStringLiteral("out.xml") });
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

VORNEX_TEST_MAIN(TestMessagePage)
#include "tst_messagepage.moc"
