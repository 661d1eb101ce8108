#include "CheckPoint.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "TestEnv.h"
#include "WorkFlags.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

using namespace testserver;
using namespace ServerTest;

namespace {

MetadataField field(const QString &label, const QString &type, bool required = false)
{
    MetadataField made;
    made.label = label;
    made.description = label + QStringLiteral(" please");
    made.dataType = type;
    made.dataFormat = QStringLiteral("^.*$");
    made.valueIsRequired = required;
    made.rememberLastValue = !required;
    made.value = QStringLiteral("v-") + label;
    return made;
}

testserver::SubmitPoint point(const QString &id, const QString &name, int fields)
{
    testserver::SubmitPoint made;
    made.id = id;
    made.name = name;
    for (int i = 0; i < fields; ++i)
        made.metadata.append(field(QStringLiteral("Field %1").arg(i), QStringLiteral("string"), i == 0));
    return made;
}

Job reviewJob()
{
    Job job;
    job.id = QStringLiteral("J1");
    job.name = QStringLiteral("brochure.pdf");
    job.reportName = QStringLiteral("brochure-report.pdf");
    job.fullUserName = QStringLiteral("Ann Example");
    job.size = 3000000000LL;
    job.submitTime = QStringLiteral("2024-05-01T10:00:00.000Z");
    job.waitingTime = QStringLiteral("00:12");
    job.allowMultipleOutputs = true;
    job.enableReportViewing = true;
    job.allowReplacing = true;
    job.connections = { { QStringLiteral("c1"), QStringLiteral("Approved") },
        { QStringLiteral("c2"), QStringLiteral("Rejected") } };
    job.metadata = { { QStringLiteral("Customer"), QStringLiteral("Who ordered"), QStringLiteral("string"),
        QStringLiteral("ACME") } };
    job.requiresMetadata = true;
    job.requiredMetadata = { field(QStringLiteral("Reason"), QStringLiteral("string"), true),
        field(QStringLiteral("Urgent"), QStringLiteral("bool")) };
    return job;
}

// F1: two submit points and a checkpoint with two jobs; F2: a checkpoint
// only; F3: nothing at all.
QList<testserver::Flow> worldOne()
{
    testserver::Flow first;
    first.id = QStringLiteral("F1");
    first.name = QStringLiteral("Brochures");
    first.submitPoints = { point(QStringLiteral("P1"), QStringLiteral("Drop"), 1),
        point(QStringLiteral("P2"), QStringLiteral("Print"), 3) };
    testserver::CheckPoint review;
    review.id = QStringLiteral("C1");
    review.name = QStringLiteral("Review");
    Job plain;
    plain.id = QStringLiteral("J2");
    plain.name = QStringLiteral("flyer.pdf");
    // Sent out of id order: the client lists them by id.
    review.jobs = { plain, reviewJob() };
    first.checkPoints = { review };

    testserver::Flow second;
    second.id = QStringLiteral("F2");
    second.name = QStringLiteral("Archive");
    testserver::CheckPoint hold;
    hold.id = QStringLiteral("C9");
    hold.name = QStringLiteral("Hold");
    second.checkPoints = { hold };

    testserver::Flow empty;
    empty.id = QStringLiteral("F3");
    empty.name = QStringLiteral("Idle");
    return { first, second, empty };
}

bool idle(const ServerProxy &proxy, const ServerConnection *connection)
{
    return proxy.updateThreads(connection).isEmpty();
}

bool update(ServerProxy &proxy, ServerConnection *connection, int flags)
{
    proxy.startUpdatingConData(connection, flags);
    return QTest::qWaitFor([&] { return idle(proxy, connection); }, 10000);
}

QStringList flowIds(const QVector<FlowPtr> &flows)
{
    QStringList ids;
    for (const FlowPtr &flow : flows)
        ids.append(flow->id());
    return ids;
}

} // namespace

class TestProxyData : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void updateFillsEverything();
    void secondUpdateReusesObjectsById();
    void refreshOfOneKindRebuildsTheFlowList();
    void failedFetchAfterFailedFlowListKeepsWhatWasShown_data();
    void failedFetchAfterFailedFlowListKeepsWhatWasShown();
    void checkPointSignalsComeInOrder();
    void logBatchesAreBounded();
    void removingConnectionClearsItsData();
    void connectionListChangesAreAnnounced();
    void probeIsKeptWhenItConnects_data();
    void probeIsKeptWhenItConnects();
};

void TestProxyData::initTestCase()
{
    useShortTimeouts();
}

void TestProxyData::updateFillsEverything()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFlows(worldOne());
    LogEntry log;
    log.timeStamp = QStringLiteral("2024-05-01T10:00:00.000Z");
    log.message = QStringLiteral("<LogRecord>Started</LogRecord>");
    server->setLogs({ log, log });
    ProgressEntry progress;
    progress.jobName = QStringLiteral("a.pdf");
    progress.checkpoint = QStringLiteral("Review");
    server->setProgress({ progress });
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QSignalSpy logs(&proxy, &ServerProxy::updateLogRequest);

    QVERIFY(update(proxy, connection, UpdateFlags::All));

    const QVector<FlowPtr> flows = proxy.getFlows(connection);
    QCOMPARE(flowIds(flows), (QStringList { QStringLiteral("F1"), QStringLiteral("F2") }));
    QCOMPARE(flows.first()->name(), QStringLiteral("Brochures"));
    // The same objects as the connection's flow table holds.
    QCOMPARE(flows.first().get(), connection->getFlow(QStringLiteral("F1")).get());

    const QVector<SubmitPointPtr> points = proxy.getSubmitPoints(flows.first());
    QCOMPARE(points.size(), 2);
    QCOMPARE(points.at(1)->getId(), QStringLiteral("P2"));
    QCOMPARE(points.at(1)->getName(), QStringLiteral("Print"));
    QCOMPARE(points.at(1)->getFlowId(), QStringLiteral("F1"));
    QCOMPARE(points.at(1)->getConnection(), connection);
    const QList<MetadataToFill> metadata = points.at(1)->getMetadata();
    QCOMPARE(metadata.size(), 3);
    const QString prefix = QStringLiteral("127.0.0.1:%1:F1:P2:").arg(server->port());
    QCOMPARE(metadata.at(0).key, prefix + QLatin1Char('0'));
    QCOMPARE(metadata.at(2).key, prefix + QLatin1Char('2'));
    QCOMPARE(metadata.at(2).label, QStringLiteral("Field 2"));
    QCOMPARE(metadata.at(2).description, QStringLiteral("Field 2 please"));
    QCOMPARE(metadata.at(2).dataFormat, QStringLiteral("^.*$"));
    QCOMPARE(metadata.at(2).value, QStringLiteral("v-Field 2"));
    QVERIFY(metadata.at(0).valueIsRequired);
    QVERIFY(!metadata.at(0).rememberLastValue);
    QVERIFY(metadata.at(2).rememberLastValue);
    QVERIFY(proxy.getCheckPoints(flows.first()).size() == 1);
    // Checkpoints only: listed, without points.
    QVERIFY(proxy.getSubmitPoints(flows.at(1)).isEmpty());
    QCOMPARE(proxy.getCheckPoints(flows.at(1)).first()->getName(), QStringLiteral("Hold"));
    QCOMPARE(proxy.getCheckPoints(flows.at(1)).first()->getJobCount(), 0);

    const CheckPointPtr review = proxy.getCheckPoints(flows.first()).first();
    QCOMPARE(review->getId(), QStringLiteral("C1"));
    QCOMPARE(review->getFlowId(), QStringLiteral("F1"));
    QCOMPARE(review->getFlowName(), QStringLiteral("Brochures"));
    QCOMPARE(review->getServerName(), QStringLiteral("Test Server"));
    QCOMPARE(review->getJobIds(), (QList<QString> { QStringLiteral("J1"), QStringLiteral("J2") }));
    const CheckPointJobData job = review->getJob(QStringLiteral("J1"));
    QCOMPARE(job.name, QStringLiteral("brochure.pdf"));
    QCOMPARE(job.fullUserName, QStringLiteral("Ann Example"));
    QCOMPARE(job.size, 3000000000LL);
    QCOMPARE(job.submitTime, QStringLiteral("2024-05-01T10:00:00.000Z"));
    QCOMPARE(job.waitingTime, QStringLiteral("00:12"));
    QCOMPARE(job.status, 0);
    QVERIFY(job.allowMultipleOutputs);
    QVERIFY(job.enableReportViewing);
    QVERIFY(job.allowReplacing);
    QCOMPARE(job.reportFileName, QStringLiteral("brochure-report.pdf"));
    QVERIFY(job.fileName.isEmpty());
    QCOMPARE(job.connections.size(), 2);
    QCOMPARE(job.connections.at(1).id, QStringLiteral("c2"));
    QCOMPARE(job.connections.at(1).name, QStringLiteral("Rejected"));
    QCOMPARE(job.metadata.size(), 1);
    QCOMPARE(job.metadata.first().value, QStringLiteral("ACME"));
    QCOMPARE(job.metadata.first().description, QStringLiteral("Who ordered"));
    QVERIFY(job.requiresMetadata);
    QCOMPARE(job.requiredMetadata.size(), 2);
    QCOMPARE(job.requiredMetadata.at(1).label, QStringLiteral("Urgent"));
    QCOMPARE(job.requiredMetadata.at(1).key, QStringLiteral("127.0.0.1:%1:F1:C1:1").arg(server->port()));
    QVERIFY(!review->getJob(QStringLiteral("J2")).requiresMetadata);

    QCOMPARE(logs.count(), 1);
    const QString key = logs.first().first().toString();
    QVERIFY(key.endsWith(QString::number(connection->connectionId())));
    QList<LogMessage> messages;
    proxy.getLogData(key, messages);
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages.first().connectionId, connection->connectionId());
    QList<ProgressData> records;
    proxy.getProgressData(records);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().checkpoint, QStringLiteral("Review"));
}

void TestProxyData::secondUpdateReusesObjectsById()
{
    auto server = startServer();
    QVERIFY(server);
    QList<testserver::Flow> world = worldOne();
    server->setFlows(world);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QVERIFY(update(proxy, connection, UpdateFlags::All));
    const FlowPtr flow = proxy.getFlows(connection).first();
    const SubmitPointPtr drop = proxy.getSubmitPoints(flow).at(0);
    const SubmitPointPtr print = proxy.getSubmitPoints(flow).at(1);
    const CheckPointPtr review = proxy.getCheckPoints(flow).first();

    // Renamed, one field fewer, the other point gone, a job gone.
    world[0].submitPoints = { point(QStringLiteral("P2"), QStringLiteral("Print now"), 2) };
    world[0].checkPoints[0].name = QStringLiteral("Final review");
    world[0].checkPoints[0].jobs.removeLast();
    server->setFlows(world);
    QVERIFY(update(proxy, connection, UpdateFlags::All));
    QCOMPARE(proxy.getFlows(connection).first().get(), flow.get());
    QCOMPARE(proxy.getSubmitPoints(flow).size(), 1);
    QCOMPARE(proxy.getSubmitPoints(flow).first().get(), print.get());
    QCOMPARE(print->getName(), QStringLiteral("Print now"));
    QCOMPARE(print->getMetadata().size(), 2);
    QCOMPARE(proxy.getCheckPoints(flow).first().get(), review.get());
    QCOMPARE(review->getName(), QStringLiteral("Final review"));
    QCOMPARE(review->getJobIds(), (QList<QString> { QStringLiteral("J2") }));
    QVERIFY(!review->hasJob(QStringLiteral("J1")));

    // The point that went comes back as the same object.
    world[0].submitPoints.prepend(point(QStringLiteral("P1"), QStringLiteral("Drop again"), 0));
    server->setFlows(world);
    QVERIFY(update(proxy, connection, UpdateFlags::SubmitPoints));
    QCOMPARE(proxy.getSubmitPoints(flow).size(), 2);
    QCOMPARE(proxy.getSubmitPoints(flow).first().get(), drop.get());
    QCOMPARE(drop->getName(), QStringLiteral("Drop again"));
    QVERIFY(drop->getMetadata().isEmpty());
}

void TestProxyData::refreshOfOneKindRebuildsTheFlowList()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFlows(worldOne());
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QVERIFY(update(proxy, connection, UpdateFlags::CheckPoints));
    QCOMPARE(
        flowIds(proxy.getFlows(connection)), (QStringList { QStringLiteral("F1"), QStringLiteral("F2") }));
    QVERIFY(proxy.getSubmitPoints(proxy.getFlows(connection).first()).isEmpty());

    // Points alone: the flow with checkpoints only drops out of the list.
    QVERIFY(update(proxy, connection, UpdateFlags::SubmitPoints));
    QCOMPARE(flowIds(proxy.getFlows(connection)), (QStringList { QStringLiteral("F1") }));

    // A flow whose points all went is no longer listed, and its list is empty.
    QList<testserver::Flow> world = worldOne();
    const FlowPtr first = proxy.getFlows(connection).first();
    world[0].submitPoints.clear();
    server->setFlows(world);
    QVERIFY(update(proxy, connection, UpdateFlags::SubmitPoints));
    QVERIFY(proxy.getFlows(connection).isEmpty());
    QVERIFY(proxy.getSubmitPoints(first).isEmpty());

    // Log and progress refreshes leave the flows alone.
    QVERIFY(update(proxy, connection, UpdateFlags::All));
    QCOMPARE(proxy.getFlows(connection).size(), 2);
    QVERIFY(update(proxy, connection, UpdateFlags::Messages | UpdateFlags::Progress));
    QCOMPARE(proxy.getFlows(connection).size(), 2);
}

void TestProxyData::failedFetchAfterFailedFlowListKeepsWhatWasShown_data()
{
    QTest::addColumn<int>("failing");
    QTest::newRow("checkpoints") << int(Operation::GetCheckPoints07);
    QTest::newRow("submit points") << int(Operation::GetSubmitPoints07);
}

void TestProxyData::failedFetchAfterFailedFlowListKeepsWhatWasShown()
{
    QFETCH(int, failing);
    auto server = startServer();
    QVERIFY(server);
    server->setFlows(worldOne());
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    const auto shown = [&] {
        QStringList seen;
        for (const FlowPtr &flow : proxy.getFlows(connection)) {
            seen.append(flow->id());
            for (const SubmitPointPtr &point : proxy.getSubmitPoints(flow))
                seen.append(point->getId());
            for (const CheckPointPtr &checkPoint : proxy.getCheckPoints(flow))
                seen.append(checkPoint->getId() + QLatin1Char('/') + checkPoint->getJobIds().join(u','));
        }
        return seen;
    };
    QVERIFY(update(proxy, connection, UpdateFlags::All));
    const QStringList before = shown();
    QCOMPARE(before,
        (QStringList { QStringLiteral("F1"), QStringLiteral("P1"), QStringLiteral("P2"),
            QStringLiteral("C1/J1,J2"), QStringLiteral("F2"), QStringLiteral("C9/") }));

    // The flow list fails, then one kind of fetch: what was shown stays.
    server->setFault(Operation::GetFlowList07, Fault::receiverFault().times(1));
    QVERIFY(update(proxy, connection, UpdateFlags::All));
    QVERIFY(!connection->isOnline());
    QCOMPARE(shown(), before);
    server->setFault(Operation(failing), Fault::receiverFault().times(1));
    QVERIFY(update(proxy, connection, UpdateFlags::All));
    QVERIFY(!connection->isOnline());
    QCOMPARE(shown(), before);

    // A fetch of that kind that succeeds replaces it.
    QList<testserver::Flow> world = worldOne();
    world[0].submitPoints.removeLast();
    world[0].checkPoints[0].jobs.removeFirst();
    server->setFlows(world);
    QVERIFY(update(proxy, connection, UpdateFlags::All));
    QVERIFY(connection->isOnline());
    QCOMPARE(shown(),
        (QStringList { QStringLiteral("F1"), QStringLiteral("P1"), QStringLiteral("C1/J1"),
            QStringLiteral("F2"), QStringLiteral("C9/") }));
}

void TestProxyData::checkPointSignalsComeInOrder()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFlows(worldOne());
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QVERIFY(update(proxy, connection, UpdateFlags::CheckPoints));
    const CheckPointPtr review = proxy.getCheckPoints(proxy.getFlows(connection).first()).first();

    QList<testserver::Flow> world = worldOne();
    world[0].checkPoints[0].jobs.clear();
    server->setFlows(world);
    int jobsWhenAbout = -1;
    int jobsWhenUpdated = -1;
    connect(
        &proxy, &ServerProxy::aboutUpdateCheckPoints, this, [&] { jobsWhenAbout = review->getJobCount(); });
    connect(&proxy, &ServerProxy::updateCheckPointsRequest, this,
        [&] { jobsWhenUpdated = review->getJobCount(); });
    QSignalSpy points(&proxy, &ServerProxy::updateSubmitPointsRequest);
    QVERIFY(update(proxy, connection, UpdateFlags::CheckPoints));
    QCOMPARE(jobsWhenAbout, 2);
    QCOMPARE(jobsWhenUpdated, 0);
    QCOMPARE(points.count(), 0);
}

void TestProxyData::logBatchesAreBounded()
{
    auto server = startServer();
    QVERIFY(server);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QStringList keys;
    connect(&proxy, &ServerProxy::updateLogRequest, this, [&](const QString &key) { keys.append(key); });
    for (int i = 0; i < 40; ++i) {
        LogEntry log;
        log.timeStamp = QStringLiteral("2024-05-01T10:00:%1.000Z").arg(i + 10);
        log.message = QStringLiteral("<LogRecord>Step %1</LogRecord>").arg(i);
        server->addLog(log);
        QVERIFY(update(proxy, connection, UpdateFlags::Messages));
    }
    QCOMPARE(keys.size(), 40);
    QCOMPARE(keys.removeDuplicates(), 0);
    QCOMPARE(proxy.logBatchCount(), 32);
    // The newest are kept, the oldest went.
    QList<LogMessage> messages;
    proxy.getLogData(keys.last(), messages);
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().message, QStringLiteral("Step 39"));
    messages.clear();
    proxy.getLogData(keys.first(), messages);
    QVERIFY(messages.isEmpty());

    proxy.clearLogBatches();
    QCOMPARE(proxy.logBatchCount(), 0);
    proxy.getLogData(keys.last(), messages);
    QVERIFY(messages.isEmpty());
}

void TestProxyData::removingConnectionClearsItsData()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFlows(worldOne());
    LogEntry log;
    log.timeStamp = QStringLiteral("2024-05-01T10:00:00.000Z");
    log.message = QStringLiteral("<LogRecord>Started</LogRecord>");
    server->setLogs({ log, log });
    ProgressEntry progress;
    progress.jobName = QStringLiteral("a.pdf");
    server->setProgress({ progress });
    ServerProxy proxy;
    ServerConnection *other = addConnection(proxy, server->port());
    ServerConnection *connection = addConnection(proxy, server->port());
    QVERIFY(update(proxy, other, UpdateFlags::All));
    QVERIFY(update(proxy, connection, UpdateFlags::All));
    QCOMPARE(proxy.logBatchCount(), 2);
    QPointer<::SubmitPoint> point = proxy.getSubmitPoints(proxy.getFlows(connection).first()).first().get();
    QPointer<::CheckPoint> review = proxy.getCheckPoints(proxy.getFlows(connection).first()).first().get();
    QVERIFY(point && review);
    const int id = connection->connectionId();

    QStringList order;
    connect(&proxy, &ServerProxy::resetPages, this, [&] { order << QStringLiteral("reset"); });
    connect(&proxy, &ServerProxy::clearLogRequest, this,
        [&](int cleared) { order << QStringLiteral("log %1").arg(cleared); });
    connect(
        &proxy, &ServerProxy::updateSubmitPointsRequest, this, [&] { order << QStringLiteral("points"); });
    connect(&proxy, &ServerProxy::updateCheckPointsRequest, this, [&] { order << QStringLiteral("checks"); });
    connect(&proxy, &ServerProxy::updateProgressRequest, this, [&] { order << QStringLiteral("progress"); });
    QVERIFY(proxy.removeConnection(1));
    QCOMPARE(order,
        (QStringList { QStringLiteral("reset"), QStringLiteral("log %1").arg(id), QStringLiteral("points"),
            QStringLiteral("checks"), QStringLiteral("progress") }));
    // Nobody else held them.
    QVERIFY(!point);
    QVERIFY(!review);
    QCOMPARE(proxy.logBatchCount(), 1);
    QList<ProgressData> records;
    proxy.getProgressData(records);
    QCOMPARE(records.size(), 1);
    // The other connection keeps its data.
    QCOMPARE(proxy.getFlows(other).size(), 2);
}

void TestProxyData::connectionListChangesAreAnnounced()
{
    ServerProxy proxy;
    QStringList events;
    connect(&proxy, &ServerProxy::connectionAboutToBeAdded, this, [&](int index) {
        events << QStringLiteral("adding %1 at %2").arg(index).arg(proxy.getConnectionCount());
    });
    connect(&proxy, &ServerProxy::connectionAdded, this, [&](int index) {
        events << QStringLiteral("added %1 at %2").arg(index).arg(proxy.getConnectionCount());
    });
    connect(&proxy, &ServerProxy::connectionAboutToBeRemoved, this, [&](int index) {
        events << QStringLiteral("removing %1 at %2").arg(index).arg(proxy.getConnectionCount());
    });
    connect(&proxy, &ServerProxy::connectionRemoved, this, [&](int index) {
        events << QStringLiteral("removed %1 at %2").arg(index).arg(proxy.getConnectionCount());
    });
    QCOMPARE(proxy.addConnection(QString(), QString(), QString(), 51008), 0);
    QCOMPARE(proxy.addConnection(QString(), QString(), QString(), 51008), 1);
    QVERIFY(!proxy.removeConnection(2));
    QVERIFY(proxy.removeConnection(0));
    QCOMPARE(events,
        (QStringList { QStringLiteral("adding 0 at 0"), QStringLiteral("added 0 at 1"),
            QStringLiteral("adding 1 at 1"), QStringLiteral("added 1 at 2"),
            QStringLiteral("removing 0 at 2"), QStringLiteral("removed 0 at 1") }));
}

void TestProxyData::probeIsKeptWhenItConnects_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("loggedIn");
    QTest::newRow("default user accepted") << QStringLiteral("secret") << true;
    QTest::newRow("default user refused") << QString() << false;
}

void TestProxyData::probeIsKeptWhenItConnects()
{
    QFETCH(QString, password);
    QFETCH(bool, loggedIn);
    auto server = startServer(false, QStringLiteral("secret"));
    QVERIFY(server);
    ServerProxy proxy;
    QSignalSpy refresh(&proxy, &ServerProxy::refreshConnectionModelRequest);
    proxy.tryDefaultConnection(QStringLiteral("user"), password, QStringLiteral("127.0.0.1"), server->port());
    // Probe ended, probe listed, its log-in ended.
    QTRY_COMPARE_WITH_TIMEOUT(refresh.count(), 3, 10000);
    QCOMPARE(refresh.at(1).first().toBool(), true);
    QCOMPARE(proxy.getConnectionCount(), 1);
    ServerConnection *probe = proxy.getConnection(0);
    QCOMPARE(probe->isOnline(), loggedIn);
    if (!loggedIn)
        QCOMPARE(probe->statusText(), ServerConnection::loginFailedText());
    // Probed with the connect call alone, then logged in once.
    const QStringList calls = operations(*server);
    QCOMPARE(calls.first(), QStringLiteral("CheckConnect"));
    QCOMPARE(calls.count(QStringLiteral("CheckConnect")), 1);
    QCOMPARE(calls.count(QStringLiteral("GetStatus")), 1);
    QVERIFY(calls.count(QStringLiteral("CheckUserNameAndPass")) <= 1);
}

VORNEX_TEST_GUILESS_MAIN(TestProxyData)
#include "tst_proxydata.moc"
