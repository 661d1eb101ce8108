#pragma once

#include <QAbstractTableModel>
#include <QList>

#include "MetadataToDisplay.h"
#include "MetadataToFill.h"

namespace Client {

// The property table of the metadata explorer: first the fields the user
// fills in, then the fields only shown. Edits change the model's own copy
// of the fields to fill.
class MetadataExplorerModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { PropertyColumn, ValueColumn, ColumnCount };

    explicit MetadataExplorerModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QModelIndex buddy(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // The value cell of a field to fill.
    virtual bool isEditable(const QModelIndex &index) const;

    // No fields to fill, or every one has what it needs.
    bool isValid() const;
    static bool isValidField(const MetadataToFill &field);

    QList<MetadataToFill> metadataToFill() const { return m_toFill; }
    QList<MetadataToDisplay> metadataToDisplay() const { return m_toDisplay; }
    int fillRowCount() const { return int(m_toFill.size()); }

    // The data type and format of a row; empty for rows only shown.
    QString dataTypeAt(int row) const;
    QString dataFormatAt(int row) const;
    QString valueAt(int row) const;

    // Remembered values live here, one key per field.
    static QString rememberedValue(const QString &key);
    static void rememberValue(const QString &key, const QString &value);

signals:
    // A value was stored by an edit.
    void metadataEdited();

public slots:
    // Remembered values go into the caller's fields (unless the job
    // already waits for its connection) before they are copied.
    void loadMetadata(QList<MetadataToFill> *mdTF, const QList<MetadataToDisplay> &mdTD, bool isWaitingCon);
    void loadMetadata(QList<MetadataToFill> *mdTF, const QList<MetadataToDisplay> &mdTD);
    void loadMetadata(QList<MetadataToFill> *mdTF);

private:
    QList<MetadataToFill> m_toFill;
    QList<MetadataToDisplay> m_toDisplay;
    bool m_loading = false;
};

} // namespace Client
