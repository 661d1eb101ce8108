#pragma once

#include <QByteArray>

struct soap;

// The options field of a DIME record: two bytes option type, two bytes text
// length (both big-endian), the text and a terminating zero.
namespace DimeOption {

// The block in memory owned by the context (freed with soap_end); null
// for a null text, a text longer than 65535 bytes or when memory runs out.
char *make(struct soap *soap, unsigned short type, const char *text);

// The text of a block as make() builds it or gSOAP hands it to a DIME
// callback (at least four bytes); empty for a null or malformed block.
QByteArray text(const char *options);

} // namespace DimeOption
