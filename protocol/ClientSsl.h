#pragma once

#include <QString>

struct soap;

// The client side of HTTPS: the client certificate with its sealed private
// key and the trusted CA, both in "ssl_client" beside the program.
namespace ClientSsl {

// Password of the private key in "ssl_client/client.pem".
extern const char *const keyPassword;

QString keyFile(const QString &programDir);
QString caFile(const QString &programDir);

// Sets up the context for HTTPS calls: the server must present a
// certificate signed by the CA (its host name is not checked), and the
// client presents its own. Returns the gSOAP error code; missing or bad
// files also show later as failing calls.
int setup(struct soap *soap, const QString &programDir);

// The same, with one OpenSSL context per program folder for the whole
// process, made on first use and shared by every context set up here.
int setupShared(struct soap *soap, const QString &programDir);

} // namespace ClientSsl
