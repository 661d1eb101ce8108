#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <QVector>

#include "SubmitPoint.h"
#include "SubmittedFile.h"

namespace Client {

// The jobs of one submit point with their transfer state. The transfer
// columns are redrawn twice a second while jobs upload.
//
// The model keeps its own list of the point's jobs, so that rows are
// announced before they appear or go, whatever the point did first.
class SubmittedFilesModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { JobNameColumn, SizeColumn, TransferredColumn, StartColumn, EndColumn, ColumnCount };
    // Sort key of a cell: the text, or the date-time of the time columns.
    static constexpr int SortRole = Qt::UserRole;
    static constexpr int RefreshIntervalMs = 500;

    explicit SubmittedFilesModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    SubmitPointPtr submitPoint() const { return m_point; }
    void setSubmitPoint(const SubmitPointPtr &point);

    // Makes the job of the row the current one (null outside the list).
    SubmittedFilePtr fileAt(int row);
    SubmittedFilePtr currentFile() const { return m_current; }
    SubmittedFilePtr jobAt(int row) const;
    int rowOf(const SubmittedFile *job) const;
    // Stops the job's upload and drops it with its saved entry.
    void removeJob(int row);

    // "%1%" of the bytes sent, or the status text.
    static QString transferText(const SubmittedFile &job);
    static QString statusText(int status);
    QTimer &refreshTimer() { return m_timer; }

public slots:
    void jobAdded(const QString &path);
    void timer();
    void jobNameChanged();

private:
    QVariant timeValue(const QString &text, bool parse, int role) const;
    // Takes in jobs the point gained; a list that changed otherwise is
    // read anew.
    void followPoint();

    SubmitPointPtr m_point;
    QVector<SubmittedFilePtr> m_jobs;
    QTimer m_timer;
    SubmittedFilePtr m_current;
};

} // namespace Client
