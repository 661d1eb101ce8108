#pragma once

#include "IAction.h"
#include "SubmitPoint.h"
#include "SubmittedFile.h"

// Starts a job's upload once its server may be reached. It stays queued
// while the upload runs and leaves when the proxy hears that the job is
// settled (or finds it finished or failed). An upload whose request never
// left the client puts the job back to waiting for its connection.
class SubmitFileAction : public IAction
{
    Q_OBJECT

public:
    SubmitFileAction(const SubmitPointPtr &point, const SubmittedFilePtr &file, QObject *parent = nullptr);
    ~SubmitFileAction() override;

    SubmitPointPtr submitPoint() const { return m_point; }
    SubmittedFilePtr submittedFile() const { return m_file; }

    // Done for a finished or failed job; a running upload is left alone.
    bool perform() override;
    bool isWaiting() const override;

private:
    SubmitPointPtr m_point;
    SubmittedFilePtr m_file;
};
