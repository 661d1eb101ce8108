#include "MetadataExplorerModel.h"

#include <QSettings>

#include <algorithm>

#include "JSRegExp.h"
#include "MetadataEditor.h"
#include "SubmitNames.h"
#include "XMLValues.h"

namespace Client {

namespace XV = Tamsor::XMLValues;

MetadataExplorerModel::MetadataExplorerModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

int MetadataExplorerModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_toFill.size() + m_toDisplay.size());
}

int MetadataExplorerModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MetadataExplorerModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole)
        return {};
    const int row = index.row();
    const bool toFill = row < m_toFill.size();
    const QString label = toFill ? m_toFill.at(row).label : m_toDisplay.at(row - m_toFill.size()).label;
    if (index.column() == PropertyColumn)
        return label;

    if (role == Qt::ToolTipRole)
        return toFill ? m_toFill.at(row).description : m_toDisplay.at(row - m_toFill.size()).description;
    if (!toFill)
        return m_toDisplay.at(row - m_toFill.size()).value;
    const MetadataToFill &field = m_toFill.at(row);
    if (field.dataType == XV::EDITORTYPE_BOOL)
        return MetadataEditor::meansYes(field.value) ? XV::YES : XV::NO;
    return field.value;
}

QVariant MetadataExplorerModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case PropertyColumn:
        return tr("Property");
    case ValueColumn:
        return tr("Value");
    default:
        return QString();
    }
}

Qt::ItemFlags MetadataExplorerModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (isEditable(index))
        result |= Qt::ItemIsEditable;
    return result;
}

QModelIndex MetadataExplorerModel::buddy(const QModelIndex &index) const
{
    if (index.isValid() && index.column() == PropertyColumn)
        return index.sibling(index.row(), ValueColumn);
    return index;
}

bool MetadataExplorerModel::isEditable(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this && index.column() == ValueColumn
        && index.row() < m_toFill.size();
}

bool MetadataExplorerModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    // Editors closing while a load swaps the rows must not write into the
    // new fields.
    if (m_loading || role != Qt::EditRole)
        return true;
    if (m_toFill.isEmpty() || !index.isValid() || index.model() != this || index.row() >= m_toFill.size())
        return false;

    MetadataToFill &field = m_toFill[index.row()];
    const QString text = value.toString();
    // Editors commit on every key that moves on; only a new value counts.
    if (field.value == text)
        return true;
    field.value = text;
    if (field.rememberLastValue)
        rememberValue(field.key, field.value);
    const QModelIndex valueCell = index.sibling(index.row(), ValueColumn);
    emit dataChanged(valueCell, valueCell);
    emit metadataEdited();
    return true;
}

bool MetadataExplorerModel::isValidField(const MetadataToFill &field)
{
    if (field.valueIsRequired && field.value.isEmpty())
        return false;
    if (field.dataType == XV::EDITORTYPE_STRING && !field.value.isEmpty() && !field.dataFormat.isEmpty()) {
        const JSRegExp format(field.dataFormat);
        // A format the client cannot read must not block the job.
        if (format.isValid() && !format.exactMatch(field.value))
            return false;
    }
    return true;
}

bool MetadataExplorerModel::isValid() const
{
    return std::all_of(m_toFill.cbegin(), m_toFill.cend(), isValidField);
}

QString MetadataExplorerModel::dataTypeAt(int row) const
{
    return row >= 0 && row < m_toFill.size() ? m_toFill.at(row).dataType : QString();
}

QString MetadataExplorerModel::dataFormatAt(int row) const
{
    return row >= 0 && row < m_toFill.size() ? m_toFill.at(row).dataFormat : QString();
}

QString MetadataExplorerModel::valueAt(int row) const
{
    return row >= 0 && row < m_toFill.size() ? m_toFill.at(row).value : QString();
}

QString MetadataExplorerModel::rememberedValue(const QString &key)
{
    if (key.isEmpty())
        return {};
    QSettings settings;
    settings.beginGroup(SubmitNames::metadataGroup());
    return settings.value(key).toString();
}

void MetadataExplorerModel::rememberValue(const QString &key, const QString &value)
{
    // Without a key the value would land on the group itself.
    if (key.isEmpty())
        return;
    QSettings settings;
    settings.beginGroup(SubmitNames::metadataGroup());
    settings.setValue(key, value);
}

void MetadataExplorerModel::loadMetadata(
    QList<MetadataToFill> *mdTF, const QList<MetadataToDisplay> &mdTD, bool isWaitingCon)
{
    m_loading = true;
    if (!m_toFill.isEmpty()) {
        beginRemoveRows(QModelIndex(), 0, int(m_toFill.size()) - 1);
        m_toFill.clear();
        endRemoveRows();
    }
    if (!m_toDisplay.isEmpty()) {
        beginRemoveRows(QModelIndex(), 0, int(m_toDisplay.size()) - 1);
        m_toDisplay.clear();
        endRemoveRows();
    }
    if (!mdTD.isEmpty()) {
        beginInsertRows(QModelIndex(), 0, int(mdTD.size()) - 1);
        m_toDisplay = mdTD;
        endInsertRows();
    }
    if (mdTF) {
        if (!isWaitingCon) {
            for (MetadataToFill &field : *mdTF) {
                if (!field.rememberLastValue)
                    continue;
                const QString remembered = rememberedValue(field.key);
                if (!remembered.isEmpty())
                    field.value = remembered;
            }
        }
        if (!mdTF->isEmpty()) {
            beginInsertRows(QModelIndex(), 0, int(mdTF->size()) - 1);
            m_toFill = *mdTF;
            endInsertRows();
        }
    }
    m_loading = false;
}

void MetadataExplorerModel::loadMetadata(QList<MetadataToFill> *mdTF, const QList<MetadataToDisplay> &mdTD)
{
    loadMetadata(mdTF, mdTD, false);
}

void MetadataExplorerModel::loadMetadata(QList<MetadataToFill> *mdTF)
{
    loadMetadata(mdTF, {}, false);
}

} // namespace Client
