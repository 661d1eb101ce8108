// The one definition of the global XML namespace table that the gSOAP
// runtime looks up by name.
#include "Service.nsmap"
