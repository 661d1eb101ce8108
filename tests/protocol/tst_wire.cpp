// Every operation of the service through ombrel::Service against the test
// workflow server, over real sockets, HTTP and HTTPS; the headers a request
// carries; faults and failures as the caller sees them.
#include "ClientSsl.h"
#include "FilesStreamerW.h"
#include "HostilePackages.h"
#include "LogRecord.h"
#include "Server.h"
#include "StreamHarness.h"
#include "TestEnv.h"
#include "WideText.h"
#include "WireClient.h"
#include "XMLValues.h"

#include <QDomDocument>
#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <ombrelServiceProxy.h>

#include <atomic>
#include <thread>

using namespace testserver;

Q_DECLARE_METATYPE(testserver::Fault)

namespace {

const QByteArray user = "user";
const QByteArray password = "s3cret";

std::wstring w(const char *text)
{
    return WideText::fromQString(QString::fromUtf8(text));
}

QString q(const std::wstring &text)
{
    return WideText::toQString(text);
}

MetadataField field(const QString &label, bool required, const QString &value)
{
    MetadataField result;
    result.label = label;
    result.description = label + QStringLiteral(" description");
    result.dataType = QStringLiteral("string");
    result.dataFormat = QStringLiteral("[a-z]*");
    result.valueIsRequired = required;
    result.rememberLastValue = !required;
    result.value = value;
    return result;
}

QList<Flow> worldFlows()
{
    Job job;
    job.id = QStringLiteral("j1");
    job.name = QStringLiteral("Job One");
    job.reportName = QStringLiteral("Job One report");
    job.fullUserName = QStringLiteral("Ann Example");
    job.submitTime = QStringLiteral("2024-01-02T03:04:05.006Z");
    job.waitingTime = QStringLiteral("5 min");
    job.allowMultipleOutputs = true;
    job.enableReportViewing = false;
    job.allowReplacing = true;
    job.connections = { { QStringLiteral("c1"), QStringLiteral("Approve") },
        { QStringLiteral("c2"), QStringLiteral("Reject") } };
    job.metadata = { { QStringLiteral("Pages"), QStringLiteral("Page count"), QStringLiteral("string"),
        QStringLiteral("12") } };
    job.requiresMetadata = true;
    job.requiredMetadata = { field(QStringLiteral("Checked by"), true, QString()) };
    job.package = Package::fromBytes(HostilePackages::validFile(QStringLiteral("job.txt"), "job content\n"));
    job.report
        = Package::fromBytes(HostilePackages::validFile(QStringLiteral("report.txt"), "report content\n"));

    Job second = job;
    second.id = QStringLiteral("j2");
    second.name = QStringLiteral("Job Two \u00e9\u4e2d\U0001F600");
    second.allowMultipleOutputs = false;
    second.requiresMetadata = false;

    Flow flow;
    flow.id = QStringLiteral("f1");
    flow.name = QStringLiteral("Flow One");
    flow.state = 7;
    flow.submitPoints = { { QStringLiteral("s1"), QStringLiteral("Submit One"),
        { field(QStringLiteral("Customer"), true, QStringLiteral("acme")),
            field(QStringLiteral("Note"), false, QString()) } } };
    flow.checkPoints = { { QStringLiteral("k1"), QStringLiteral("Check One"), { job, second } } };
    Flow other;
    other.id = QStringLiteral("f2");
    other.name = QStringLiteral("Flow Two");
    return { flow, other };
}

QList<LogEntry> worldLogs()
{
    QList<LogEntry> logs;
    for (int i = 0; i < 4; ++i) {
        LogEntry log;
        log.timeStamp = QStringLiteral("2024-05-0%1T10:00:00.000Z").arg(i + 1);
        log.module = QStringLiteral("Module %1").arg(i);
        log.serverName = QStringLiteral("Wire Server");
        log.flowName = QStringLiteral("Flow One");
        log.jobName = QStringLiteral("Job %1").arg(i);
        log.message = QStringLiteral("<LogRecord><Message>m%1</Message></LogRecord>").arg(i);
        log.type = QStringLiteral("info");
        logs.append(log);
    }
    return logs;
}

} // namespace

class WireTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void allOperations_data();
    void allOperations();
    void requestHeaders_data();
    void requestHeaders();
    void faultsMapToCodes_data();
    void faultsMapToCodes();
    void wrongCredentialsGive401();
    void refusedConnectionLeavesResult();
    void droppedReplyFailsAndResets();
    void delayedAndHangingCalls();
    void unnamedResultsAndMissingChildren();
    void sslNeedsTrustedPeers();
    void proxyDefaults();
    void jobOverTwoGigabytes();
    void stopEndsHangingCalls();
    void demoProgram();

private:
    Server &server(bool https) { return https ? m_https : m_http; }

    Server m_http;
    Server m_https;
};

void WireTest::initTestCase()
{
    Options options;
    options.user = QString::fromLatin1(user);
    options.password = QString::fromLatin1(password);
    QVERIFY2(m_http.start(options), qPrintable(m_http.errorString()));
    options.https = true;
    QVERIFY2(m_https.start(options), qPrintable(m_https.errorString()));
}

void WireTest::init()
{
    for (Server *s : { &m_http, &m_https }) {
        s->setStatus(QStringLiteral("Wire Server"), QStringLiteral("All good"));
        s->setFlows(worldFlows());
        s->setLogs(worldLogs());
        ProgressEntry progress;
        progress.fullUserName = QStringLiteral("Ann Example");
        progress.jobName = QStringLiteral("Job One");
        progress.onHold = QStringLiteral("No");
        progress.checkpoint = QStringLiteral("Check One");
        s->setProgress({ progress });
        s->setCompressClientJobs(false);
        s->clearFaults();
        s->clearJournal();
        s->clearReceived();
    }
}

void WireTest::cleanupTestCase()
{
    m_http.stop();
    m_https.stop();
}

void WireTest::allOperations_data()
{
    QTest::addColumn<bool>("https");
    QTest::newRow("http") << false;
    QTest::newRow("https") << true;
}

void WireTest::allOperations()
{
    QFETCH(bool, https);
    Server &s = server(https);
    s.setCompressClientJobs(true);
    WireClient client(s, user, password);
    UploadStream::installCallbacks(client.soap());

    int number = -1;
    QCOMPARE(client().ombrel__CheckConnect(number), SOAP_OK);
    QCOMPARE(number, 1);

    bool compress = false;
    QCOMPARE(client().ombrel__GetCompressClientJobs(compress), SOAP_OK);
    QCOMPARE(compress, true);

    number = -1;
    QCOMPARE(client().ombrel__CheckUserNameAndPass(number), SOAP_OK);
    QCOMPARE(number, 1);

    number = -1;
    QCOMPARE(client().ombrel__CloseConnection(number), SOAP_OK);
    QCOMPARE(number, 1);

    ombrel::ombrel__GetStatusResponse status;
    QCOMPARE(client().ombrel__GetStatus(status), SOAP_OK);
    QCOMPARE(status.res.size(), size_t(1));
    QCOMPARE(q(status.res[0].mServerName), QStringLiteral("Wire Server"));
    QCOMPARE(q(status.res[0].mStatus), QStringLiteral("All good"));

    const QByteArray package = HostilePackages::validFile(QStringLiteral("up.txt"), "uploaded\n");
    {
        UploadStream upload(package);
        ombrel::SubmitEntry entry;
        entry.flowId = w("f1");
        entry.submitPointId = w("s1");
        entry.jobName = w("Old style");
        std::wstring jobId;
        QCOMPARE(client().ombrel__SubmitFile(entry, upload.payload(client.soap(), "My Submit"), {}, jobId),
            SOAP_OK);
        QVERIFY(!jobId.empty());
        UploadStream::resetOutputMode(client.soap());
    }
    {
        UploadStream upload(package);
        ombrel::ReplaceEntry entry;
        entry.flowId = w("f1");
        entry.checkPointId = w("k1");
        entry.jobId = w("j2");
        entry.fileName = w("up.txt");
        ombrel::PushJobStatus info;
        info.jobName = w("Replaced");
        number = -1;
        QCOMPARE(
            client().ombrel__ReplaceFile(entry, upload.payload(client.soap(), "My Replace"), info, number),
            SOAP_OK);
        QCOMPARE(number, 1);
        UploadStream::resetOutputMode(client.soap());
    }
    {
        DownloadSink sink;
        sink.attach(client.soap());
        ombrel::xsd__base64Binary data;
        QCOMPARE(client().ombrel__DownloadFile(w("f1"), w("k1"), w("j1"), data), SOAP_OK);
        QVERIFY(sink.isHandle(data));
        QCOMPARE(sink.bytes(), HostilePackages::validFile(QStringLiteral("job.txt"), "job content\n"));
    }

    ombrel::ombrel__GetFlowListResponse flowList;
    QCOMPARE(client().ombrel__GetFlowList(flowList), SOAP_OK);
    QCOMPARE(flowList.flowList, (std::vector<std::wstring> { w("f1"), w("f2") }));

    std::wstring text;
    QCOMPARE(client().ombrel__GetFlowName(w("f1"), text), SOAP_OK);
    QCOMPARE(q(text), QStringLiteral("Flow One"));

    QCOMPARE(client().ombrel__GetFlowState(w("f1"), number), SOAP_OK);
    QCOMPARE(number, 7);

    ombrel::ombrel__GetSubmitPointsResponse points;
    QCOMPARE(client().ombrel__GetSubmitPoints(w("f1"), points), SOAP_OK);
    QCOMPARE(points.submitPoints, std::vector<std::wstring> { w("s1") });

    ombrel::ombrel__GetCheckPointsResponse checkPoints;
    QCOMPARE(client().ombrel__GetCheckPoints(w("f1"), checkPoints), SOAP_OK);
    QCOMPARE(checkPoints.checkPoints, std::vector<std::wstring> { w("k1") });

    ombrel::ombrel__GetSubmitPointNameResponse pointData;
    QCOMPARE(client().ombrel__GetSubmitPointName(w("f1"), w("s1"), pointData), SOAP_OK);
    QCOMPARE(pointData.submitPointData.size(), size_t(1));
    QCOMPARE(q(pointData.submitPointData[0].name), QStringLiteral("Submit One"));
    QCOMPARE(pointData.submitPointData[0].metadata.size(), size_t(2));
    const ombrel::MetadataToFillClass &customer = pointData.submitPointData[0].metadata[0];
    QCOMPARE(q(customer.mtfLabel), QStringLiteral("Customer"));
    QCOMPARE(q(customer.mtfDescription), QStringLiteral("Customer description"));
    QCOMPARE(q(customer.mtfDataType), QStringLiteral("string"));
    QCOMPARE(q(customer.mtfDataFormat), QStringLiteral("[a-z]*"));
    QCOMPARE(customer.mtfValueIsRequired, true);
    QCOMPARE(customer.mtfRememberLastValue, false);
    QCOMPARE(q(customer.mtfValue), QStringLiteral("acme"));
    QCOMPARE(pointData.submitPointData[0].metadata[1].mtfRememberLastValue, true);

    QCOMPARE(client().ombrel__GetCheckPointName(w("f1"), w("k1"), text), SOAP_OK);
    QCOMPARE(q(text), QStringLiteral("Check One"));

    QCOMPARE(client().ombrel__GetCheckpointJobsCount(w("f1"), w("k1"), number), SOAP_OK);
    QCOMPARE(number, 2);

    ombrel::ombrel__GetCheckpointJobsResponse jobIds;
    QCOMPARE(client().ombrel__GetCheckpointJobs(w("f1"), w("k1"), jobIds), SOAP_OK);
    QCOMPARE(jobIds.jobIds, (std::vector<std::wstring> { w("j1"), w("j2") }));

    ombrel::ombrel__GetCheckpointJobInfoResponse jobInfo;
    QCOMPARE(client().ombrel__GetCheckpointJobInfo(w("f1"), w("k1"), w("j1"), jobInfo), SOAP_OK);
    QCOMPARE(jobInfo.jobInfo.size(), size_t(1));
    const ombrel::JobStatus &job = jobInfo.jobInfo[0];
    QCOMPARE(job.jobAllowMultipleOutputs, true);
    QCOMPARE(job.jobEnableReportViewing, false);
    QCOMPARE(job.jobAllowReplacingJob, true);
    QCOMPARE(q(job.jobName), QStringLiteral("Job One"));
    QCOMPARE(q(job.jobReportName), QStringLiteral("Job One report"));
    QCOMPARE(q(job.fullUserName), QStringLiteral("Ann Example"));
    QCOMPARE(static_cast<qint64>(job.jobSize),
        HostilePackages::validFile(QStringLiteral("job.txt"), "job content\n").size());
    QCOMPARE(q(job.jobSubmitTime), QStringLiteral("2024-01-02T03:04:05.006Z"));
    QCOMPARE(q(job.jobWaitingTime), QStringLiteral("5 min"));
    QCOMPARE(job.connections.size(), size_t(2));
    QCOMPARE(q(job.connections[1].connectionId), QStringLiteral("c2"));
    QCOMPARE(q(job.connections[1].connectionName), QStringLiteral("Reject"));
    QCOMPARE(job.jobMetadata.size(), size_t(1));
    QCOMPARE(q(job.jobMetadata[0].mtdValue), QStringLiteral("12"));
    QCOMPARE(job.jobRequiresMetadata, true);
    QCOMPARE(job.jobRequiredMetadata.size(), size_t(1));
    QCOMPARE(q(job.jobRequiredMetadata[0].mtfLabel), QStringLiteral("Checked by"));

    ombrel::ombrel__GetCheckpointJobsInfoResponse jobsInfo;
    QCOMPARE(client().ombrel__GetCheckpointJobsInfo(w("f1"), w("k1"), jobsInfo), SOAP_OK);
    QCOMPARE(jobsInfo.jobInfos.size(), size_t(2));
    QCOMPARE(q(jobsInfo.jobInfos[1].jobId), QStringLiteral("j2"));
    // Text outside the Basic Multilingual Plane survives both ways.
    QCOMPARE(q(jobsInfo.jobInfos[1].jobInfo.at(0).jobName), QStringLiteral("Job Two \u00e9\u4e2d\U0001F600"));
    QCOMPARE(jobsInfo.jobInfos[1].jobInfo.at(0).jobRequiresMetadata, false);

    ombrel::ombrel__GetLogDataResponse logs;
    QCOMPARE(client().ombrel__GetLogData(w("2024-05-02T12:00:00.000Z"), logs), SOAP_OK);
    QCOMPARE(logs.logs.size(), size_t(3));
    QCOMPARE(q(logs.logs[0].timeStamp), QStringLiteral("2024-05-04T10:00:00.000Z"));
    QCOMPARE(q(logs.logs[1].jobName), QStringLiteral("Job 3"));
    QCOMPARE(q(logs.logs[2].jobName), QStringLiteral("Job 2"));
    QCOMPARE(q(logs.logs[2].message), QStringLiteral("<LogRecord><Message>m2</Message></LogRecord>"));
    QCOMPARE(logs.logs[2].recId, 3);

    ombrel::ombrel__GetProgressDataResponse progress;
    QCOMPARE(client().ombrel__GetProgressData(10, progress), SOAP_OK);
    // The submission above comes first.
    QCOMPARE(progress.logs.size(), size_t(2));
    QCOMPARE(q(progress.logs[0].jobName), QStringLiteral("Old style"));
    QCOMPARE(q(progress.logs[0].submitPoint), QStringLiteral("Submit One"));
    QCOMPARE(q(progress.logs[1].onHold), QStringLiteral("No"));
    QCOMPARE(q(progress.logs[1].checkpoint), QStringLiteral("Check One"));

    QCOMPARE(client().ombrel__GetJobLockStatus(w("f1"), w("k1"), w("j1"), text), SOAP_OK);
    QVERIFY(text.empty());
    QCOMPARE(client().ombrel__SetJobLockStatus(w("f1"), w("k1"), w("j1"), 1, number), SOAP_OK);
    QCOMPARE(number, 1);
    QCOMPARE(client().ombrel__GetJobLockStatus(w("f1"), w("k1"), w("j1"), text), SOAP_OK);
    QCOMPARE(q(text), QStringLiteral("user (127.0.0.1)"));

    ombrel::ombrel__GetFlowList07Response flows;
    QCOMPARE(client().ombrel__GetFlowList07(flows), SOAP_OK);
    QCOMPARE(flows.flowList.size(), size_t(2));
    QCOMPARE(q(flows.flowList[1].flowName), QStringLiteral("Flow Two"));

    ombrel::ombrel__GetSubmitPoints07Response points07;
    QCOMPARE(client().ombrel__GetSubmitPoints07({ w("f1"), w("f2") }, points07), SOAP_OK);
    QCOMPARE(points07.submitPoints.size(), size_t(2));
    QCOMPARE(points07.submitPoints[0].submitPoints.size(), size_t(1));
    QCOMPARE(q(points07.submitPoints[0].submitPoints[0].spData.name), QStringLiteral("Submit One"));
    QCOMPARE(points07.submitPoints[1].submitPoints.size(), size_t(0));

    ombrel::ombrel__GetCheckPoints07Response checkPoints07;
    QCOMPARE(client().ombrel__GetCheckPoints07({ w("f1") }, 1, checkPoints07), SOAP_OK);
    QCOMPARE(checkPoints07.checkPoints.size(), size_t(1));
    const ombrel::CheckPointInfo07 &info = checkPoints07.checkPoints[0].checkPoints.at(0);
    QCOMPARE(q(info.cpName), QStringLiteral("Check One"));
    QCOMPARE(info.cpJobsCount, 2);
    QCOMPARE(info.cpJobs.size(), size_t(2));
    QCOMPARE(q(info.cpJobs[0].jobInfo.at(0).connections.at(0).connectionName), QStringLiteral("Approve"));

    {
        DownloadSink sink;
        sink.attach(client.soap());
        ombrel::xsd__base64Binary data;
        QCOMPARE(client().ombrel__DownloadFile07(w("f1"), w("k1"), w("j1"), 1, data), SOAP_OK);
        QVERIFY(sink.isHandle(data));
        QCOMPARE(sink.bytes(), HostilePackages::validFile(QStringLiteral("report.txt"), "report content\n"));
    }

    ombrel::ombrel__GetLogData07Response logs07;
    QCOMPARE(client().ombrel__GetLogData07(w("2024-05-04T10:00:00.000Z"), logs07), SOAP_OK);
    QCOMPARE(logs07.logs.size(), size_t(1)); // nothing newer: only the leading time stamp
    QCOMPARE(q(logs07.logs[0].timeStamp), QStringLiteral("2024-05-04T10:00:00.000Z"));

    {
        QTemporaryDir folder;
        DownloadSink sink(folder.path());
        sink.attach(client.soap());
        ombrel::xsd__base64Binary data;
        QCOMPARE(client().ombrel__DownloadFile08(w("f1"), w("k1"), w("j1"), 0, data), SOAP_OK);
        QVERIFY(sink.isHandle(data));
        QVERIFY(sink.writer()->isComplete());
        QFile unpacked(sink.writer()->getMainFile());
        QVERIFY(unpacked.open(QIODevice::ReadOnly));
        QCOMPARE(unpacked.readAll(), QByteArray("job content\n"));
    }
    {
        UploadStream upload(package);
        ombrel::ReplaceEntry entry;
        entry.flowId = w("f1");
        entry.checkPointId = w("k1");
        entry.jobId = w("j1");
        entry.fileName = w("up.txt");
        ombrel::PushJobStatus pushInfo;
        number = -1;
        QCOMPARE(client().ombrel__ReplaceFile08(
                     entry, upload.payload(client.soap(), "My Replace"), pushInfo, upload.fullSize(), number),
            SOAP_OK);
        QCOMPARE(number, 1);
        UploadStream::resetOutputMode(client.soap());
    }
    {
        UploadStream upload(package);
        ombrel::SubmitEntry entry;
        entry.flowId = w("f1");
        entry.submitPointId = w("s1");
        entry.jobName = w("Submitted");
        ombrel::MetadataToFillClass value;
        value.mtfLabel = w("Customer");
        value.mtfValue = w("acme");
        value.mtfValueIsRequired = true;
        std::wstring jobId;
        QCOMPARE(client().ombrel__SubmitFile08(
                     entry, upload.payload(client.soap(), "My Submit"), { value }, upload.fullSize(), jobId),
            SOAP_OK);
        QVERIFY(!jobId.empty());
        QCOMPARE(upload.sent(), upload.fullSize());
        UploadStream::resetOutputMode(client.soap());
    }

    ombrel::PushJobStatus push;
    push.connectionIds = { w("c1"), w("c2") };
    push.jobName = w("Pushed on");
    push.jobRequiredMetadata.push_back(ombrel::MetadataToFillClass());
    push.jobRequiredMetadata[0].mtfLabel = w("Checked by");
    push.jobRequiredMetadata[0].mtfValue = w("me");
    QCOMPARE(client().ombrel__PushCheckpointJob(w("f1"), w("k1"), w("j1"), push, number), SOAP_OK);
    QCOMPARE(number, 1);

    // What the server took in.
    const QList<Upload> uploads = s.uploads();
    QCOMPARE(uploads.size(), 4);
    for (const Upload &upload : uploads) {
        QVERIFY2(upload.accepted, qPrintable(upload.error));
        QVERIFY(upload.viaAttachment);
        QCOMPARE(upload.attachmentType, QByteArray("streamer"));
        QCOMPARE(upload.bytesReceived, package.size());
    }
    QCOMPARE(uploads[0].optionsText, QByteArray("My Submit"));
    QCOMPARE(uploads[1].optionsText, QByteArray("My Replace"));
    QCOMPARE(uploads[3].fullSubmitSize, package.size());
    QCOMPARE(uploads[3].metadata.at(0).value, QStringLiteral("acme"));
    QCOMPARE(uploads[3].metadata.at(0).valueIsRequired, true);
    const QList<Push> pushes = s.pushes();
    QCOMPARE(pushes.size(), 1);
    QCOMPARE(pushes[0].request.connectionIds, (QStringList { QStringLiteral("c1"), QStringLiteral("c2") }));
    QCOMPARE(pushes[0].request.requiredMetadata.at(0).value, QStringLiteral("me"));
    QCOMPARE(pushes[0].request.jobName, QStringLiteral("Pushed on"));
    QCOMPARE(s.flows().at(0).checkPoints.at(0).jobs.size(), 1);

    // Every operation reached the server, under its own name, in order.
    const QList<JournalEntry> journal = s.journal();
    QStringList names;
    for (const JournalEntry &entry : journal)
        names.append(entry.operation);
    names.removeDuplicates();
    QStringList expected;
    for (int op = 0; op < OperationCount; ++op)
        expected.append(OperationInfo::name(static_cast<Operation>(op)));
    QCOMPARE(QSet<QString>(names.begin(), names.end()), QSet<QString>(expected.begin(), expected.end()));
    for (const JournalEntry &entry : journal) {
        QCOMPARE(entry.secure, https);
        QCOMPARE(entry.user, QString::fromLatin1(user));
    }
    const auto argumentsOf = [&journal](const QString &operation) {
        for (const JournalEntry &entry : journal) {
            if (entry.operation == operation)
                return entry.arguments;
        }
        return QMap<QString, QString>();
    };
    QCOMPARE(argumentsOf(QStringLiteral("SetJobLockStatus")).value(QStringLiteral("lockStatus")),
        QStringLiteral("1"));
    QCOMPARE(argumentsOf(QStringLiteral("GetCheckPoints07")).value(QStringLiteral("withJobs")),
        QStringLiteral("1"));
    QCOMPARE(argumentsOf(QStringLiteral("GetSubmitPoints07")).value(QStringLiteral("flowIds[1]")),
        QStringLiteral("f2"));
    QCOMPARE(argumentsOf(QStringLiteral("DownloadFile07")).value(QStringLiteral("downloadType")),
        QStringLiteral("1"));
    QCOMPARE(argumentsOf(QStringLiteral("SubmitFile08")).value(QStringLiteral("inEntry.jobName")),
        QStringLiteral("Submitted"));
    QCOMPARE(argumentsOf(QStringLiteral("SubmitFile08")).value(QStringLiteral("fullSubmitSize")),
        QString::number(package.size()));
    QCOMPARE(
        argumentsOf(QStringLiteral("PushCheckpointJob")).value(QStringLiteral("jobInfo.connectionIds[1]")),
        QStringLiteral("c2"));
}

void WireTest::requestHeaders_data()
{
    allOperations_data();
}

void WireTest::requestHeaders()
{
    QFETCH(bool, https);
    Server &s = server(https);
    WireClient client(s, user, password);
    ombrel::ombrel__GetFlowList07Response flows;
    QCOMPARE(client().ombrel__GetFlowList07(flows), SOAP_OK);
    // Without credentials set for this call, none go out.
    int number = 0;
    QCOMPARE(client.proxy().ombrel__CheckConnect(number), SOAP_OK);

    const QList<JournalEntry> journal = s.journal();
    QCOMPARE(journal.size(), 2);
    QVERIFY(journal[0].hasSoapAction);
    QCOMPARE(journal[0].soapAction, QByteArray("\"\""));
    QCOMPARE(journal[0].authorization, "Basic " + (user + ':' + password).toBase64());
    QVERIFY(journal[0].contentType.startsWith("text/xml"));
    QVERIFY(journal[0].contentEncoding.isEmpty());
    QCOMPARE(journal[0].peer, QStringLiteral("127.0.0.1"));
    QVERIFY(journal[1].hasSoapAction);
    QVERIFY(journal[1].authorization.isEmpty());
}

void WireTest::faultsMapToCodes_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("code");
    const auto fault = [](const char *code) {
        return Fault::rawBody(QStringLiteral("<SOAP-ENV:Fault><faultcode>%1</faultcode>"
                                             "<faultstring>made up</faultstring></SOAP-ENV:Fault>")
                                  .arg(QLatin1String(code)));
    };
    QTest::newRow("sender") << Fault::senderFault() << int(SOAP_CLI_FAULT);
    QTest::newRow("receiver") << Fault::receiverFault() << int(SOAP_SVR_FAULT);
    QTest::newRow("Client") << fault("SOAP-ENV:Client") << int(SOAP_CLI_FAULT);
    QTest::newRow("Server") << fault("SOAP-ENV:Server") << int(SOAP_SVR_FAULT);
    QTest::newRow("MustUnderstand") << fault("SOAP-ENV:MustUnderstand") << int(SOAP_MUSTUNDERSTAND);
    QTest::newRow("VersionMismatch") << fault("SOAP-ENV:VersionMismatch") << int(SOAP_VERSIONMISMATCH);
    QTest::newRow("other code") << fault("SOAP-ENV:Whatever") << int(SOAP_FAULT);
    QTest::newRow("1.2 Receiver") << Fault::rawBody(QStringLiteral(
        "<SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Receiver</SOAP-ENV:Value></SOAP-ENV:Code>"
        "<SOAP-ENV:Reason><SOAP-ENV:Text "
        "xml:lang=\"en\">x</SOAP-ENV:Text></SOAP-ENV:Reason></SOAP-ENV:Fault>"))
                                  << int(SOAP_SVR_FAULT);
}

void WireTest::faultsMapToCodes()
{
    QFETCH(Fault, fault);
    QFETCH(int, code);
    m_http.setFault(Operation::GetFlowState, fault);
    m_http.setFault(Operation::GetFlowList07, fault);
    WireClient client(m_http, user, password);

    int state = 99;
    QCOMPARE(client().ombrel__GetFlowState(w("f1"), state), code);
    QCOMPARE(state, 0); // reset before the reply was read

    ombrel::ombrel__GetFlowList07Response flows;
    flows.flowList.resize(3);
    QCOMPARE(client().ombrel__GetFlowList07(flows), code);
    QVERIFY(flows.flowList.empty());
}

void WireTest::wrongCredentialsGive401()
{
    WireClient client(m_http, user, "wrong");
    ombrel::ombrel__GetStatusResponse status;
    QCOMPARE(client().ombrel__GetStatus(status), 401);
    WireClient nobody(m_http, QByteArray(), QByteArray());
    QCOMPARE(nobody.proxy().ombrel__GetStatus(status), 401);
    // The probe before logging in needs none.
    int number = 0;
    QCOMPARE(nobody.proxy().ombrel__CheckConnect(number), SOAP_OK);
    QCOMPARE(number, 1);
}

void WireTest::refusedConnectionLeavesResult()
{
    m_http.setRefuseConnections(true);
    WireClient client(m_http, user, password);
    int number = 42;
    const int rc = client().ombrel__CheckConnect(number);
    m_http.setRefuseConnections(false);
    QCOMPARE(rc, SOAP_TCP_ERROR);
    QCOMPARE(number, 42);
    ombrel::ombrel__GetStatusResponse status;
    status.res.resize(2);
    m_http.setRefuseConnections(true);
    QVERIFY(client().ombrel__GetStatus(status) != SOAP_OK);
    m_http.setRefuseConnections(false);
    QCOMPARE(status.res.size(), size_t(2));

    // And the port serves again afterwards.
    QCOMPARE(client().ombrel__CheckConnect(number), SOAP_OK);
    QCOMPARE(number, 1);
}

void WireTest::droppedReplyFailsAndResets()
{
    m_http.setFault(Operation::GetFlowState, Fault::dropReplyAfter(60));
    WireClient client(m_http, user, password);
    int state = 99;
    QVERIFY(client().ombrel__GetFlowState(w("f1"), state) != SOAP_OK);
    QCOMPARE(state, 0);

    m_http.setFault(Operation::GetFlowState, Fault::dropRequestAfter(10));
    state = 99;
    QVERIFY(client().ombrel__GetFlowState(w("f1"), state) != SOAP_OK);
    QCOMPARE(m_http.journal().last().operation, QStringLiteral("GetFlowState"));
}

void WireTest::delayedAndHangingCalls()
{
    WireClient client(m_http, user, password);
    m_http.setFault(Operation::GetFlowState, Fault::delay(300).times(1));
    QElapsedTimer timer;
    timer.start();
    int state = 0;
    QCOMPARE(client().ombrel__GetFlowState(w("f1"), state), SOAP_OK);
    QVERIFY(timer.elapsed() >= 300);
    QCOMPARE(state, 7);

    // A server that never answers: only the caller's receive timeout ends it.
    m_http.setFault(Operation::GetFlowState, Fault::hang().times(1));
    client.soap()->recv_timeout = 1;
    timer.restart();
    state = 5;
    QCOMPARE(client().ombrel__GetFlowState(w("f1"), state), SOAP_EOF);
    QVERIFY(timer.elapsed() < 5000);
    QCOMPARE(state, 0);
    m_http.releaseHangingCalls();
    QTRY_COMPARE(m_http.openConnections(), 0);
}

void WireTest::unnamedResultsAndMissingChildren()
{
    WireClient client(m_http, user, password);
    // "param-N" results are read whatever the element is called...
    m_http.setFault(Operation::CheckConnect, Fault::renameResult(QStringLiteral("return")));
    int number = 0;
    QCOMPARE(client().ombrel__CheckConnect(number), SOAP_OK);
    QCOMPARE(number, 1);
    m_http.setFault(Operation::PushCheckpointJob, Fault::renameResult(QStringLiteral("whatever")));
    QCOMPARE(client().ombrel__PushCheckpointJob(w("f1"), w("k1"), w("j1"), ombrel::PushJobStatus(), number),
        SOAP_OK);
    QCOMPARE(number, 1);
    // ...named ones only under their own name.
    m_http.setFault(Operation::SetJobLockStatus, Fault::renameResult(QStringLiteral("wasSet")));
    number = 5;
    QCOMPARE(client().ombrel__SetJobLockStatus(w("f1"), w("k1"), w("j2"), 1, number), SOAP_OK);
    QCOMPARE(number, 0);
    m_http.setFault(Operation::GetFlowName, Fault::omitResult());
    std::wstring name = w("old");
    QCOMPARE(client().ombrel__GetFlowName(w("f1"), name), SOAP_OK);
    QVERIFY(name.empty());
    m_http.setFault(Operation::GetFlowList07, Fault::renameResult(QStringLiteral("flows")));
    ombrel::ombrel__GetFlowList07Response flows;
    QCOMPARE(client().ombrel__GetFlowList07(flows), SOAP_OK);
    QVERIFY(flows.flowList.empty());
}

void WireTest::sslNeedsTrustedPeers()
{
    // A client without the SSL set-up does not trust the server.
    {
        ombrel::Service bare;
        const QByteArray endpoint = m_https.endpoint();
        bare.endpoint = endpoint.constData();
        bare.soap->connect_timeout = 5;
        bare.soap->recv_timeout = 5;
        int number = 7;
        QVERIFY(bare.ombrel__CheckConnect(number) != SOAP_OK);
        QCOMPARE(number, 7);
    }
    // A client that trusts the CA but has no certificate of its own is
    // turned away by a server that asks for one.
    {
        QTemporaryDir folder;
        QDir().mkpath(folder.filePath(QStringLiteral("ssl_client")));
        QVERIFY(QFile::copy(QDir(TestEnv::binDir()).filePath(QStringLiteral("ssl_client/cacert.pem")),
            folder.filePath(QStringLiteral("ssl_client/cacert.pem"))));
        ombrel::Service client;
        const QByteArray endpoint = m_https.endpoint();
        client.endpoint = endpoint.constData();
        client.soap->connect_timeout = 5;
        client.soap->recv_timeout = 5;
        ClientSsl::setup(client.soap, folder.path());
        int number = 7;
        // (With TLS 1.3 the refusal reaches the client only once it reads.)
        QVERIFY(client.ombrel__CheckConnect(number) != SOAP_OK);
    }
    // The plain endpoint does not speak SSL.
    {
        QByteArray endpoint = m_http.endpoint();
        endpoint.replace("http:", "https:");
        WireClient client(endpoint);
        int number = 7;
        QVERIFY(client().ombrel__CheckConnect(number) != SOAP_OK);
    }
}

void WireTest::proxyDefaults()
{
    ombrel::Service proxy;
    QVERIFY(proxy.soap);
    QCOMPARE(QByteArray(proxy.endpoint), QByteArray("http://localhost:80"));
    // Without a context nothing is sent and the result stays.
    soap_free(proxy.soap);
    proxy.soap = nullptr;
    int number = 3;
    QCOMPARE(proxy.ombrel__CheckConnect(number), SOAP_EOM);
    QCOMPARE(number, 3);
}

void WireTest::jobOverTwoGigabytes()
{
    QList<Flow> flows = worldFlows();
    flows[0].checkPoints[0].jobs[1].size = 3LL << 30;
    m_http.setFlows(flows);
    WireClient client(m_http, user, password);
    ombrel::ombrel__GetCheckPoints07Response checkPoints;
    QCOMPARE(client().ombrel__GetCheckPoints07({ w("f1") }, 1, checkPoints), SOAP_OK);
    const auto &jobs = checkPoints.checkPoints.at(0).checkPoints.at(0).cpJobs;
    QCOMPARE(jobs.size(), size_t(2));
    QCOMPARE(static_cast<qint64>(jobs[1].jobInfo.at(0).jobSize), 3LL << 30);
}

void WireTest::stopEndsHangingCalls()
{
    Server s;
    QVERIFY(s.start());
    s.setFault(Operation::GetStatus, Fault::hang());

    // One client hangs in a call, another holds a connection and sends nothing.
    QTcpSocket silent;
    silent.connectToHost(QHostAddress::LocalHost, s.port());
    QVERIFY(silent.waitForConnected(5000));
    std::atomic<int> rc { -100 };
    std::thread caller([&s, &rc] {
        WireClient client(s.endpoint());
        ombrel::ombrel__GetStatusResponse status;
        rc = client().ombrel__GetStatus(status);
    });
    struct Joiner
    {
        Server &server;
        std::thread &thread;
        ~Joiner()
        {
            server.stop();
            if (thread.joinable())
                thread.join();
        }
    } joiner { s, caller };
    QVERIFY(s.waitForJournal(1, 5000));
    QTRY_COMPARE(s.openConnections(), 2);

    QElapsedTimer timer;
    timer.start();
    s.stop();
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    caller.join();
    QVERIFY(rc != SOAP_OK);
    QCOMPARE(s.openConnections(), 0);
}

void WireTest::demoProgram()
{
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QDir(TestEnv::binDir()).absoluteFilePath(QStringLiteral("vornex-testserver")),
        { QStringLiteral("--demo"), QStringLiteral("--port"), QStringLiteral("0") });
    QVERIFY(program.waitForStarted(10000));
    QByteArray port;
    QElapsedTimer timer;
    timer.start();
    while (port.isEmpty() && timer.elapsed() < 20000) {
        program.waitForReadyRead(1000);
        while (program.canReadLine()) {
            const QByteArray line = program.readLine().trimmed();
            if (line.startsWith("port "))
                port = line.mid(5);
        }
    }
    QVERIFY(!port.isEmpty());

    // The client's local-server probe logs in as "user" without a password.
    WireClient client("http://127.0.0.1:" + port, "user", QByteArray());
    ombrel::ombrel__GetStatusResponse status;
    QCOMPARE(client().ombrel__GetStatus(status), SOAP_OK);
    QVERIFY(!status.res.at(0).mServerName.empty());

    ombrel::ombrel__GetFlowList07Response flows;
    QCOMPARE(client().ombrel__GetFlowList07(flows), SOAP_OK);
    std::vector<std::wstring> flowIds;
    for (const ombrel::FlowInfo07 &flow : flows.flowList)
        flowIds.push_back(flow.flowId);
    QVERIFY(flowIds.size() >= 2);

    // Submit points ask for metadata of every kind.
    ombrel::ombrel__GetSubmitPoints07Response points;
    QCOMPARE(client().ombrel__GetSubmitPoints07(flowIds, points), SOAP_OK);
    QSet<QString> kinds;
    for (const auto &flow : points.submitPoints) {
        for (const auto &point : flow.submitPoints) {
            for (const auto &field : point.spData.metadata)
                kinds.insert(q(field.mtfDataType).section(QLatin1Char(':'), 0, 0));
        }
    }
    QCOMPARE(kinds,
        (QSet<QString> { Tamsor::XMLValues::EDITORTYPE_STRING, Tamsor::XMLValues::EDITORTYPE_BOOL,
            Tamsor::XMLValues::EDITORTYPE_ENUM }));

    // Checkpoints hold waiting jobs with reports, which download.
    ombrel::ombrel__GetCheckPoints07Response checkPoints;
    QCOMPARE(client().ombrel__GetCheckPoints07(flowIds, 1, checkPoints), SOAP_OK);
    const ombrel::CheckPoints07 &first = checkPoints.checkPoints.at(0);
    const ombrel::CheckPointInfo07 &checkPoint = first.checkPoints.at(0);
    QVERIFY(checkPoint.cpJobsCount > 0);
    const ombrel::JobIdStatus &job = checkPoint.cpJobs.at(0);
    QVERIFY(job.jobInfo.at(0).jobEnableReportViewing);
    QVERIFY(!job.jobInfo.at(0).connections.empty());
    QTemporaryDir folder;
    DownloadSink sink(folder.path());
    sink.attach(client.soap());
    ombrel::xsd__base64Binary data;
    QCOMPARE(client().ombrel__DownloadFile08(first.flowId, checkPoint.cpId, job.jobId, 1, data), SOAP_OK);
    QVERIFY(sink.writer()->isComplete());
    QVERIFY(QFileInfo(sink.writer()->getMainFile()).isFile());

    // A few hundred log messages of every type, each one a decodable record.
    ombrel::ombrel__GetLogData07Response logs;
    QCOMPARE(client().ombrel__GetLogData07(w("2007-01-01T00:00:00.000Z"), logs), SOAP_OK);
    QVERIFY(logs.logs.size() > 200);
    QSet<QString> types;
    for (size_t i = 1; i < logs.logs.size(); ++i) {
        types.insert(q(logs.logs[i].type));
        QDomDocument document;
        QVERIFY(document.setContent(q(logs.logs[i].message)));
        LogRecord record;
        QVERIFY(record.restoreFromDomElement(document.documentElement()));
        QVERIFY(!record.arguments().isEmpty());
    }
    QVERIFY(types.size() >= 4);

    ombrel::ombrel__GetProgressDataResponse progress;
    QCOMPARE(client().ombrel__GetProgressData(10, progress), SOAP_OK);
    QVERIFY(!progress.logs.empty());

    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

VORNEX_TEST_GUILESS_MAIN(WireTest)

#include "tst_wire.moc"
