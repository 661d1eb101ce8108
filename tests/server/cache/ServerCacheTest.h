#pragma once

// What the cache tests share: the test class, sample data and waits.
#include "CacheWriter.h"
#include "CallBounds.h"
#include "CheckPoint.h"
#include "LoopStall.h"
#include "PushJobAction.h"
#include "RecordCost.h"
#include "ServerCache.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "WorkFlags.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSemaphore>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace CacheTest {

using namespace testserver;
using namespace ServerTest;

// The files are read in a thread; taken in once this returns true.
inline bool loadCache(ServerProxy &proxy)
{
    QSignalSpy loaded(&proxy, &ServerProxy::cachedDataLoaded);
    proxy.loadCachedData();
    // Large files take seconds under a sanitizer on a busy machine.
    return loaded.wait(30000);
}

inline MetadataField field(const QString &label, bool required)
{
    MetadataField made;
    made.label = label;
    made.description = label + QStringLiteral(" please");
    made.dataType = QStringLiteral("string");
    made.dataFormat = QStringLiteral("^.*$");
    made.valueIsRequired = required;
    made.rememberLastValue = !required;
    made.value = QStringLiteral("v-") + label;
    return made;
}

inline QList<testserver::Flow> world()
{
    testserver::Flow first;
    first.id = QStringLiteral("F1");
    first.name = QStringLiteral("Brochures");
    testserver::SubmitPoint drop;
    drop.id = QStringLiteral("P1");
    drop.name = QStringLiteral("Drop");
    drop.metadata = { field(QStringLiteral("Customer"), true), field(QStringLiteral("Note"), false) };
    first.submitPoints = { drop };
    testserver::CheckPoint review;
    review.id = QStringLiteral("C1");
    review.name = QStringLiteral("Review");
    Job job;
    job.id = QStringLiteral("J1");
    job.name = QStringLiteral("brochure.pdf");
    job.fullUserName = QStringLiteral("Ann Example");
    job.size = 3000000000LL;
    job.connections = { { QStringLiteral("c1"), QStringLiteral("Approved") },
        { QStringLiteral("c2"), QStringLiteral("Print") } };
    job.metadata = { { QStringLiteral("Customer"), QStringLiteral("Who"), QStringLiteral("string"),
        QStringLiteral("ACME") } };
    job.requiresMetadata = true;
    job.requiredMetadata = { field(QStringLiteral("Reason"), true) };
    Job other;
    other.id = QStringLiteral("J2");
    other.name = QStringLiteral("flyer.pdf");
    review.jobs = { job, other };
    first.checkPoints = { review };
    return { first };
}

inline MetadataToFill fill(const QString &label, const QString &key)
{
    MetadataToFill made;
    made.label = label;
    made.description = label + QStringLiteral(" text");
    made.dataType = QStringLiteral("string");
    made.dataFormat = QStringLiteral("^\\d+$");
    made.valueIsRequired = true;
    made.rememberLastValue = false;
    made.value = QStringLiteral("value of ") + label;
    made.key = key;
    return made;
}

inline ServerCache::Content sample()
{
    ServerCache::Content content;
    ServerCache::FlowEntry flow;
    flow.id = QStringLiteral("F1");
    flow.name = QStringLiteral("Brochures");
    flow.points.append({ QStringLiteral("P1"), QStringLiteral("Drop"),
        { fill(QStringLiteral("A"), QStringLiteral("srv:51008:F1:P1:0")),
            fill(QStringLiteral("B"), QStringLiteral("srv:51008:F1:P1:1")) } });
    flow.points.append({ QStringLiteral("P0"), QStringLiteral("Second"), {} });
    ServerCache::CheckPointEntry checkPoint;
    checkPoint.id = QStringLiteral("C1");
    checkPoint.name = QStringLiteral("Review");
    ServerCache::Job job;
    job.id = QStringLiteral("J1");
    job.data.name = QStringLiteral("brochure.pdf");
    job.data.fullUserName = QStringLiteral("Ann");
    job.data.fileName = QStringLiteral("b.pdf");
    job.data.fullFileName = QStringLiteral("/x/b.pdf");
    job.data.submitPointName = QStringLiteral("Drop");
    job.data.size = 3000000000LL;
    job.data.submitTime = QStringLiteral("2024-05-01T10:00:00.000Z");
    job.data.waitingTime = QStringLiteral("00:12");
    job.data.allowMultipleOutputs = true;
    job.data.enableReportViewing = true;
    job.data.requiresMetadata = true;
    job.data.reportFileName = QStringLiteral("r.pdf");
    job.data.connections = { { QStringLiteral("c1"), QStringLiteral("Approved") } };
    job.data.metadata
        = { { QStringLiteral("L"), QStringLiteral("D"), QStringLiteral("T"), QStringLiteral("V") } };
    job.data.requiredMetadata = { fill(QStringLiteral("R"), QStringLiteral("srv:51008:F1:C1:0")) };
    checkPoint.jobs.append(job);
    ServerCache::Job plain;
    plain.id = QStringLiteral("J0");
    checkPoint.jobs.append(plain);
    flow.checkPoints.append(checkPoint);
    content.flows.append(flow);
    ServerCache::FlowEntry empty;
    empty.id = QStringLiteral("F2");
    empty.name = QStringLiteral("Idle");
    content.flows.append(empty);
    ProgressData record { QStringLiteral("Ann"), QStringLiteral("a.pdf"), QStringLiteral("S"),
        QStringLiteral("Brochures"), QStringLiteral("Drop"), QStringLiteral("t1"), QStringLiteral("st"),
        QStringLiteral("t2"), QStringLiteral("no"), QStringLiteral("Review") };
    content.progress = { record, ProgressData() };
    return content;
}

inline void compareFill(const MetadataToFill &a, const MetadataToFill &b)
{
    QCOMPARE(a.label, b.label);
    QCOMPARE(a.description, b.description);
    QCOMPARE(a.dataType, b.dataType);
    QCOMPARE(a.dataFormat, b.dataFormat);
    QCOMPARE(a.valueIsRequired, b.valueIsRequired);
    QCOMPARE(a.rememberLastValue, b.rememberLastValue);
    QCOMPARE(a.value, b.value);
    QCOMPARE(a.key, b.key);
}

inline QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

inline QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList({ QStringLiteral("~#~*") }, QDir::Files | QDir::Hidden);
}

inline bool idle(const ServerProxy &proxy, const ServerConnection *connection)
{
    return proxy.updateThreads(connection).isEmpty();
}

inline bool update(ServerProxy &proxy, ServerConnection *connection)
{
    proxy.startUpdatingConData(connection, UpdateFlags::All);
    return QTest::qWaitFor([&] { return idle(proxy, connection); }, 10000);
}

// The record budget for one test, put back after it.
struct BudgetForTest
{
    explicit BudgetForTest(quint64 bytes) { CallBounds::setRecordBudget(bytes); }
    ~BudgetForTest() { CallBounds::setRecordBudget(CallBounds::kRecordBudget); }
};

inline int pushActions(ServerProxy &proxy)
{
    int count = 0;
    for (IAction *action : proxy.actionList().actions())
        count += qobject_cast<PushJobAction *>(action) != nullptr;
    return count;
}

} // namespace CacheTest

class TestServerCache : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void fileNames();
    void roundTripKeepsEverything();
    void onlyOneIsTrue();
    void failedSaveKeepsTheOldFile();
    void savedFileIsPrivate();
    void patchesMatchByIds();
    void offlineServerShowsCacheAndGetsItsPushOnce();
    void corruptFileSkipsOnlyThatServer();
    void deepOrHugeFileIsSkippedQuickly_data();
    void deepOrHugeFileIsSkippedQuickly();
    void busyServersFileIsReadBack();
    void largestReplyTheBudgetAdmitsReadsBack();
    void largeFileKeepsTheEventLoopGoing();
    void noFolderNoCache();
    void writtenOncePerRefreshBesideTheGuiThread();

private:
    QString m_folder;
    std::unique_ptr<QTemporaryDir> m_dir;
};
