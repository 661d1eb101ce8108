#pragma once

#include "IAction.h"
#include "PushJobInfo.h"
#include "UserCall.h"

#include <QString>

// Sends a checkpoint job on along the chosen outgoing connections once its
// server answers, on a SOAP context of its own. A push whose request never
// left the client stays queued and goes when the connection comes back;
// once a byte of it went out it is never sent again: the server's answer
// settles it, and when that answer is lost the next refresh of the
// checkpoint shows whether the job moved on.
class PushJobAction : public IAction
{
    Q_OBJECT

public:
    enum class State {
        Waiting, // for the server, or for another try
        Pushing,
        Accepted,
        Refused,
        Unanswered, // sent, but the answer was lost
    };

    PushJobAction(ServerConnection *connection, const QString &flowId, const QString &checkPointId,
        const QString &jobId, const PushJobInfo &info, QObject *parent = nullptr);
    ~PushJobAction() override;

    QString flowId() const { return m_flowId; }
    QString checkPointId() const { return m_checkPointId; }
    QString jobId() const { return m_jobId; }
    PushJobInfo pushInfo() const { return m_info; }
    State state() const { return m_state; }
    // Why the server refused the push; empty otherwise.
    QString refusal() const { return m_refusal; }
    static QString refusedText();

    // Done at once when there is nothing to send (the push flag is clear)
    // or the push went out; otherwise starts it (without waiting) unless
    // the connection must connect first, and stays queued meanwhile.
    bool perform() override;
    bool isWaiting() const override { return m_state == State::Waiting && m_info.push; }

signals:
    // The server answered the push.
    void pushFinished(PushJobAction *action, bool accepted, const QString &refusal);
    // The push went out but its answer was lost.
    void pushUnanswered(PushJobAction *action);
    // Its request never left: it waits for the connection again.
    void pushDeferred(PushJobAction *action);

private:
    void takeResult(const UserCall::Outcome &outcome, int answer);

    void startPush();

    const QString m_flowId;
    const QString m_checkPointId;
    const QString m_jobId;
    const PushJobInfo m_info;
    State m_state = State::Waiting;
    QString m_refusal;
};
