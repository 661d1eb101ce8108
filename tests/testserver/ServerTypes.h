#pragma once

#include "Operation.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// Plain data the test workflow server holds and reports, in the shapes
// tests find convenient (Qt types, not the generated message classes).
namespace testserver {

struct MetadataField
{
    QString label;
    QString description;
    QString dataType;
    QString dataFormat;
    bool valueIsRequired = false;
    bool rememberLastValue = false;
    QString value;
};

struct DisplayField
{
    QString label;
    QString description;
    QString dataType;
    QString value;
};

struct OutgoingConnection
{
    QString id;
    QString name;
};

// What a download sends: a file or folder packed on the fly, or a ready
// stream (for instance a hostile one made by HostilePackages).
struct Package
{
    enum Kind { None, Path, Bytes };

    Kind kind = None;
    QString path;
    QByteArray bytes;

    static Package fromPath(const QString &path) { return { Path, path, QByteArray() }; }
    static Package fromBytes(const QByteArray &bytes) { return { Bytes, QString(), bytes }; }
    bool isSet() const { return kind != None; }
};

struct Job
{
    QString id;
    QString name;
    QString reportName;
    QString fullUserName;
    qint64 size = -1; // -1: the size of the job's package
    QString submitTime;
    QString waitingTime;
    bool allowMultipleOutputs = false;
    bool enableReportViewing = false;
    bool allowReplacing = false;
    QList<OutgoingConnection> connections;
    QList<DisplayField> metadata;
    bool requiresMetadata = false;
    QList<MetadataField> requiredMetadata;
    Package package;
    Package report;
};

struct SubmitPoint
{
    QString id;
    QString name;
    QList<MetadataField> metadata;
};

struct CheckPoint
{
    QString id;
    QString name;
    QList<Job> jobs;
};

struct Flow
{
    QString id;
    QString name;
    int state = 1;
    QList<SubmitPoint> submitPoints;
    QList<CheckPoint> checkPoints;
};

struct LogEntry
{
    int recId = 0; // 0: the server numbers it
    QString timeStamp; // "yyyy-MM-ddThh:mm:ss.zzzZ", UTC
    QString module;
    QString serverName;
    QString flowName;
    QString jobName;
    QString message;
    QString type;
};

struct ProgressEntry
{
    QString fullUserName;
    QString jobName;
    QString serverName;
    QString flowName;
    QString submitPoint;
    QString submittedTime;
    QString state;
    QString enteredState;
    QString onHold;
    QString checkpoint;
};

struct PushRequest
{
    QList<MetadataField> requiredMetadata;
    QStringList connectionIds;
    QString jobName;
};

// One submission or replacement as the server received it.
struct Upload
{
    Operation operation = Operation::Unknown;
    QString user;
    QString flowId;
    QString targetId; // submit point or checkpoint
    QString jobId; // replacements
    QString jobName; // submissions
    QString fileName; // replacements
    QList<MetadataField> metadata;
    PushRequest jobInfo;
    qint64 fullSubmitSize = -1; // -1 for the operations without it
    qint64 bytesReceived = 0;
    bool viaAttachment = false;
    bool complete = false; // a valid, whole package of the announced size
    QByteArray attachmentType;
    QByteArray optionsText;
    QByteArray contentEncoding;
    QString folder; // where the package was unpacked
    QString mainFile;
    QByteArray sha256; // hex, raw mode only
    QString error;
    bool accepted = false; // the server answered success
};

struct Push
{
    QString flowId;
    QString checkPointId;
    QString jobId;
    PushRequest request;
    bool accepted = false;
};

// One request as it reached the server, for assertions.
struct JournalEntry
{
    int request = 0; // serial number of the request
    int connection = 0; // serial number of the connection it came on
    QString operation; // local name of the request element
    QMap<QString, QString> arguments; // "flowId", "inEntry.jobName", "flowIds[1]", ...
    bool hasSoapAction = false;
    QByteArray soapAction; // raw header value, quotes included
    QByteArray authorization;
    QString user;
    QString password;
    QByteArray contentType;
    QByteArray contentEncoding;
    QByteArray transferEncoding;
    bool secure = false;
    QString peer;
};

// A misbehaviour injected into the calls of one operation.
struct Fault
{
    enum Kind {
        None,
        SenderFault, // SOAP Fault, code Client
        ReceiverFault, // SOAP Fault, code Server
        Delay, // answer normally after delayMs
        Hang, // read the request and never answer
        DropRequest, // close the connection after `bytes` bytes of the request
        DropReply, // close the connection after `bytes` bytes of the reply
        RenameResult, // the result child comes under the name `text`
        OmitResult, // the response carries no result child
        InlinePayload, // downloads: the package inline as base64
        EmptyPayload, // downloads: an empty payload element
        RawBody, // `text` is the whole content of the SOAP Body
        ThrottleRequest, // read the request at `bytes` bytes per second
        StallRequest, // stop reading the request after `bytes` bytes, until released
        HttpStatus, // carry the call out, then answer HTTP status `bytes` with the body `text`
    };

    Kind kind = None;
    int delayMs = 0;
    qint64 bytes = 0;
    QString text;
    int remaining = -1; // calls it still applies to; -1: every call

    static Fault senderFault(const QString &text = QStringLiteral("Refused by the test server"));
    static Fault receiverFault(const QString &text = QStringLiteral("Failed in the test server"));
    static Fault delay(int ms);
    static Fault hang();
    static Fault dropRequestAfter(qint64 bytes);
    static Fault dropReplyAfter(qint64 bytes);
    static Fault renameResult(const QString &name);
    static Fault omitResult();
    static Fault inlinePayload();
    static Fault emptyPayload();
    static Fault rawBody(const QString &xml);
    static Fault throttleRequest(qint64 bytesPerSecond);
    static Fault stallRequestAfter(qint64 bytes);
    // After the call was carried out: an HTTP error, or status 200 with a
    // body that is not SOAP at all.
    static Fault httpStatus(int status, const QString &body = QStringLiteral("Internal error"));

    // Limits the fault to the next n calls.
    Fault &times(int n)
    {
        remaining = n;
        return *this;
    }
};

struct Options
{
    quint16 port = 0; // 0: any free port (always on 127.0.0.1)
    bool https = false;
    // With https: a connection that does not open with a TLS handshake is
    // served as plain HTTP on the same port.
    bool plainToo = false;
    bool requireClientCertificate = true;
    QString sslDir; // server.pem and cacert.pem; default: "ssl_testserver" in VORNEX_BIN_DIR
    QString user = QStringLiteral("user");
    QString password;
    // Further users the server takes, name -> password.
    QMap<QString, QString> moreUsers;
    QString workDir; // uploads land here; default: a fresh temporary folder, removed by stop()
    // Uploads are unpacked as packages. In raw mode the server only counts
    // and hashes the bytes and takes any stream of the announced size
    // (transport tests, benchmarks).
    bool rawUploads = false;
    int ioTimeoutSeconds = 60;
};

} // namespace testserver
