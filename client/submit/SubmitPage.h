#pragma once

#include "BaseWidget.h"
#include "SavedSubmissions.h"
#include "ServerProxy.h"
#include "SubmitPoint.h"
#include "SubmittedFile.h"

class QSplitter;

namespace Client {

class SubmitPointsView;
class SubmittedFileView;
class SubmittedFilesView;
class UpdateControl;

// The Submit Points page: the submit points of all servers, the jobs of
// the chosen point and the job form. Jobs left unsent by the last run come
// back the first time the page is shown.
class SubmitPage : public BaseWidget
{
    Q_OBJECT

public:
    explicit SubmitPage(const ServerProxyPtr &proxy, QWidget *parent = nullptr);
    ~SubmitPage() override;

    SubmitPointsView *pointsView() const { return m_pointsView; }
    SubmittedFilesView *filesView() const { return m_filesView; }
    SubmittedFileView *jobForm() const { return m_jobForm; }
    UpdateControl *updateControl() const { return m_updateControl; }
    QSplitter *horizontalSplitter() const { return m_horizontalSplitter; }
    QSplitter *verticalSplitter() const { return m_verticalSplitter; }

public slots:
    void loadSavedJobs();
    void resetPage();
    void jobAdded();
    void jobCanceled(const SubmittedFilePtr &job);

private:
    void restoreSavedJobs();
    void restoreLayout();
    void saveLayout() const;

    ServerProxyPtr m_proxy;
    SubmittedFileView *m_jobForm;
    QSplitter *m_horizontalSplitter;
    QSplitter *m_verticalSplitter;
    SubmitPointsView *m_pointsView;
    SubmittedFilesView *m_filesView;
    UpdateControl *m_updateControl;
    // Saved jobs of the last run whose submit point has not come yet.
    QList<SavedSubmissions::SavedJob> m_savedJobs;
};

} // namespace Client
