#include "ServerConnection.h"
#include "ServerProxy.h"
#include "TestEnv.h"
#include "UpdateControl.h"
#include "WorkFlags.h"

#include <QCheckBox>
#include <QHostAddress>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

using Client::UpdateControl;

namespace {

// A proxy with one usable connection to a port nothing listens on: every
// update ends at once, and each ends with one view request.
struct CountingProxy
{
    CountingProxy()
        : proxy(new ServerProxy)
        , updates(proxy.get(), &ServerProxy::updateConnectionViewRequest)
    {
        QTcpServer listener;
        listener.listen(QHostAddress::LocalHost, 0);
        const quint16 port = listener.serverPort();
        listener.close();
        connection = proxy->getConnection(
            proxy->addConnection(QStringLiteral("user"), QString(), QStringLiteral("127.0.0.1"), port));
        connection->applySettings();
    }
    bool idle() const { return proxy->updateThreads(connection).isEmpty(); }

    ServerProxyPtr proxy;
    ServerConnection *connection = nullptr;
    QSignalSpy updates;
};

} // namespace

class TestUpdateControl : public QObject
{
    Q_OBJECT

signals:
    void pageSelected();

private slots:
    void init();
    void keysPerPage();
    void storedInterval_data();
    void storedInterval();
    void automaticUpdateOff();
    void typedInterval();
    void firstShowingStartsOneUpdate();
    void hiddenTicksWaitForTheShow();
    void settingsSavedOnDestruction();
};

void TestUpdateControl::init()
{
    QSettings().clear();
}

void TestUpdateControl::keysPerPage()
{
    QCOMPARE(UpdateControl::intervalKey(UpdateFlags::SubmitPoints),
        QStringLiteral("Default/Submittions: update interval"));
    QCOMPARE(UpdateControl::onTimerKey(UpdateFlags::CheckPoints),
        QStringLiteral("Default/Checkpoints: is update on timer"));
    QCOMPARE(UpdateControl::pageName(UpdateFlags::Messages), QStringLiteral("Messages"));
    QCOMPARE(UpdateControl::pageName(UpdateFlags::Progress), QStringLiteral("Progress"));
    QCOMPARE(UpdateControl::pageName(0), QStringLiteral("Common"));
    QCOMPARE(UpdateControl::pageName(UpdateFlags::All), QStringLiteral("Submittions"));
}

void TestUpdateControl::storedInterval_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("periodMs");
    QTest::newRow("unset") << QVariant() << QStringLiteral("3") << 180000;
    QTest::newRow("zero") << QVariant(QStringLiteral("0")) << QStringLiteral("3") << 180000;
    QTest::newRow("zeros") << QVariant(QStringLiteral("00")) << QStringLiteral("3") << 180000;
    QTest::newRow("empty") << QVariant(QString()) << QStringLiteral("3") << 180000;
    QTest::newRow("text") << QVariant(QStringLiteral("soon")) << QStringLiteral("3") << 180000;
    QTest::newRow("negative") << QVariant(QStringLiteral("-5")) << QStringLiteral("3") << 180000;
    QTest::newRow("exponent") << QVariant(QStringLiteral("1e9")) << QStringLiteral("3") << 180000;
    QTest::newRow("period past the timer's range")
        << QVariant(QStringLiteral("40000")) << QStringLiteral("3") << 180000;
    QTest::newRow("under a millisecond")
        << QVariant(QStringLiteral("0.00001")) << QStringLiteral("3") << 180000;
    // Numbers the edit would not take as typed are kept all the same.
    QTest::newRow("three digits") << QVariant(QStringLiteral("120")) << QStringLiteral("120") << 7200000;
    QTest::newRow("trailing point") << QVariant(QStringLiteral("1.")) << QStringLiteral("1.") << 60000;
    QTest::newRow("stored as a number") << QVariant(2.25) << QStringLiteral("2.25") << 135000;
    QTest::newRow("fraction") << QVariant(QStringLiteral("1.5")) << QStringLiteral("1.5") << 90000;
    QTest::newRow("two digits") << QVariant(QStringLiteral("99")) << QStringLiteral("99") << 5940000;
    QTest::newRow("ten thousandth") << QVariant(QStringLiteral("0.0001")) << QStringLiteral("3") << 180000;
    QTest::newRow("under a tenth") << QVariant(QStringLiteral("0.09")) << QStringLiteral("3") << 180000;
    QTest::newRow("tenth") << QVariant(QStringLiteral("0.1")) << QStringLiteral("0.1") << 6000;
}

void TestUpdateControl::storedInterval()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, shown);
    QFETCH(int, periodMs);
    if (stored.isValid())
        QSettings().setValue(UpdateControl::intervalKey(UpdateFlags::Progress), stored);
    UpdateControl control(ServerProxyPtr(), UpdateFlags::Progress);
    QCOMPARE(control.intervalEdit()->text(), shown);
    QCOMPARE(control.timer().interval(), periodMs);
    QVERIFY(control.timerCheckBox()->isChecked());
    QVERIFY(control.intervalEdit()->isEnabled());
    QVERIFY(control.timer().isActive());
}

void TestUpdateControl::automaticUpdateOff()
{
    QSettings().setValue(UpdateControl::onTimerKey(UpdateFlags::Messages), false);
    CountingProxy counting;
    QWidget page;
    auto *control = new UpdateControl(counting.proxy, UpdateFlags::Messages, &page);
    QVERIFY(!control->timerCheckBox()->isChecked());
    QVERIFY(!control->intervalEdit()->isEnabled());
    QVERIFY(!control->timer().isActive());
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    QTest::mouseClick(control->updateButton(), Qt::LeftButton);
    QVERIFY(!counting.idle());
    QTRY_COMPARE_WITH_TIMEOUT(counting.updates.count(), 1, 5000);

    control->timerCheckBox()->setChecked(true);
    QVERIFY(control->timer().isActive());
    QVERIFY(control->intervalEdit()->isEnabled());
    control->timerCheckBox()->setChecked(false);
    QVERIFY(!control->timer().isActive());
}

void TestUpdateControl::typedInterval()
{
    QWidget page;
    auto *control = new UpdateControl(ServerProxyPtr(), UpdateFlags::CheckPoints, &page);
    page.show();
    QLineEdit *edit = control->intervalEdit();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("2"));
    QCOMPARE(control->timer().interval(), 120000);
    QTest::keyClick(edit, Qt::Key_Backspace);
    // Emptied: "0", all selected, the period stays.
    QCOMPARE(edit->text(), QStringLiteral("0"));
    QCOMPARE(edit->selectedText(), QStringLiteral("0"));
    QCOMPARE(control->timer().interval(), 120000);
    QTest::keyClicks(edit, QStringLiteral("0.5"));
    QCOMPARE(edit->text(), QStringLiteral("0.5"));
    QCOMPARE(control->timer().interval(), 30000);
    // The validator keeps what it does not take out of the edit.
    QTest::keyClicks(edit, QStringLiteral("x"));
    QCOMPARE(edit->text(), QStringLiteral("0.5"));
}

void TestUpdateControl::firstShowingStartsOneUpdate()
{
    CountingProxy counting;
    QWidget page;
    auto *control = new UpdateControl(counting.proxy, UpdateFlags::SubmitPoints, &page);
    connect(this, &TestUpdateControl::pageSelected, control, &UpdateControl::invokeUpdate);
    QVERIFY(control->isPending());
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    emit pageSelected();
    QVERIFY(!control->isPending());
    QVERIFY(!counting.idle());
    QTRY_VERIFY_WITH_TIMEOUT(counting.idle(), 5000);
    emit pageSelected();
    QVERIFY(counting.idle());
    QCOMPARE(counting.updates.count(), 1);
}

void TestUpdateControl::hiddenTicksWaitForTheShow()
{
    CountingProxy counting;
    QWidget page;
    auto *control = new UpdateControl(counting.proxy, UpdateFlags::CheckPoints, &page);
    connect(this, &TestUpdateControl::pageSelected, control, &UpdateControl::invokeUpdate);
    // Another page was selected: nothing pending.
    emit pageSelected();
    QVERIFY(!control->isPending());

    control->timer().setInterval(20);
    QTRY_VERIFY_WITH_TIMEOUT(control->isPending(), 2000);
    QTest::qWait(100); // several more ticks
    control->timer().stop();
    QCOMPARE(counting.updates.count(), 0);
    QVERIFY(counting.idle());

    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    emit pageSelected();
    QVERIFY(!control->isPending());
    QVERIFY(!counting.idle());
    QTRY_VERIFY_WITH_TIMEOUT(counting.idle(), 5000);
    emit pageSelected();
    QCOMPARE(counting.updates.count(), 1);

    // Visible, a tick updates at once.
    control->timer().start();
    QTRY_VERIFY_WITH_TIMEOUT(counting.updates.count() >= 2, 5000);
    control->timer().stop();
}

void TestUpdateControl::settingsSavedOnDestruction()
{
    {
        UpdateControl control(ServerProxyPtr(), UpdateFlags::Progress);
        control.intervalEdit()->setText(QString());
        control.timerCheckBox()->setChecked(false);
    }
    const QSettings settings;
    QCOMPARE(settings.value(UpdateControl::intervalKey(UpdateFlags::Progress)).toString(), QString());
    QCOMPARE(settings.value(UpdateControl::onTimerKey(UpdateFlags::Progress)).toBool(), false);
    UpdateControl again(ServerProxyPtr(), UpdateFlags::Progress);
    QCOMPARE(again.intervalEdit()->text(), QStringLiteral("3"));
    QVERIFY(!again.timerCheckBox()->isChecked());
}

VORNEX_TEST_MAIN(TestUpdateControl)
#include "tst_updatecontrol.moc"
