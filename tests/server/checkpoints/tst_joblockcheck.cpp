#include "JobLockCheck.h"
#include "ServerTestSupport.h"
#include "TestEnv.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <QtTest/QTest>

using JobLockCheck::Machine;

namespace {

QList<QHostAddress> addresses(const QStringList &texts)
{
    QList<QHostAddress> list;
    for (const QString &text : texts)
        list.append(QHostAddress(text));
    return list;
}

} // namespace

class TestJobLockCheck : public QObject
{
    Q_OBJECT

private slots:
    void holder_data();
    void holder();
    void verdict_data();
    void verdict();
    void thisMachinesOwnAddresses();
};

void TestJobLockCheck::holder_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("holder");
    QTest::newRow("address") << QStringLiteral("anna (10.0.0.7)") << QStringLiteral("10.0.0.7");
    QTest::newRow("first pair") << QStringLiteral("a (b) (c)") << QStringLiteral("b");
    QTest::newRow("padded") << QStringLiteral("a ( ::1 )") << QStringLiteral("::1");
    QTest::newRow("no parentheses") << QStringLiteral("anna") << QString();
    QTest::newRow("unclosed") << QStringLiteral("anna (10.0.0.7") << QString();
    QTest::newRow("closing first") << QStringLiteral(") anna (x)") << QStringLiteral("x");
    QTest::newRow("empty") << QString() << QString();
}

void TestJobLockCheck::holder()
{
    QFETCH(QString, text);
    QFETCH(QString, holder);
    QCOMPARE(JobLockCheck::holderOf(text), holder);
    QCOMPARE(JobLockCheck::holderOf(text).isNull(), holder.isNull());
}

void TestJobLockCheck::verdict_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("server");
    QTest::addColumn<bool>("elsewhere");
    QTest::addColumn<QString>("shown");

    const QStringList remote { QStringLiteral("192.168.1.20") };
    const QStringList here { QStringLiteral("127.0.0.1") };
    QTest::newRow("no lock") << QString() << remote << false << QString();
    QTest::newRow("this machine") << QStringLiteral("anna (10.0.0.7)") << remote << false
                                  << QStringLiteral("anna (10.0.0.7)");
    QTest::newRow("second interface")
        << QStringLiteral("anna (192.168.1.5)") << remote << false << QStringLiteral("anna (192.168.1.5)");
    QTest::newRow("other machine") << QStringLiteral("bert (10.0.0.8)") << remote << true
                                   << QStringLiteral("bert (10.0.0.8)");
    QTest::newRow("mapped IPv4") << QStringLiteral("anna (::ffff:10.0.0.7)") << remote << false
                                 << QStringLiteral("anna (::ffff:10.0.0.7)");
    QTest::newRow("link-local without scope")
        << QStringLiteral("anna (fe80::1)") << remote << false << QStringLiteral("anna (fe80::1)");
    QTest::newRow("no address") << QStringLiteral("bert") << remote << true << QStringLiteral("bert");
    QTest::newRow("empty holder") << QStringLiteral("bert ()") << remote << true << QStringLiteral("bert ()");
    QTest::newRow("garbage holder") << QStringLiteral("bert (%%!)") << remote << true
                                    << QStringLiteral("bert (%%!)");
    QTest::newRow("our name") << QStringLiteral("anna (MyBox)") << remote << false
                              << QStringLiteral("anna (MyBox)");
    QTest::newRow("other name") << QStringLiteral("bert (otherbox)") << remote << true
                                << QStringLiteral("bert (otherbox)");
    QTest::newRow("server machine, server elsewhere")
        << QStringLiteral("bert (127.0.0.1)") << remote << true << QStringLiteral("bert (srv.example)");
    QTest::newRow("server machine, server here")
        << QStringLiteral("anna (127.0.0.1)") << here << false << QStringLiteral("anna (srv.example)");
    QTest::newRow("server machine by interface address")
        << QStringLiteral("anna (127.0.0.1)") << QStringList { QStringLiteral("10.0.0.7") } << false
        << QStringLiteral("anna (srv.example)");
    QTest::newRow("IPv6 loopback") << QStringLiteral("anna (::1) since 10:00")
                                   << QStringList { QStringLiteral("::1") } << false
                                   << QStringLiteral("anna (srv.example) since 10:00");
    QTest::newRow("server not found") << QStringLiteral("bert (127.0.0.1)") << QStringList() << true
                                      << QStringLiteral("bert (srv.example)");
}

void TestJobLockCheck::verdict()
{
    QFETCH(QString, text);
    QFETCH(QStringList, server);
    QFETCH(bool, elsewhere);
    QFETCH(QString, shown);
    Machine machine;
    machine.localAddresses = addresses({ QStringLiteral("127.0.0.1"), QStringLiteral("10.0.0.7"),
        QStringLiteral("192.168.1.5"), QStringLiteral("fe80::1%eth0") });
    machine.serverAddresses = addresses(server);
    machine.serverHost = QStringLiteral("srv.example");
    machine.localHostName = QStringLiteral("mybox");
    const JobLockCheck::Result result = JobLockCheck::evaluate(text, machine);
    QCOMPARE(result.elsewhere, elsewhere);
    QCOMPARE(result.lockText, shown);
}

void TestJobLockCheck::thisMachinesOwnAddresses()
{
    // Whatever the host name resolves to (127.0.1.1 on some systems), every
    // address of every interface here is this machine.
    const quint16 port = ServerTest::closedPort();
    const Machine machine = JobLockCheck::gather(QStringLiteral("127.0.0.1"), port);
    const QList<QHostAddress> all = QNetworkInterface::allAddresses();
    QVERIFY(!all.isEmpty());
    for (const QHostAddress &address : all) {
        const QString text = QStringLiteral("me (%1)").arg(address.toString());
        QVERIFY2(!JobLockCheck::evaluate(text, machine).elsewhere, qPrintable(text));
    }
    QVERIFY(!JobLockCheck::evaluate(QStringLiteral("me (127.0.0.1)"), machine).elsewhere);
    QVERIFY(!JobLockCheck::evaluate(QStringLiteral("me (127.0.1.1)"), machine).elsewhere);
    // 192.0.2.0/24 is reserved for documentation: never this machine's.
    QVERIFY(JobLockCheck::evaluate(QStringLiteral("bert (192.0.2.55)"), machine).elsewhere);
    QCOMPARE(machine.localHostName, QHostInfo::localHostName());

    const Machine byName = JobLockCheck::gather(QStringLiteral("localhost"), port);
    const JobLockCheck::Result local = JobLockCheck::evaluate(QStringLiteral("me (127.0.0.1)"), byName);
    QVERIFY(!local.elsewhere);
    QCOMPARE(local.lockText, QStringLiteral("me (localhost)"));
}

VORNEX_TEST_GUILESS_MAIN(TestJobLockCheck)
#include "tst_joblockcheck.moc"
