#pragma once

#include "CheckPoint.h"
#include "ConnectionThread.h"
#include "JobLockCheck.h"
#include "PushJobAction.h"
#include "ReplaceJobThread.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "StreamedUpload.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "WorkFlags.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkInterface>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using TestFiles::writeFile;

// What the checkpoint tests share: a test server with one flow of one
// checkpoint and three jobs, and the client's proxy and connection.
namespace CheckPointTest {

inline const QString flowId = QStringLiteral("F1");
inline const QString checkPointId = QStringLiteral("C1");

inline testserver::Job job(const QString &id)
{
    testserver::Job made;
    made.id = id;
    made.name = id + QStringLiteral(".pdf");
    made.allowReplacing = true;
    made.connections = { { QStringLiteral("out-1"), QStringLiteral("Approved") },
        { QStringLiteral("out-2"), QStringLiteral("Rejected") } };
    return made;
}

inline testserver::Flow flow(const QString &packagePath = QString())
{
    testserver::Flow made;
    made.id = flowId;
    made.name = QStringLiteral("Flow");
    testserver::CheckPoint check;
    check.id = checkPointId;
    check.name = QStringLiteral("Check");
    check.jobs = { job(QStringLiteral("J1")), job(QStringLiteral("J2")), job(QStringLiteral("J3")) };
    if (!packagePath.isEmpty()) {
        for (testserver::Job &each : check.jobs)
            each.package = testserver::Package::fromPath(packagePath);
    }
    made.checkPoints = { check };
    return made;
}

inline PushJobInfo decision(const QStringList &ids)
{
    MetadataToFill field;
    field.label = QStringLiteral("Reason");
    field.description = QStringLiteral("Why");
    field.dataType = QStringLiteral("string");
    field.valueIsRequired = true;
    field.value = QStringLiteral("looks fine");
    field.key = QStringLiteral("not sent");
    PushJobInfo info;
    info.requiredMetadata = { field };
    info.connectionIds = ids;
    info.jobName = QStringLiteral("renamed.pdf");
    info.push = true;
    return info;
}

inline QStringList lockModesSent(const testserver::Server &server)
{
    QStringList modes;
    for (const testserver::JournalEntry &call : server.journal()) {
        if (call.operation == QLatin1String("SetJobLockStatus"))
            modes.append(call.arguments.value(QStringLiteral("lockStatus")));
    }
    return modes;
}

} // namespace CheckPointTest

using namespace CheckPointTest;

class CheckPointTestBase : public QObject
{
protected:
    void setUpCase();
    void setUp();
    void tearDown();

    // Logs in, fetches the checkpoints and returns the one of the flow.
    CheckPoint *fetch(ServerConnection *connection);
    QString path(const QString &name) const { return m_work + QLatin1Char('/') + name; }
    SubstituteFilePtr substitute(const QString &jobId, qint64 size);

    QString m_work;
    std::unique_ptr<testserver::Server> m_server;
    std::unique_ptr<ServerProxy> m_proxy;
    ServerConnection *m_connection = nullptr;
};

inline void CheckPointTestBase::setUpCase()
{
    ServerTest::useShortTimeouts();
    StreamedUpload::Timeouts timeouts;
    timeouts.connectMs = 3000;
    timeouts.sendMs = 5000;
    timeouts.receiveMs = 5000;
    StreamedUpload::setTimeouts(timeouts);
    CheckPoint::setReplaceStopWaitMs(5000);
}

inline void CheckPointTestBase::setUp()
{
    m_work = QDir::tempPath() + QStringLiteral("/checkpoint-")
        + QString::fromLatin1(QTest::currentTestFunction());
    QDir(m_work).removeRecursively();
    QVERIFY(QDir().mkpath(m_work));
    QVERIFY(writeFile(path(QStringLiteral("server/job.pdf")), 1000));
    m_server = ServerTest::startServer();
    QVERIFY(m_server);
    m_server->setFlows({ flow(path(QStringLiteral("server/job.pdf"))) });
    m_proxy = std::make_unique<ServerProxy>();
    m_connection = ServerTest::addConnection(*m_proxy, m_server->port());
}

inline void CheckPointTestBase::tearDown()
{
    m_proxy.reset();
    m_connection = nullptr;
    m_server.reset();
    if (!QTest::currentTestFailed())
        QDir(m_work).removeRecursively();
}

inline CheckPoint *CheckPointTestBase::fetch(ServerConnection *connection)
{
    QSignalSpy updated(m_proxy.get(), &ServerProxy::updateCheckPointsRequest);
    m_proxy->startUpdatingConData(connection, UpdateFlags::CheckPoints);
    if (!updated.wait(10000))
        return nullptr;
    const QVector<FlowPtr> flows = m_proxy->getFlows(connection);
    if (flows.isEmpty() || m_proxy->getCheckPoints(flows.first()).isEmpty())
        return nullptr;
    return m_proxy->getCheckPoints(flows.first()).first().get();
}

inline SubstituteFilePtr CheckPointTestBase::substitute(const QString &jobId, qint64 size)
{
    const QString file = path(QStringLiteral("new-%1.pdf").arg(jobId));
    if (!writeFile(file, size))
        return SubstituteFilePtr();
    SubstituteFilePtr made(new SubstituteFile(flowId, checkPointId, jobId, file));
    made->setPushJobInfo(decision({ QStringLiteral("out-1") }));
    return made;
}
