#pragma once

#include <cstddef>

struct soap;

// How far one request got on its way to the server. Tells a request that
// provably never left (connect refused, stopped before the first byte),
// which may go again, from one the server may have acted on, which must
// not be sent again automatically.
class SendTracker
{
public:
    enum class Reach {
        NotSent, // not one byte was handed to the socket
        Sent, // bytes went out; the server may have acted on them
        Answered, // the whole request went out and reading the answer began
    };

    // Hooks into the context's send and receive functions while it lives,
    // for calls made by this thread.
    explicit SendTracker(struct soap *soap);
    ~SendTracker();

    SendTracker(const SendTracker &) = delete;
    SendTracker &operator=(const SendTracker &) = delete;

    // Before each request of the tracked context.
    void reset();
    Reach reach() const;

private:
    static int sendHook(struct soap *soap, const char *data, std::size_t length);
    static std::size_t receiveHook(struct soap *soap, char *buffer, std::size_t length);

    struct soap *m_soap;
    SendTracker *m_outer;
    int (*m_send)(struct soap *, const char *, std::size_t) = nullptr;
    std::size_t (*m_receive)(struct soap *, char *, std::size_t) = nullptr;
    bool m_sent = false;
    bool m_receiving = false;
};
