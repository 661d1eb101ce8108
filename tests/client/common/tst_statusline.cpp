#include "ServerConnection.h"
#include "ServerProxy.h"
#include "StatusLine.h"
#include "TestEnv.h"
#include "WorkFlags.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QLabel>
#include <QProgressBar>
#include <QTcpServer>
#include <QtTest>

using Client::StatusLine;

class TestStatusLine : public QObject
{
    Q_OBJECT

private slots:
    void emptyWithoutUpdates();
    void keepsTheLastTextTwoSeconds();
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

VORNEX_TEST_MAIN(TestStatusLine)
#include "tst_statusline.moc"
