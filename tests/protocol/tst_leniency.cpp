// How ombrel::Service reads replies written by hand (no gSOAP on the
// server side) and what its requests look like byte for byte.
#include "CannedServer.h"
#include "TestEnv.h"
#include "WideText.h"
#include "WireClient.h"

#include <ombrelServiceProxy.h>

namespace {

std::wstring w(const char *text)
{
    return WideText::fromQString(QString::fromUtf8(text));
}

QString q(const std::wstring &text)
{
    return WideText::toQString(text);
}

QByteArray jobInfoReply(const QByteArray &jobStatusContent)
{
    return "<ombrel:GetCheckpointJobInfoResponse><jobInfo>" + jobStatusContent
        + "</jobInfo></ombrel:GetCheckpointJobInfoResponse>";
}

QByteArray body(const QByteArray &request)
{
    const int start = request.indexOf("<SOAP-ENV:Body>");
    const int end = request.indexOf("</SOAP-ENV:Body>");
    return start < 0 || end < 0 ? QByteArray() : request.mid(start + 15, end - start - 15);
}

} // namespace

class LeniencyTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void statusFields_data();
    void statusFields();
    void sequences();
    void booleansAndIntegers_data();
    void booleansAndIntegers();
    void unnamedAndMissingResults();
    void unexpectedReplies_data();
    void unexpectedReplies();
    void requestShapes();

private:
    ombrel::ombrel__GetStatusResponse status(int &rc);
    ombrel::ombrel__GetCheckpointJobInfoResponse jobInfo(const QByteArray &jobStatusContent, int &rc);

    CannedServer m_server;
};

void LeniencyTest::initTestCase()
{
    QVERIFY(m_server.start());
}

void LeniencyTest::cleanupTestCase()
{
    m_server.stop();
}

ombrel::ombrel__GetStatusResponse LeniencyTest::status(int &rc)
{
    WireClient client(m_server.endpoint());
    ombrel::ombrel__GetStatusResponse result;
    rc = client().ombrel__GetStatus(result);
    return result;
}

ombrel::ombrel__GetCheckpointJobInfoResponse LeniencyTest::jobInfo(const QByteArray &content, int &rc)
{
    m_server.replyWithBody(jobInfoReply(content));
    WireClient client(m_server.endpoint());
    ombrel::ombrel__GetCheckpointJobInfoResponse result;
    rc = client().ombrel__GetCheckpointJobInfo(w("f"), w("c"), w("j"), result);
    return result;
}

void LeniencyTest::statusFields_data()
{
    QTest::addColumn<QByteArray>("res");
    QTest::addColumn<QString>("serverName");
    QTest::addColumn<QString>("status");

    QTest::newRow("in order") << QByteArray("<mServerName>N</mServerName><mStatus>S</mStatus>") << "N"
                              << "S";
    QTest::newRow("any order") << QByteArray("<mStatus>S</mStatus><mServerName>N</mServerName>") << "N"
                               << "S";
    QTest::newRow("second occurrence passed over")
        << QByteArray("<mServerName>first</mServerName><mServerName>second</mServerName><mStatus>S</mStatus>")
        << "first"
        << "S";
    QTest::newRow("unknown element skipped whole")
        << QByteArray("<extra a=\"1\"><mStatus>inner</mStatus><deep><x/></deep></extra>"
                      "<mServerName>N</mServerName><mStatus>S</mStatus>")
        << "N"
        << "S";
    QTest::newRow("missing field keeps default") << QByteArray("<mStatus>S</mStatus>") << ""
                                                 << "S";
    QTest::newRow("empty element") << QByteArray("<mServerName/><mStatus></mStatus>") << ""
                                   << "";
    QTest::newRow("escaped text") << QByteArray("<mServerName>a &amp; b &lt;c&gt; &#x4e2d;</mServerName>")
                                  << QStringLiteral("a & b <c> \u4e2d") << "";
    // gSOAP 2.8 takes text with an xsi:type of xsd:string as well.
    QTest::newRow("xsi:type string") << QByteArray("<mServerName xsi:type=\"xsd:string\">N</mServerName>")
                                     << "N"
                                     << "";
    // A child is its field by its local name, whatever namespace its prefix
    // is bound to; the first occurrence counts.
    QTest::newRow("foreign namespace")
        << QByteArray("<x:mServerName xmlns:x=\"urn:other\">X</x:mServerName><mServerName>N</mServerName>"
                      "<y:mStatus xmlns:y=\"urn:y\">S</y:mStatus>")
        << "X"
        << "S";
}

void LeniencyTest::statusFields()
{
    QFETCH(QByteArray, res);
    QFETCH(QString, serverName);
    QFETCH(QString, status);
    m_server.replyWithBody("<ombrel:GetStatusResponse><res>" + res + "</res></ombrel:GetStatusResponse>");
    int rc = -1;
    const auto result = this->status(rc);
    QCOMPARE(rc, SOAP_OK);
    QCOMPARE(result.res.size(), size_t(1));
    QCOMPARE(q(result.res[0].mServerName), serverName);
    QCOMPARE(q(result.res[0].mStatus), status);
}

void LeniencyTest::sequences()
{
    int rc = -1;
    // Two runs of one sequence, other fields between: all items, in order.
    auto result = jobInfo(
        "<connections><connectionId>a</connectionId></connections>"
        "<connections><connectionId>b</connectionId></connections>"
        "<jobName>J</jobName>"
        "<connections><connectionId>c</connectionId><connectionName>C</connectionName></connections>",
        rc);
    QCOMPARE(rc, SOAP_OK);
    QCOMPARE(result.jobInfo.size(), size_t(1));
    const ombrel::JobStatus &job = result.jobInfo[0];
    QCOMPARE(job.connections.size(), size_t(3));
    QCOMPARE(q(job.connections[0].connectionId), QStringLiteral("a"));
    QCOMPARE(q(job.connections[2].connectionId), QStringLiteral("c"));
    QCOMPARE(q(job.connections[2].connectionName), QStringLiteral("C"));
    QCOMPARE(q(job.jobName), QStringLiteral("J"));

    // No element at all: an empty sequence, no error.
    result = jobInfo("<jobName>J</jobName>", rc);
    QCOMPARE(rc, SOAP_OK);
    QVERIFY(result.jobInfo.at(0).connections.empty());
    QVERIFY(result.jobInfo.at(0).jobMetadata.empty());

    // Empty result sequences.
    m_server.replyWithBody("<ombrel:GetFlowList07Response/>");
    WireClient client(m_server.endpoint());
    ombrel::ombrel__GetFlowList07Response flows;
    flows.flowList.resize(2);
    QCOMPARE(client().ombrel__GetFlowList07(flows), SOAP_OK);
    QVERIFY(flows.flowList.empty());
    m_server.replyWithBody("<ombrel:GetStatusResponse></ombrel:GetStatusResponse>");
    QVERIFY(this->status(rc).res.empty());
    QCOMPARE(rc, SOAP_OK);

    // A flow without its name reads with an empty name.
    m_server.replyWithBody("<ombrel:GetFlowList07Response><flowList><flowId>f1</flowId></flowList>"
                           "<flowList><flowName>Two</flowName><flowId>f2</flowId></flowList>"
                           "</ombrel:GetFlowList07Response>");
    QCOMPARE(client().ombrel__GetFlowList07(flows), SOAP_OK);
    QCOMPARE(flows.flowList.size(), size_t(2));
    QVERIFY(flows.flowList[0].flowName.empty());
    QCOMPARE(q(flows.flowList[1].flowName), QStringLiteral("Two"));

    // Nested sequences of the bulk checkpoint reply.
    m_server.replyWithBody("<ombrel:GetCheckPoints07Response><checkPoints><flowId>f1</flowId>"
                           "<checkPoints><cpId>k1</cpId><cpName>K</cpName><cpJobsCount>2</cpJobsCount>"
                           "<cpJobs><jobId>j1</jobId><jobInfo><jobName>A</jobName></jobInfo></cpJobs>"
                           "<cpJobs><jobId>j2</jobId></cpJobs></checkPoints>"
                           "<checkPoints><cpId>k2</cpId><cpJobsCount>5</cpJobsCount></checkPoints>"
                           "</checkPoints></ombrel:GetCheckPoints07Response>");
    ombrel::ombrel__GetCheckPoints07Response checkPoints;
    QCOMPARE(client().ombrel__GetCheckPoints07({ w("f1") }, 1, checkPoints), SOAP_OK);
    QCOMPARE(checkPoints.checkPoints.size(), size_t(1));
    const auto &infos = checkPoints.checkPoints[0].checkPoints;
    QCOMPARE(infos.size(), size_t(2));
    QCOMPARE(infos[0].cpJobs.size(), size_t(2));
    QCOMPARE(q(infos[0].cpJobs[0].jobInfo.at(0).jobName), QStringLiteral("A"));
    QVERIFY(infos[0].cpJobs[1].jobInfo.empty());
    // The count is a field of its own, not derived from the jobs.
    QCOMPARE(infos[1].cpJobsCount, 5);
    QVERIFY(infos[1].cpJobs.empty());
}

void LeniencyTest::booleansAndIntegers_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("multipleOutputs");
    QTest::addColumn<bool>("requiresMetadata");
    QTest::addColumn<qint64>("jobSize");

    QTest::newRow("words") << QByteArray(
        "<jobAllowMultipleOutputs>true</jobAllowMultipleOutputs>"
        "<jobRequiresMetadata>true</jobRequiresMetadata><jobSize>12</jobSize>")
                           << int(SOAP_OK) << true << true << qint64(12);
    QTest::newRow("digits") << QByteArray("<jobAllowMultipleOutputs>1</jobAllowMultipleOutputs>"
                                          "<jobRequiresMetadata>0</jobRequiresMetadata><jobSize>-3</jobSize>")
                            << int(SOAP_OK) << true << false << qint64(-3);
    QTest::newRow("boolean word unknown")
        << QByteArray("<jobAllowMultipleOutputs>yes</jobAllowMultipleOutputs>") << int(SOAP_TYPE) << false
        << false << qint64(0);
    QTest::newRow("number with trailing text")
        << QByteArray("<jobSize>12kB</jobSize>") << int(SOAP_TYPE) << false << false << qint64(0);
    // Empty numbers and booleans read as 0 and false, not a failed reply.
    QTest::newRow("empty integer") << QByteArray("<jobSize/>") << int(SOAP_OK) << false << false << qint64(0);
    QTest::newRow("empty boolean") << QByteArray(
        "<jobRequiresMetadata></jobRequiresMetadata><jobAllowMultipleOutputs/>")
                                   << int(SOAP_OK) << false << false << qint64(0);
    // A job over 2 GiB is read, not a failure of the whole reply.
    QTest::newRow("size over 2 GiB") << QByteArray("<jobSize>3000000000</jobSize>") << int(SOAP_OK) << false
                                     << false << qint64(3000000000LL);
    QTest::newRow("size over 8 EiB") << QByteArray("<jobSize>9223372036854775808</jobSize>") << int(SOAP_TYPE)
                                     << false << false << qint64(0);
}

void LeniencyTest::booleansAndIntegers()
{
    QFETCH(QByteArray, content);
    QFETCH(int, code);
    QFETCH(bool, multipleOutputs);
    QFETCH(bool, requiresMetadata);
    QFETCH(qint64, jobSize);
    int rc = -1;
    const auto result = jobInfo(content, rc);
    QCOMPARE(rc, code);
    if (code != SOAP_OK) {
        QVERIFY(result.jobInfo.empty()); // a failed call leaves the result at its default
        return;
    }
    QCOMPARE(result.jobInfo.size(), size_t(1));
    QCOMPARE(result.jobInfo[0].jobAllowMultipleOutputs, multipleOutputs);
    QCOMPARE(result.jobInfo[0].jobRequiresMetadata, requiresMetadata);
    QCOMPARE(result.jobInfo[0].jobSize, jobSize);
}

void LeniencyTest::unnamedAndMissingResults()
{
    WireClient client(m_server.endpoint());
    int number = -1;
    m_server.replyWithBody("<ombrel:CheckConnectResponse><return>1</return></ombrel:CheckConnectResponse>");
    QCOMPARE(client().ombrel__CheckConnect(number), SOAP_OK);
    QCOMPARE(number, 1);

    m_server.replyWithBody("<ombrel:CheckConnectResponse><unknown>x</unknown></ombrel:CheckConnectResponse>");
    QCOMPARE(client().ombrel__CheckConnect(number), SOAP_TYPE);

    number = -1;
    m_server.replyWithBody("<ombrel:SetJobLockStatusResponse><set>1</set></ombrel:SetJobLockStatusResponse>");
    QCOMPARE(client().ombrel__SetJobLockStatus(w("f"), w("c"), w("j"), 1, number), SOAP_OK);
    QCOMPARE(number, 0);

    bool compress = true;
    m_server.replyWithBody("<ombrel:GetCompressClientJobsResponse/>");
    QCOMPARE(client().ombrel__GetCompressClientJobs(compress), SOAP_OK);
    QCOMPARE(compress, false);

    std::wstring user = w("old");
    m_server.replyWithBody("<ombrel:GetJobLockStatusResponse><userName>ann (10.0.0.7)</userName>"
                           "<userName>bob</userName></ombrel:GetJobLockStatusResponse>");
    QCOMPARE(client().ombrel__GetJobLockStatus(w("f"), w("c"), w("j"), user), SOAP_OK);
    QCOMPARE(q(user), QStringLiteral("ann (10.0.0.7)"));
}

void LeniencyTest::unexpectedReplies_data()
{
    QTest::addColumn<QByteArray>("http");
    QTest::addColumn<int>("code");

    const auto ok = [](const QByteArray &content) {
        const QByteArray xml = CannedServer::envelope(content);
        return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: "
            + QByteArray::number(xml.size()) + "\r\n\r\n" + xml;
    };
    QTest::newRow("fault with status 500") << QByteArray(
        "HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/xml\r\nConnection: close\r\n\r\n"
        + CannedServer::envelope("<SOAP-ENV:Fault><faultcode>SOAP-ENV:Server</faultcode>"
                                 "<faultstring>broken</faultstring></SOAP-ENV:Fault>"))
                                           << int(SOAP_SVR_FAULT);
    // Another operation's response is no answer; 2.8 reports the HTTP status.
    QTest::newRow("other response element") << ok("<ombrel:GetFlowList07Response/>") << 200;
    QTest::newRow("response element in another namespace")
        << ok("<x:GetFlowNameResponse xmlns:x=\"urn:x\"><flowName>F</flowName></x:GetFlowNameResponse>")
        << 200;
    QTest::newRow("field in another namespace") << ok(
        "<ombrel:GetFlowNameResponse><x:flowName xmlns:x=\"urn:x\">F</x:flowName>"
        "</ombrel:GetFlowNameResponse>") << int(SOAP_OK);
    // Passed over: what is not the service's, wherever it stands.
    QTest::newRow("unknown elements in their own namespace") << ok(
        "<ombrel:GetFlowNameResponse><x:note xmlns:x=\"urn:x\"><x:in/></x:note><flowName xmlns:x=\"urn:x\""
        " x:type=\"x:t\" x:mustUnderstand=\"1\">F</flowName></ombrel:GetFlowNameResponse><y:after "
        "xmlns:y=\"urn:y\"/>") << int(SOAP_OK);
    QTest::newRow("reference") << ok("<ombrel:GetFlowNameResponse><flowName href\t=\"#t\"/>"
                                     "</ombrel:GetFlowNameResponse><x id =\"t\">F</x>")
                               << int(SOAP_HREF);
    QTest::newRow("envelope element in a field") << ok(
        "<ombrel:GetFlowNameResponse><SOAP-ENV:Header/><flowName>F</flowName></ombrel:GetFlowNameResponse>")
                                                 << int(SOAP_TAG_MISMATCH);
    QTest::newRow("not found") << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n") << 404;
    // For a reply that cannot be read at all 2.8 also gives the HTTP status.
    QTest::newRow("not xml") << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                                           "Content-Length: 5\r\n\r\nhello")
                             << 200;
    QTest::newRow("cut short") << QByteArray(
        "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 500\r\n\r\n"
        + CannedServer::envelope("<ombrel:GetFlowNameResponse>").left(200))
                               << 200;
    QTest::newRow("chunked reply") << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n"
                                                 "Transfer-Encoding: chunked\r\n\r\n"
        + QByteArray::number(CannedServer::envelope("<ombrel:GetFlowNameResponse>"
                                                    "<flowName>F</flowName>"
                                                    "</ombrel:GetFlowNameResponse>")
                                 .size(),
            16)
        + "\r\n"
        + CannedServer::envelope("<ombrel:GetFlowNameResponse>"
                                 "<flowName>F</flowName>"
                                 "</ombrel:GetFlowNameResponse>")
        + "\r\n0\r\n\r\n") << int(SOAP_OK);
}

void LeniencyTest::unexpectedReplies()
{
    QFETCH(QByteArray, http);
    QFETCH(int, code);
    m_server.replyWithHttp(http);
    WireClient client(m_server.endpoint());
    client.soap()->recv_timeout = 5;
    std::wstring name = w("before");
    QCOMPARE(client().ombrel__GetFlowName(w("f"), name), code);
    QCOMPARE(q(name), code == SOAP_OK ? QStringLiteral("F") : QString());
}

void LeniencyTest::requestShapes()
{
    m_server.replyWithBody("<ombrel:GetFlowList07Response/>");
    WireClient client(m_server.endpoint(), "ann", "pw");

    ombrel::ombrel__GetFlowList07Response flows;
    QCOMPARE(client().ombrel__GetFlowList07(flows), SOAP_OK);
    QByteArray request = m_server.lastRequest();
    QVERIFY(request.startsWith("POST / HTTP/1.1\r\n"));
    QVERIFY(request.contains("\r\nSOAPAction: \"\"\r\n"));
    QVERIFY(request.contains("\r\nContent-Type: text/xml; charset=utf-8\r\n"));
    QVERIFY(request.contains("\r\nAuthorization: Basic " + QByteArray("ann:pw").toBase64() + "\r\n"));
    QVERIFY(!request.contains("xsi:type"));
    QVERIFY(!request.contains("encodingStyle"));
    // The namespace table, in its order, on the envelope.
    const int envelope = request.indexOf("<SOAP-ENV:Envelope");
    const QByteArray envelopeTag = request.mid(envelope, request.indexOf('>', envelope) - envelope);
    int last = -1;
    for (const char *ns : { "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"",
             "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\"",
             "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"",
             "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"",
             "xmlns:ombrel=\"http://tempuri.org/ombrel.xsd\"" }) {
        const int at = envelopeTag.indexOf(ns);
        QVERIFY2(at > last, ns);
        last = at;
    }
    QCOMPARE(body(request), QByteArray("<ombrel:GetFlowList07></ombrel:GetFlowList07>"));

    ombrel::ombrel__GetSubmitPoints07Response points;
    client().ombrel__GetSubmitPoints07({}, points);
    QCOMPARE(
        body(m_server.lastRequest()), QByteArray("<ombrel:GetSubmitPoints07></ombrel:GetSubmitPoints07>"));

    ombrel::ombrel__GetCheckPoints07Response checkPoints;
    client().ombrel__GetCheckPoints07({ w("a"), w("b\u00e9") }, 1, checkPoints);
    QCOMPARE(body(m_server.lastRequest()),
        QByteArray("<ombrel:GetCheckPoints07><flowIds>a</flowIds><flowIds>b\xc3\xa9</flowIds>"
                   "<withJobs>1</withJobs></ombrel:GetCheckPoints07>"));

    int number = 0;
    ombrel::PushJobStatus push;
    client().ombrel__PushCheckpointJob(w("f"), w("c&<"), w(""), push, number);
    QCOMPARE(body(m_server.lastRequest()),
        QByteArray("<ombrel:PushCheckpointJob><flowId>f</flowId><checkPointId>c&amp;&lt;</checkPointId>"
                   "<jobId/><jobInfo><jobName/></jobInfo></ombrel:PushCheckpointJob>"));

    push.connectionIds = { w("c1"), w("c2") };
    push.jobRequiredMetadata.resize(1);
    push.jobRequiredMetadata[0].mtfLabel = w("L");
    push.jobRequiredMetadata[0].mtfValueIsRequired = true;
    push.jobName = w("N");
    client().ombrel__PushCheckpointJob(w("f"), w("c"), w("j"), push, number);
    QCOMPARE(body(m_server.lastRequest()),
        QByteArray(
            "<ombrel:PushCheckpointJob><flowId>f</flowId><checkPointId>c</checkPointId><jobId>j</jobId>"
            "<jobInfo><jobRequiredMetadata><mtfLabel>L</mtfLabel><mtfDescription/>"
            "<mtfDataType/><mtfDataFormat/>"
            "<mtfValueIsRequired>true</mtfValueIsRequired>"
            "<mtfRememberLastValue>false</mtfRememberLastValue><mtfValue/>"
            "</jobRequiredMetadata><connectionIds>c1</connectionIds><connectionIds>c2</connectionIds>"
            "<jobName>N</jobName></jobInfo></ombrel:PushCheckpointJob>"));
}

VORNEX_TEST_GUILESS_MAIN(LeniencyTest)

#include "tst_leniency.moc"
