#include "ClientSsl.h"

#include "SoapRuntime.h"

#include <QDir>
#include <QFile>

#include <openssl/ssl.h>
#include <stdsoap2.h>

#include <map>
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

constexpr unsigned short clientFlags = SOAP_SSL_REQUIRE_SERVER_AUTHENTICATION | SOAP_SSL_SKIP_HOST_CHECK;

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
    return soap_ssl_client_context(soap, clientFlags, keepForever(QFile::encodeName(keyFile(programDir))),
        keyPassword, keepForever(QFile::encodeName(caFile(programDir))), nullptr, nullptr);
}

int setupShared(struct soap *soap, const QString &programDir)
{
    if (!soap)
        return SOAP_EOM;
    SoapRuntime::initOnce();
    // Reading the trusted certificates and the key takes a noticeable
    // fraction of a second; the finished OpenSSL context is read-only and
    // may serve any number of connections in any thread.
    static std::mutex mutex;
    struct Shared
    {
        SSL_CTX *ctx;
        unsigned short flags;
    };
    // By program folder; never destroyed, as contexts may still be
    // released during static destruction.
    static auto *contexts = new std::map<QString, Shared>;
    const std::lock_guard<std::mutex> lock(mutex);
    auto it = contexts->find(programDir);
    if (it == contexts->end()) {
        struct soap *maker = soap_new();
        if (!maker)
            return SOAP_EOM;
        const int rc = setup(maker, programDir);
        SSL_CTX *made = rc == SOAP_OK ? maker->ctx : nullptr;
        const unsigned short flags = maker->ssl_flags;
        if (made)
            SSL_CTX_up_ref(made);
        // A failed set-up leaves its fault details in the context.
        soap_destroy(maker);
        soap_end(maker);
        soap_free(maker);
        if (!made) {
            // Not kept: the next proxy tries again and fails the same way
            // as a context of its own would.
            return setup(soap, programDir);
        }
        it = contexts->emplace(programDir, Shared { made, flags }).first;
    }
    // The context frees its reference when it goes.
    SSL_CTX_up_ref(it->second.ctx);
    soap->ctx = it->second.ctx;
    soap->ssl_flags = it->second.flags;
    soap->keyfile = keepForever(QFile::encodeName(keyFile(programDir)));
    soap->password = keyPassword;
    soap->cafile = keepForever(QFile::encodeName(caFile(programDir)));
    return SOAP_OK;
}

} // namespace ClientSsl
