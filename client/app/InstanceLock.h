#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The decisive check that one client runs per user: exclusive locks on a
// file in each folder the client shares between its runs (the data folder
// and the temporary folder its downloads go to), held for the life of the
// process (the system drops them when the process ends, killed or not).
// A start with another data or temporary folder still meets a running
// client in the folder they share, and what is cleaned at start is only
// what a held lock guards. The lock files carry the running client's
// wake-up channel, whose folder follows $XDG_RUNTIME_DIR.
class InstanceLock
{
public:
    enum class State {
        Taken, // this process is the user's client
        HeldElsewhere, // another live client holds one of the locks
        Unavailable, // some lock file could not be had: the channel decides
    };

    explicit InstanceLock(const QStringList &paths);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // "<data root>/Marvolt Software/VORNEXclient.lock", guarding the data
    // folder beside it.
    static QString dataFolderLockPath();
    // "<temporary folder>/vornex-<uid>/VORNEXclient.lock", guarding the
    // download folders in the temporary folder.
    static QString tempFolderLockPath();
    static QStringList defaultPaths();

    // Takes every lock it can; another live holder of any of them gives
    // HeldElsewhere and nothing stays taken. May be called again.
    State take();
    bool holds(const QString &path) const;
    QStringList paths() const;

    // Writes the wake-up channel into the lock files held.
    void publishChannel(const QString &serverName);
    // The channels other holders published: sockets of this user's only.
    QStringList publishedChannels() const;

private:
    struct Entry
    {
        QString path;
        int fd = -1;
    };
    static State lockOne(Entry &entry);
    void releaseAll();

    QList<Entry> m_entries;
};
