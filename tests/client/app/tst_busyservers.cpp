// The whole window's pages against several busy test servers at once: the
// event loop keeps turning while their data come in and are shown.
#include "CheckPointPage.h"
#include "CheckpointsModel.h"
#include "LoopStall.h"
#include "MessageModel.h"
#include "MessagePage.h"
#include "MessageView.h"
#include "ProgressModel.h"
#include "ProgressPage.h"
#include "ScaleData.h"
#include "Server.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "TestEnv.h"
#include "WorkFlags.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

using namespace testserver;
using namespace ServerTest;

class TestBusyServers : public QObject
{
    Q_OBJECT

private slots:
    void fiveServersNeverStallTheWindow();
};

void TestBusyServers::fiveServersNeverStallTheWindow()
{
    // Five ordinary servers: 600 waiting jobs, 3,000 log records and 500
    // progress records each.
    const ScaleData::Size size { 3, 6, 600, 3000, 500 };
    constexpr int servers = 5;
    QTemporaryDir folder;
    QSettings().setValue(QStringLiteral("General/ApplicationPath"), folder.path());
    std::vector<std::unique_ptr<Server>> running;
    ServerProxyPtr proxy(new ServerProxy);
    QList<ServerConnection *> connections;
    for (int i = 0; i < servers; ++i) {
        running.push_back(startServer());
        QVERIFY(running.back());
        ScaleData::make(size, QStringLiteral("Server %1").arg(i + 1)).loadInto(*running.back());
        connections.append(addConnection(*proxy, running.back()->port()));
    }
    // Every page the data go to, shown at once.
    Client::MessagePage messages(proxy);
    Client::ProgressPage progress(proxy);
    Client::CheckPointPage checkPoints(proxy);
    for (QWidget *page : { static_cast<QWidget *>(&messages), static_cast<QWidget *>(&progress),
             static_cast<QWidget *>(&checkPoints) }) {
        page->resize(1000, 600);
        page->show();
    }
    QVERIFY(QTest::qWaitForWindowExposed(&messages));
    const Client::MessageModel *messageModel = messages.findChild<Client::MessageView *>()->messageModel();
    const auto *progressModel = progress.findChild<Client::ProgressModel *>();
    const auto *checkPointsModel = checkPoints.findChild<Client::CheckpointsModel *>();
    const auto idle = [&] {
        for (ServerConnection *connection : std::as_const(connections)) {
            if (!proxy->updateThreads(connection).isEmpty())
                return false;
        }
        return true;
    };

    LoopStall stall;
    proxy->startUpdatingData(UpdateFlags::All);
    QTRY_COMPARE_WITH_TIMEOUT(messageModel->rowCount(), servers * size.logs, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(progressModel->rowCount(), servers * size.progress, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(checkPointsModel->rowCount(), servers * size.checkPoints, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(idle(), 30000);
    // And a refresh of all of it, as the pages' timers ask for.
    QSignalSpy ended(proxy.get(), &ServerProxy::updateConnectionViewRequest);
    proxy->startUpdatingData(UpdateFlags::All);
    QTRY_VERIFY_WITH_TIMEOUT(ended.count() >= servers && idle(), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(proxy->waitForCacheWrites(0), 30000);
    QTest::qWait(100);
    const qint64 longest = stall.longestMs();
    QCOMPARE(messageModel->rowCount(), servers * size.logs);
    QVERIFY2(longest < 100 * TestEnv::sanitizerSlowdown, qPrintable(QStringLiteral("%1 ms").arg(longest)));
}

VORNEX_TEST_MAIN(TestBusyServers)
#include "tst_busyservers.moc"
