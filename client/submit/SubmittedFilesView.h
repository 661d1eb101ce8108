#pragma once

#include <QWidget>

#include "SubmitPoint.h"
#include "SubmittedFile.h"

class QSortFilterProxyModel;
class QTreeView;

namespace Client {

class HeaderLabel;
class SubmittedFilesModel;

// The jobs of the chosen submit point. The job form follows the job that
// is current here, whether it was clicked or reached with the keyboard.
class SubmittedFilesView : public QWidget
{
    Q_OBJECT

public:
    explicit SubmittedFilesView(QWidget *parent = nullptr);

    SubmitPointPtr submitPoint() const { return m_point; }
    QTreeView *view() const { return m_view; }
    SubmittedFilesModel *model() const { return m_model; }
    QSortFilterProxyModel *sortModel() const { return m_sortModel; }
    HeaderLabel *title() const { return m_title; }
    // Model row of the first selected job; -1 when none is.
    int selectedRow() const;
    // Back to no point, as at start.
    void reset();

signals:
    void submittedFileSelected(const SubmittedFilePtr &job);
    void jobWasAdded();
    void jobsChanged();
    void gotFocus();

public slots:
    void pointSelected(const SubmitPointPtr &point);
    void jobAdded();
    // Drops the job the form showed, wherever its row is now.
    void jobCanceled(const SubmittedFilePtr &job);
    void onGotFocus();
    void onLostFocus();
    void itemClicked(const QModelIndex &index);

private:
    void currentRowChanged(const QModelIndex &current);
    void selectModelRow(int row);

    SubmitPointPtr m_point;
    HeaderLabel *m_title;
    QTreeView *m_view;
    SubmittedFilesModel *m_model;
    QSortFilterProxyModel *m_sortModel;
    // Set while the view itself changes rows or selection.
    bool m_adjusting = false;
};

} // namespace Client
