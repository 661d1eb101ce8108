#include "SendTracker.h"

#include <stdsoap2.h>

namespace {

// The context's user pointer belongs to the canceller; calls run in one
// thread from start to end, so the thread finds its tracker here.
thread_local SendTracker *t_tracker = nullptr;

} // namespace

SendTracker::SendTracker(struct soap *soap)
    : m_soap(soap)
    , m_outer(t_tracker)
{
    if (!m_soap)
        return;
    m_send = m_soap->fsend;
    m_receive = m_soap->frecv;
    m_soap->fsend = &SendTracker::sendHook;
    m_soap->frecv = &SendTracker::receiveHook;
    t_tracker = this;
}

SendTracker::~SendTracker()
{
    if (!m_soap)
        return;
    m_soap->fsend = m_send;
    m_soap->frecv = m_receive;
    t_tracker = m_outer;
}

void SendTracker::reset()
{
    m_sent = false;
    m_receiving = false;
}

SendTracker::Reach SendTracker::reach() const
{
    if (!m_sent)
        return Reach::NotSent;
    return m_receiving ? Reach::Answered : Reach::Sent;
}

int SendTracker::sendHook(struct soap *soap, const char *data, std::size_t length)
{
    SendTracker *tracker = t_tracker;
    while (tracker && tracker->m_soap != soap)
        tracker = tracker->m_outer;
    if (!tracker)
        return SOAP_EOF;
    // A failed write may still have put part of the data on the wire.
    if (length > 0)
        tracker->m_sent = true;
    return tracker->m_send(soap, data, length);
}

std::size_t SendTracker::receiveHook(struct soap *soap, char *buffer, std::size_t length)
{
    SendTracker *tracker = t_tracker;
    while (tracker && tracker->m_soap != soap)
        tracker = tracker->m_outer;
    if (!tracker)
        return 0;
    if (tracker->m_sent)
        tracker->m_receiving = true;
    return tracker->m_receive(soap, buffer, length);
}
