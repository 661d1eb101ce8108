// vornex-testserver: the test workflow server as a program, for trying the
// client by hand (--demo) and for server authors to look at.
#include "LocalRegistration.h"
#include "ScaleData.h"
#include "Server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <csignal>
#include <cstdio>
#include <pthread.h>

int main(int argc, char *argv[])
{
    // SIGINT and SIGTERM are taken by sigwait below, in this thread only:
    // block them before any server thread exists.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vornex-testserver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Workflow server for tests and demos, on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption demo(QStringLiteral("demo"), QStringLiteral("Load the demo data set."));
    const QCommandLineOption port(QStringLiteral("port"),
        QStringLiteral("Port to listen on (0: any free one)."), QStringLiteral("port"),
        QStringLiteral("51008"));
    const QCommandLineOption https(QStringLiteral("https"), QStringLiteral("Serve HTTPS instead of HTTP."));
    const QCommandLineOption noClientCert(QStringLiteral("no-client-certificate"),
        QStringLiteral("With --https, do not ask for a client certificate."));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User name clients must send."),
        QStringLiteral("name"), QStringLiteral("user"));
    const QCommandLineOption password(QStringLiteral("password"),
        QStringLiteral("Password clients must send."), QStringLiteral("password"), QString());
    const QCommandLineOption workDir(QStringLiteral("work-dir"),
        QStringLiteral("Folder for uploads and demo files (default: temporary)."), QStringLiteral("folder"));
    const QCommandLineOption sslDir(QStringLiteral("ssl-dir"),
        QStringLiteral("Folder with server.pem and cacert.pem (default: "
                       "ssl_testserver beside the program)."),
        QStringLiteral("folder"));
    const QCommandLineOption registerDir(QStringLiteral("register"),
        QStringLiteral("Announce the server as one installed on this machine, with system-wide "
                       "settings in this folder (give clients XDG_CONFIG_DIRS starting with it)."),
        QStringLiteral("folder"));
    const QCommandLineOption generate(QStringLiteral("generate"),
        QStringLiteral("Load a busy server's data of this size instead: "
                       "flows,checkpoints,jobs,logrecords,progressrecords (e.g. 20,200,20000,200000,20000)."),
        QStringLiteral("sizes"));
    parser.addOptions({ demo, generate, port, https, noClientCert, user, password, workDir, sslDir, registerDir });
    parser.process(app);

    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    if (!portOk || portNumber > 65535) {
        std::fprintf(stderr, "vornex-testserver: bad port '%s'\n", qPrintable(parser.value(port)));
        return 2;
    }

    testserver::ScaleData::Size scale;
    if (parser.isSet(generate) && !testserver::ScaleData::parseSize(parser.value(generate), &scale)) {
        std::fprintf(stderr, "vornex-testserver: bad sizes '%s'\n", qPrintable(parser.value(generate)));
        return 2;
    }

    testserver::Options options;
    options.port = static_cast<quint16>(portNumber);
    options.https = parser.isSet(https);
    options.requireClientCertificate = !parser.isSet(noClientCert);
    options.user = parser.value(user);
    options.password = parser.value(password);
    options.workDir = parser.value(workDir);
    options.sslDir = parser.isSet(sslDir)
        ? parser.value(sslDir)
        : QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("ssl_testserver"));
    testserver::Server server;
    if (!server.start(options)) {
        std::fprintf(stderr, "vornex-testserver: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    if (parser.isSet(demo))
        server.loadDemoData();
    else if (parser.isSet(generate))
        testserver::ScaleData::make(scale).loadInto(server);
    testserver::LocalRegistration registration;
    if (parser.isSet(registerDir)) {
        if (!registration.announce(parser.value(registerDir), server.port())) {
            std::fprintf(stderr, "vornex-testserver: %s\n", qPrintable(registration.errorString()));
            server.stop();
            return 1;
        }
        std::printf("announced as a local server: %s\n", qPrintable(registration.settingsFile()));
    }
    std::printf("vornex-testserver listening on %s (user \"%s\")\n", server.endpoint().constData(),
        qPrintable(options.user));
    std::printf("port %u\n", static_cast<unsigned>(server.port()));
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    std::printf("vornex-testserver stopping (signal %d)\n", received);
    registration.withdraw();
    server.stop();
    return 0;
}
