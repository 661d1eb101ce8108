// The cache file at the bounds of what it may cost: files too deep, too
// large or too costly are refused early, and every file written reads back.
#include "ServerCacheTest.h"

using namespace CacheTest;

void TestServerCache::deepOrHugeFileIsSkippedQuickly_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("error");

    // With a record budget of 16 MiB.
    QTest::newRow("100,000 levels") << "<root>" + QByteArray("<Flow>").repeated(100000) << qint64(0)
                                    << QStringLiteral("nested deeper than");
    QTest::newRow("400,000 jobs") << "<root><Flow><CheckPoint>" + QByteArray("<Job/>").repeated(400000)
            + "</CheckPoint></Flow></root>"
                                  << qint64(0) << QStringLiteral("cost more than");
    // Refused before the parser has taken it in whole.
    QTest::newRow("a long attribute")
        << "<root><Flow name=\"" + QByteArray(24 * 1024 * 1024, 'n') + "\" id=\"1\"/></root>" << qint64(0)
        << QStringLiteral("markup at byte");
    // Sparse: the size alone decides, nothing is read.
    QTest::newRow("over the size limit")
        << QByteArray("<root>") << qint64(2200) * 1024 * 1024 << QStringLiteral("larger than");
}

void TestServerCache::deepOrHugeFileIsSkippedQuickly()
{
    QFETCH(QByteArray, head);
    QFETCH(qint64, size);
    QFETCH(QString, error);
    const QString path = ServerCache::filePath(m_folder, QStringLiteral("srv"), 1);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(head), head.size());
    if (size > 0)
        QVERIFY(file.resize(size));
    file.close();

    const BudgetForTest budget(16 * 1024 * 1024);
    TestEnv::resetPeakMemory();
    // A DOM took minutes for such files; the bounded reader stops early
    // (a third of a second here when idle; the bound leaves room for a
    // machine busy with other suites).
    const qint64 cpuBefore = TestEnv::threadCpuMs();
    QString problem;
    QCOMPARE(ServerCache::read(path, nullptr, &problem), ServerCache::ReadResult::Malformed);
    const qint64 cpu = TestEnv::threadCpuMs() - cpuBefore;
    QVERIFY2(cpu < 10000 * TestEnv::sanitizerSlowdown, qPrintable(QString::number(cpu)));
    const qint64 peak = TestEnv::peakMemoryKiB();
    if (TestEnv::peakMemoryIsTheProgramsOwn)
        QVERIFY2(peak > 0 && peak < 150 * 1024 + qint64(CallBounds::recordBudget() / 1024),
            qPrintable(QString::number(peak)));
    QVERIFY2(problem.contains(error), qPrintable(problem));
}

void TestServerCache::busyServersFileIsReadBack()
{
    // 20,000 waiting jobs in 200 checkpoints with a connection and 19
    // metadata fields each: some 420,000 elements in 30 MB.
    QList<MetadataToDisplay> fields;
    for (int f = 0; f < 19; ++f)
        fields.append({ QStringLiteral("Label %1").arg(f), QStringLiteral("D"), QStringLiteral("T"),
            QStringLiteral("value %1").arg(f) });
    ServerCache::Content content;
    content.flows.append({ QStringLiteral("F"), QStringLiteral("Flow"), {}, {} });
    for (int c = 0; c < 200; ++c) {
        ServerCache::CheckPointEntry checkPoint { QStringLiteral("C%1").arg(c), QStringLiteral("Check"), {} };
        for (int j = 0; j < 100; ++j) {
            ServerCache::Job job;
            job.id = QString::number(c * 100 + j);
            job.data.name = QStringLiteral("job %1.pdf").arg(job.id);
            job.data.connections.append({ QStringLiteral("1"), QStringLiteral("Out") });
            job.data.metadata = fields;
            checkPoint.jobs.append(job);
        }
        content.flows.first().checkPoints.append(checkPoint);
    }
    const QString path = ServerCache::filePath(m_folder, QStringLiteral("busy"), 1);
    QVERIFY(ServerCache::save(content, path));
    ServerCache::Content read;
    QString problem;
    QCOMPARE(ServerCache::read(path, &read, &problem), ServerCache::ReadResult::Read);
    QCOMPARE(read.flows.size(), 1);
    QCOMPARE(read.flows.first().checkPoints.size(), 200);
    QCOMPARE(read.flows.first().checkPoints.last().jobs.size(), 100);
    const ServerCache::Job &last = read.flows.first().checkPoints.last().jobs.last();
    QCOMPARE(last.data.name, QStringLiteral("job 19999.pdf"));
    QCOMPARE(last.data.metadata.size(), 19);
}

void TestServerCache::largestReplyTheBudgetAdmitsReadsBack()
{
    QList<testserver::Flow> flows = world();
    QList<Job> &jobs = flows.first().checkPoints.first().jobs;
    for (int j = 0; j < 300; ++j) {
        Job job = jobs.first();
        job.id = QStringLiteral("J-%1").arg(j);
        job.requiredMetadata.append(field(QStringLiteral("Second"), false));
        jobs.append(job);
    }
    auto server = startServer();
    QVERIFY(server);
    server->setFlows(flows);
    ServerProxy proxy;
    ServerConnection *connection = addConnection(proxy, server->port());
    QVERIFY(update(proxy, connection));
    // What the client holds of the checkpoint reply, keys with their
    // prefixes as the cache file has them.
    const CheckPointPtr review = proxy.getCheckPoints(proxy.getFlows(connection).first()).first();
    QCOMPARE(review->getJobIds().size(), jobs.size());
    quint64 cost = 0;
    for (const QString &id : review->getJobIds())
        cost += RecordCost::ofJob(id, review->getJob(id));

    {
        const BudgetForTest budget(cost - 1);
        QVERIFY(update(proxy, connection));
        QVERIFY(!connection->fetchFailure(UpdateFlags::CheckPoints).isEmpty());
    }
    const BudgetForTest budget(cost);
    QVERIFY(update(proxy, connection));
    QVERIFY(connection->fetchFailure(UpdateFlags::CheckPoints).isEmpty());
    proxy.closeAllConnections();
    const QStringList files = QDir(m_folder).entryList({ QStringLiteral("*.xml") }, QDir::Files);
    QCOMPARE(files.size(), 1);
    ServerCache::Content read;
    QString problem;
    QCOMPARE(ServerCache::read(m_folder + QLatin1Char('/') + files.first(), &read, &problem),
        ServerCache::ReadResult::Read);
    QCOMPARE(read.flows.first().checkPoints.first().jobs.size(), jobs.size());
}
