#pragma once

#include "ServerCache.h"

#include <QString>

#include <functional>
#include <memory>

// Writes the cache files in a thread of its own, in the order asked: a save
// of a large server's data (some 100 ms with its sync) never holds up the
// GUI. A save asked again before the last one for the same file started
// replaces it, so a burst of updates writes the file once. Patches of one
// job read and write the file in the same queue, after the saves asked
// before them.
class CacheWriter
{
public:
    CacheWriter();
    // Waits for what is queued up to `stopWaitMs`; a disk that does not
    // answer in that time is left to the thread, which ends by itself.
    ~CacheWriter();

    CacheWriter(const CacheWriter &) = delete;
    CacheWriter &operator=(const CacheWriter &) = delete;

    void save(const QString &path, ServerCache::Content content);
    // Runs in the writer thread after everything queued before it.
    void patch(const QString &path, std::function<void()> work);
    // True once everything queued so far is on disk (or failed), false when
    // that took longer than ms.
    bool waitForWrites(int ms);

    // Saves carried out (written or failed) so far.
    int savesDone() const;

    static int stopWaitMs() { return 10000; }

private:
    struct State;
    std::shared_ptr<State> d;
};
