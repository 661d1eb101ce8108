#include "SavedSubmissions.h"
#include "ServerConnection.h"
#include "ServerTestSupport.h"
#include "SubmitPoint.h"
#include "SubmitStatus.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest/QTest>

#include <memory>

using TestFiles::settingsStore;
using TestFiles::writeFile;

namespace {

MetadataToFill field(int i)
{
    MetadataToFill f;
    f.label = QStringLiteral("Label %1").arg(i);
    f.description = QStringLiteral("Description %1").arg(i);
    f.dataType = QStringLiteral("string");
    f.dataFormat = QStringLiteral("^.*$");
    f.valueIsRequired = i % 2 == 0;
    f.rememberLastValue = i % 3 == 0;
    f.value = QStringLiteral("Wert %1 ü").arg(i);
    f.key = QStringLiteral("127.0.0.1:4000:flow-1:point-1:%1").arg(i);
    return f;
}

} // namespace

class TestSubmitPoint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newJobIsSavedWithTheKeyLayout();
    void numbersNeverCollideAfterARemoval();
    void savedStatusIsTheShownOneAndRestored_data();
    void savedStatusIsTheShownOneAndRestored();
    void renamedJobIsRewritten();
    void savedJobsReadBackAndRestore();
    void removingAConnectionRemovesItsJobs();
    void savedJobsKeepTheirConnection_data();
    void savedJobsKeepTheirConnection();
    void jobWithoutConnectionCannotStart();
    void savedJobIsListedOnlyWhenItCanBeSent();

private:
    QString path(const QString &name) const { return m_work + QLatin1Char('/') + name; }

    QString m_work;
    std::unique_ptr<ServerConnection> m_connection;
    std::unique_ptr<SubmitPoint> m_point;
    const QString m_group = QStringLiteral("Submittions/127.0.0.1:4000/flow-1:point-1");
};

void TestSubmitPoint::initTestCase()
{
    ServerTest::useShortTimeouts();
}

void TestSubmitPoint::init()
{
    settingsStore().clear();
    m_work = QDir::tempPath() + QStringLiteral("/point-") + QString::fromLatin1(QTest::currentTestFunction());
    QDir(m_work).removeRecursively();
    QVERIFY(QDir().mkpath(m_work));
    m_connection = std::make_unique<ServerConnection>(
        nullptr, QStringLiteral("user"), QString(), QStringLiteral("127.0.0.1"), 4000);
    m_point = std::make_unique<SubmitPoint>(
        m_connection.get(), QStringLiteral("point-1"), QStringLiteral("flow-1"), QStringLiteral("Point"));
}

void TestSubmitPoint::cleanup()
{
    m_point.reset();
    m_connection.reset();
    if (!QTest::currentTestFailed())
        QDir(m_work).removeRecursively();
}

void TestSubmitPoint::newJobIsSavedWithTheKeyLayout()
{
    QVERIFY(writeFile(path(QStringLiteral("a.txt")), "content"));
    QVERIFY(QDir().mkpath(path(QStringLiteral("folder/sub"))));
    m_point->setMetadata({ field(0), field(1) });
    QSignalSpy added(m_point.get(), &SubmitPoint::jobAdded);

    const SubmittedFilePtr file = m_point->addJob(path(QStringLiteral("a.txt")));
    const SubmittedFilePtr folder = m_point->addSavedJob(path(QStringLiteral("folder")));
    QVERIFY(file && folder);
    QCOMPARE(m_point->getJobCount(), 2);
    QCOMPARE(added.count(), 2);
    QCOMPARE(added.at(1).at(0).toString(), path(QStringLiteral("folder")));
    QCOMPARE(file->getJobNumber(), 0);
    QCOMPARE(folder->getJobNumber(), 1);
    QVERIFY(m_point->hasThread(file.get()));
    QVERIFY(!m_point->isSubmitting(file.get()));

    QSettings settings = settingsStore();
    settings.beginGroup(m_group + QStringLiteral("/0"));
    QCOMPARE(settings.value(QStringLiteral("job name")).toString(), QStringLiteral("a.txt"));
    QCOMPARE(settings.value(QStringLiteral("isFile")).toBool(), true);
    QCOMPARE(settings.value(QStringLiteral("path")).toString(), path(QStringLiteral("a.txt")));
    QCOMPARE(settings.value(QStringLiteral("job status")).toInt(), int(SubmitStatus::Waiting));
    QCOMPARE(settings.childGroups(), QStringList { QStringLiteral("Metadata") });
    settings.beginGroup(QStringLiteral("Metadata/1"));
    QCOMPARE(settings.childKeys(),
        (QStringList { QStringLiteral("DataFormat"), QStringLiteral("DataType"),
            QStringLiteral("Description"), QStringLiteral("Label"), QStringLiteral("RememberLastValue"),
            QStringLiteral("Value"), QStringLiteral("ValueIsRequired"), QStringLiteral("_key") }));
    QCOMPARE(settings.value(QStringLiteral("Label")).toString(), QStringLiteral("Label 1"));
    QCOMPARE(settings.value(QStringLiteral("Value")).toString(), QStringLiteral("Wert 1 ü"));
    QCOMPARE(settings.value(QStringLiteral("ValueIsRequired")).toBool(), false);
    QCOMPARE(settings.value(QStringLiteral("_key")).toString(), field(1).key);
    settings.endGroup();
    settings.endGroup();
    QCOMPARE(settings.value(m_group + QStringLiteral("/1/isFile")).toBool(), false);
}

void TestSubmitPoint::numbersNeverCollideAfterARemoval()
{
    QVERIFY(writeFile(path(QStringLiteral("a.txt")), "content"));
    QVERIFY(writeFile(path(QStringLiteral("b.txt")), "content"));
    QVERIFY(writeFile(path(QStringLiteral("c.txt")), "content"));
    const QList<SubmittedFilePtr> jobs
        = m_point->addJobs({ path(QStringLiteral("a.txt")), path(QStringLiteral("b.txt")) });
    QCOMPARE(jobs.size(), 2);
    m_point->removeJob(jobs[0].get());
    QCOMPARE(m_point->getJobCount(), 1);
    QVERIFY(!settingsStore().contains(m_group + QStringLiteral("/0/path")));

    // Counting the groups would give 1 again and overwrite b.txt's entry.
    const SubmittedFilePtr third = m_point->addJob(path(QStringLiteral("c.txt")));
    QCOMPARE(third->getJobNumber(), 2);
    QCOMPARE(
        settingsStore().value(m_group + QStringLiteral("/1/path")).toString(), path(QStringLiteral("b.txt")));
    QCOMPARE(
        settingsStore().value(m_group + QStringLiteral("/2/path")).toString(), path(QStringLiteral("c.txt")));
}

void TestSubmitPoint::savedStatusIsTheShownOneAndRestored_data()
{
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("restored");
    QTest::newRow("waiting") << int(SubmitStatus::Waiting) << int(SubmitStatus::Waiting);
    QTest::newRow("waiting connection")
        << int(SubmitStatus::WaitingConnection) << int(SubmitStatus::WaitingConnection);
    // Begun to go out: the server may hold it, so it is never sent alone.
    QTest::newRow("uploading") << int(SubmitStatus::Uploading) << int(SubmitStatus::Error);
    QTest::newRow("verifying") << int(SubmitStatus::Verifying) << int(SubmitStatus::Error);
    QTest::newRow("error") << int(SubmitStatus::Error) << int(SubmitStatus::Error);
}

void TestSubmitPoint::savedStatusIsTheShownOneAndRestored()
{
    QFETCH(int, shown);
    QFETCH(int, restored);
    QVERIFY(writeFile(path(QStringLiteral("a.txt")), "content"));
    const SubmittedFilePtr job = m_point->addJob(path(QStringLiteral("a.txt")));
    job->setStatus(SubmitStatus::WaitingConnection);
    job->setStatus(shown);
    QCOMPARE(settingsStore().value(m_group + QStringLiteral("/0/job status")).toInt(), shown);
    const QList<SavedSubmissions::SavedJob> saved = SavedSubmissions::readAll();
    QCOMPARE(saved.size(), 1);
    const SubmittedFilePtr again = m_point->restoreJob(saved[0]);
    QVERIFY(again);
    QCOMPARE(again->getStatus(), restored);
    QCOMPARE(again->deliveryNote().isEmpty(), restored != int(SubmitStatus::Error));
}

void TestSubmitPoint::renamedJobIsRewritten()
{
    QVERIFY(writeFile(path(QStringLiteral("a.txt")), "content"));
    const SubmittedFilePtr job = m_point->addJob(path(QStringLiteral("a.txt")));
    m_point->connectJob(job.get());
    QVERIFY(job->setJobName(QStringLiteral("Renamed")));
    QCOMPARE(
        settingsStore().value(m_group + QStringLiteral("/0/job name")).toString(), QStringLiteral("Renamed"));
    job->setMetadata({ field(4) });
    m_point->saveJob(job.get());
    QCOMPARE(settingsStore().value(m_group + QStringLiteral("/0/Metadata/0/Label")).toString(),
        QStringLiteral("Label 4"));
    QVERIFY(!settingsStore().contains(m_group + QStringLiteral("/0/Metadata/1/Label")));

    // Once under way the entry is no longer rewritten.
    job->setStatus(SubmitStatus::Error);
    QVERIFY(job->setJobName(QStringLiteral("Late")));
    QCOMPARE(
        settingsStore().value(m_group + QStringLiteral("/0/job name")).toString(), QStringLiteral("Renamed"));
}

void TestSubmitPoint::savedJobsReadBackAndRestore()
{
    QVERIFY(writeFile(path(QStringLiteral("a.txt")), "content"));
    QVERIFY(QDir().mkpath(path(QStringLiteral("folder"))));
    QList<MetadataToFill> twelve;
    for (int i = 0; i < 12; ++i)
        twelve.append(field(i));
    m_point->setMetadata(twelve);
    const SubmittedFilePtr first = m_point->addJob(path(QStringLiteral("a.txt")));
    const SubmittedFilePtr second = m_point->addSavedJob(path(QStringLiteral("folder")));
    m_point->connectJob(second.get());
    QVERIFY(second->setJobName(QStringLiteral("Ordner")));
    second->setStatus(SubmitStatus::PreparingData); // the run ended while it was being prepared

    const QList<SavedSubmissions::SavedJob> saved = SavedSubmissions::readAll();
    QCOMPARE(saved.size(), 2);
    QCOMPARE(saved[0].group, m_group);
    QCOMPARE(saved[0].status, int(SubmitStatus::Waiting));
    QCOMPARE(saved[1].number, 1);
    QCOMPARE(saved[1].jobName, QStringLiteral("Ordner"));
    QCOMPARE(saved[1].isFile, false);
    QCOMPARE(saved[1].status, int(SubmitStatus::WaitingConnection));
    // Fields come back in their order, "10" after "9".
    QCOMPARE(saved[1].metadata.size(), 12);
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(saved[1].metadata[i].label, field(i).label);
        QCOMPARE(saved[1].metadata[i].valueIsRequired, field(i).valueIsRequired);
        QCOMPARE(saved[1].metadata[i].rememberLastValue, field(i).rememberLastValue);
        QCOMPARE(saved[1].metadata[i].key, field(i).key);
    }

    // The next run.
    m_point = std::make_unique<SubmitPoint>(
        m_connection.get(), QStringLiteral("point-1"), QStringLiteral("flow-1"), QStringLiteral("Point"));
    const SubmittedFilePtr restored = m_point->restoreJob(saved[1]);
    QVERIFY(restored);
    QCOMPARE(restored->getJobName(), QStringLiteral("Ordner"));
    QCOMPARE(restored->getJobNumber(), 1);
    QCOMPARE(restored->getStatus(), int(SubmitStatus::WaitingConnection));
    QCOMPARE(restored->getMetadata().size(), 12);
    QVERIFY(m_point->hasThread(restored.get()));
    // Renaming it again rewrites its own entry, not a new one.
    QVERIFY(restored->setJobName(QStringLiteral("Ordner 2")));
    QCOMPARE(settingsStore().value(m_group + QStringLiteral("/1/job name")).toString(),
        QStringLiteral("Ordner 2"));
    QCOMPARE(SavedSubmissions::readAll().size(), 2);

    // A job whose folder is gone is not listed; its entry stays.
    QVERIFY(QDir(path(QStringLiteral("folder"))).removeRecursively());
    QVERIFY(!m_point->restoreJob(saved[1]));
    QCOMPARE(m_point->getJobCount(), 1);
    QCOMPARE(SavedSubmissions::readAll().size(), 2);
}

void TestSubmitPoint::removingAConnectionRemovesItsJobs()
{
    QVERIFY(writeFile(path(QStringLiteral("a.txt")), "content"));
    m_point->addJob(path(QStringLiteral("a.txt")));
    ServerConnection other(nullptr, QStringLiteral("user"), QString(), QStringLiteral("127.0.0.1"), 5000);
    SubmitPoint otherPoint(&other, QStringLiteral("p"), QStringLiteral("f"), QStringLiteral("P"));
    otherPoint.addJob(path(QStringLiteral("a.txt")));
    QCOMPARE(SavedSubmissions::readAll().size(), 2);

    SubmitPoint::removeSavedJobs(m_connection.get());
    const QList<SavedSubmissions::SavedJob> left = SavedSubmissions::readAll();
    QCOMPARE(left.size(), 1);
    QCOMPARE(left[0].group, QStringLiteral("Submittions/127.0.0.1:5000/f:p"));
    QVERIFY(!settingsStore().childGroups().isEmpty());
}

void TestSubmitPoint::savedJobsKeepTheirConnection_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("flowId");
    QTest::addColumn<QString>("pointId");
    // Written by an earlier run, under the names it gave.
    QTest::addColumn<bool>("earlier");
    QTest::newRow("IPv6 literal") << QStringLiteral("::1") << QStringLiteral("f") << QStringLiteral("p")
                                  << false;
    QTest::newRow("IPv6, earlier run")
        << QStringLiteral("::1") << QStringLiteral("f") << QStringLiteral("p") << true;
    QTest::newRow("name") << QStringLiteral("print.example") << QStringLiteral("f") << QStringLiteral("p")
                          << false;
    QTest::newRow("plain, earlier run")
        << QStringLiteral("127.0.0.1") << QStringLiteral("flow-1") << QStringLiteral("point-1") << true;
    QTest::newRow("scheme, ids with ':'")
        << QStringLiteral("http://127.0.0.1") << QStringLiteral("urn:flow:7") << QStringLiteral("urn:sp:2")
        << false;
    QTest::newRow("scheme, ids with ':', earlier run")
        << QStringLiteral("http://127.0.0.1") << QStringLiteral("urn:flow:7") << QStringLiteral("sp") << true;
    QTest::newRow("ids with '/' and '%'")
        << QStringLiteral("127.0.0.1") << QStringLiteral("a/b%3A") << QStringLiteral("c%2Fd") << false;
}

// Every saved job reads back for its own connection and point, whatever
// the host and ids hold, and a restart sends it once, as its user.
void TestSubmitPoint::savedJobsKeepTheirConnection()
{
    QFETCH(QString, host);
    QFETCH(QString, flowId);
    QFETCH(QString, pointId);
    QFETCH(bool, earlier);
    QVERIFY(writeFile(path(QStringLiteral("a.txt")), "content"));
    const QString plain = ServerConnection::plainHost(host);
    const bool local = plain == QStringLiteral("127.0.0.1");
    std::unique_ptr<testserver::Server> server;
    if (local) {
        server = ServerTest::startServerWithUsers(
            { { QStringLiteral("anna"), QString() }, { QStringLiteral("ben"), QString() } });
        QVERIFY(server);
        testserver::Flow flow;
        flow.id = flowId;
        flow.name = QStringLiteral("Flow");
        flow.submitPoints.append({ pointId, QStringLiteral("P"), {} });
        server->setFlows({ flow });
    }
    const int port = local ? server->port() : 51008;
    // Two users of one server, each with a job of its own.
    auto anna = std::make_unique<ServerConnection>(nullptr, QStringLiteral("anna"), QString(), host, port);
    ServerConnection ben(nullptr, QStringLiteral("ben"), QString(), host, port);
    if (earlier) {
        // As earlier runs wrote it: the host as typed, nothing encoded.
        const QString group
            = QStringLiteral("Submittions/%1:%2/%3:%4/0/").arg(host).arg(port).arg(flowId, pointId);
        settingsStore().setValue(group + QStringLiteral("job name"), QStringLiteral("Anna's"));
        settingsStore().setValue(group + QStringLiteral("isFile"), true);
        settingsStore().setValue(group + QStringLiteral("path"), path(QStringLiteral("a.txt")));
        settingsStore().setValue(group + QStringLiteral("job status"), int(SubmitStatus::Waiting));
        settingsStore().setValue(group + QStringLiteral("user"), QStringLiteral("anna"));
        settingsStore().sync();
    } else {
        SubmitPoint annaPoint(anna.get(), pointId, flowId, QStringLiteral("P"));
        annaPoint.addJob(path(QStringLiteral("a.txt")))->setJobName(QStringLiteral("Anna's"));
    }
    SubmitPoint benPoint(&ben, pointId, flowId, QStringLiteral("P"));
    benPoint.addJob(path(QStringLiteral("a.txt")))->setJobName(QStringLiteral("Ben's"));

    QList<SavedSubmissions::SavedJob> saved = SavedSubmissions::readAll();
    QCOMPARE(saved.size(), 2);
    SavedSubmissions::SavedJob annas;
    for (const SavedSubmissions::SavedJob &job : std::as_const(saved)) {
        const bool isAnnas = job.user == QStringLiteral("anna");
        if (isAnnas)
            annas = job;
        QCOMPARE(job.belongsTo(plain, port, QStringLiteral("anna"), flowId, pointId), isAnnas);
        QCOMPARE(job.belongsTo(plain, port, QStringLiteral("ben"), flowId, pointId), !isAnnas);
        QVERIFY(!job.belongsTo(plain, port + 1, QStringLiteral("anna"), flowId, pointId));
        QVERIFY(!job.belongsTo(plain, port, QStringLiteral("anna"), flowId + QLatin1Char('x'), pointId));
        QVERIFY(!job.belongsTo(plain, port, QStringLiteral("anna"), flowId, pointId + QLatin1Char('x')));
    }
    QVERIFY(!annas.group.isEmpty());

    if (local) {
        // The next run sends it once, as Anna, and its entry goes.
        SubmitPoint point(anna.get(), pointId, flowId, QStringLiteral("P"));
        const SubmittedFilePtr job = point.restoreJob(annas);
        QVERIFY(job);
        point.startSubmit(job.get());
        QTRY_COMPARE_WITH_TIMEOUT(job->getStatus(), int(SubmitStatus::Finished), 10000);
        QTRY_VERIFY(!point.hasThread(job.get()));
        const QList<testserver::Upload> uploads = server->uploads();
        QCOMPARE(uploads.size(), 1);
        QCOMPARE(uploads[0].user, QStringLiteral("anna"));
        QCOMPARE(uploads[0].flowId, flowId);
        QCOMPARE(uploads[0].targetId, pointId);
        saved = SavedSubmissions::readAll();
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved[0].user, QStringLiteral("ben"));
    } else {
        SubmitPoint::removeSavedJobs(anna.get());
        saved = SavedSubmissions::readAll();
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved[0].user, QStringLiteral("ben"));
    }
    // Nothing left behind once the last one goes.
    SubmitPoint::removeSavedJobs(&ben);
    QVERIFY(SavedSubmissions::readAll().isEmpty());
    QVERIFY(!settingsStore().childGroups().contains(QStringLiteral("Submittions")));
}

void TestSubmitPoint::jobWithoutConnectionCannotStart()
{
    QVERIFY(writeFile(path(QStringLiteral("a.txt")), "content"));
    SubmitPoint orphan(nullptr, QStringLiteral("p"), QStringLiteral("f"), QStringLiteral("P"));
    QCOMPARE(orphan.getServerName(), QString());
    QCOMPARE(orphan.getFlowName(), QString());
    const SubmittedFilePtr job = orphan.createJob(path(QStringLiteral("a.txt")));
    QVERIFY(!orphan.hasThread(job.get()));
    orphan.startSubmit(job.get());
    QCOMPARE(job->getStatus(), int(SubmitStatus::Error));
    QVERIFY(!orphan.createSavedJob(path(QStringLiteral("a.txt"))));
    QCOMPARE(orphan.getJobCount(), 1);
}

void TestSubmitPoint::savedJobIsListedOnlyWhenItCanBeSent()
{
    QVERIFY(!m_point->addSavedJob(path(QStringLiteral("missing"))));
    QCOMPARE(m_point->getJobCount(), 0);
    QVERIFY(SavedSubmissions::readAll().isEmpty());
    // The plain form lists it anyway (the page shows it, it fails at once).
    const SubmittedFilePtr job = m_point->addJob(path(QStringLiteral("missing")));
    QVERIFY(job && !job->isReadable());
    QCOMPARE(m_point->getJobCount(), 1);
}

VORNEX_TEST_GUILESS_MAIN(TestSubmitPoint)
#include "tst_submitpoint.moc"
