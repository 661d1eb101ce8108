#include "PushJobAction.h"

#include "ConnectionThread.h"
#include "WorkFlags.h"

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

bool PushJobAction::perform()
{
    switch (m_state) {
    case State::Accepted:
    case State::Refused:
        return true;
    case State::Pushing:
        return false;
    case State::Waiting:
        break;
    }
    if (!m_info.push)
        return true;
    if (!IAction::perform())
        return false;
    startPush();
    return false;
}

void PushJobAction::startPush()
{
    auto *thread = new ConnectionThread(nullptr, connection(), ActivityFlags::Push);
    thread->setPushParams(m_flowId, m_checkPointId, m_jobId, m_info);
    connect(thread, &ConnectionThread::pushFinished, this, &PushJobAction::takeResult);
    m_state = State::Pushing;
    thread->start(QThread::InheritPriority);
}

void PushJobAction::takeResult(int soapError, int answer)
{
    if (m_state != State::Pushing)
        return;
    const bool fault = soapError == SOAP_CLI_FAULT || soapError == SOAP_SVR_FAULT || soapError == SOAP_FAULT;
    if (soapError != SOAP_OK && !fault) {
        // Lost on the way: the next time the connection comes up sends it again.
        m_state = State::Waiting;
        return;
    }
    const bool accepted = !fault && answer != 0;
    m_state = accepted ? State::Accepted : State::Refused;
    if (!accepted)
        m_refusal = fault ? tr("The server refused to send the job on (error %1).").arg(soapError)
                          : tr("The server did not send the job on: it no longer waits at the checkpoint.");
    emit pushFinished(this, accepted, m_refusal);
    emit done(this);
}
