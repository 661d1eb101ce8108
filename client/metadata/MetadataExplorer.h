#pragma once

#include <QList>
#include <QWidget>

#include "MetadataToDisplay.h"
#include "MetadataToFill.h"

class QTreeView;

namespace Client {

class MetadataExplorerDelegate;
class MetadataExplorerModel;

// Enters and shows a job's metadata as a property table: the fields asked
// for, editable, above the fields only shown.
class MetadataExplorer : public QWidget
{
    Q_OBJECT

public:
    explicit MetadataExplorer(QWidget *parent = nullptr);

    // Replaces everything shown. Unless isWaitingCon is set, remembered
    // values are filled into mdTF (the caller's list) first.
    void loadMetadata(
        QList<MetadataToFill> *mdTF, const QList<MetadataToDisplay> &mdTD = {}, bool isWaitingCon = false);
    bool isValid() const;
    // The fields to fill with the values entered so far.
    QList<MetadataToFill> metadataToFill() const;

    QTreeView *view() const { return m_view; }
    MetadataExplorerModel *model() const { return m_model; }
    MetadataExplorerDelegate *delegate() const { return m_delegate; }

signals:
    // After each value stored by an edit.
    void dataChanged();

private:
    QTreeView *m_view;
    MetadataExplorerModel *m_model;
    MetadataExplorerDelegate *m_delegate;
};

} // namespace Client
