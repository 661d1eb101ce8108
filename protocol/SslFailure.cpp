#include "SslFailure.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <stdsoap2.h>

#include <cstring>

namespace SslFailure {

bool certificateRejected(struct soap *soap)
{
    if (!soap || soap->error != SOAP_SSL_ERROR)
        return false;
    // gSOAP empties OpenSSL's error queue into the fault text, in OpenSSL's
    // own wording; the verification failure is told by its error code.
    const char *text = soap_fault_string(soap);
    if (!text)
        return false;
    char code[256] = {};
    ERR_error_string_n(ERR_PACK(ERR_LIB_SSL, 0, SSL_R_CERTIFICATE_VERIFY_FAILED), code, sizeof code);
    return std::strstr(text, code) != nullptr;
}

} // namespace SslFailure
