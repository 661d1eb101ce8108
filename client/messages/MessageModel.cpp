#include "MessageModel.h"

#include "Disposal.h"
#include "LocalizeManager.h"
#include "LogRoles.h"
#include "MessageNames.h"
#include "TimeTextCache.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>

#include <algorithm>
#include <numeric>

namespace Client {

namespace {

constexpr int kToolTipMargin = 6;
constexpr int kLineLength = 100;
constexpr int kLineOverrun = 20;
// Beyond this many separate runs, removing a connection's rows one run at
// a time costs more than rebuilding the table.
constexpr int kMaxRemovalRuns = 32;
// Bounds of a slice of a large batch, whatever the clock says.
constexpr int kMinSliceRows = 500;
constexpr int kMaxSliceRows = 50000;

QVariant typeColour(const QString &type)
{
    if (type == QLatin1String("error"))
        return QColor(220, 0, 0);
    if (type == QLatin1String("warning"))
        return QColor(220, 150, 0);
    if (type == QLatin1String("info"))
        return QColor(0, 0, 0);
    if (type == QLatin1String("debug"))
        return QColor(0, 0, 255);
    if (type == QLatin1String("assert"))
        return QColor(255, 0, 255);
    return QVariant();
}

// The locale's short date with a time to the second: log messages a few
// seconds apart must not look alike, and the short time format of most
// locales has no seconds. The zone name of the long format is left out.
QString dateFormat()
{
    return QLocale::system().dateFormat(QLocale::ShortFormat);
}

QString timeFormat()
{
    const QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    QString time;
    bool quoted = false;
    for (const QChar ch : format) {
        if (ch == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && ch == QLatin1Char('t'))
            continue;
        time += ch;
    }
    return time.simplified();
}

QString dateTimeFormat()
{
    return dateFormat() + QLatin1Char(' ') + timeFormat();
}

int compareTexts(const QString &left, const QString &right, Qt::CaseSensitivity cs, bool localeAware)
{
    return localeAware ? left.localeAwareCompare(right) : left.compare(right, cs);
}

} // namespace

MessageModel::MessageModel(const ServerProxyPtr &proxy, QObject *parent)
    : QAbstractTableModel(parent)
    , m_proxy(proxy)
    , m_timeTexts(std::make_unique<TimeTextCache>(dateFormat(), timeFormat()))
    , m_filterTimer(new QTimer(this))
    , m_feedTimer(new QTimer(this))
{
    m_feedTimer->setSingleShot(true);
    m_feedTimer->setInterval(0);
    connect(m_feedTimer, &QTimer::timeout, this, &MessageModel::feedSlice);
    m_filterTimer->setSingleShot(true);
    connect(m_filterTimer, &QTimer::timeout, this, &MessageModel::filterChanged);

    m_titles = { tr("Time stamp"), tr("Server name"), tr("Module"), tr("Flow name"), tr("Job name"),
        tr("Message") };
    m_toolTips = { tr("The moment in time when this message was issued"), tr("The name of the server"),
        tr("The name of the module that issued this message"),
        tr("The name of the flow driving the operation"), tr("The name of the job for the operation"),
        tr("The message text") };
    m_filterTexts = QStringList(ColumnCount, QString());
    m_filterTexts[TimeColumn] = QStringLiteral("10");
    for (int i = 0; i < ColumnCount; ++i)
        m_histories.append(QStringList());
}

MessageModel::~MessageModel() = default;

QModelIndex MessageModel::index(int row, int column, const QModelIndex &parent) const
{
    // Sorting asks for two indexes per comparison: no virtual calls here.
    if (parent.isValid() || row < 0 || row >= m_rows.size() || column < 0 || column >= ColumnCount)
        return QModelIndex();
    return createIndex(row, column);
}

int MessageModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int MessageModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(ColumnCount);
}

Qt::ItemFlags MessageModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Editable so the pane's read-only editor can open to select text.
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}

QVariant MessageModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return m_titles.at(section);
    case Qt::ToolTipRole:
        return m_toolTips.at(section);
    case Velloc::FilterTextRole:
        return m_filterTexts.at(section);
    case Velloc::FilterHistoryRole:
        return m_histories.at(section);
    default:
        return QVariant();
    }
}

bool MessageModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal)
        return QAbstractTableModel::setHeaderData(section, orientation, value, role);
    switch (role) {
    case Velloc::FilterTextRole:
    case Velloc::FilterTextResetRole:
        if (section < 0 || section >= ColumnCount)
            return false;
        m_filterTexts[section] = value.toString();
        emit headerDataChanged(orientation, section, section);
        if (role == Velloc::FilterTextRole)
            m_filterTimer->start(FilterDelayMs);
        return true;
    case Velloc::FilterHistoryRole:
    case Velloc::FilterHistoryResetRole:
        if (section < 0 || section >= ColumnCount)
            return false;
        m_histories[section] = value.toStringList();
        emit headerDataChanged(orientation, section, section);
        return true;
    default:
        return QAbstractTableModel::setHeaderData(section, orientation, value, role);
    }
}

const QString &MessageModel::displayText(int row, int column) const
{
    static const QString none;
    const LogMessage &message = m_rows.at(row);
    switch (column) {
    case TimeColumn:
        return m_shown.at(row).time;
    case ServerColumn:
        return message.server;
    case ModuleColumn:
        return m_shown.at(row).module;
    case FlowColumn:
        return message.flow;
    case JobColumn:
        return message.job;
    case MessageColumn:
        return message.message;
    default:
        return none;
    }
}

QVariant MessageModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= ColumnCount)
        return QVariant();
    const LogMessage &message = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return displayText(index.row(), index.column());
    case Qt::ToolTipRole:
        return toolTip(index);
    case Qt::ForegroundRole:
        return typeColour(message.type);
    case Velloc::RecordIdRole:
        return index.column() == TimeColumn ? QVariant(message.recordId) : QVariant();
    case Velloc::TimeStampRole:
        return index.column() == TimeColumn ? QVariant(message.timeStamp) : QVariant();
    default:
        return QVariant();
    }
}

QString MessageModel::timeText(const QDateTime &time)
{
    if (!time.isValid())
        return QString();
    static const QString format = dateTimeFormat();
    return QLocale::system().toString(time.toLocalTime(), format);
}

QString MessageModel::localizedModule(const QString &module) const
{
    if (module.isEmpty())
        return module;
    auto it = m_moduleNames.constFind(module);
    if (it == m_moduleNames.cend()) {
        it = m_moduleNames.insert(module,
            Tamsor::LocalizeManager::instance()->translateModule(module, MessageNames::loggingContext()));
    }
    return it.value();
}

const std::vector<int> &MessageModel::sortKeys(int column, Qt::CaseSensitivity cs, bool localeAware) const
{
    // Rows that came in since are compared by text; once they are many,
    // the keys are made again.
    const std::size_t rows = std::size_t(m_rows.size());
    if (m_sortKeys.column != column || m_sortKeys.cs != cs || m_sortKeys.localeAware != localeAware
        || m_sortKeys.keys.size() < rows - rows / 8)
        buildSortKeys(column, cs, localeAware);
    return m_sortKeys.keys;
}

void MessageModel::refreshSortKeys(int column, Qt::CaseSensitivity cs, bool localeAware) const
{
    if (m_sortKeys.column != column || m_sortKeys.cs != cs || m_sortKeys.localeAware != localeAware
        || m_sortKeys.keys.size() != std::size_t(m_rows.size()))
        buildSortKeys(column, cs, localeAware);
}

void MessageModel::buildSortKeys(int column, Qt::CaseSensitivity cs, bool localeAware) const
{
    m_sortKeys.column = column;
    m_sortKeys.cs = cs;
    m_sortKeys.localeAware = localeAware;
    std::vector<int> &keys = m_sortKeys.keys;
    const int rows = int(m_rows.size());
    keys.assign(std::size_t(rows), 0);
    if (column == TimeColumn) {
        for (int row = 0; row < rows; ++row)
            keys[std::size_t(row)] = m_rows.at(row).recordId;
        return;
    }
    if (column < 0 || column >= ColumnCount)
        return;
    // Each distinct text is compared only with other distinct texts: most
    // columns hold few, and the messages repeat.
    QHash<QString, int> numbers;
    QList<QString> distinct;
    for (int row = 0; row < rows; ++row) {
        const QString &text = displayText(row, column);
        auto it = numbers.constFind(text);
        if (it == numbers.cend()) {
            it = numbers.insert(text, int(distinct.size()));
            distinct.append(text);
        }
        keys[std::size_t(row)] = it.value();
    }
    std::vector<int> order(std::size_t(distinct.size()));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
        [&](int a, int b) { return compareTexts(distinct.at(a), distinct.at(b), cs, localeAware) < 0; });
    std::vector<int> rank(order.size());
    int current = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        // Texts that compare equal (other case, or alike in the locale)
        // share a key, so the sort keeps their order as the text sort did.
        if (i > 0 && compareTexts(distinct.at(order[i - 1]), distinct.at(order[i]), cs, localeAware) != 0)
            ++current;
        rank[std::size_t(order[i])] = current;
    }
    for (int &key : keys)
        key = rank[std::size_t(key)];
}

QModelIndex MessageModel::mapToView(const QModelIndex &index) const
{
    // The view may show this model through one or more proxies.
    QList<const QAbstractProxyModel *> chain;
    const QAbstractItemModel *model = m_view->model();
    while (model && model != this) {
        const auto *proxy = qobject_cast<const QAbstractProxyModel *>(model);
        if (!proxy)
            return QModelIndex();
        chain.prepend(proxy);
        model = proxy->sourceModel();
    }
    if (!model)
        return QModelIndex();
    QModelIndex mapped = index;
    for (const QAbstractProxyModel *proxy : chain)
        mapped = proxy->mapFromSource(mapped);
    return mapped;
}

QVariant MessageModel::toolTip(const QModelIndex &index) const
{
    const QString text = displayText(index.row(), index.column());
    if (m_view) {
        const int available = m_view->visualRect(mapToView(index)).width() - kToolTipMargin;
        if (QFontMetrics(QApplication::font()).horizontalAdvance(text) <= available)
            return QString();
    }
    return breakLines(text);
}

QString MessageModel::breakLines(const QString &text)
{
    QString lines;
    lines.reserve(text.size() + text.size() / kLineLength + 1);
    int count = 0;
    int overrun = 0;
    for (const QChar ch : text) {
        if (count < kLineLength) {
            lines += ch;
            ++count;
        } else if (ch.isSpace()) {
            lines += QLatin1Char('\n');
            count = 0;
            overrun = 0;
        } else if (overrun < kLineOverrun) {
            lines += ch;
            ++overrun;
        } else {
            lines += QLatin1Char('\n');
            lines += ch;
            count = 0;
            overrun = 0;
        }
    }
    return lines;
}

void MessageModel::setStatusLabel(QLabel *label)
{
    m_statusLabel = label;
}

void MessageModel::setView(QAbstractItemView *view)
{
    m_view = view;
}

bool MessageModel::reloadData()
{
    return true;
}

void MessageModel::loadMessages(const QString &key)
{
    QList<LogMessage> batch;
    if (m_proxy)
        m_proxy->getLogData(key, batch);
    appendMessages(batch);
}

void MessageModel::appendMessages(const QList<LogMessage> &messages)
{
    if (messages.isEmpty())
        return;
    if (pendingRows() == 0 && messages.size() <= kMinSliceRows) {
        const bool showLoading = m_rows.isEmpty() && !m_showsLoading;
        if (showLoading)
            startLoading();
        insertRows(messages.constData(), messages.size());
        if (showLoading)
            endLoading();
        return;
    }
    // Taking in a large batch at once would hold up the window for as long
    // as the views and proxies need for all of it.
    if (m_rows.isEmpty() && !m_showsLoading)
        startLoading();
    int lowest = std::numeric_limits<int>::max();
    int highest = std::numeric_limits<int>::min();
    for (const LogMessage &message : messages) {
        lowest = qMin(lowest, message.recordId);
        highest = qMax(highest, message.recordId);
    }
    const bool newerThanAll = lowest > m_highestId;
    m_highestId = qMax(m_highestId, highest);
    if (pendingRows() == 0) {
        m_pending = messages;
        m_pendingFrom = 0;
    } else {
        m_pending.append(messages);
    }
    emit batchQueued(newerThanAll);
    m_feedTimer->start();
}

void MessageModel::feedSlice()
{
    const qsizetype left = m_pending.size() - m_pendingFrom;
    if (left <= 0)
        return;
    const qsizetype count = qMin<qsizetype>(left, m_sliceRows);
    QElapsedTimer clock;
    clock.start();
    insertRows(m_pending.constData() + m_pendingFrom, count);
    m_pendingFrom += count;
    // The next slice sized by how long this one took.
    const qint64 ms = clock.elapsed();
    if (ms > SliceTargetMs)
        m_sliceRows = qMax(kMinSliceRows, int(m_sliceRows * SliceTargetMs / ms));
    else if (ms < SliceTargetMs / 2 && count == m_sliceRows)
        m_sliceRows = qMin(kMaxSliceRows, m_sliceRows + m_sliceRows / 2);
    if (m_pendingFrom < m_pending.size()) {
        m_feedTimer->start();
        return;
    }
    // The batch's own copies of the texts go with it, and the memory they
    // held back to the system.
    disposeInBackground(std::exchange(m_pending, QList<LogMessage>()), true);
    m_pendingFrom = 0;
    endLoading();
    emit loadingFinished();
}

void MessageModel::startLoading()
{
    if (!m_statusLabel)
        return;
    m_showsLoading = true;
    m_savedStatus = m_statusLabel->text();
    m_statusLabel->setText(tr("Loading messages..."));
    m_statusLabel->repaint();
}

void MessageModel::endLoading()
{
    if (!m_showsLoading)
        return;
    m_showsLoading = false;
    if (m_statusLabel) {
        m_statusLabel->setText(m_savedStatus);
        m_statusLabel->repaint();
    }
}

void MessageModel::insertRows(const LogMessage *first, qsizetype count)
{
    if (count <= 0)
        return;
    // A batch larger than the limit keeps its newest part.
    const qsizetype kept = qMin<qsizetype>(count, m_maximumRows);
    if (kept < count) {
        m_droppedRows += count - kept;
        emit rowsDropped(m_droppedRows);
    }
    first += count - kept;
    const qsizetype excess = m_rows.size() + kept - m_maximumRows;
    if (excess > 0)
        dropOldest(int(excess));
    const int at = int(m_rows.size());
    beginInsertRows(QModelIndex(), at, at + int(kept) - 1);
    takeIn(first, kept);
    endInsertRows();
}

QString MessageModel::shared(const QString &text)
{
    const auto it = m_texts.constFind(text);
    if (it != m_texts.cend())
        return *it;
    m_texts.insert(text);
    return text;
}

void MessageModel::takeIn(const LogMessage *first, qsizetype count)
{
    for (const LogMessage *message = first; message != first + count; ++message)
        m_highestId = qMax(m_highestId, message->recordId);
    // Room for the whole batch at once: growing by each slice would copy
    // every row again per slice and hold the old and the new table at once.
    const qsizetype needed = m_rows.size() + qMax(count, qsizetype(pendingRows()));
    if (m_rows.capacity() < needed) {
        m_rows.reserve(needed + needed / 8);
        m_shown.reserve(needed + needed / 8);
    }
    for (const LogMessage *message = first; message != first + count; ++message) {
        LogMessage row = *message;
        // A copy of its own, made here: the text the reply came with sits
        // among the reading thread's freed memory, which then cannot go
        // back to the system while any row holds a piece of it.
        row.message = QString(row.message.constData(), row.message.size());
        row.server = shared(row.server);
        row.module = shared(row.module);
        row.flow = shared(row.flow);
        row.job = shared(row.job);
        row.type = shared(row.type);
        m_shown.append({ m_timeTexts->text(row.timeStamp), localizedModule(row.module) });
        m_rows.append(std::move(row));
    }
}

void MessageModel::dropOldest(int count)
{
    if (count <= 0 || m_rows.isEmpty())
        return;
    count = qMin(count, int(m_rows.size()));
    beginRemoveRows(QModelIndex(), 0, count - 1);
    m_rows.remove(0, count);
    m_shown.remove(0, count);
    std::vector<int> &keys = m_sortKeys.keys;
    keys.erase(keys.begin(), keys.begin() + qMin<std::ptrdiff_t>(count, std::ptrdiff_t(keys.size())));
    endRemoveRows();
    m_droppedRows += count;
    emit rowsDropped(m_droppedRows);
}

void MessageModel::setMaximumRows(int rows)
{
    m_maximumRows = qMax(1, rows);
    if (m_rows.size() > m_maximumRows)
        dropOldest(int(m_rows.size()) - m_maximumRows);
}

void MessageModel::removeConnectionMessages(int connectionId)
{
    if (pendingRows() > 0) {
        QList<LogMessage> kept;
        for (qsizetype i = m_pendingFrom; i < m_pending.size(); ++i) {
            if (m_pending.at(i).connectionId != connectionId)
                kept.append(m_pending.at(i));
        }
        m_pending = kept;
        m_pendingFrom = 0;
        if (m_pending.isEmpty()) {
            m_feedTimer->stop();
            endLoading();
            emit loadingFinished();
        }
    }
    // Runs of the connection's rows, last first, so earlier rows keep their
    // numbers while later ones go.
    QList<QPair<int, int>> runs;
    for (int row = int(m_rows.size()) - 1; row >= 0; --row) {
        if (m_rows.at(row).connectionId != connectionId)
            continue;
        if (!runs.isEmpty() && runs.last().first == row + 1)
            runs.last().first = row;
        else
            runs.append({ row, row });
    }
    if (runs.isEmpty())
        return;
    std::vector<int> &keys = m_sortKeys.keys;
    if (runs.size() > kMaxRemovalRuns) {
        beginResetModel();
        // Keyed rows are a prefix of the rows, and stay one.
        const std::size_t keyedBefore = keys.size();
        std::size_t keyed = 0;
        int kept = 0;
        for (int row = 0; row < m_rows.size(); ++row) {
            if (m_rows.at(row).connectionId == connectionId)
                continue;
            if (kept != row) {
                m_rows[kept] = std::move(m_rows[row]);
                m_shown[kept] = std::move(m_shown[row]);
            }
            if (std::size_t(row) < keyedBefore)
                keys[keyed++] = keys[std::size_t(row)];
            ++kept;
        }
        m_rows.resize(kept);
        m_shown.resize(kept);
        keys.resize(keyed);
        endResetModel();
        return;
    }
    for (const QPair<int, int> &run : runs) {
        beginRemoveRows(QModelIndex(), run.first, run.second);
        const int count = run.second - run.first + 1;
        m_rows.remove(run.first, count);
        m_shown.remove(run.first, count);
        if (std::size_t(run.first) < keys.size())
            keys.erase(keys.begin() + run.first,
                keys.begin() + qMin<std::ptrdiff_t>(run.second + 1, std::ptrdiff_t(keys.size())));
        endRemoveRows();
    }
}

void MessageModel::filterChanged()
{
    emit filterStringsChanged();
}

} // namespace Client
