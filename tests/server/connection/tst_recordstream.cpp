// The bulk replies as other servers may write them, read record by record
// (RecordStream) and whole (the generated stubs), from hand-written replies.
#include "CallBounds.h"
#include "HostileServer.h"
#include "LogRecord.h"
#include "RecordStream.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "TestEnv.h"
#include "WideText.h"
#include "WireClient.h"
#include "WorkFlags.h"

#include <ombrelH.h>
#include <zlib.h>

#include <sstream>

#include <QtTest/QTest>

namespace {

enum class Text { Escaped, Cdata, CharRefs };
enum class Framing { Length, Chunked, Gzip, GzipChunked };

// How one reply is written; patterns take the element name as %1 and
// its content as %2.
struct Variation
{
    const char *name;
    const char *envelope = nullptr; // %1: the Body's content
    const char *response = "<ombrel:%1Response>%2</ombrel:%1Response>"; // %1: the operation
    const char *element = "<%1>%2</%1>"; // records, their parts and numbers
    const char *field = "<%1>%2</%1>"; // text
    const char *empty = "<%1/>"; // text without a value
    const char *between = ""; // inside and between records
    Text text = Text::Escaped;
    Framing framing = Framing::Length;
    bool soap12 = false;
};

const char kEnvelope11[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""
                           " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
                           " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
                           " xmlns:ombrel=\"http://tempuri.org/ombrel.xsd\"><SOAP-ENV:Body>%1"
                           "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
const char kEnvelope12[] = "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\""
                           " xmlns:ombrel=\"http://tempuri.org/ombrel.xsd\"><env:Body>%1"
                           "</env:Body></env:Envelope>";
const char kEnvelopeBare[]
    = "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
      "<SOAP-ENV:Body>%1</SOAP-ENV:Body></SOAP-ENV:Envelope>";
const char kForeign[] = "<x:note xmlns:x=\"urn:x\" x:type=\"t\"><x:in>n</x:in></x:note>";

const Variation kVariations[] = {
    { "plain" },
    { "namespaces on the body",
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body"
        " xmlns:ombrel=\"http://tempuri.org/ombrel.xsd\">%1</s:Body></s:Envelope>" },
    { "namespace on the response", kEnvelopeBare,
        "<r:%1Response xmlns:r=\"http://tempuri.org/ombrel.xsd\">%2</r:%1Response>" },
    { "default namespace", nullptr, "<%1Response xmlns=\"http://tempuri.org/ombrel.xsd\">%2</%1Response>" },
    { "prefixed children", nullptr, nullptr, "<o:%1 xmlns:o=\"urn:o\">%2</o:%1>",
        "<o:%1 xmlns:o=\"urn:o\">%2</o:%1>", "<o:%1 xmlns:o=\"urn:o\"/>" },
    { "children in the service's namespace", nullptr, nullptr, "<ombrel:%1>%2</ombrel:%1>",
        "<ombrel:%1>%2</ombrel:%1>" },
    { "children in a default namespace", nullptr, nullptr, "<%1 xmlns=\"urn:o\">%2</%1>" },
    { "foreign type and mustUnderstand attributes", nullptr, nullptr,
        "<%1 xmlns:x=\"urn:x\" x:type=\"x:t\" x:mustUnderstand=\"1\">%2</%1>",
        "<%1 xmlns:x=\"urn:x\" x:type=\"x:t\">%2</%1>" },
    { "unknown elements in a namespace of their own", nullptr,
        "<ombrel:%1Response>%2</ombrel:%1Response><x:after xmlns:x=\"urn:x\"><x:in/></x:after>", nullptr,
        nullptr, nullptr, kForeign },
    { "unknown elements without a prefix", nullptr,
        "<ombrel:%1Response>%2<tail/></ombrel:%1Response><after><in>1</in></after>", nullptr, nullptr,
        nullptr, "<note a=\"1\"><in>n</in><logs/></note>" },
    { "whitespace, comments and processing instructions",
        "<?xml version=\"1.0\"?>\n<!-- c -->\n<?pi x?>\n<SOAP-ENV:Envelope"
        " xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"\n\t"
        " xmlns:ombrel=\"http://tempuri.org/ombrel.xsd\" >\n <!-- c -->\n <SOAP-ENV:Body >\n%1\n"
        " </SOAP-ENV:Body>\n</SOAP-ENV:Envelope >\n<!-- end -->\n",
        "\n<ombrel:%1Response\n>\n%2\n</ombrel:%1Response >\n", "<%1\n\t>%2</%1 >", "<%1\n>%2</%1\n>",
        "<%1 />", "\n <!-- between --> <?pi y?>\n" },
    { "CDATA", nullptr, nullptr, nullptr, nullptr, nullptr, "", Text::Cdata },
    { "character references", nullptr, nullptr, nullptr, nullptr, nullptr, "", Text::CharRefs },
    { "xsi:type and nil", nullptr, nullptr, nullptr, "<%1 xsi:type=\"xsd:string\">%2</%1>",
        "<%1 xsi:nil=\"true\"/>" },
    { "SOAP 1.2", kEnvelope12, nullptr, nullptr, nullptr, nullptr, "", Text::Escaped, Framing::Length, true },
    { "chunked", nullptr, nullptr, nullptr, nullptr, nullptr, "", Text::Escaped, Framing::Chunked },
    { "gzip", nullptr, nullptr, nullptr, nullptr, nullptr, "", Text::Escaped, Framing::Gzip },
    { "gzip, chunked", nullptr, nullptr, nullptr, nullptr, nullptr, kForeign, Text::Cdata,
        Framing::GzipChunked },
};

// Text that is markup when not escaped, a reference spelling included.
const QString kValue = QStringLiteral("<T>Job</T><Arg id=\"1\">v</Arg> & \u00e9 \"q\"");

QByteArray gzip(const QByteArray &plain)
{
    z_stream stream {};
    deflateInit2(&stream, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(plain.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(plain.constData()));
    stream.avail_in = uInt(plain.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(int(stream.total_out));
    deflateEnd(&stream);
    return out;
}

QByteArray fill(QByteArray pattern, const QByteArray &name, const QByteArray &content = QByteArray())
{
    return pattern.replace("%1", name).replace("%2", content);
}

class Writer
{
public:
    explicit Writer(const Variation &v)
        : m_v(v)
    { }

    QByteArray element(const QByteArray &name, const QByteArray &content) const
    {
        return number(name, m_v.between + content);
    }

    QByteArray number(const QByteArray &name, const QByteArray &digits) const
    {
        return fill(m_v.element ? m_v.element : "<%1>%2</%1>", name, digits);
    }

    QByteArray field(const QByteArray &name, const char *value) const
    {
        return field(name, QString::fromUtf8(value));
    }

    QByteArray field(const QByteArray &name, const QString &value) const
    {
        if (value.isEmpty())
            return fill(m_v.empty ? m_v.empty : "<%1/>", name);
        QByteArray text;
        switch (m_v.text) {
        case Text::Escaped:
            text = value.toHtmlEscaped().toUtf8();
            break;
        case Text::Cdata:
            text = "<![CDATA[" + value.toUtf8() + "]]>";
            break;
        case Text::CharRefs:
            for (const char32_t c : value.toUcs4())
                text += "&#" + QByteArray::number(quint32(c)) + ';';
            break;
        }
        return fill(m_v.field ? m_v.field : "<%1>%2</%1>", name, text);
    }

    QByteArray reply(const QByteArray &operation, const QList<QByteArray> &records) const
    {
        const QByteArray response
            = fill(m_v.response ? m_v.response : "<ombrel:%1Response>%2</ombrel:%1Response>", operation,
                m_v.between + records.join(m_v.between) + m_v.between);
        const QByteArray xml = fill(m_v.envelope ? m_v.envelope : kEnvelope11, response);
        QByteArray head = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: "
            + QByteArray(m_v.soap12 ? "application/soap+xml" : "text/xml") + "; charset=utf-8\r\n";
        QByteArray body = xml;
        if (m_v.framing == Framing::Gzip || m_v.framing == Framing::GzipChunked) {
            head += "Content-Encoding: gzip\r\n";
            body = gzip(xml);
        }
        if (m_v.framing == Framing::Length || m_v.framing == Framing::Gzip)
            return head + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        QByteArray chunks;
        for (int at = 0; at < body.size(); at += 61)
            chunks += QByteArray::number(qMin(61, int(body.size() - at)), 16) + "\r\n" + body.mid(at, 61)
                + "\r\n";
        return head + "Transfer-Encoding: chunked\r\n\r\n" + chunks + "0\r\n\r\n";
    }

private:
    const Variation &m_v;
};

// As the connection sets up a call.
struct soap *bounded(struct soap *soap)
{
    CallBounds::install(soap);
    CallBounds::boundEnvelope(soap, 5000, 1000);
    return soap;
}

QString q(const std::wstring &text)
{
    return WideText::toQString(text);
}

HostileServer::Reply raw(const QByteArray &http)
{
    HostileServer::Reply reply;
    reply.pieces.append({ http });
    return reply;
}

QString logLine(const ombrel::LoggedRecord &r)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6")
        .arg(r.recId)
        .arg(q(r.timeStamp), q(r.module), q(r.serverName), q(r.message), q(r.type));
}

QString progressLine(const ombrel::ProgressRecord &r)
{
    return QStringList { q(r.jobName), q(r.state), q(r.onHold), q(r.checkpoint) }.join(u'|');
}

QString jobLine(const ombrel::JobIdStatus &job)
{
    QString line = QStringLiteral("job ") + q(job.jobId);
    for (const ombrel::JobStatus &info : job.jobInfo)
        line += QStringLiteral("|%1|%2|%3").arg(q(info.jobName), q(info.fullUserName)).arg(info.jobSize);
    return line;
}

} // namespace

class TestRecordStream : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void validVariations_data();
    void validVariations();
    void referencesAreRefused_data();
    void referencesAreRefused();

private:
    HostileServer m_server;
};

void TestRecordStream::initTestCase()
{
    ServerTest::useShortTimeouts();
    QVERIFY(m_server.start());
}

void TestRecordStream::validVariations_data()
{
    QTest::addColumn<int>("row");
    for (int row = 0; row < int(std::size(kVariations)); ++row)
        QTest::newRow(kVariations[row].name) << row;
}

void TestRecordStream::validVariations()
{
    QFETCH(int, row);
    const Writer w(kVariations[row]);
    const char *stamp1 = "2026-01-01T00:00:00.000Z";
    const QByteArray logReplyBytes = w.reply("GetLogData07",
        { w.element("logs",
              w.number("recId", "7") + w.field("timeStamp", stamp1) + w.field("module", "M")
                  + w.field("serverName", "") + w.field("message", kValue) + w.field("type", "Info")),
            w.element(
                "logs", w.field("type", "Error") + w.field("message", "plain") + w.number("recId", "8")) });
    m_server.setReply(QStringLiteral("GetLogData07"), raw(logReplyBytes));
    m_server.setReply(QStringLiteral("GetProgressData"),
        raw(w.reply("GetProgressData",
            { w.element("logs",
                  w.field("jobName", "J1") + w.field("state", "Waiting") + w.field("onHold", "")
                      + w.field("checkpoint", kValue)),
                w.element("logs", w.field("jobName", "J2")) })));
    const QByteArray job1 = w.element("cpJobs",
        w.field("jobId", "j1")
            + w.element("jobInfo",
                w.field("jobName", kValue) + w.number("jobSize", "5") + w.field("fullUserName", "")));
    const QByteArray job2
        = w.element("cpJobs", w.field("jobId", "j2") + w.element("jobInfo", w.field("jobName", "B")));
    m_server.setReply(QStringLiteral("GetCheckPoints07"),
        raw(w.reply("GetCheckPoints07",
            { w.element("checkPoints",
                w.field("flowId", "F")
                    + w.element("checkPoints",
                        w.field("cpId", "k1") + w.field("cpName", kValue) + w.number("cpJobsCount", "2")
                            + job1 + job2)
                    + w.element("checkPoints", w.field("cpName", "") + w.field("cpId", "k2"))) })));

    const QStringList logs { QStringLiteral("7|2026-01-01T00:00:00.000Z|M||") + kValue
            + QStringLiteral("|Info"),
        QStringLiteral("8||||plain|Error") };
    const QStringList progress { QStringLiteral("J1|Waiting||") + kValue, QStringLiteral("J2|||") };
    const QStringList checkPoints { QStringLiteral("job j1|") + kValue + QStringLiteral("||5"),
        QStringLiteral("job j2|B||0"), QStringLiteral("cp k1|") + kValue, QStringLiteral("cp k2|"),
        QStringLiteral("flow F") };

    WireClient client(m_server.endpoint());
    struct soap *soap = client.soap();
    const char *endpoint = client.proxy().endpoint;
    QStringList read;
    QCOMPARE(RecordStream::getLogData07(bounded(soap), endpoint, L"",
                 [&](const ombrel::LoggedRecord &r) {
                     read << logLine(r);
                     return true;
                 }),
        SOAP_OK);
    QCOMPARE(read, logs);
    ombrel::ombrel__GetLogData07Response logReply;
    QCOMPARE(client().ombrel__GetLogData07(L"", logReply), SOAP_OK);
    read.clear();
    for (const auto &r : logReply.logs)
        read << logLine(r);
    QCOMPARE(read, logs);

    // The same reply from a buffer, as a fuzz run feeds it.
    std::istringstream bytes(logReplyBytes.toStdString());
    struct soap *buffered = soap_new();
    buffered->is = &bytes;
    read.clear();
    QCOMPARE(RecordStream::readLogData07(buffered,
                 [&](const ombrel::LoggedRecord &r) {
                     read << logLine(r);
                     return true;
                 }),
        SOAP_OK);
    QCOMPARE(read, logs);
    soap_destroy(buffered);
    soap_end(buffered);
    soap_free(buffered);

    read.clear();
    QCOMPARE(RecordStream::getProgressData(bounded(soap), endpoint, 1,
                 [&](const ombrel::ProgressRecord &r) {
                     read << progressLine(r);
                     return true;
                 }),
        SOAP_OK);
    QCOMPARE(read, progress);
    ombrel::ombrel__GetProgressDataResponse progressReply;
    QCOMPARE(client().ombrel__GetProgressData(1, progressReply), SOAP_OK);
    read.clear();
    for (const auto &r : progressReply.logs)
        read << progressLine(r);
    QCOMPARE(read, progress);

    read.clear();
    RecordStream::CheckPointTaker taker;
    taker.flowBegins = [] {};
    taker.checkPointBegins = [] {};
    taker.job = [&](const ombrel::JobIdStatus &job) {
        read << jobLine(job);
        return true;
    };
    taker.checkPointEnds = [&](const std::wstring &id, const std::wstring &name) {
        read << QStringLiteral("cp %1|%2").arg(q(id), q(name));
    };
    taker.flowEnds = [&](const std::wstring &id) { read << QStringLiteral("flow ") + q(id); };
    QCOMPARE(RecordStream::getCheckPoints07(bounded(soap), endpoint, { L"F" }, 1, taker), SOAP_OK);
    QCOMPARE(read, checkPoints);
    ombrel::ombrel__GetCheckPoints07Response checkPointReply;
    QCOMPARE(client().ombrel__GetCheckPoints07({ L"F" }, 1, checkPointReply), SOAP_OK);
    read.clear();
    for (const auto &flow : checkPointReply.checkPoints) {
        for (const auto &checkPoint : flow.checkPoints) {
            for (const auto &job : checkPoint.cpJobs)
                read << jobLine(job);
            read << QStringLiteral("cp %1|%2").arg(q(checkPoint.cpId), q(checkPoint.cpName));
        }
        read << QStringLiteral("flow ") + q(flow.flowId);
    }
    QCOMPARE(read, checkPoints);
    QCOMPARE(checkPointReply.checkPoints.at(0).checkPoints.at(0).cpJobsCount, 2);
}

void TestRecordStream::referencesAreRefused_data()
{
    QTest::addColumn<QByteArray>("href");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<bool>("soap12");

    QTest::newRow("plain") << QByteArray("href=\"#t\"") << QByteArray("id=\"t\"") << false;
    QTest::newRow("spaces around =") << QByteArray("href =\"#t\"") << QByteArray("id = \"t\"") << false;
    QTest::newRow("tabs around =") << QByteArray("href\t=\t'#t'") << QByteArray("id\t=\t't'") << false;
    QTest::newRow("no space between attributes")
        << QByteArray("a=\"1\"href=\"#t\"") << QByteArray("a='1'id=\"t\"") << false;
    QTest::newRow("unquoted attribute before")
        << QByteArray("a=1 href=\"#t\"") << QByteArray("a=1 id=\"t\"") << false;
    QTest::newRow("SOAP 1.2 ref") << QByteArray("ref=\"t\"") << QByteArray("id=\"t\"") << true;
}

void TestRecordStream::referencesAreRefused()
{
    QFETCH(QByteArray, href);
    QFETCH(QByteArray, id);
    QFETCH(bool, soap12);
    Variation v { "" };
    v.envelope = soap12 ? kEnvelope12 : kEnvelope11;
    v.soap12 = soap12;
    const Writer w(v);
    const QByteArray stamp = "<timeStamp>2026-01-01T00:00:00.000Z</timeStamp>";
    // A reference into a record read before, and one to a later element.
    m_server.setReply(QStringLiteral("GetLogData07"),
        raw(w.reply("GetLogData07",
            { "<logs " + id + ">" + stamp + "</logs>", "<logs><module " + href + "/></logs>",
                "<logs>" + stamp + "<message " + href + "/></logs><x " + id + ">y</x>" })));
    m_server.setReply(QStringLiteral("GetProgressData"),
        raw(w.reply("GetProgressData",
            { "<logs><jobName " + href + "/></logs>", "<jobName " + id + ">j</jobName>" })));
    m_server.setReply(QStringLiteral("GetCheckPoints07"),
        raw(w.reply("GetCheckPoints07",
            { "<checkPoints><flowId>F</flowId><checkPoints><cpJobs><jobId " + href
                + "/></cpJobs></checkPoints></checkPoints><cpJobs " + id + "><jobId>j</jobId></cpJobs>" })));
    // A list entry refers to another; two entries share an id.
    m_server.setReply(QStringLiteral("GetFlowList07"),
        raw(w.reply("GetFlowList07",
            { "<flowList><flowId>f1</flowId><flowName " + href + "/></flowList>",
                "<flowList><flowId " + id + ">f2</flowId></flowList>",
                "<flowList><flowId " + id + ">f3</flowId><flowName>x</flowName></flowList>" })));

    WireClient client(m_server.endpoint());
    struct soap *soap = client.soap();
    const char *endpoint = client.proxy().endpoint;
    int taken = 0;
    QCOMPARE(RecordStream::getLogData07(
                 bounded(soap), endpoint, L"", [&](const ombrel::LoggedRecord &) { return ++taken; }),
        SOAP_HREF);
    QCOMPARE(RecordStream::getProgressData(bounded(soap), endpoint, 1, [&](const auto &) { return ++taken; }),
        SOAP_HREF);
    RecordStream::CheckPointTaker taker;
    taker.flowBegins = taker.checkPointBegins = [] {};
    taker.job = [&](const ombrel::JobIdStatus &) { return ++taken; };
    taker.checkPointEnds = [](const std::wstring &, const std::wstring &) {};
    taker.flowEnds = [](const std::wstring &) {};
    QCOMPARE(RecordStream::getCheckPoints07(bounded(soap), endpoint, { L"F" }, 1, taker), SOAP_HREF);
    QCOMPARE(taken, 0);

    ombrel::ombrel__GetLogData07Response logs;
    QCOMPARE(client().ombrel__GetLogData07(L"", logs), SOAP_HREF);
    ombrel::ombrel__GetProgressDataResponse progress;
    QCOMPARE(client().ombrel__GetProgressData(1, progress), SOAP_HREF);
    ombrel::ombrel__GetCheckPoints07Response checkPoints;
    QCOMPARE(client().ombrel__GetCheckPoints07({ L"F" }, 1, checkPoints), SOAP_HREF);
    ombrel::ombrel__GetFlowList07Response flows;
    QCOMPARE(client().ombrel__GetFlowList07(flows), SOAP_HREF);
    QVERIFY(logs.logs.empty() && progress.logs.empty() && checkPoints.checkPoints.empty()
        && flows.flowList.empty());

    // Told as an unreadable answer; the next good reply is read.
    ServerProxy proxy;
    ServerConnection *connection = ServerTest::addConnection(proxy, m_server.port());
    QVERIFY(connection->connectToServer());
    LogBatch batch;
    QVERIFY(connection->getLogData(&batch).isEmpty());
    QCOMPARE(connection->fetchFailure(UpdateFlags::Messages),
        QStringLiteral("The server's answer could not be read: log messages"));
    m_server.setReply(QStringLiteral("GetLogData07"),
        raw(w.reply("GetLogData07", { "<logs>" + stamp + "</logs>", "<logs>" + stamp + "</logs>" })));
    QVERIFY(connection->connectToServer());
    QVERIFY(!connection->getLogData(&batch).isEmpty());
    QCOMPARE(batch.size(), 1);
    QVERIFY(connection->fetchFailure(UpdateFlags::Messages).isEmpty());
}

VORNEX_TEST_GUILESS_MAIN(TestRecordStream)
#include "tst_recordstream.moc"
