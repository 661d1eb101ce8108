#pragma once

#include "LogMessage.h"
#include "ServerProxy.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <limits>
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

    // The oldest rows go when more arrive than this; the model tells how
    // many went (rowsDropped).
    static constexpr int DefaultMaximumRows = 300000;
    static constexpr int FilterDelayMs = 500;
    // A large batch comes in a slice per turn of the event loop, each sized
    // to take about this long with the views and proxies over the model.
    static constexpr int SliceTargetMs = 10;

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
    // A small batch comes in at once; a large one in slices, the first now
    // and the rest in later turns of the event loop (then `pendingRows`).
    void appendMessages(const QList<LogMessage> &messages);
    void removeConnectionMessages(int connectionId);
    // Rows of batches still coming in.
    int pendingRows() const { return int(m_pending.size() - m_pendingFrom); }
    // Rows dropped for the row limit since the model was made.
    qint64 droppedRows() const { return m_droppedRows; }

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
    // A large batch waits to come in slices, until loadingFinished(); its
    // records are all newer (higher ids) than every row before it, or not.
    void batchQueued(bool newerThanAll);
    // Every pending row is in.
    void loadingFinished();
    // The oldest rows went for the row limit; `total` since the start.
    void rowsDropped(qint64 total);

public slots:
    void filterChanged();

private:
    QVariant toolTip(const QModelIndex &index) const;
    QModelIndex mapToView(const QModelIndex &index) const;
    void dropOldest(int count);
    void insertRows(const LogMessage *first, qsizetype count);
    void takeIn(const LogMessage *first, qsizetype count);
    void feedSlice();
    void startLoading();
    void endLoading();
    // One shared copy of each repeated text (servers, modules, flows, jobs,
    // types): rows that repeat them cost no memory for them.
    QString shared(const QString &text);
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
    // Rows waiting to come in, from m_pendingFrom on.
    QList<LogMessage> m_pending;
    qsizetype m_pendingFrom = 0;
    QTimer *m_feedTimer;
    int m_sliceRows = 1000;
    qint64 m_droppedRows = 0;
    // The highest record id of the rows, pending ones included.
    int m_highestId = std::numeric_limits<int>::min();
    QString m_savedStatus;
    bool m_showsLoading = false;
    QSet<QString> m_texts;
    // Few distinct modules; rows share the translated texts.
    mutable QHash<QString, QString> m_moduleNames;
};

} // namespace Client
