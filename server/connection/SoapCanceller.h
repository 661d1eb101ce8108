#pragma once

#include <QMutex>

struct soap;

// Lets another thread end a blocking call on one SOAP context: the open
// socket is shut down, which wakes a read or write at once, and new
// connections of cancellable calls are refused from then on. Installs
// itself into the context's socket hooks and its user pointer.
class SoapCanceller
{
public:
    explicit SoapCanceller(struct soap *soap);
    ~SoapCanceller();

    SoapCanceller(const SoapCanceller &) = delete;
    SoapCanceller &operator=(const SoapCanceller &) = delete;

    // Whether cancel() applies to the calls that follow; set by the thread
    // that owns the context before each call.
    void setCancellable(bool cancellable);

    // Permanent: cancellable calls in progress end, later ones fail at
    // once with SOAP_TCP_ERROR.
    void cancel();
    // The same for as long as it is held.
    void setHeld(bool held);
    bool isCancelled() const;

private:
    static int openHook(struct soap *soap, const char *endpoint, const char *host, int port);
    static int closeHook(struct soap *soap, int socket);
    static SoapCanceller *of(struct soap *soap);

    struct soap *m_soap;
    int (*m_open)(struct soap *, const char *, const char *, int) = nullptr;
    int (*m_close)(struct soap *, int) = nullptr;

    mutable QMutex m_mutex;
    bool m_cancelled = false;
    bool m_held = false;
    bool m_cancellable = true;
    int m_socket = -1;
};
