#include "ReadingRules.h"

#include <cstring>

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

// The toolkit's tag matching, which may leave a code behind.
bool matches(struct soap *soap, const char *tag, const char *expected)
{
    const int error = soap->error;
    const bool match = soap_match_tag(soap, tag, expected) == SOAP_OK;
    soap->error = error;
    return match;
}

// The peeked element is `tag` by its local name, its prefix bound to any
// namespace but the envelope's.
bool byLocalName(struct soap *soap, const char *tag)
{
    if (!tag || !*tag || *tag == '-' || std::strchr(tag, ':'))
        return false;
    const char *colon = std::strchr(soap->tag, ':');
    return colon && std::strcmp(colon + 1, tag) == 0 && !matches(soap, soap->tag, "SOAP-ENV:");
}

// What the parser took as a reference on the peeked element, whatever the
// attribute's spelling; `attachment`: an href to a DIME attachment passes.
bool refuseReference(struct soap *soap, bool attachment)
{
    const bool href = *soap->href && !(attachment && *soap->href != '#');
    if (!*soap->id && !href)
        return false;
    soap->error = SOAP_HREF;
    return true;
}

bool child(struct soap *soap, const char *&tag, bool attachment)
{
    if (soap_peek_element(soap)) {
        // As the toolkit's reader would: "-" stands for no element.
        return soap->error == SOAP_NO_TAG && tag && *tag == '-';
    }
    if (byLocalName(soap, tag))
        tag = nullptr;
    else if (!matches(soap, soap->tag, tag))
        return true; // the reader tells its tag mismatch
    return !refuseReference(soap, attachment);
}

} // namespace

bool vornex_child(struct soap *soap, const char *&tag)
{
    return child(soap, tag, false);
}

int vornex_element_begin_in(struct soap *soap, const char *tag, int nillable, const char *type)
{
    if (!child(soap, tag, false))
        return soap->error;
    return soap_element_begin_in(soap, tag, nillable, type);
}

int vornex_attachment_begin_in(struct soap *soap, const char *tag, int nillable, const char *type)
{
    if (!child(soap, tag, true))
        return soap->error;
    return soap_element_begin_in(soap, tag, nillable, type);
}

int vornex_peek_element(struct soap *soap)
{
    if (soap_peek_element(soap))
        return soap->error;
    return refuseReference(soap, false) ? soap->error : SOAP_OK;
}

int *vornex_inint(struct soap *soap, const char *tag, int *value, const char *type, int typeId)
{
    if (!vornex_child(soap, tag))
        return nullptr;
    return readOrZero(soap, value, [&] { return soap_inint(soap, tag, value, type, typeId); });
}

LONG64 *vornex_inLONG64(struct soap *soap, const char *tag, LONG64 *value, const char *type, int typeId)
{
    if (!vornex_child(soap, tag))
        return nullptr;
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
