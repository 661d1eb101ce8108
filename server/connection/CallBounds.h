#pragma once

#include <QtGlobal>

struct soap;

// Limits of one SOAP call, whatever the server sends: an envelope call
// ends within its total time and reads at most a small reply; a streamed
// transfer has no total limit but fails when it stalls below a rate floor.
// Strings and inline binaries are bounded in every call. The limits are
// enforced in the context's send and receive hooks and, for a call that
// blocks inside one of them, by a watchdog that shuts its socket down.
namespace CallBounds {

enum class Breach {
    None,
    TimedOut, // an envelope call ran over its total time
    TooLarge, // the reply, or one value in it, was over its limit
    TooSlow, // a streamed transfer moved too little for too long
};

// Largest reply of a call without attachments, on the wire and unzipped,
// and largest single string or inline binary in any reply.
constexpr quint64 kEnvelopeBytes = 16u * 1024 * 1024;
// Tags in one such reply, start and end tags counted. Bytes alone do not
// bound memory: an empty element can cost the reader hundreds of bytes
// (about 300 measured for a job, together with the client's own copy).
constexpr quint64 kEnvelopeTags = 200000;
constexpr long kValueBytes = 4L * 1024 * 1024;
// A reply read record by record (log, progress and checkpoint data) is
// bounded by what the client keeps of it, a budget of kRecordBudget bytes
// (recordBudget()), and by kRecordReplyBytes on the wire; each stretch
// between two records is held to the envelope limits above.
constexpr quint64 kRecordBudget = 256u * 1024 * 1024;
constexpr quint64 kRecordReplyBytes = 1024u * 1024 * 1024;
// A call on a context that nobody bounded is an envelope call this long.
constexpr int kDefaultTotalMs = 60000;
// A streamed transfer must move at least this much in every window.
constexpr quint64 kRateFloorBytes = 1024;

// Once per context, right after it is made (the proxy factory does it).
// Each bound below holds for the next call; a call made without one gets
// the default envelope bound from the moment it connects.
void install(struct soap *soap);

// The next call on the context is an envelope call: from connecting to the
// end of the reply within totalMs, of which connecting at most connectMs.
void boundEnvelope(struct soap *soap, int totalMs, int connectMs);
// The next call streams an attachment: fewer than kRateFloorBytes moved in
// any windowMs fails it, and the attachment may be of any size. With
// replyMs > 0 the call sends the attachment and its reply, once it starts
// coming, is an envelope read within replyMs. Without, it receives one:
// what comes before attachmentOpened() is an envelope and bounded as one.
void boundStream(struct soap *soap, int windowMs, int connectMs, int replyMs = 0);
// Called by the DIME write-open callback: the streamed part begins, and
// with it a new rate window, so that the envelope's bytes do not carry a
// trickled attachment through its first window.
void attachmentOpened(struct soap *soap);

// The envelope call bounded last on the context reads its reply record by
// record: the reply may be up to kRecordReplyBytes and the envelope limits
// hold from one recordRead() to the next. The envelope limits count the
// reply as it is parsed (unzipped).
void allowRecords(struct soap *soap);
void recordRead(struct soap *soap);
// Ends the call as too large: its records are over the budget.
void refuse(struct soap *soap);
// The budget of one reply's records (tests make it small).
quint64 recordBudget();
void setRecordBudget(quint64 bytes);

// What ended the last call on the context, when a limit did. A value over
// the toolkit's string limit counts as TooLarge too.
Breach breach(const struct soap *soap);

} // namespace CallBounds
