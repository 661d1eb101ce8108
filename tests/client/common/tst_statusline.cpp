#include "CallBounds.h"
#include "HostileServer.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "StatusLine.h"
#include "TestEnv.h"
#include "UpdateControl.h"
#include "WorkFlags.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QLabel>
#include <QProgressBar>
#include <QTcpServer>
#include <QVBoxLayout>
#include <QtTest>

using Client::StatusLine;

class TestStatusLine : public QObject
{
    Q_OBJECT

private slots:
    void emptyWithoutUpdates();
    void keepsTheLastTextTwoSeconds();
    void tellsTheVisiblePagesRefusedData();
};

void TestStatusLine::emptyWithoutUpdates()
{
    ServerProxyPtr proxy(new ServerProxy);
    StatusLine line(proxy);
    line.show();
    line.refresh();
    QVERIFY(line.label()->text().isEmpty());
    QVERIFY(line.busyBar()->isHidden());
    QCOMPARE(line.busyBar()->size(), QSize(200, 16));
    QCOMPARE(line.label()->height(), 16);
}

void TestStatusLine::keepsTheLastTextTwoSeconds()
{
    QTcpServer listener;
    listener.listen(QHostAddress::LocalHost, 0);
    const quint16 port = listener.serverPort();
    listener.close();
    ServerProxyPtr proxy(new ServerProxy);
    ServerConnection *connection = proxy->getConnection(
        proxy->addConnection(QStringLiteral("user"), QString(), QStringLiteral("127.0.0.1"), port));
    connection->applySettings();
    StatusLine line(proxy);
    line.show();
    QVERIFY(QTest::qWaitForWindowExposed(&line));

    proxy->startUpdatingData(UpdateFlags::All);
    QTRY_COMPARE_WITH_TIMEOUT(
        line.label()->text(), QStringLiteral("Updating connection 127.0.0.1 (Not connected)"), 5000);
    QVERIFY(proxy->updateThreads(connection).isEmpty());
    // The finished update's text was handed out once: the bar hides at the
    // next refresh while the label keeps the text.
    QTRY_VERIFY_WITH_TIMEOUT(line.busyBar()->isHidden(), 1000);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!line.label()->text().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(line.label()->text().isEmpty(), 4000);
    QVERIFY2(clock.elapsed() >= StatusLine::kMinimumShowMs - 2 * StatusLine::kRefreshMs - 100,
        qPrintable(QString::number(clock.elapsed())));
}

void TestStatusLine::tellsTheVisiblePagesRefusedData()
{
    // Two log messages over a budget of one.
    CallBounds::setRecordBudget(1);
    HostileServer server;
    QVERIFY(server.start());
    const auto answer = [](const QByteArray &operation, const QByteArray &inner) {
        return HostileServer::envelope(
            "<ombrel:" + operation + "Response>" + inner + "</ombrel:" + operation + "Response>");
    };
    server.setReply(QStringLiteral("GetStatus"),
        answer("GetStatus", "<res><mServerName>Busy</mServerName><mStatus>Running</mStatus></res>"));
    server.setReply(QStringLiteral("CheckUserNameAndPass"), answer("CheckUserNameAndPass", "<r>1</r>"));
    const QByteArray record = "<logs><timeStamp>2026-01-01T00:00:00.000Z</timeStamp></logs>";
    server.setReply(QStringLiteral("GetLogData07"), answer("GetLogData07", record.repeated(3)));
    ServerProxyPtr proxy(new ServerProxy);
    ServerConnection *connection = proxy->getConnection(
        proxy->addConnection(QStringLiteral("user"), QString(), QStringLiteral("127.0.0.1"), server.port()));
    connection->applySettings();

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *messagesPage = new Client::UpdateControl(proxy, UpdateFlags::Messages, &window);
    auto *progressPage = new Client::UpdateControl(proxy, UpdateFlags::Progress, &window);
    auto *line = new StatusLine(proxy, &window);
    layout->addWidget(messagesPage);
    layout->addWidget(progressPage);
    layout->addWidget(line);
    progressPage->hide();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QString tooLarge = QStringLiteral("The server's answer was too large: log messages");
    proxy->startUpdatingData(UpdateFlags::Messages);
    QTRY_COMPARE_WITH_TIMEOUT(line->label()->text(), QStringLiteral("Busy: ") + tooLarge, 10000);
    QVERIFY(connection->isOnline());
    QCOMPARE(connection->statusText(), tooLarge);
    // Told until a fetch of that kind succeeds; another page is not told.
    messagesPage->hide();
    progressPage->show();
    QTRY_VERIFY_WITH_TIMEOUT(line->label()->text().isEmpty(), 4000);
    server.setReply(QStringLiteral("GetLogData07"), answer("GetLogData07", record));
    proxy->startUpdatingData(UpdateFlags::Messages);
    QTRY_COMPARE_WITH_TIMEOUT(connection->statusText(), QStringLiteral("Running"), 10000);
    CallBounds::setRecordBudget(CallBounds::kRecordBudget);
}

VORNEX_TEST_MAIN(TestStatusLine)
#include "tst_statusline.moc"
