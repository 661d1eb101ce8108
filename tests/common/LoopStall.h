#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Longest stretch the event loop of the thread that made it went without a
// turn, in milliseconds: the time it was busy or blocked, less the time it
// stood ready to run while other processes held every core. So the figure
// is what the code does to the loop, also on a loaded machine.
class LoopStall : public QObject
{
public:
    LoopStall();

    qint64 longestMs() const;

private:
    qint64 stretchNs() const;

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastWallNs = 0;
    qint64 m_lastReadyNs = 0;
    qint64 m_longestNs = 0;
};
