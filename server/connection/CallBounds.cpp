#include "CallBounds.h"

#include <stdsoap2.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace CallBounds {

namespace {

const char kPluginId[] = "vornex-call-bounds";

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Streamed sends go out in pieces that grow while the peer keeps up, so
// that a slow peer's progress is counted before a window ends.
constexpr size_t kFirstPiece = 4096;

enum class Mode {
    Unbounded,
    Envelope,
    Stream,
    StreamReply, // the envelope reply after a streamed upload
};

// Follows the markup of a reply across the pieces it comes in and counts
// its tags; quoted attribute values are passed over whole.
class Markup
{
public:
    void feed(const char *data, size_t length)
    {
        bytes += length;
        const char *end = data + length;
        while (data < end) {
            if (m_at == At::Text) {
                const void *open = std::memchr(data, '<', size_t(end - data));
                if (!open)
                    return;
                data = static_cast<const char *>(open);
            }
            step(*data++);
        }
    }

    quint64 bytes = 0;
    quint64 tags = 0;

private:
    enum class At { Text, TagStart, Tag, Value, Other };

    void step(char c)
    {
        switch (m_at) {
        case At::Text:
            if (c == '<') {
                ++tags;
                m_at = At::TagStart;
            }
            return;
        case At::TagStart:
            // Comments, CDATA and processing instructions carry no
            // attributes that count.
            m_at = c == '!' || c == '?' ? At::Other : At::Tag;
            return;
        case At::Other:
            if (c == '>')
                m_at = At::Text;
            return;
        case At::Tag:
            if (c == '>') {
                m_at = At::Text;
            } else if (c == '"' || c == '\'') {
                m_at = At::Value;
                m_quote = c;
            }
            return;
        case At::Value:
            if (c == m_quote)
                m_at = At::Tag;
            return;
        }
    }

    At m_at = At::Text;
    char m_quote = 0;
};

struct State
{
    size_t (*recv)(struct soap *, char *, size_t) = nullptr;
    int (*send)(struct soap *, const char *, size_t) = nullptr;
    SOAP_SOCKET (*open)(struct soap *, const char *, const char *, int) = nullptr;
    // A bound was set for the next connection; one opened without gets
    // the default bound.
    bool armed = false;

    std::mutex mutex;
    Mode mode = Mode::Unbounded;
    Clock::time_point deadline;
    quint64 limit = 0; // bytes of the reply; 0 for none
    quint64 received = 0;
    milliseconds window { 60000 };
    int replyMs = 0;
    Clock::time_point windowStart;
    quint64 moved = 0;
    quint64 movedAtWindowStart = 0;
    size_t piece = kFirstPiece;
    // The longest run of bytes without markup in the envelope so far.
    quint64 text = 0;
    quint64 longestText = 0;
    quint64 tags = 0;
    // Read record by record: the limits hold between two records.
    bool records = false;
    quint64 receivedAtRecord = 0;
    quint64 tagsAtRecord = 0;
    // The reply as the parser gets it (unzipped): its bytes and tags since
    // the last record.
    int (*prepare)(struct soap *, const char *, size_t) = nullptr;
    Markup markup;
    quint64 plainBytesAtRecord = 0;
    quint64 plainTagsAtRecord = 0;
    Breach breach = Breach::None;
    // Set while the owning thread is inside the send or receive hook, so
    // the watchdog shuts down only a socket that cannot be closed meanwhile.
    int ioSocket = SOAP_INVALID_SOCKET;
    Clock::time_point ioStart;
};

// gSOAP reads a negative timeout as microseconds.
int microseconds(qint64 ms)
{
    return int(-std::max<qint64>(ms, 1) * 1000);
}

// Until the deadline and just past it, so that a wait that ends finds the
// deadline passed.
int microsecondsUntil(Clock::time_point deadline, Clock::time_point now)
{
    const qint64 left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count();
    return int(-std::max<qint64>(left + 1000, 1000));
}

void noteText(State &s, const char *data, size_t length)
{
    while (length > 0) {
        const void *markup = std::memchr(data, '<', length);
        if (!markup) {
            s.text += length;
            break;
        }
        const size_t before = size_t(static_cast<const char *>(markup) - data);
        ++s.tags;
        s.longestText = std::max(s.longestText, s.text + before);
        s.text = 0;
        data += before + 1;
        length -= before + 1;
    }
    s.longestText = std::max(s.longestText, s.text);
}

// Whole seconds where they fit: the TLS handshake counts its retries from
// a timeout in seconds.
int connectTimeout(int ms)
{
    return ms % 1000 == 0 ? ms / 1000 : microseconds(ms);
}

// The limit this moment breaks, if any; a window that passed above the
// floor starts the next one.
Breach advance(State &s, Clock::time_point now)
{
    switch (s.mode) {
    case Mode::Unbounded:
        return Breach::None;
    case Mode::Envelope:
    case Mode::StreamReply:
        return now >= s.deadline ? Breach::TimedOut : Breach::None;
    case Mode::Stream:
        if (now - s.windowStart < s.window)
            return Breach::None;
        if (s.moved - s.movedAtWindowStart < kRateFloorBytes)
            return Breach::TooSlow;
        s.windowStart = now;
        s.movedAtWindowStart = s.moved;
        return Breach::None;
    }
    return Breach::None;
}

std::atomic<quint64> budget { kRecordBudget };

// Calls inside a send or receive hook, over all contexts.
std::atomic<int> callsInIo { 0 };

// Polls the contexts that wait inside a hook: a call blocked in the TLS
// layer or in one long send is ended here when it runs out of bounds.
// Sleeps while no call is inside one.
class Watchdog
{
public:
    static Watchdog &instance()
    {
        // Lives for the process: contexts may go during static destruction.
        static Watchdog *watchdog = new Watchdog;
        return *watchdog;
    }

    void add(State *state)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_states.push_back(state);
    }

    void remove(State *state)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_states.erase(std::remove(m_states.begin(), m_states.end(), state), m_states.end());
    }

    void wake()
    {
        const std::lock_guard<std::mutex> lock(m_wakeMutex);
        m_wake.notify_one();
    }

private:
    Watchdog()
    {
        std::thread([this] { run(); }).detach();
    }

    [[noreturn]] void run()
    {
        for (;;) {
            {
                std::unique_lock<std::mutex> idle(m_wakeMutex);
                m_wake.wait(idle, [] { return callsInIo > 0; });
            }
            std::this_thread::sleep_for(milliseconds(100));
            const std::lock_guard<std::mutex> lock(m_mutex);
            const Clock::time_point now = Clock::now();
            for (State *state : m_states) {
                const std::lock_guard<std::mutex> stateLock(state->mutex);
                if (state->ioSocket == SOAP_INVALID_SOCKET || state->breach != Breach::None)
                    continue;
                const Breach breach = advance(*state, now);
                if (breach == Breach::None)
                    continue;
                state->breach = breach;
                ::shutdown(state->ioSocket, SHUT_RDWR);
            }
        }
    }

    std::mutex m_mutex;
    std::vector<State *> m_states;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
};

State *stateOf(const struct soap *soap)
{
    return static_cast<State *>(soap_lookup_plugin(const_cast<struct soap *>(soap), kPluginId));
}

// Under the state's mutex, before one transfer of the hooks: false when
// the call is already out of bounds. Sets the socket timeouts so that a
// peer that sends nothing is given up on at the bound.
bool beginIo(State &s, struct soap *soap)
{
    if (s.breach != Breach::None)
        return false;
    const Clock::time_point now = Clock::now();
    s.breach = advance(s, now);
    if (s.breach != Breach::None)
        return false;
    if (s.mode == Mode::Envelope || s.mode == Mode::StreamReply) {
        soap->recv_timeout = microsecondsUntil(s.deadline, now);
        soap->send_timeout = microsecondsUntil(s.deadline, now);
    } else if (s.mode == Mode::Stream) {
        soap->recv_timeout = microseconds(s.window.count());
        soap->send_timeout = microseconds(s.window.count());
    }
    s.ioSocket = soap->socket;
    s.ioStart = now;
    if (callsInIo.fetch_add(1) == 0)
        Watchdog::instance().wake();
    return true;
}

// Under the state's mutex, after one transfer of `count` bytes.
void endIo(State &s, quint64 count)
{
    s.ioSocket = SOAP_INVALID_SOCKET;
    --callsInIo;
    s.moved += count;
    if (count != 0 || s.breach != Breach::None)
        return;
    const Clock::time_point now = Clock::now();
    s.breach = advance(s, now);
    // A stream that waited a whole window in one transfer for nothing.
    if (s.breach == Breach::None && s.mode == Mode::Stream && now - s.ioStart >= s.window)
        s.breach = Breach::TooSlow;
}

size_t receiveHook(struct soap *soap, char *buffer, size_t length)
{
    State *s = stateOf(soap);
    {
        const std::lock_guard<std::mutex> lock(s->mutex);
        if (s->mode == Mode::Stream && s->replyMs > 0) {
            // The upload is out; what comes now is the server's answer.
            s->mode = Mode::StreamReply;
            s->deadline = Clock::now() + milliseconds(s->replyMs);
            s->limit = kEnvelopeBytes;
            s->received = 0;
        }
        if (!beginIo(*s, soap))
            return 0;
    }
    const size_t got = s->recv(soap, buffer, length);
    const std::lock_guard<std::mutex> lock(s->mutex);
    endIo(*s, got);
    s->received += got;
    if (s->limit)
        noteText(*s, buffer, got);
    const bool overLimits = s->records
        ? s->received - s->receivedAtRecord > kEnvelopeBytes || s->tags - s->tagsAtRecord > kEnvelopeTags
        : s->tags > kEnvelopeTags;
    if (s->limit && (s->received > s->limit || overLimits)) {
        s->breach = Breach::TooLarge;
        return 0;
    }
    return got;
}

int sendHook(struct soap *soap, const char *data, size_t length)
{
    State *s = stateOf(soap);
    while (length > 0) {
        size_t piece = length;
        {
            const std::lock_guard<std::mutex> lock(s->mutex);
            if (!beginIo(*s, soap))
                return SOAP_EOF;
            if (s->mode == Mode::Stream)
                piece = std::min(length, s->piece);
        }
        const Clock::time_point started = Clock::now();
        const int rc = s->send(soap, data, piece);
        const std::lock_guard<std::mutex> lock(s->mutex);
        endIo(*s, rc == SOAP_OK ? piece : 0);
        if (rc != SOAP_OK)
            return rc;
        if (s->mode == Mode::Stream) {
            const auto took = Clock::now() - started;
            if (took < s->window / 16)
                s->piece = std::min<size_t>(s->piece * 2, SOAP_BUFLEN);
            else if (took > s->window / 4)
                s->piece = std::max<size_t>(s->piece / 2, kRateFloorBytes);
        }
        data += piece;
        length -= piece;
    }
    return SOAP_OK;
}

// The reply as the parser gets it, unzipped: the envelope limits hold for
// it too, so that a small zipped reply cannot unfold into a large one.
int prepareHook(struct soap *soap, const char *data, size_t length)
{
    State *s = stateOf(soap);
    {
        const std::lock_guard<std::mutex> lock(s->mutex);
        const bool envelope = s->mode == Mode::Envelope || s->mode == Mode::StreamReply
            || (s->mode == Mode::Stream && s->limit != 0);
        if (envelope && s->breach == Breach::None) {
            s->markup.feed(data, length);
            const bool over = s->records ? s->markup.bytes - s->plainBytesAtRecord > kEnvelopeBytes
                    || s->markup.tags - s->plainTagsAtRecord > kEnvelopeTags
                                         : s->markup.bytes > kEnvelopeBytes || s->markup.tags > kEnvelopeTags;
            if (over) {
                s->breach = Breach::TooLarge;
                return SOAP_LENGTH;
            }
        }
    }
    return s->prepare ? s->prepare(soap, data, length) : SOAP_OK;
}

void reset(State &s, Mode mode);

SOAP_SOCKET openHook(struct soap *soap, const char *endpoint, const char *host, int port)
{
    State *s = stateOf(soap);
    {
        const std::lock_guard<std::mutex> lock(s->mutex);
        if (!s->armed) {
            // A call nobody bounded is an envelope call of the longest kind.
            reset(*s, Mode::Envelope);
            s->deadline = s->windowStart + milliseconds(kDefaultTotalMs);
            s->limit = kEnvelopeBytes;
            s->replyMs = 0;
            soap->recv_maxlength = kEnvelopeBytes;
            soap->maxlength = kValueBytes;
            if (soap->connect_timeout == 0)
                soap->connect_timeout = kDefaultTotalMs / 1000;
        }
        s->armed = false;
    }
    return s->open(soap, endpoint, host, port);
}

void deleteState(struct soap *, struct soap_plugin *plugin)
{
    auto *state = static_cast<State *>(plugin->data);
    Watchdog::instance().remove(state);
    delete state;
}

int copyState(struct soap *, struct soap_plugin *copy, struct soap_plugin *original)
{
    auto *from = static_cast<State *>(original->data);
    auto *state = new State;
    state->recv = from->recv;
    state->send = from->send;
    state->open = from->open;
    state->prepare = from->prepare;
    copy->data = state;
    Watchdog::instance().add(state);
    return SOAP_OK;
}

int createState(struct soap *soap, struct soap_plugin *plugin, void *)
{
    auto *state = new State;
    state->recv = soap->frecv;
    state->send = soap->fsend;
    state->open = soap->fopen;
    state->prepare = soap->fpreparerecv;
    plugin->id = kPluginId;
    plugin->data = state;
    plugin->fcopy = &copyState;
    plugin->fdelete = &deleteState;
    soap->frecv = &receiveHook;
    soap->fsend = &sendHook;
    soap->fopen = &openHook;
    soap->fpreparerecv = &prepareHook;
    Watchdog::instance().add(state);
    return SOAP_OK;
}

void reset(State &s, Mode mode)
{
    s.mode = mode;
    s.breach = Breach::None;
    s.received = 0;
    s.moved = 0;
    s.movedAtWindowStart = 0;
    s.piece = kFirstPiece;
    s.text = 0;
    s.longestText = 0;
    s.tags = 0;
    s.records = false;
    s.receivedAtRecord = 0;
    s.tagsAtRecord = 0;
    s.markup = Markup();
    s.plainBytesAtRecord = 0;
    s.plainTagsAtRecord = 0;
    s.windowStart = Clock::now();
    s.armed = true;
}

} // namespace

void install(struct soap *soap)
{
    if (!soap || stateOf(soap))
        return;
    soap_register_plugin_arg(soap, &createState, nullptr);
    soap->maxlength = kValueBytes;
    soap->recv_maxlength = kEnvelopeBytes;
}

void boundEnvelope(struct soap *soap, int totalMs, int connectMs)
{
    State *s = soap ? stateOf(soap) : nullptr;
    if (!s)
        return;
    totalMs = std::max(totalMs, 1);
    {
        const std::lock_guard<std::mutex> lock(s->mutex);
        reset(*s, Mode::Envelope);
        s->deadline = s->windowStart + milliseconds(totalMs);
        s->limit = kEnvelopeBytes;
        s->replyMs = 0;
    }
    soap->connect_timeout = connectTimeout(std::clamp(connectMs, 1, totalMs));
    soap->recv_timeout = microseconds(totalMs);
    soap->send_timeout = microseconds(totalMs);
    soap->transfer_timeout = (totalMs + 999) / 1000;
    soap->recv_maxlength = kEnvelopeBytes;
    soap->maxlength = kValueBytes;
}

void boundStream(struct soap *soap, int windowMs, int connectMs, int replyMs)
{
    State *s = soap ? stateOf(soap) : nullptr;
    if (!s)
        return;
    windowMs = std::max(windowMs, 1);
    {
        const std::lock_guard<std::mutex> lock(s->mutex);
        reset(*s, Mode::Stream);
        s->window = milliseconds(windowMs);
        // Until an attachment opens, what comes is an envelope.
        s->limit = replyMs > 0 ? 0 : kEnvelopeBytes;
        s->replyMs = std::max(replyMs, 0);
    }
    soap->connect_timeout = connectTimeout(std::max(connectMs, 1));
    soap->recv_timeout = microseconds(windowMs);
    soap->send_timeout = microseconds(windowMs);
    soap->transfer_timeout = 0;
    // The attachment goes to the callbacks, never into memory: no size
    // limit for the message, but one for every value in its envelope.
    soap->recv_maxlength = 0;
    soap->maxlength = kValueBytes;
}

void attachmentOpened(struct soap *soap)
{
    State *s = soap ? stateOf(soap) : nullptr;
    if (!s)
        return;
    const std::lock_guard<std::mutex> lock(s->mutex);
    if (s->mode != Mode::Stream)
        return;
    s->limit = 0;
    s->windowStart = Clock::now();
    s->movedAtWindowStart = s->moved;
}

void allowRecords(struct soap *soap)
{
    State *s = soap ? stateOf(soap) : nullptr;
    if (!s)
        return;
    {
        const std::lock_guard<std::mutex> lock(s->mutex);
        if (s->mode != Mode::Envelope)
            return;
        s->records = true;
        s->limit = kRecordReplyBytes;
    }
    soap->recv_maxlength = kRecordReplyBytes;
}

void recordRead(struct soap *soap)
{
    State *s = soap ? stateOf(soap) : nullptr;
    if (!s)
        return;
    const std::lock_guard<std::mutex> lock(s->mutex);
    s->receivedAtRecord = s->received;
    s->tagsAtRecord = s->tags;
    s->plainBytesAtRecord = s->markup.bytes;
    s->plainTagsAtRecord = s->markup.tags;
}

void refuse(struct soap *soap)
{
    State *s = soap ? stateOf(soap) : nullptr;
    if (!s)
        return;
    const std::lock_guard<std::mutex> lock(s->mutex);
    if (s->breach == Breach::None)
        s->breach = Breach::TooLarge;
}

quint64 recordBudget()
{
    return budget;
}

void setRecordBudget(quint64 bytes)
{
    budget = bytes;
}

Breach breach(const struct soap *soap)
{
    State *s = soap ? stateOf(soap) : nullptr;
    Breach found = Breach::None;
    quint64 longestText = 0;
    if (s) {
        const std::lock_guard<std::mutex> lock(s->mutex);
        found = s->breach;
        longestText = s->longestText;
    }
    // The toolkit's own code for a value over its limit does not always
    // survive (a Fault that cannot be read ends as an HTTP status), but a
    // value that long leaves a text run that long.
    if (found == Breach::None && soap && soap->error != SOAP_OK
        && (soap->error == SOAP_LENGTH || longestText > quint64(kValueBytes)))
        found = Breach::TooLarge;
    return found;
}

} // namespace CallBounds
