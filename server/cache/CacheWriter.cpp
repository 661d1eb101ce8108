#include "CacheWriter.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <malloc.h>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

struct CacheWriter::State
{
    struct Task
    {
        QString path;
        // A save when set, else a patch.
        std::optional<ServerCache::Content> content;
        std::function<void()> work;
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Task> queue;
    bool busy = false;
    bool stopping = false;
    bool ended = false;
    int saves = 0;
    std::set<QString> warned;

    void run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return stopping || !queue.empty(); });
            if (queue.empty())
                break;
            Task task = std::move(queue.front());
            queue.pop_front();
            busy = true;
            const bool isSave = task.content.has_value();
            lock.unlock();
            bool failed = false;
            if (task.content) {
                failed = !ServerCache::save(*task.content, task.path);
                // A save follows every refresh: the memory its replies
                // took and gave back goes back to the system here, off the
                // GUI thread, instead of staying with the process.
                ::malloc_trim(0);
            } else if (task.work) {
                task.work();
            }
            // The content's lists go here, not in the GUI thread.
            const QString path = task.path;
            task = Task();
            lock.lock();
            busy = false;
            if (isSave)
                ++saves;
            // Each failing file is told once per run, not at every update.
            if (failed && warned.insert(path).second)
                qWarning("Server data cache not written: %s", qPrintable(path));
            changed.notify_all();
        }
        ended = true;
        changed.notify_all();
    }
};

CacheWriter::CacheWriter()
    : d(std::make_shared<State>())
{
    std::thread([state = d] { state->run(); }).detach();
}

CacheWriter::~CacheWriter()
{
    std::unique_lock<std::mutex> lock(d->mutex);
    d->stopping = true;
    d->changed.notify_all();
    if (!d->changed.wait_for(lock, std::chrono::milliseconds(stopWaitMs()), [this] { return d->ended; }))
        qWarning("The server data cache was not written in time; it is left to finish alone.");
}

void CacheWriter::save(const QString &path, ServerCache::Content content)
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    for (auto it = d->queue.rbegin(); it != d->queue.rend(); ++it) {
        if (it->path != path)
            continue;
        if (it->content) {
            // Not started yet and nothing after it for this file: the newer
            // data take its place.
            *it->content = std::move(content);
            return;
        }
        break;
    }
    d->queue.push_back({ path, std::move(content), {} });
    d->changed.notify_all();
}

void CacheWriter::patch(const QString &path, std::function<void()> work)
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    d->queue.push_back({ path, std::nullopt, std::move(work) });
    d->changed.notify_all();
}

bool CacheWriter::waitForWrites(int ms)
{
    std::unique_lock<std::mutex> lock(d->mutex);
    return d->changed.wait_for(
        lock, std::chrono::milliseconds(qMax(0, ms)), [this] { return d->queue.empty() && !d->busy; });
}

int CacheWriter::savesDone() const
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    return d->saves;
}
