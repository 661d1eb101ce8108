#pragma once

#include "CallBounds.h"
#include "SendTracker.h"

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

namespace ombrel {
class Service;
}
class SoapCanceller;

// One call a user action makes (status ping, job lock, push), run in a
// thread of its own on a SOAP context of its own, so it neither waits for
// a background call nor holds up the GUI thread. The connection that
// starts it takes the outcome when the thread has finished.
class UserCall : public QThread
{
    Q_OBJECT

public:
    // Where the call goes and its limits, copied when it is started.
    struct Target
    {
        QByteArray endpoint;
        QByteArray user;
        QByteArray password;
        bool secure = false;
        int connectMs = 10000;
        int ioMs = 10000;
    };
    struct Outcome
    {
        int soapError = 0;
        SendTracker::Reach reach = SendTracker::Reach::NotSent;
        CallBounds::Breach breach = CallBounds::Breach::None;
        // The server's own words when it answered with a SOAP Fault.
        QString fault;
        // A server that answers (success or a SOAP Fault) got the request.
        bool answered() const;
    };
    // Makes the call on the prepared proxy; returns the gSOAP result. Runs
    // in the worker: it must not touch objects of other threads.
    using Body = std::function<int(ombrel::Service *proxy)>;

    UserCall(const Target &target, Body body);
    ~UserCall() override; // cancels and waits

    // Ends the call soon (its socket is shut down); permanent.
    void cancel();
    // Valid once the thread has finished.
    Outcome outcome() const { return m_outcome; }

    // The same call in the calling thread, for code that may block.
    static Outcome runHere(const Target &target, const Body &body);

protected:
    void run() override;

private:
    const Target m_target;
    const Body m_body;
    mutable QMutex m_mutex;
    SoapCanceller *m_canceller = nullptr; // the running call's, under the mutex
    bool m_cancelled = false;
    Outcome m_outcome;
};
