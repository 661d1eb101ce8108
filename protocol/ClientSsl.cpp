#include "ClientSsl.h"

#include "SoapRuntime.h"

#include <QDir>
#include <QFile>

#include <stdsoap2.h>

#include <mutex>
#include <set>
#include <string>

namespace {

// gSOAP keeps the file name pointers it is given; keep each name alive for
// the life of the process (a program only ever uses one or two).
const char *keepForever(const QByteArray &text)
{
    static std::mutex mutex;
    static std::set<std::string> names;
    const std::lock_guard<std::mutex> lock(mutex);
    return names.insert(text.toStdString()).first->c_str();
}

} // namespace

namespace ClientSsl {

const char *const keyPassword = VORNEX_CLIENT_KEY_PASSWORD;

QString keyFile(const QString &programDir)
{
    return QDir(programDir).absoluteFilePath(QStringLiteral("ssl_client/client.pem"));
}

QString caFile(const QString &programDir)
{
    return QDir(programDir).absoluteFilePath(QStringLiteral("ssl_client/cacert.pem"));
}

int setup(struct soap *soap, const QString &programDir)
{
    if (!soap)
        return SOAP_EOM;
    SoapRuntime::initOnce();
    return soap_ssl_client_context(soap, SOAP_SSL_REQUIRE_SERVER_AUTHENTICATION | SOAP_SSL_SKIP_HOST_CHECK,
        keepForever(QFile::encodeName(keyFile(programDir))), keyPassword,
        keepForever(QFile::encodeName(caFile(programDir))), nullptr, nullptr);
}

} // namespace ClientSsl
