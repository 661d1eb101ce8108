#include "ReadingRules.h"

namespace {

template <typename T, typename Read> T *readOrZero(struct soap *soap, T *value, Read read)
{
    T *const given = value;
    T *read_ = read();
    // The toolkit has consumed the element when it finds it empty.
    if (!read_ && given && soap->error == SOAP_EMPTY && !(soap->mode & SOAP_XML_STRICT)) {
        *given = 0;
        soap->error = SOAP_OK;
        return given;
    }
    return read_;
}

} // namespace

int *vornex_inint(struct soap *soap, const char *tag, int *value, const char *type, int typeId)
{
    return readOrZero(soap, value, [&] { return soap_inint(soap, tag, value, type, typeId); });
}

LONG64 *vornex_inLONG64(struct soap *soap, const char *tag, LONG64 *value, const char *type, int typeId)
{
    return readOrZero(soap, value, [&] { return soap_inLONG64(soap, tag, value, type, typeId); });
}

int vornex_s2bool(
    struct soap *soap, const char *text, bool *value, int (*convert)(struct soap *, const char *, bool *))
{
    if (text && !*text && !(soap->mode & SOAP_XML_STRICT)) {
        *value = false;
        return SOAP_OK;
    }
    return convert(soap, text, value);
}

bool vornex_begin_response(struct soap *soap, const char *tag)
{
    if (soap_element_begin_in(soap, tag, 0, nullptr))
        return false;
    soap_revert(soap);
    soap->mode |= SOAP_XML_IGNORENS;
    return true;
}

void vornex_end_response(struct soap *soap)
{
    soap->mode = (soap->mode & ~SOAP_XML_IGNORENS) | (soap->imode & SOAP_XML_IGNORENS);
}
