#pragma once

#include <QObject>
#include <QString>

class InstanceLock;
class QtSingleApplication;

// A start that finds the user's client running: wakes it, or, when it does
// not answer (it is closing, or hangs), waits for it to end, with a notice
// the user can cancel, and tells the user when it neither answers nor ends.
class StartWait : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Woken, // the running client came forward: this start ends
        Free, // the running client ended: this start goes on
        Cancelled, // the user gave up waiting
        TimedOut, // it neither answered nor ended in time; the user was told
    };

    StartWait(QtSingleApplication &app, InstanceLock &lock);

    // How long a start waits for a client that holds on; the
    // VORNEXCLIENT_START_WAIT_MS environment variable may shorten it.
    static int waitMs();

    // Runs its own event loop while it waits.
    Outcome run();

    static QString noticeText();
    static QString failureText();

private:
    bool wake(int timeoutMs) const;

    QtSingleApplication &m_app;
    InstanceLock &m_lock;
};
