#include "PushJobAction.h"

#include "ServerConnection.h"

#include <stdsoap2.h>

PushJobAction::PushJobAction(ServerConnection *connection, const QString &flowId, const QString &checkPointId,
    const QString &jobId, const PushJobInfo &info, QObject *parent)
    : IAction(connection, parent)
    , m_flowId(flowId)
    , m_checkPointId(checkPointId)
    , m_jobId(jobId)
    , m_info(info)
{ }

PushJobAction::~PushJobAction() = default;

QString PushJobAction::refusedText()
{
    return tr("The server refused to send the job on.");
}

bool PushJobAction::perform()
{
    switch (m_state) {
    case State::Accepted:
    case State::Refused:
    case State::Unanswered:
        return true;
    case State::Pushing:
        return false;
    case State::Waiting:
        break;
    }
    if (!m_info.push)
        return true;
    if (!madeForCurrentServer()) {
        // Decided on the server the connection has left: never sent to another.
        m_state = State::Refused;
        m_refusal = otherServerText();
        emit pushFinished(this, false, m_refusal);
        return true;
    }
    if (!IAction::perform())
        return false;
    startPush();
    return false;
}

void PushJobAction::startPush()
{
    ServerConnection *target = connection();
    if (!target)
        return;
    m_state = State::Pushing;
    target->pushCheckpointJobAsync(m_flowId, m_checkPointId, m_jobId, m_info, this,
        [this](const UserCall::Outcome &outcome, int answer) { takeResult(outcome, answer); });
}

void PushJobAction::takeResult(const UserCall::Outcome &outcome, int answer)
{
    if (m_state != State::Pushing)
        return;
    if (outcome.reach == SendTracker::Reach::NotSent) {
        // Provably never reached the server (the connection is offline
        // now): it goes when the connection comes back.
        m_state = State::Waiting;
        emit pushDeferred(this);
        return;
    }
    if (!outcome.answered()) {
        m_state = State::Unanswered;
        emit pushUnanswered(this);
        emit done(this);
        return;
    }
    const bool fault = outcome.soapError != SOAP_OK;
    const bool accepted = !fault && answer != 0;
    m_state = accepted ? State::Accepted : State::Refused;
    if (!accepted)
        m_refusal = !fault ? refusedText()
            : outcome.faultText.trimmed().isEmpty()
            ? tr("The server refused to send the job on (error %1).").arg(outcome.soapError)
            : tr("The server refused to send the job on: %1").arg(outcome.faultText.trimmed());
    emit pushFinished(this, accepted, m_refusal);
    emit done(this);
}
