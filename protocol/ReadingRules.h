#pragma once

#include <stdsoap2.h>

// How replies are read where servers write them otherwise than our own
// binding does. The build puts these calls into the generated code
// (cmake/FixReaders.cmake).

// Readers of numbers and booleans: outside strict mode an element with no
// content reads as 0 or false, as servers send it for a value they have
// none of; anything else reads as the toolkit reads it.
int *vornex_inint(struct soap *soap, const char *tag, int *value, const char *type, int typeId);
LONG64 *vornex_inLONG64(struct soap *soap, const char *tag, LONG64 *value, const char *type, int typeId);
int vornex_s2bool(
    struct soap *soap, const char *text, bool *value, int (*convert)(struct soap *, const char *, bool *));

// Around the reading of a response element: true when the next element is
// `tag`, namespace included (nothing is consumed); its children are then
// matched by their local names whatever prefix they carry, until
// vornex_end_response().
bool vornex_begin_response(struct soap *soap, const char *tag);
void vornex_end_response(struct soap *soap);
