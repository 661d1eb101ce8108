#include "DimeOption.h"

#include <stdsoap2.h>

#include <cstring>

namespace DimeOption {

char *make(struct soap *soap, unsigned short type, const char *text)
{
    if (!soap || !text || std::strlen(text) > 0xFFFF)
        return nullptr;
    return soap_dime_option(soap, type, text);
}

QByteArray text(const char *options)
{
    if (!options)
        return {};
    const auto *bytes = reinterpret_cast<const unsigned char *>(options);
    const int length = (bytes[2] << 8) | bytes[3];
    // A well-formed block ends with the zero after the text; a shorter
    // block stops at an earlier zero, which strnlen finds.
    if (qstrnlen(options + 4, length) != static_cast<uint>(length))
        return {};
    return QByteArray(options + 4, length);
}

} // namespace DimeOption
