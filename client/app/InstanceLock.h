#pragma once

#include <QString>

// The decisive check that one client runs per user: an exclusive lock on a
// file in the user's data folder, held for the life of the process (the
// system drops it when the process ends, killed or not). Unlike the wake-up
// channel, whose folder follows $XDG_RUNTIME_DIR, it is the same for every
// start of the user's.
class InstanceLock
{
public:
    enum class State {
        Taken, // this process is the user's client
        HeldElsewhere, // another live client holds it
        Unavailable, // no lock file could be had: the channel decides
    };

    explicit InstanceLock(const QString &path);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // "<data folder>/Marvolt Software/VORNEXclient.lock"; "" without a
    // data folder.
    static QString defaultPath();

    State take();
    QString path() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
};
