#pragma once

#include "LogRoles.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QStringList>
#include <QVariant>

// A small log table that serves the pane the way a client model does: the
// filter roles on the horizontal header, record id and time stamp on
// column 0. Every header write is logged so tests can see what the pane
// asked for.
class LogTestModel : public QAbstractTableModel
{
public:
    struct HeaderWrite
    {
        int section;
        int role;
        QVariant value;
    };

    explicit LogTestModel(int columns = 6, QObject *parent = nullptr)
        : QAbstractTableModel(parent)
        , m_columns(columns)
    {
        for (int c = 0; c < m_columns; ++c) {
            m_titles.append(QStringLiteral("Column %1").arg(c));
            m_filters.append(QString());
            m_histories.append(QStringList());
        }
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }

    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_columns;
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid))
            return QVariant();
        const QStringList &row = m_rows.at(index.row());
        if (role == Qt::DisplayRole)
            return row.value(index.column());
        if (index.column() == 0 && role == Velloc::RecordIdRole)
            return index.row() + 1;
        if (index.column() == 0 && role == Velloc::TimeStampRole)
            return QDateTime(QDate(2024, 1, 1), QTime(0, 0)).addSecs(index.row());
        return QVariant();
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0 || section >= m_columns)
            return QAbstractTableModel::headerData(section, orientation, role);
        switch (role) {
        case Qt::DisplayRole:
            return m_titles.at(section);
        case Velloc::FilterTextRole:
            return m_filters.at(section);
        case Velloc::FilterHistoryRole:
            return m_histories.at(section);
        default:
            return QVariant();
        }
    }

    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role) override
    {
        if (orientation != Qt::Horizontal)
            return QAbstractTableModel::setHeaderData(section, orientation, value, role);
        writes.append({ section, role, value });
        if (section < 0 || section >= m_columns)
            return false;
        switch (role) {
        case Velloc::FilterTextRole:
        case Velloc::FilterTextResetRole:
            m_filters[section] = value.toString();
            break;
        case Velloc::FilterHistoryRole:
        case Velloc::FilterHistoryResetRole:
            m_histories[section] = value.toStringList();
            break;
        default:
            return false;
        }
        emit headerDataChanged(Qt::Horizontal, section, section);
        return true;
    }

    void appendRows(const QList<QStringList> &rows)
    {
        if (rows.isEmpty())
            return;
        beginInsertRows(QModelIndex(), int(m_rows.size()), int(m_rows.size() + rows.size() - 1));
        m_rows.append(rows);
        endInsertRows();
    }

    void appendNumbered(int count, const QString &prefix = QStringLiteral("row"))
    {
        QList<QStringList> rows;
        for (int i = 0; i < count; ++i) {
            QStringList row;
            for (int c = 0; c < m_columns; ++c)
                row.append(QStringLiteral("%1 %2/%3").arg(prefix).arg(m_rows.size() + i).arg(c));
            rows.append(row);
        }
        appendRows(rows);
    }

    // New rows at the top, as a table sorted newest first gets them.
    void prependNumbered(int count, const QString &prefix)
    {
        QList<QStringList> rows;
        for (int i = 0; i < count; ++i) {
            QStringList row;
            for (int c = 0; c < m_columns; ++c)
                row.append(QStringLiteral("%1 %2/%3").arg(prefix).arg(i).arg(c));
            rows.append(row);
        }
        beginInsertRows(QModelIndex(), 0, count - 1);
        m_rows = rows + m_rows;
        endInsertRows();
    }

    QString filterText(int section) const { return m_filters.value(section); }
    QStringList history(int section) const { return m_histories.value(section); }

    // Header writes with the role, in order.
    QList<HeaderWrite> writesWithRole(int role) const
    {
        QList<HeaderWrite> found;
        for (const HeaderWrite &write : writes)
            if (write.role == role)
                found.append(write);
        return found;
    }

    QList<HeaderWrite> writes;

private:
    int m_columns;
    QStringList m_titles;
    QStringList m_filters;
    QList<QStringList> m_histories;
    QList<QStringList> m_rows;
};
