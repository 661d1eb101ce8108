#pragma once

#include <stdsoap2.h>

// Readers the generated binding calls for numbers and booleans (the build
// puts them in place of the toolkit's own). Outside strict mode an element
// with no content reads as 0 or false, as servers send it for a value
// they have none of; anything else reads as the toolkit reads it.
int *vornex_inint(struct soap *soap, const char *tag, int *value, const char *type, int typeId);
LONG64 *vornex_inLONG64(struct soap *soap, const char *tag, LONG64 *value, const char *type, int typeId);
int vornex_s2bool(
    struct soap *soap, const char *text, bool *value, int (*convert)(struct soap *, const char *, bool *));
