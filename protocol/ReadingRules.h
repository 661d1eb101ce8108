#pragma once

#include <stdsoap2.h>

// How replies are read where servers write them otherwise than our own
// binding does, and what is never read. The build puts these calls into
// the generated code (cmake/FixReaders.cmake): every element a generated
// reader, or a reader of the toolkit's that one calls, takes up passes
// through vornex_child() first.

// Before a reader takes up the next element as `tag`:
// - A child is matched by its local name whatever namespace its prefix is
//   bound to (the envelope's own excepted); `tag` is then set to null, so
//   that the toolkit takes the element as it stands.
// - An element it would take that carries an id or href (a SOAP-encoded
//   reference, which the service never uses) fails the reply with
//   SOAP_HREF, before the toolkit can record where the value goes: a
//   reference resolved later would write into a record that is gone.
// False, with the error set, when the reader must not run.
bool vornex_child(struct soap *soap, const char *&tag);

// soap_element_begin_in and soap_peek_element with the rules above; a
// peeked element with a reference is refused whatever its name.
int vornex_element_begin_in(struct soap *soap, const char *tag, int nillable, const char *type);
int vornex_peek_element(struct soap *soap);
// The binary reader's: an href that is not "#..." names a DIME attachment
// of this reply, which the toolkit resolves into the binary itself.
int vornex_attachment_begin_in(struct soap *soap, const char *tag, int nillable, const char *type);

// A reader of the toolkit's own (soap_instring, soap_inbyte, ...); its
// arguments are taken as its own parameters are typed (NULL included).
template <typename T> struct VornexAsIs
{
    using Type = T;
};
template <typename R, typename... P>
R *vornex_checked(R *(*read)(struct soap *, const char *, P...), struct soap *soap, const char *tag,
    typename VornexAsIs<P>::Type... args)
{
    return ::vornex_child(soap, tag) ? read(soap, tag, args...) : nullptr;
}

// Readers of numbers and booleans: outside strict mode an element with no
// content reads as 0 or false, as servers send it for a value they have
// none of; anything else reads as the toolkit reads it.
int *vornex_inint(struct soap *soap, const char *tag, int *value, const char *type, int typeId);
LONG64 *vornex_inLONG64(struct soap *soap, const char *tag, LONG64 *value, const char *type, int typeId);
int vornex_s2bool(
    struct soap *soap, const char *text, bool *value, int (*convert)(struct soap *, const char *, bool *));
