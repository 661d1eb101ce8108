// The decisions the job panel carries out: pushing the job on (and
// telling when the server refuses it) and replacing it.
#include "SelectionFrame.h"

#include "CheckPoint.h"
#include "MetadataExplorer.h"
#include "ReplaceJobDialog.h"
#include "ServerConnection.h"

#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <memory>

namespace Client {

namespace {

constexpr int kLockForUser = 1;

} // namespace

void SelectionFrame::carryOutPush(const LockWait &wait)
{
    CheckPoint *checkPoint = wait.checkPoint;
    if (!checkPoint)
        return;
    PushJobInfo info = wait.info;
    // A refresh may have taken the job away while its lock was looked at
    // or the user was asked: the server has no such job to send on.
    const auto left = [this, &wait, &info] {
        if (!info.push || (wait.checkPoint && wait.checkPoint->hasJob(info.jobId)))
            return false;
        warn(tr("The job <%1> has left the checkpoint: it was not sent on.").arg(info.jobName));
        return true;
    };
    if (left())
        return;
    if (info.push && checkPoint->isPushUnanswered(info.jobId)) {
        const QMessageBox::StandardButton answer = QMessageBox::question(this, tr("Warning"),
            tr("The server did not answer the last push of <%1>: it may still send the job on. Push it "
               "again?")
                .arg(info.jobName),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes || left())
            return;
        checkPoint->pushAgainConfirmed(info.jobId);
    }
    // What was typed goes with the push, and comes back when the server
    // refuses it.
    const QString key = typedKey(wait.job.get());
    m_typed.remove(key);
    if (info.push)
        m_pushedTyped.insert(key, info.requiredMetadata);
    connect(checkPoint, &CheckPoint::pushRefused, this, &SelectionFrame::pushRefused, Qt::UniqueConnection);
    if (m_job == wait.job)
        m_explorer->loadMetadata(nullptr, {}, false);
    handOver(checkPoint, info);
    updateAll();
}

void SelectionFrame::pushRefused(const QString &jobId, const QString &reason)
{
    auto *checkPoint = qobject_cast<CheckPoint *>(sender());
    if (!checkPoint)
        return;
    const QString key
        = checkPoint->getFlowId() + QLatin1Char('\n') + checkPoint->getId() + QLatin1Char('\n') + jobId;
    const auto typed = m_pushedTyped.constFind(key);
    if (typed != m_pushedTyped.cend()) {
        m_typed.insert(key, typed.value());
        m_pushedTyped.erase(typed);
    }
    QString name = checkPoint->getJob(jobId).name;
    if (name.isEmpty())
        name = jobId;
    // Told once the checkpoint's own signals are through: the page shows
    // the job free again, with what was typed.
    QMetaObject::invokeMethod(
        this,
        [this, name, reason] {
            updateAll();
            warn(tr("The job <%1> was not sent on.").arg(name) + QLatin1Char('\n') + reason);
        },
        Qt::QueuedConnection);
}

void SelectionFrame::handOver(CheckPoint *checkPoint, PushJobInfo &info)
{
    if (!checkPoint)
        return;
    if (checkPoint == m_checkPoint) {
        emit JobPushed(info);
        return;
    }
    // Another checkpoint is shown by now (or none): the decision is still
    // this job's, in its own checkpoint, whose list shows it when picked.
    // A push that waits already is not sent again.
    if (!info.push || checkPoint->getJobStatus(info.jobId) != CheckPointJobData::kPushWaiting)
        checkPoint->pushJob(info.jobId, info);
}

void SelectionFrame::PushJobClicked(const QList<QString> &pushList)
{
    CheckPoint *checkPoint = m_checkPoint;
    if (!m_job || !checkPoint)
        return;
    // The owner's rule again, on the values as they are now.
    if (!pushAllowed() || pushList.isEmpty() || pushList.size() > m_job->record().connections.size())
        return;
    for (const QString &id : pushList) {
        const QList<JobConnection> &connections = m_job->record().connections;
        const bool listed = std::any_of(connections.cbegin(), connections.cend(),
            [&id](const JobConnection &connection) { return connection.id == id; });
        if (!listed || pushList.count(id) != 1)
            return;
    }
    LockWait wait;
    wait.what = Waiting::Push;
    wait.job = m_job;
    wait.checkPoint = checkPoint;
    wait.info.push = true;
    wait.info.connectionIds = pushList;
    wait.info.requiredMetadata = m_explorer->metadataToFill();
    wait.info.jobName = m_job->record().name;
    wait.info.jobId = m_job->jobId();
    askLock(wait);
}

void SelectionFrame::ReplaceJobBtnClicked()
{
    CheckPoint *checkPoint = m_checkPoint;
    if (!m_job || !checkPoint)
        return;
    if (!checkPoint->getConnection()) {
        warn(tr("Can't connect to server. Try later."));
        return;
    }
    LockWait wait;
    wait.what = Waiting::Replace;
    wait.job = m_job;
    wait.checkPoint = checkPoint;
    askLock(wait);
}

void SelectionFrame::replaceJob(const LockWait &wait, bool lockedElsewhere, const QString &lockText)
{
    CheckPoint *checkPoint = wait.checkPoint;
    if (!checkPoint)
        return;
    const QString jobId = wait.job->jobId();
    if (lockedElsewhere) {
        QMessageBox question(QMessageBox::Information, tr("Acquiring a lock"),
            tr("User '%1' is currently replacing this job; if you press the overrule button, the "
               "replacement job provided by user '%1' will be lost")
                .arg(lockText),
            QMessageBox::NoButton, this);
        QPushButton *overrule = question.addButton(tr("Overrule"), QMessageBox::AcceptRole);
        question.addButton(tr("Cancel"), QMessageBox::RejectRole);
        question.setDefaultButton(overrule);
        question.exec();
        // Only the explicit choice takes another user's lock away.
        if (question.clickedButton() != overrule)
            return;
    }
    const QPointer<CheckPoint> target(checkPoint);
    checkPoint->lockJobAsync(jobId, kLockForUser, this, [this, wait, target, jobId](bool isSet) {
        if (!target)
            return;
        if (!isSet) {
            warn(tr("The job can't be locked"));
            return;
        }
        openReplaceDialog(wait, target, jobId);
    });
}

void SelectionFrame::openReplaceDialog(const LockWait &wait, CheckPoint *checkPoint, const QString &jobId)
{
    auto dialog = std::make_unique<ReplaceJobDialog>(this, checkPoint, jobId);
    if (dialog->exec() == QDialog::Accepted) {
        PushJobInfo info = dialog->getPushJobInfo();
        if (info.push) {
            m_typed.remove(typedKey(wait.job.get()));
            emit removePushedJob(info);
            updateAll();
        }
    }
}

} // namespace Client
