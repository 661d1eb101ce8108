// The small helpers beside the generated binding: text conversion, the DIME
// options block, the SSL client set-up and the process-wide start.
#include "ClientSsl.h"
#include "DimeOption.h"
#include "SoapRuntime.h"
#include "TestEnv.h"
#include "WideText.h"

#include <QDir>
#include <QTemporaryDir>

#include <stdsoap2.h>

#include <csignal>

class ProtocolHelpersTest : public QObject
{
    Q_OBJECT

private slots:
    // First: nothing else may have started the runtime before it.
    void runtimeStart();
    void wideTextRoundTrip_data();
    void wideTextRoundTrip();
    void wideTextRepairs();
    void dimeOption();
    void clientSsl();
};

void ProtocolHelpersTest::wideTextRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("codePoints");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("ascii") << QStringLiteral("Job 1.pdf") << 9;
    QTest::newRow("accents and cjk") << QStringLiteral("\u00e9t\u00e9 \u4e2d\u6587") << 6;
    QTest::newRow("outside the BMP") << QStringLiteral("a\U0001F600b") << 3;
    QTest::newRow("tab and line breaks") << QStringLiteral("a\tb\nc\r") << 6;
}

void ProtocolHelpersTest::wideTextRoundTrip()
{
    QFETCH(QString, text);
    QFETCH(int, codePoints);
    const std::wstring wide = WideText::fromQString(text);
    QCOMPARE(static_cast<int>(wide.size()), codePoints);
    QCOMPARE(WideText::toQString(wide), text);
}

void ProtocolHelpersTest::wideTextRepairs()
{
    // What XML cannot carry does not reach a request.
    const QString lone = QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b");
    QCOMPARE(WideText::fromQString(lone), std::wstring(L"a\uFFFDb"));
    QCOMPARE(WideText::fromQString(QStringLiteral("x\u0001y")), std::wstring(L"x\uFFFDy"));
    QCOMPARE(WideText::fromQString(QString(QChar(0xFFFE))), std::wstring(L"\uFFFD"));
    // Values no character has become the replacement character.
    std::wstring bad;
    bad.push_back(static_cast<wchar_t>(0x110000));
    bad.push_back(static_cast<wchar_t>(0xDC00));
    bad.push_back(L'z');
    QCOMPARE(WideText::toQString(bad), QStringLiteral("\uFFFD\uFFFDz"));
}

void ProtocolHelpersTest::dimeOption()
{
    struct soap *soap = soap_new();
    const char *options = DimeOption::make(soap, 0, "My Submit");
    QVERIFY(options);
    const QByteArray expected("\0\0\0\x09My Submit\0", 14);
    QCOMPARE(QByteArray(options, 14), expected);
    QCOMPARE(DimeOption::text(options), QByteArray("My Submit"));

    const char *typed = DimeOption::make(soap, 0x1234, "My Replace");
    QCOMPARE(QByteArray(typed, 4), QByteArray("\x12\x34\x00\x0a", 4));
    QCOMPARE(DimeOption::text(typed), QByteArray("My Replace"));

    QVERIFY(!DimeOption::make(soap, 0, nullptr));
    QVERIFY(!DimeOption::make(nullptr, 0, "x"));
    QVERIFY(!DimeOption::make(soap, 0, QByteArray(70000, 'x').constData()));
    QVERIFY(DimeOption::text(nullptr).isEmpty());
    // A length that runs past the text's end is not believed.
    QVERIFY(DimeOption::text(QByteArray("\0\0\0\x20short\0", 10).constData()).isEmpty());
    soap_end(soap);
    soap_free(soap);
}

void ProtocolHelpersTest::clientSsl()
{
    const QString bin = TestEnv::binDir();
    QCOMPARE(ClientSsl::keyFile(bin), QDir(bin).absoluteFilePath(QStringLiteral("ssl_client/client.pem")));
    QCOMPARE(ClientSsl::caFile(bin), QDir(bin).absoluteFilePath(QStringLiteral("ssl_client/cacert.pem")));

    // The build's test key opens with the client's password...
    // (A context is released whole: the error of a failed set-up lives in
    // memory that only soap_end gives back.)
    const auto release = [](struct soap *soap) {
        soap_destroy(soap);
        soap_end(soap);
        soap_free(soap);
    };
    struct soap *soap = soap_new();
    QCOMPARE(ClientSsl::setup(soap, bin), SOAP_OK);
    release(soap);

    // ...and a program without its files gets an error, not a crash.
    QTemporaryDir empty;
    soap = soap_new();
    QVERIFY(ClientSsl::setup(soap, empty.path()) != SOAP_OK);
    release(soap);

    QCOMPARE(ClientSsl::setup(nullptr, bin), SOAP_EOM);

    // The shared context: made once, then handed to every context; one
    // that cannot be made is tried again each time and reported.
    for (int round = 0; round < 2; ++round) {
        soap = soap_new();
        QCOMPARE(ClientSsl::setupShared(soap, bin), SOAP_OK);
        QVERIFY(soap->ctx);
        release(soap);
        soap = soap_new();
        QVERIFY(ClientSsl::setupShared(soap, empty.path()) != SOAP_OK);
        release(soap);
    }
}

void ProtocolHelpersTest::runtimeStart()
{
    std::signal(SIGPIPE, SIG_DFL);
    SoapRuntime::initOnce();
    struct sigaction action = {};
    sigaction(SIGPIPE, nullptr, &action);
    QVERIFY(action.sa_handler == SIG_IGN);
    // Once per process: a second call changes nothing.
    std::signal(SIGPIPE, SIG_DFL);
    SoapRuntime::initOnce();
    sigaction(SIGPIPE, nullptr, &action);
    QVERIFY(action.sa_handler == SIG_DFL);
    std::signal(SIGPIPE, SIG_IGN);
}

VORNEX_TEST_GUILESS_MAIN(ProtocolHelpersTest)

#include "tst_protocolhelpers.moc"
