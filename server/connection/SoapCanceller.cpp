#include "SoapCanceller.h"

#include <QMutexLocker>

#include <stdsoap2.h>
#include <sys/socket.h>

#include <type_traits>

static_assert(std::is_same_v<SOAP_SOCKET, int>, "socket hooks assume POSIX sockets");

SoapCanceller::SoapCanceller(struct soap *soap)
    : m_soap(soap)
{
    if (!m_soap)
        return;
    m_open = m_soap->fopen;
    m_close = m_soap->fclosesocket;
    m_soap->user = this;
    m_soap->fopen = &SoapCanceller::openHook;
    m_soap->fclosesocket = &SoapCanceller::closeHook;
}

SoapCanceller::~SoapCanceller()
{
    if (!m_soap)
        return;
    m_soap->fopen = m_open;
    m_soap->fclosesocket = m_close;
    m_soap->user = nullptr;
}

void SoapCanceller::setCancellable(bool cancellable)
{
    const QMutexLocker lock(&m_mutex);
    m_cancellable = cancellable;
}

void SoapCanceller::cancel()
{
    const QMutexLocker lock(&m_mutex);
    m_cancelled = true;
    // The close hook forgets the socket under this mutex before it closes
    // it, so a descriptor shut down here is never one reused by then.
    if (m_cancellable && m_socket != SOAP_INVALID_SOCKET)
        ::shutdown(m_socket, SHUT_RDWR);
}

void SoapCanceller::setHeld(bool held)
{
    const QMutexLocker lock(&m_mutex);
    m_held = held;
    if (held && m_cancellable && m_socket != SOAP_INVALID_SOCKET)
        ::shutdown(m_socket, SHUT_RDWR);
}

bool SoapCanceller::isCancelled() const
{
    const QMutexLocker lock(&m_mutex);
    return m_cancelled;
}

SoapCanceller *SoapCanceller::of(struct soap *soap)
{
    return static_cast<SoapCanceller *>(soap->user);
}

int SoapCanceller::openHook(struct soap *soap, const char *endpoint, const char *host, int port)
{
    SoapCanceller *self = of(soap);
    {
        const QMutexLocker lock(&self->m_mutex);
        if ((self->m_cancelled || self->m_held) && self->m_cancellable) {
            soap->error = SOAP_TCP_ERROR;
            return SOAP_INVALID_SOCKET;
        }
    }
    // Connecting (and the TLS handshake) is bounded by the connect timeout.
    const int socket = self->m_open(soap, endpoint, host, port);
    if (socket == SOAP_INVALID_SOCKET)
        return socket;
    const QMutexLocker lock(&self->m_mutex);
    if ((self->m_cancelled || self->m_held) && self->m_cancellable)
        ::shutdown(socket, SHUT_RDWR);
    self->m_socket = socket;
    return socket;
}

int SoapCanceller::closeHook(struct soap *soap, int socket)
{
    SoapCanceller *self = of(soap);
    {
        const QMutexLocker lock(&self->m_mutex);
        if (socket == self->m_socket)
            self->m_socket = SOAP_INVALID_SOCKET;
    }
    return self->m_close(soap, socket);
}
