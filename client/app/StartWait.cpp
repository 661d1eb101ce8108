#include "StartWait.h"

#include "ClientNames.h"
#include "InstanceLock.h"
#include "QtSingleApplication.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <cstdio>

namespace {

// Longer than a closing client may take: its connections get 15 s to stop
// and its cache files 10 s to be written, then its pages save their state.
constexpr int kWaitMs = 45000;
constexpr int kFirstTryMs = 2000;
// While waiting: short tries, so the notice stays responsive.
constexpr int kRetryEveryMs = 1000;
constexpr int kRetryTryMs = 500;
constexpr int kTickMs = 100;
// A client that is only starting answers within this; no notice before.
constexpr int kNoticeAfterMs = 1000;

void tellConsole(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

StartWait::StartWait(QtSingleApplication &app, InstanceLock &lock)
    : m_app(app)
    , m_lock(lock)
{ }

int StartWait::waitMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("VORNEXCLIENT_START_WAIT_MS", &ok);
    return ok && ms > 0 && ms < kWaitMs ? ms : kWaitMs;
}

QString StartWait::noticeText()
{
    return tr("VORNEXclient is still running but does not answer; it may be closing. "
              "It starts again as soon as the running one has ended.");
}

QString StartWait::failureText()
{
    return tr("VORNEXclient cannot start: the one already running neither answers nor ends. "
              "Close it, or end its process, and start VORNEXclient again.");
}

bool StartWait::wake(int timeoutMs) const
{
    // Its channel may live in another folder than this start's.
    QStringList channels = m_lock.publishedChannels();
    if (!channels.contains(m_app.serverName()))
        channels.append(m_app.serverName());
    const QDeadlineTimer deadline(timeoutMs);
    for (const QString &channel : std::as_const(channels)) {
        const int left = int(qMax<qint64>(1, deadline.remainingTime()));
        if (QtSingleApplication::sendMessageTo(channel, ClientNames::wakeUpMessage(), left))
            return true;
    }
    return false;
}

StartWait::Outcome StartWait::run()
{
    if (wake(kFirstTryMs))
        return Outcome::Woken;

    QElapsedTimer clock;
    clock.start();
    const int bound = waitMs();
    qint64 lastTry = 0;
    Outcome outcome = Outcome::TimedOut;
    bool done = false;

    QPointer<QMessageBox> notice;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(kTickMs);
    connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done)
            return;
        if (m_lock.take() != InstanceLock::State::HeldElsewhere) {
            outcome = Outcome::Free;
            done = true;
        } else if (clock.elapsed() - lastTry >= kRetryEveryMs) {
            lastTry = clock.elapsed();
            if (wake(kRetryTryMs)) {
                outcome = Outcome::Woken;
                done = true;
            }
        }
        if (!done && clock.elapsed() >= bound) {
            outcome = Outcome::TimedOut;
            done = true;
        }
        if (!done && !notice && clock.elapsed() >= kNoticeAfterMs) {
            notice = new QMessageBox(
                QMessageBox::Information, ClientNames::applicationName(), noticeText(), QMessageBox::Cancel);
            notice->setAttribute(Qt::WA_DeleteOnClose);
            notice->setModal(false);
            connect(notice, &QMessageBox::finished, &loop, [&] {
                if (!done) {
                    outcome = Outcome::Cancelled;
                    done = true;
                    loop.quit();
                }
            });
            tellConsole(noticeText());
            notice->show();
        }
        if (done)
            loop.quit();
    });
    tick.start();
    loop.exec();
    tick.stop();
    if (notice) {
        notice->disconnect(&loop);
        notice->close();
    }

    if (outcome == Outcome::TimedOut) {
        tellConsole(failureText());
        QMessageBox::warning(nullptr, ClientNames::applicationName(), failureText());
    }
    return outcome;
}
