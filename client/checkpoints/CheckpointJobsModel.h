#pragma once

#include "CheckPoint.h"
#include "CheckPointJob.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>

namespace Client {

// The jobs waiting at one checkpoint. Each refresh makes the job objects
// anew from the checkpoint's current list.
class CheckpointJobsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { JobNameColumn, UserNameColumn, SizeColumn, SubmittedColumn, WaitingColumn, ColumnCount };
    // Sort key of a cell: the text, the byte count of the size, the
    // date-time of a time that reads.
    static constexpr int SortRole = Qt::UserRole;

    explicit CheckpointJobsModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    CheckPoint *checkPoint() const { return m_checkPoint.data(); }
    // Shows the checkpoint's jobs (none for null).
    void setCheckPoint(CheckPoint *checkPoint);
    // Null outside the rows or without a checkpoint.
    CheckPointJobPtr jobAt(int row) const;
    CheckPointJobPtr findJob(const QString &jobId) const;
    int rowOfJob(const QString &jobId) const;
    void removeJobRow(int row);
    // Redraws the rows (a job's status changed).
    void refreshRows();

    // The text colour of a job whose push waits for its server.
    static QColor pushWaitingColor();

signals:
    void updated();

public slots:
    void updateRequestHandler();

private:
    void rebuild();

    QPointer<CheckPoint> m_checkPoint;
    QList<CheckPointJobPtr> m_rows;
};

} // namespace Client
