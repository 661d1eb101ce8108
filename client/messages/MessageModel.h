#pragma once

#include "LogMessage.h"
#include "ServerProxy.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <vector>

class QAbstractItemView;
class QLabel;

namespace Client {

class TimeTextCache;

// The log messages of all connections in arrival order, one row each. The
// header data also carries each column's filter text and history for the
// log pane's filter row; a typed filter is announced 500 ms after the last
// keystroke.
class MessageModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { TimeColumn, ServerColumn, ModuleColumn, FlowColumn, JobColumn, MessageColumn, ColumnCount };

    // The oldest rows go when more arrive than this.
    static constexpr int DefaultMaximumRows = 300000;
    static constexpr int FilterDelayMs = 500;

    explicit MessageModel(const ServerProxyPtr &proxy, QObject *parent = nullptr);
    ~MessageModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(
        int section, Qt::Orientation orientation, const QVariant &value, int role = Qt::EditRole) override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    bool reloadData();
    // Appends the batch the proxy stores under the key.
    void loadMessages(const QString &key);
    void appendMessages(const QList<LogMessage> &messages);
    void removeConnectionMessages(int connectionId);

    const QList<LogMessage> &messages() const { return m_rows; }
    // The text a cell shows, without going through QVariant; the time and
    // the module in the form shown, made once when the row came in.
    const QString &displayText(int row, int column) const;
    int recordId(int row) const { return m_rows.at(row).recordId; }
    const QDateTime &timeStamp(int row) const { return m_rows.at(row).timeStamp; }
    QString filterText(int column) const { return m_filterTexts.value(column); }

    // A time stamp as the time column and the export show it.
    static QString timeText(const QDateTime &time);
    // The module name in the user's language.
    QString localizedModule(const QString &module) const;
    // Keys that order the rows by a column as the filter model compares
    // them (the time column by record id, the others by the shown text):
    // equal texts get equal keys. They cover the rows there when they were
    // made; rows that came in later are compared by text.
    const std::vector<int> &sortKeys(int column, Qt::CaseSensitivity cs, bool localeAware) const;
    // Makes the keys again when rows came in since.
    void refreshSortKeys(int column, Qt::CaseSensitivity cs, bool localeAware) const;

    // Breaks a long tooltip into lines of about 100 characters.
    static QString breakLines(const QString &text);

    int maximumRows() const { return m_maximumRows; }
    void setMaximumRows(int rows);

    void setStatusLabel(QLabel *label);
    void setView(QAbstractItemView *view);

signals:
    void filterStringsChanged();

public slots:
    void filterChanged();

private:
    QVariant toolTip(const QModelIndex &index) const;
    QModelIndex mapToView(const QModelIndex &index) const;
    void dropOldest(int count);
    void takeIn(const QList<LogMessage> &messages);
    void buildSortKeys(int column, Qt::CaseSensitivity cs, bool localeAware) const;

    // What a row shows that is not in its record as it stands.
    struct Shown
    {
        QString time;
        QString module;
    };
    struct SortKeys
    {
        int column = -1;
        Qt::CaseSensitivity cs = Qt::CaseSensitive;
        bool localeAware = false;
        std::vector<int> keys;
    };

    ServerProxyPtr m_proxy;
    QList<LogMessage> m_rows;
    QList<Shown> m_shown; // one per row
    std::unique_ptr<TimeTextCache> m_timeTexts;
    mutable SortKeys m_sortKeys;
    QPointer<QLabel> m_statusLabel;
    QPointer<QAbstractItemView> m_view;
    QTimer *m_filterTimer;
    QStringList m_titles;
    QStringList m_toolTips;
    QStringList m_filterTexts;
    QList<QStringList> m_histories;
    int m_maximumRows = DefaultMaximumRows;
    // Few distinct modules; rows share the translated texts.
    mutable QHash<QString, QString> m_moduleNames;
};

} // namespace Client
