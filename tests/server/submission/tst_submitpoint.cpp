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
    QCOMPARE(saved[0].host, QStringLiteral("127.0.0.1"));
    QCOMPARE(saved[0].port, 4000);
    QCOMPARE(saved[0].flowId, QStringLiteral("flow-1"));
    QCOMPARE(saved[0].pointId, QStringLiteral("point-1"));
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
    QCOMPARE(left[0].port, 5000);
    QVERIFY(!settingsStore().childGroups().isEmpty());
}

void TestSubmitPoint::savedJobsKeepTheirConnection_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("IPv6 literal") << QStringLiteral("::1");
    QTest::newRow("IPv4") << QStringLiteral("127.0.0.1");
    QTest::newRow("name") << QStringLiteral("print.example");
}

void TestSubmitPoint::savedJobsKeepTheirConnection()
{
    QFETCH(QString, host);
    QVERIFY(writeFile(path(QStringLiteral("a.txt")), "content"));
    // Two users of one server, each with a job of its own.
    ServerConnection anna(nullptr, QStringLiteral("anna"), QString(), host, 51008);
    ServerConnection ben(nullptr, QStringLiteral("ben"), QString(), host, 51008);
    SubmitPoint annaPoint(&anna, QStringLiteral("p"), QStringLiteral("f"), QStringLiteral("P"));
    SubmitPoint benPoint(&ben, QStringLiteral("p"), QStringLiteral("f"), QStringLiteral("P"));
    annaPoint.addJob(path(QStringLiteral("a.txt")))->setJobName(QStringLiteral("Anna's"));
    benPoint.addJob(path(QStringLiteral("a.txt")))->setJobName(QStringLiteral("Ben's"));
    QVERIFY(settingsStore().childGroups().contains(QStringLiteral("Submittions")));

    QList<SavedSubmissions::SavedJob> saved = SavedSubmissions::readAll();
    QCOMPARE(saved.size(), 2);
    for (const SavedSubmissions::SavedJob &job : std::as_const(saved)) {
        QCOMPARE(job.host, host);
        QCOMPARE(job.port, 51008);
        const bool annas = job.number == 0;
        QCOMPARE(job.belongsTo(host, 51008, QStringLiteral("anna")), annas);
        QCOMPARE(job.belongsTo(host, 51008, QStringLiteral("ben")), !annas);
        QVERIFY(!job.belongsTo(host, 51009, QStringLiteral("anna"))
            && !job.belongsTo(host, 51009, QStringLiteral("ben")));
    }

    SubmitPoint::removeSavedJobs(&anna);
    saved = SavedSubmissions::readAll();
    QCOMPARE(saved.size(), 1);
    QCOMPARE(saved[0].user, QStringLiteral("ben"));
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
