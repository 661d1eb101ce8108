#pragma once

#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QStringList>

class QProgressBar;

namespace Client {

class MessageModel;

// Filters the log messages by the filter texts in the source model's header
// and sorts the time column by record id. The first column takes a number
// of hours (messages of the last N hours) and/or fragments of the shown
// time; the server and module columns match at the start of the text, the
// others anywhere, case ignored.
class MessageSFPModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    static constexpr int MaximumHours = 10000;

    explicit MessageSFPModel(QObject *parent = nullptr);
    ~MessageSFPModel() override;

    void setSourceModel(QAbstractItemModel *model) override;
    void setProgressBar(QProgressBar *bar);
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    // Adds what each column's filter box does with its words
    // (Velloc::FilterToolTipRole).
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

public slots:
    // Filters and sorts every row again with the current filter texts.
    void resetModel();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    // What one filter pass needs, read once instead of per row.
    struct Pass
    {
        QList<QStringList> words;
        QStringList timeWords;
        bool hasHours = false;
        qint64 thresholdSecs = 0;
    };

    void preparePass() const;
    void passStale() { m_passReady = false; }
    QString cellText(int row, int column) const;
    bool timePasses(int row) const;

    QPointer<QProgressBar> m_progressBar;
    const MessageModel *m_messages = nullptr;
    mutable Pass m_pass;
    mutable bool m_passReady = false;
};

} // namespace Client
