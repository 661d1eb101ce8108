// ServerConnection's user calls: status ping, job locks and pushes, each on
// a SOAP context of its own, blocking or in a worker of its own.
#include "ServerConnection.h"

#include "CallBounds.h"
#include "PushJobInfo.h"
#include "ReplyConversions.h"
#include "ServerProxy.h"
#include "ServiceProxyFactory.h"
#include "WideText.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <ombrelServiceProxy.h>

#include <atomic>
#include <memory>

namespace {

std::atomic<int> g_lockRetryMs { 3000 };
// Releases wait at most this long between attempts.
constexpr int kLongestRetryMs = 60000;
// The GUI thread gives running user calls this long when a connection goes.
constexpr int kStopWaitMs = 200;

UserCall::Body lockBody(const QString &flowId, const QString &checkPointId, const QString &jobId,
    int lockMode, std::shared_ptr<int> isSet)
{
    return [flow = WideText::fromQString(flowId), checkPoint = WideText::fromQString(checkPointId),
               job = WideText::fromQString(jobId), lockMode, isSet](ombrel::Service *proxy) {
        return proxy->ombrel__SetJobLockStatus(flow, checkPoint, job, lockMode, *isSet);
    };
}

UserCall::Body lockTextBody(const QString &flowId, const QString &checkPointId, const QString &jobId,
    std::shared_ptr<std::wstring> text)
{
    return [flow = WideText::fromQString(flowId), checkPoint = WideText::fromQString(checkPointId),
               job = WideText::fromQString(jobId), text](ombrel::Service *proxy) {
        return proxy->ombrel__GetJobLockStatus(flow, checkPoint, job, *text);
    };
}

UserCall::Body pingBody()
{
    return [](ombrel::Service *proxy) {
        ombrel::ombrel__GetStatusResponse status;
        return proxy->ombrel__GetStatus(status);
    };
}

} // namespace

int ServerConnection::lockRetryMs()
{
    return g_lockRetryMs;
}

void ServerConnection::setLockRetryMs(int ms)
{
    g_lockRetryMs = ms;
}

ombrel::Service *ServerConnection::createUserProxy(const UserCall::Target &target)
{
    ombrel::Service *proxy = createServiceProxy(target.secure);
    if (!proxy->soap)
        return proxy;
    proxy->endpoint = target.endpoint.constData();
    proxy->soap->userid = target.user.constData();
    proxy->soap->passwd = target.password.constData();
    // One call per context: its total bound holds from here, connecting
    // included.
    CallBounds::boundEnvelope(proxy->soap, target.ioMs, target.connectMs);
    return proxy;
}

UserCall::Target ServerConnection::userCallTarget() const
{
    const CallTimeouts timeouts = callTimeouts();
    UserCall::Target target = transferTarget();
    target.connectMs = timeouts.userIoMs;
    target.ioMs = timeouts.userIoMs;
    return target;
}

bool ServerConnection::connectFirst()
{
    if (!m_mustConnect)
        return false;
    if (!m_connecting && m_owner)
        m_owner->startConnectionActivity(this, 1, false);
    return true;
}

void ServerConnection::noteUserCall(const UserCall::Outcome &outcome, bool mayGoOnline)
{
    const bool ok = outcome.soapError == SOAP_OK;
    // Without a host nothing went anywhere, and a disabled connection asks
    // its server nothing: the status keeps saying why.
    if (!ok && !cutShort())
        setStatusText(hasHost() ? failureText(outcome.soapError, outcome.breach) : hostMissingText());
    noteCallResult(ok, mayGoOnline);
}

void ServerConnection::noteUnreachable()
{
    noteCallResult(false, false);
}

bool ServerConnection::ping()
{
    if (connectFirst())
        return false;
    const UserCall::Outcome outcome = UserCall::runHere(userCallTarget(), pingBody());
    noteUserCall(outcome, true);
    return outcome.soapError == SOAP_OK;
}

bool ServerConnection::setJobLockStatus(
    const QString &flowId, const QString &checkPointId, const QString &jobId, int lockMode)
{
    if (connectFirst())
        return false;
    auto isSet = std::make_shared<int>(0);
    ++m_lockCalls[lockKey(flowId, checkPointId, jobId)];
    const UserCall::Outcome outcome
        = UserCall::runHere(userCallTarget(), lockBody(flowId, checkPointId, jobId, lockMode, isSet));
    noteUserCall(outcome, true);
    return outcome.soapError == SOAP_OK && *isSet != 0;
}

QString ServerConnection::getJobLockStatus(
    const QString &flowId, const QString &checkPointId, const QString &jobId)
{
    if (connectFirst())
        return QString();
    auto text = std::make_shared<std::wstring>();
    const UserCall::Outcome outcome
        = UserCall::runHere(userCallTarget(), lockTextBody(flowId, checkPointId, jobId, text));
    noteUserCall(outcome, true);
    return outcome.soapError == SOAP_OK ? WideText::toQString(*text) : QString();
}

void ServerConnection::startUserCall(UserCall::Body body, bool mayGoOnline, QObject *context,
    std::function<void(const UserCall::Outcome &)> done)
{
    auto *call = new UserCall(userCallTarget(), std::move(body));
    m_userCalls.append(call);
    QPointer<QObject> receiver(context ? context : this);
    const qint64 startedNs = steadyNs();
    // Queued into this object's thread; the worker itself touches nothing
    // but its own context.
    connect(call, &QThread::finished, this, [this, call, mayGoOnline, receiver, done, startedNs] {
        m_userCalls.removeOne(call);
        const UserCall::Outcome outcome = call->outcome();
        call->deleteLater();
        const bool ok = outcome.soapError == SOAP_OK;
        // A failure overtaken by a later success leaves the connection as
        // that success left it.
        const bool overtaken = !ok && m_lastSuccessNs > startedNs;
        if ((ok || !m_stopRequested) && !overtaken)
            noteUserCall(outcome, mayGoOnline);
        if (receiver && done)
            done(outcome);
    });
    call->start();
}

void ServerConnection::stopUserCalls()
{
    const QList<UserCall *> calls = m_userCalls;
    m_userCalls.clear();
    for (UserCall *call : calls) {
        call->disconnect(this);
        call->cancel();
    }
    const QDeadlineTimer deadline(kStopWaitMs);
    for (UserCall *call : calls) {
        if (call->wait(deadline)) {
            delete call;
        } else {
            // It needs nothing of this connection and ends on its own.
            connect(call, &QThread::finished, call, &QObject::deleteLater);
            if (call->isFinished())
                call->deleteLater();
        }
    }
}

void ServerConnection::pingAsync(QObject *context, std::function<void(bool)> done)
{
    if (connectFirst()) {
        QMetaObject::invokeMethod(
            context ? context : this, [done] { done(false); }, Qt::QueuedConnection);
        return;
    }
    startUserCall(pingBody(), true, context,
        [done](const UserCall::Outcome &outcome) { done(outcome.soapError == SOAP_OK); });
}

void ServerConnection::setJobLockStatusAsync(const QString &flowId, const QString &checkPointId,
    const QString &jobId, int lockMode, QObject *context, std::function<void(bool, bool)> done)
{
    if (connectFirst()) {
        QMetaObject::invokeMethod(
            context ? context : this, [done] { done(false, false); }, Qt::QueuedConnection);
        return;
    }
    auto isSet = std::make_shared<int>(0);
    ++m_lockCalls[lockKey(flowId, checkPointId, jobId)];
    startUserCall(lockBody(flowId, checkPointId, jobId, lockMode, isSet), true, context,
        [done, isSet](const UserCall::Outcome &outcome) {
            done(outcome.soapError == SOAP_OK && *isSet != 0,
                !outcome.answered() && outcome.reach != SendTracker::Reach::NotSent);
        });
}

void ServerConnection::getJobLockStatusAsync(const QString &flowId, const QString &checkPointId,
    const QString &jobId, QObject *context, std::function<void(bool, const QString &)> done)
{
    if (connectFirst()) {
        QMetaObject::invokeMethod(
            context ? context : this, [done] { done(false, QString()); }, Qt::QueuedConnection);
        return;
    }
    auto text = std::make_shared<std::wstring>();
    startUserCall(lockTextBody(flowId, checkPointId, jobId, text), true, context,
        [done, text](const UserCall::Outcome &outcome) {
            const bool ok = outcome.soapError == SOAP_OK;
            done(ok, ok ? WideText::toQString(*text) : outcome.faultText);
        });
}

void ServerConnection::releaseJobLock(
    const QString &flowId, const QString &checkPointId, const QString &jobId)
{
    ++m_pendingReleases;
    deliverRelease(flowId, checkPointId, jobId, 0, m_lockCalls.value(lockKey(flowId, checkPointId, jobId)));
}

QString ServerConnection::lockKey(const QString &flowId, const QString &checkPointId, const QString &jobId)
{
    return flowId + QLatin1Char('\n') + checkPointId + QLatin1Char('\n') + jobId;
}

void ServerConnection::deliverRelease(
    const QString &flowId, const QString &checkPointId, const QString &jobId, int attempt, quint64 locks)
{
    if (m_lockCalls.value(lockKey(flowId, checkPointId, jobId)) != locks) {
        --m_pendingReleases;
        return;
    }
    // Sent even while the connection counts as offline: the release must
    // not wait for the next log-in, and a failed try costs one call.
    connectFirst();
    auto isSet = std::make_shared<int>(0);
    startUserCall(lockBody(flowId, checkPointId, jobId, 0, isSet), true, this,
        [this, flowId, checkPointId, jobId, attempt, locks](const UserCall::Outcome &outcome) {
            // Only a release that never left goes again: once sent, the
            // server has it (or refused it), answer or not.
            if (outcome.reach != SendTracker::Reach::NotSent || m_stopRequested) {
                --m_pendingReleases;
                return;
            }
            const int delay = qMin(kLongestRetryMs, lockRetryMs() << qMin(attempt, 5));
            QTimer::singleShot(delay, this, [this, flowId, checkPointId, jobId, attempt, locks] {
                deliverRelease(flowId, checkPointId, jobId, attempt + 1, locks);
            });
        });
}

void ServerConnection::pushCheckpointJobAsync(const QString &flowId, const QString &checkPointId,
    const QString &jobId, const PushJobInfo &info, QObject *context,
    std::function<void(const UserCall::Outcome &, int)> done)
{
    auto answer = std::make_shared<int>(0);
    UserCall::Body body
        = [flow = WideText::fromQString(flowId), checkPoint = WideText::fromQString(checkPointId),
              job = WideText::fromQString(jobId), status = ReplyConversions::toPushJobStatus(info),
              answer](ombrel::Service *proxy) {
              return proxy->ombrel__PushCheckpointJob(flow, checkPoint, job, status, *answer);
          };
    // A push never brings a connection online: only the log-in does.
    startUserCall(std::move(body), false, context,
        [done, answer](const UserCall::Outcome &outcome) { done(outcome, *answer); });
}
