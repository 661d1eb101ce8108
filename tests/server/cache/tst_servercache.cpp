#include "ServerCacheTest.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace CacheTest;

void TestServerCache::initTestCase()
{
    useShortTimeouts();
}

void TestServerCache::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_folder = m_dir->path();
    QSettings().setValue(QStringLiteral("General/ApplicationPath"), m_folder);
}

void TestServerCache::fileNames()
{
    QCOMPARE(ServerCache::fileName(QStringLiteral("srv"), 51008), QStringLiteral("srv#51008.xml"));
    QCOMPARE(ServerCache::fileName(QStringLiteral("my-host.example.com"), 1),
        QStringLiteral("my-host.example.com#1.xml"));
    // As the connection uses the host: without its scheme.
    QCOMPARE(ServerCache::fileName(QStringLiteral("https://srv"), 51008), QStringLiteral("srv#51008.xml"));
    QCOMPARE(ServerCache::fileName(QStringLiteral("http://srv/"), 7), QStringLiteral("srv%2F#7.xml"));
    // One file per user; without one, the name earlier runs gave all users.
    QCOMPARE(ServerCache::fileName(QStringLiteral("srv"), 51008, QStringLiteral("ann")),
        QStringLiteral("srv#51008#ann.xml"));
    QCOMPARE(ServerCache::fileName(QStringLiteral("srv"), 1, QStringLiteral("a#b/~c")),
        QStringLiteral("srv#1#a%23b%2F%7Ec.xml"));
    QCOMPARE(ServerCache::fileName(QStringLiteral("srv"), 1, QString()), QStringLiteral("srv#1.xml"));
    // Never outside the folder, never a temporary file's name.
    const QString up = ServerCache::fileName(QStringLiteral("../../etc/x"), 1);
    QVERIFY(!up.contains(QLatin1Char('/')));
    QVERIFY(!ServerCache::fileName(QStringLiteral("~#~srv"), 51008).startsWith(ServerCache::tempPrefix()));
    QCOMPARE(ServerCache::filePath(m_folder, QStringLiteral("../x"), 2),
        m_folder + QStringLiteral("/..%2Fx#2.xml"));

    QCOMPARE(ServerCache::folder(), QDir::cleanPath(m_folder));
    QSettings().setValue(QStringLiteral("General/ApplicationPath"), QString());
    QVERIFY(ServerCache::folder().isEmpty());
    QVERIFY(ServerCache::filePath(ServerCache::folder(), QStringLiteral("srv"), 1).isEmpty());
    QSettings().setValue(QStringLiteral("General/ApplicationPath"), QStringLiteral("relative/folder"));
    QVERIFY(ServerCache::folder().isEmpty());
}

void TestServerCache::roundTripKeepsEverything()
{
    ServerCache::Content content = sample();
    // A character XML 1.0 does not allow is dropped, not written raw.
    content.flows[0].name = QStringLiteral("Bro") + QChar(0x1) + QStringLiteral("chures");
    const QString path = ServerCache::filePath(m_folder, QStringLiteral("srv"), 51008);
    QVERIFY(ServerCache::save(content, path));
    QVERIFY(QFile::exists(m_folder + QStringLiteral("/srv#51008.xml")));
    QCOMPARE(leftovers(m_folder), QStringList());

    ServerCache::Content read;
    QString error;
    QCOMPARE(ServerCache::read(path, &read, &error), ServerCache::ReadResult::Read);
    QCOMPARE(read.flows.size(), 2);
    QCOMPARE(read.flows[0].name, QStringLiteral("Brochures"));
    QCOMPARE(read.flows[1].id, QStringLiteral("F2"));
    QVERIFY(read.flows[1].points.isEmpty() && read.flows[1].checkPoints.isEmpty());
    const ServerCache::FlowEntry &flow = read.flows[0];
    QCOMPARE(flow.points.size(), 2);
    QCOMPARE(flow.points[1].id, QStringLiteral("P0"));
    QCOMPARE(flow.points[0].metadata.size(), 2);
    for (int i = 0; i < 2; ++i)
        compareFill(flow.points[0].metadata[i], content.flows[0].points[0].metadata[i]);
    QCOMPARE(flow.checkPoints.size(), 1);
    QCOMPARE(flow.checkPoints[0].name, QStringLiteral("Review"));
    QCOMPARE(flow.checkPoints[0].jobs.size(), 2);
    QCOMPARE(flow.checkPoints[0].jobs[1].id, QStringLiteral("J0"));
    const ServerCache::Job &job = flow.checkPoints[0].jobs[0];
    const CheckPointJobData &want = content.flows[0].checkPoints[0].jobs[0].data;
    QCOMPARE(job.id, QStringLiteral("J1"));
    QCOMPARE(job.data.name, want.name);
    QCOMPARE(job.data.fullUserName, want.fullUserName);
    QCOMPARE(job.data.fileName, want.fileName);
    QCOMPARE(job.data.fullFileName, want.fullFileName);
    QCOMPARE(job.data.submitPointName, want.submitPointName);
    QCOMPARE(job.data.size, want.size);
    QCOMPARE(job.data.submitTime, want.submitTime);
    QCOMPARE(job.data.waitingTime, want.waitingTime);
    QCOMPARE(job.data.status, 0);
    QVERIFY(job.data.allowMultipleOutputs && job.data.enableReportViewing && job.data.requiresMetadata);
    QCOMPARE(job.data.reportFileName, want.reportFileName);
    QCOMPARE(job.data.connections.size(), 1);
    QCOMPARE(job.data.connections[0].name, QStringLiteral("Approved"));
    QCOMPARE(job.data.metadata.size(), 1);
    QCOMPARE(job.data.metadata[0].value, QStringLiteral("V"));
    QCOMPARE(job.data.metadata[0].dataType, QStringLiteral("T"));
    compareFill(job.data.requiredMetadata.value(0), want.requiredMetadata[0]);
    // Written empty, read back as no target at all.
    QVERIFY(job.chosenConnectionIds.isEmpty());
    QCOMPARE(read.progress.size(), 2);
    QCOMPARE(read.progress[0].checkpoint, QStringLiteral("Review"));
    QCOMPARE(read.progress[0].submittedTime, QStringLiteral("t1"));
    QCOMPARE(read.progress[0].fullUserName, QStringLiteral("Ann"));

    // Layout and attribute order as other readers of the file expect them.
    const QString text = readText(path);
    QVERIFY(text.indexOf(QStringLiteral("<SubmitPoint name=\"Second\""))
        < text.indexOf(QStringLiteral("<CheckPoint")));
    QVERIFY(text.contains(
        QStringLiteral("<Job id=\"J1\" fullUserName=\"Ann\" AllowMultipleOutputs=\"1\" FileName=")));
    QVERIFY(text.contains(QStringLiteral("Status=\"0\" ChosenConnectionsId=\"\" SubmitTime=")));
    QVERIFY(text.contains(QStringLiteral("<RequiredMetadata key=\"srv:51008:F1:C1:0\" DataFormat=")));
    QVERIFY(text.contains(
        QStringLiteral("RememberLastValue=\"0\" Value=\"value of A\" ValueIsRequired=\"1\" key=")));
    QVERIFY(text.contains(QStringLiteral("<Flow name=\"Idle\" id=\"F2\"/>")));
    QVERIFY(text.indexOf(QStringLiteral("<Progress>")) > text.lastIndexOf(QStringLiteral("<Flow")));

    // An empty connection still gets its Progress element.
    QVERIFY(ServerCache::save(ServerCache::Content(), path));
    QVERIFY(readText(path).contains(QStringLiteral("<Progress/>")));
}

void TestServerCache::onlyOneIsTrue()
{
    const QString path = m_folder + QStringLiteral("/hand.xml");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<root><Flow name=\"F\" id=\"1\"><SubmitPoint name=\"P\" id=\"2\">"
               "<Metadata RememberLastValue=\"true\" ValueIsRequired=\"1\"/>"
               "<Metadata RememberLastValue=\"1\" ValueIsRequired=\"yes\"/></SubmitPoint>"
               "<CheckPoint name=\"C\" id=\"3\"><Job id=\"J\" Size=\"big\" "
               "Status=\"x\"/></CheckPoint></Flow></root>");
    file.close();
    ServerCache::Content read;
    QCOMPARE(ServerCache::read(path, &read), ServerCache::ReadResult::Read);
    const QList<MetadataToFill> fields = read.flows[0].points[0].metadata;
    QVERIFY(!fields[0].rememberLastValue);
    QVERIFY(fields[0].valueIsRequired);
    QVERIFY(fields[1].rememberLastValue);
    QVERIFY(!fields[1].valueIsRequired);
    QCOMPARE(read.flows[0].checkPoints[0].jobs[0].data.size, 0);
    QCOMPARE(read.flows[0].checkPoints[0].jobs[0].data.status, 0);
    QVERIFY(read.flows[0].checkPoints[0].jobs[0].data.name.isEmpty());
}

void TestServerCache::failedSaveKeepsTheOldFile()
{
    const QString path = ServerCache::filePath(m_folder, QStringLiteral("srv"), 1);
    QVERIFY(ServerCache::save(sample(), path));
    const QString before = readText(path);

    // A full disk: writes beyond the limit fail.
    ServerCache::Content big = sample();
    big.flows[0].name = QString(3 << 20, QLatin1Char('x'));
    bool saved = true;
    {
        const TestFiles::FileSizeLimit limit(1 << 20);
        saved = ServerCache::save(big, path);
    }
    QVERIFY(!saved);
    QCOMPARE(readText(path), before);
    QCOMPARE(leftovers(m_folder), QStringList());

    // A folder that cannot take files (a plain file stands in its place).
    const QString notFolder = m_folder + QStringLiteral("/plain");
    QFile plain(notFolder);
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(!ServerCache::save(sample(), ServerCache::filePath(notFolder, QStringLiteral("srv"), 1)));
    QVERIFY(!ServerCache::save(
        sample(), ServerCache::filePath(m_folder + QStringLiteral("/missing"), QStringLiteral("srv"), 1)));
}

void TestServerCache::savedFileIsPrivate()
{
    const QString path = ServerCache::filePath(m_folder, QStringLiteral("srv"), 1);
    const QString temp = m_folder + QLatin1Char('/') + ServerCache::tempPrefix() + QFileInfo(path).fileName();
    const mode_t oldMask = ::umask(022);
    // An earlier version's file and a crash's temporary file, both open to all.
    for (const QString &file : { path, temp }) {
        QFile open(file);
        QVERIFY(open.open(QIODevice::WriteOnly));
        QVERIFY(
            open.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    }
    const bool saved = ServerCache::save(sample(), path);
    ::umask(oldMask);
    QVERIFY(saved);
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0600));
    QCOMPARE(leftovers(m_folder), QStringList());
}

void TestServerCache::patchesMatchByIds()
{
    const QString path = ServerCache::filePath(m_folder, QStringLiteral("srv"), 1);
    ServerCache::Content content = sample();
    QVERIFY(ServerCache::save(content, path));
    MetadataToFill entered = fill(QStringLiteral("R"), QStringLiteral("srv:51008:F1:C1:0"));
    entered.value = QStringLiteral("42");
    const QStringList ids { QStringLiteral("c1"), QStringLiteral("c2") };
    QVERIFY(!ServerCache::patchWaitingPush(
        path, QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("nope"), ids, { entered }));
    QVERIFY(ServerCache::patchWaitingPush(
        path, QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1"), ids, { entered }));
    ServerCache::Content read;
    QCOMPARE(ServerCache::read(path, &read), ServerCache::ReadResult::Read);
    const ServerCache::Job &job = read.flows[0].checkPoints[0].jobs[0];
    QCOMPARE(job.data.status, 1);
    QCOMPARE(job.chosenConnectionIds, ids);
    QCOMPARE(job.data.requiredMetadata[0].value, QStringLiteral("42"));
    QVERIFY(readText(path).contains(QStringLiteral("ChosenConnectionsId=\"c1;c2\"")));

    QVERIFY(ServerCache::patchPushDone(
        path, QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1"), false));
    QCOMPARE(ServerCache::read(path, &read), ServerCache::ReadResult::Read);
    QCOMPARE(read.flows[0].checkPoints[0].jobs[0].data.status, 0);
    QVERIFY(read.flows[0].checkPoints[0].jobs[0].chosenConnectionIds.isEmpty());
    QVERIFY(ServerCache::patchPushDone(
        path, QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1"), true));
    QCOMPARE(ServerCache::read(path, &read), ServerCache::ReadResult::Read);
    QCOMPARE(read.flows[0].checkPoints[0].jobs.size(), 1);
    QCOMPARE(read.flows[0].checkPoints[0].jobs[0].id, QStringLiteral("J0"));
    QCOMPARE(leftovers(m_folder), QStringList());
}

void TestServerCache::offlineServerShowsCacheAndGetsItsPushOnce()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFlows(world());
    ProgressEntry progress;
    progress.jobName = QStringLiteral("a.pdf");
    progress.checkpoint = QStringLiteral("Review");
    server->setProgress({ progress });
    const QString path = m_folder + QStringLiteral("/127.0.0.1#%1#user.xml").arg(server->port());

    MetadataToFill reason;
    {
        ServerProxy proxy;
        ServerConnection *connection = addConnection(proxy, server->port());
        QVERIFY(update(proxy, connection));
        QVERIFY(connection->isOnline());
        // One refresh is enough for the file to hold what it brought.
        QVERIFY(proxy.waitForCacheWrites(10000));
        QVERIFY(QFile::exists(path));
        QCOMPARE(leftovers(m_folder), QStringList());

        server->setRefuseConnections(true);
        const CheckPointPtr review = proxy.getCheckPoints(proxy.getFlows(connection).first()).first();
        PushJobInfo info;
        info.requiredMetadata = review->getJob(QStringLiteral("J1")).requiredMetadata;
        QCOMPARE(info.requiredMetadata.size(), 1);
        info.requiredMetadata[0].value = QStringLiteral("looks fine");
        reason = info.requiredMetadata[0];
        info.connectionIds = { QStringLiteral("c2"), QStringLiteral("c1") };
        info.jobName = QStringLiteral("brochure.pdf");
        info.push = true;
        proxy.pushJob(connection, QStringLiteral("F1"), QStringLiteral("C1"), QStringLiteral("J1"), info);
        // Its request never left: it waits for the server, and the file says so.
        QTRY_VERIFY_WITH_TIMEOUT(!connection->isOnline(), 5000);
        proxy.closeAllConnections();
        QVERIFY(readText(path).contains(QStringLiteral("Status=\"1\" ChosenConnectionsId=\"c2;c1\"")));
    }
    QVERIFY(readText(path).contains(QStringLiteral("ChosenConnectionsId=\"c2;c1\"")));

    // A restart while the server is still away shows what the file holds.
    {
        ServerProxy proxy;
        ServerConnection *connection = addConnection(proxy, server->port());
        QSignalSpy points(&proxy, &ServerProxy::updateSubmitPointsRequest);
        QVERIFY(loadCache(proxy));
        QCOMPARE(points.count(), 1);
        const QVector<FlowPtr> flows = proxy.getFlows(connection);
        QCOMPARE(flows.size(), 1);
        QCOMPARE(flows[0]->name(), QStringLiteral("Brochures"));
        const QVector<SubmitPointPtr> submitPoints = proxy.getSubmitPoints(flows[0]);
        QCOMPARE(submitPoints.size(), 1);
        QCOMPARE(submitPoints[0]->getMetadata().size(), 2);
        QCOMPARE(submitPoints[0]->getMetadata()[1].key,
            QStringLiteral("127.0.0.1:%1:F1:P1:1").arg(server->port()));
        const CheckPointPtr review = proxy.getCheckPoints(flows[0]).first();
        QCOMPARE(review->getJobIds(), (QList<QString> { QStringLiteral("J1"), QStringLiteral("J2") }));
        QCOMPARE(review->getJob(QStringLiteral("J1")).status, 1);
        QCOMPARE(review->getJob(QStringLiteral("J1")).size, 3000000000LL);
        QList<ProgressData> records;
        proxy.getProgressData(records);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0].jobName, QStringLiteral("a.pdf"));
        QCOMPARE(pushActions(proxy), 1);
        // A second decision on the same job would send it twice.
        QVERIFY(review->isPushWaiting(QStringLiteral("J1")));
        proxy.closeAllConnections();
    }
    QVERIFY(server->pushes().isEmpty());

    // The server is back: the push goes out once, as decided.
    server->setRefuseConnections(false);
    {
        ServerProxy proxy;
        ServerConnection *connection = addConnection(proxy, server->port());
        QVERIFY(loadCache(proxy));
        QCOMPARE(pushActions(proxy), 1);
        const CheckPointPtr review = proxy.getCheckPoints(proxy.getFlows(connection).first()).first();
        proxy.loginAllConnections();
        QTRY_COMPARE_WITH_TIMEOUT(server->pushes().size(), 1, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(pushActions(proxy), 0, 10000);
        const Push push = server->pushes().first();
        QCOMPARE(push.jobId, QStringLiteral("J1"));
        QCOMPARE(push.checkPointId, QStringLiteral("C1"));
        QCOMPARE(push.request.connectionIds, (QStringList { QStringLiteral("c2"), QStringLiteral("c1") }));
        QCOMPARE(push.request.requiredMetadata.size(), 1);
        QCOMPARE(push.request.requiredMetadata[0].value, reason.value);
        // The file no longer holds it as waiting.
        QTRY_VERIFY_WITH_TIMEOUT(!readText(path).contains(QStringLiteral("Status=\"1\"")), 5000);
        QVERIFY(!review->isPushWaiting(QStringLiteral("J1")));
        QVERIFY(!review->hasJob(QStringLiteral("J1")));
        QVERIFY(update(proxy, connection));
        proxy.closeAllConnections();
    }
    {
        ServerProxy proxy;
        addConnection(proxy, server->port());
        QVERIFY(loadCache(proxy));
        QCOMPARE(pushActions(proxy), 0);
    }
    QCOMPARE(server->pushes().size(), 1);
}

void TestServerCache::corruptFileSkipsOnlyThatServer()
{
    const quint16 first = closedPort();
    quint16 second = closedPort();
    while (second == first)
        second = closedPort();
    QFile bad(ServerCache::filePath(m_folder, QStringLiteral("127.0.0.1"), first));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("<root><Flow name=\"broken\"");
    bad.close();
    QVERIFY(
        ServerCache::save(sample(), ServerCache::filePath(m_folder, QStringLiteral("127.0.0.1"), second)));

    ServerProxy proxy;
    ServerConnection *broken = addConnection(proxy, first);
    ServerConnection *good = addConnection(proxy, second);
    ServerConnection *disabled = addConnection(proxy, second);
    disabled->setEnabled(false);
    QSignalSpy points(&proxy, &ServerProxy::updateSubmitPointsRequest);
    QSignalSpy checkPoints(&proxy, &ServerProxy::updateCheckPointsRequest);
    QSignalSpy progress(&proxy, &ServerProxy::updateProgressRequest);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unreadable")));
    QVERIFY(loadCache(proxy));
    QVERIFY(proxy.getFlows(broken).isEmpty());
    QCOMPARE(proxy.getFlows(good).size(), 2);
    QCOMPARE(proxy.getSubmitPoints(proxy.getFlows(good).first()).size(), 2);
    QVERIFY(proxy.getFlows(disabled).isEmpty());
    QCOMPARE(points.count(), 2);
    QCOMPARE(checkPoints.count(), 2);
    QCOMPARE(progress.count(), 2);
}

void TestServerCache::largeFileKeepsTheEventLoopGoing()
{
    // Near the element limit: read in a thread, taken in here.
    ServerCache::Content content = sample();
    ServerCache::CheckPointEntry &checkPoint = content.flows[0].checkPoints[0];
    const int before = int(checkPoint.jobs.size());
    for (int i = 0; i < 90000; ++i) {
        ServerCache::Job job;
        job.id = QString::number(i);
        job.data.name = QStringLiteral("job %1.pdf").arg(i);
        job.data.fullUserName = QStringLiteral("Some User");
        checkPoint.jobs.append(job);
    }
    const quint16 port = closedPort();
    QVERIFY(ServerCache::save(content, ServerCache::filePath(m_folder, QStringLiteral("127.0.0.1"), port)));
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, port);

    auto stall = std::make_unique<LoopStall>();
    QVERIFY(loadCache(proxy));
    const qint64 longest = stall->longestMs();
    QCOMPARE(
        proxy.getCheckPoints(proxy.getFlows(connection).first()).first()->getJobIds().size(), 90000 + before);
    QVERIFY2(longest < 200 * TestEnv::sanitizerSlowdown, qPrintable(QString::number(longest)));
}

void TestServerCache::noFolderNoCache()
{
    QSettings().setValue(QStringLiteral("General/ApplicationPath"), QString());
    auto server = startServer();
    QVERIFY(server);
    server->setFlows(world());
    const QString cwdFile
        = QDir::current().filePath(QStringLiteral("127.0.0.1#%1#user.xml").arg(server->port()));
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QVERIFY(update(proxy, connection));
    proxy.closeAllConnections();
    QVERIFY(!QFile::exists(QStringLiteral("/127.0.0.1#%1#user.xml").arg(server->port())));
    QVERIFY(!QFile::exists(cwdFile));
    QVERIFY(QDir(m_folder).entryList(QDir::Files).isEmpty());
}

void TestServerCache::writtenOncePerRefreshBesideTheGuiThread()
{
    auto server = startServer();
    QVERIFY(server);
    server->setFlows(world());
    const QString path = m_folder + QStringLiteral("/127.0.0.1#%1#user.xml").arg(server->port());
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());

    // A disk that does not answer holds up the writer, never the refresh.
    QSemaphore disk;
    proxy.cacheWriter().patch(QString(), [&disk] { disk.acquire(); });
    QVERIFY(update(proxy, connection));
    QVERIFY(connection->isOnline());
    QVERIFY(!QFile::exists(path));
    disk.release();
    QVERIFY(proxy.waitForCacheWrites(10000));
    QVERIFY(QFile::exists(path));
    QCOMPARE(proxy.cacheWriter().savesDone(), 1);

    for (int refresh = 2; refresh <= 4; ++refresh) {
        QVERIFY(update(proxy, connection));
        QVERIFY(proxy.waitForCacheWrites(10000));
        QCOMPARE(proxy.cacheWriter().savesDone(), refresh);
    }
    QCOMPARE(leftovers(m_folder), QStringList());
}

VORNEX_TEST_GUILESS_MAIN(TestServerCache)
