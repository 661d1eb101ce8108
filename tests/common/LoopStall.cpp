#include "LoopStall.h"

#include <QFile>

#include <algorithm>

namespace {

// Nanoseconds this thread has waited on a run queue, or 0 where the kernel
// does not tell.
qint64 readyWaitNs()
{
    QFile stat(QStringLiteral("/proc/thread-self/schedstat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readAll().simplified().split(' ');
    return fields.size() >= 2 ? fields.at(1).toLongLong() : 0;
}

} // namespace

LoopStall::LoopStall()
{
    m_clock.start();
    m_lastReadyNs = readyWaitNs();
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_longestNs = std::max(m_longestNs, stretchNs());
        m_lastWallNs = m_clock.nsecsElapsed();
        m_lastReadyNs = readyWaitNs();
    });
    m_timer.start();
}

qint64 LoopStall::stretchNs() const
{
    const qint64 wall = m_clock.nsecsElapsed() - m_lastWallNs;
    const qint64 ready = readyWaitNs() - m_lastReadyNs;
    return std::max<qint64>(0, wall - ready);
}

qint64 LoopStall::longestMs() const
{
    return std::max(m_longestNs, stretchNs()) / 1000000;
}
