#pragma once

#include "IAction.h"
#include "SubmitPoint.h"
#include "SubmittedFile.h"

// Starts a job's upload once its server answers. It stays queued while
// the upload runs and leaves when the proxy hears that the job is settled
// (or finds it finished).
class SubmitFileAction : public IAction
{
    Q_OBJECT

public:
    SubmitFileAction(const SubmitPointPtr &point, const SubmittedFilePtr &file, QObject *parent = nullptr);
    ~SubmitFileAction() override;

    SubmitPointPtr submitPoint() const { return m_point; }
    SubmittedFilePtr submittedFile() const { return m_file; }

    // Done only for a finished job; a running upload is left alone.
    bool perform() override;
    bool isWaiting() const override;

private:
    SubmitPointPtr m_point;
    SubmittedFilePtr m_file;
};
