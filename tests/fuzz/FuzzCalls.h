#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// The client's reading entry points, each fed one reply from a ReplyPeer:
// the generated calls on a context made by the client's proxy factory
// (bounds and reading rules as in the client), the record readers with
// the client's conversions, and the cache-file reader.
namespace FuzzCalls {

// The ordinary calls, told apart by a number (any value is taken modulo
// their count); the reply is a whole HTTP response.
constexpr int kEnvelopeCalls = 12;
const char *envelopeCallName(int which);
void envelopeCall(int which, const QByteArray &reply);

// The three bulk calls read record by record, one after the other.
void recordCalls(const QByteArray &reply);

void cacheFile(const QByteArray &bytes);

// One input of a fuzz target: envelope calls take the first byte as the
// call's number and the rest as the reply.
enum class Target { Envelope, Records, Cache };
void runOne(Target target, const uint8_t *data, size_t size);
const char *targetName(Target target);

// Forwards the calls to a real server and keeps what it answered.
void relayTo(quint16 port);
QByteArray relayed();

} // namespace FuzzCalls
