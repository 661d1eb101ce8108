#pragma once

#include "IAction.h"
#include "PushJobInfo.h"

#include <QString>

// Sends a checkpoint job on along the chosen outgoing connections once its
// server answers. The push runs in a connection thread; the action stays
// queued until the server has answered it: a push that got lost on the way
// is sent again when the connection comes back, one the server refused is
// reported.
class PushJobAction : public IAction
{
    Q_OBJECT

public:
    enum class State {
        Waiting, // for the server, or for another try
        Pushing,
        Accepted,
        Refused,
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

    // Done at once when there is nothing to send (the push flag is clear)
    // or the server has answered; otherwise starts the push when the
    // connection answers and stays queued.
    bool perform() override;
    bool isWaiting() const override { return m_state == State::Waiting && m_info.push; }

signals:
    // The server answered the push.
    void pushFinished(PushJobAction *action, bool accepted, const QString &refusal);

private slots:
    void takeResult(int soapError, int answer);

private:
    void startPush();

    const QString m_flowId;
    const QString m_checkPointId;
    const QString m_jobId;
    const PushJobInfo m_info;
    State m_state = State::Waiting;
    QString m_refusal;
};
