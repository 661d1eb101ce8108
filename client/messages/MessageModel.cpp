#include "MessageModel.h"

#include "LocalizeManager.h"
#include "LogRoles.h"
#include "MessageNames.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QApplication>
#include <QColor>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>

namespace Client {

namespace {

constexpr int kToolTipMargin = 6;
constexpr int kLineLength = 100;
constexpr int kLineOverrun = 20;
// Beyond this many separate runs, removing a connection's rows one run at
// a time costs more than rebuilding the table.
constexpr int kMaxRemovalRuns = 32;

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
QString dateTimeFormat()
{
    const QLocale locale = QLocale::system();
    const QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    QString time;
    bool quoted = false;
    for (const QChar ch : timeFormat) {
        if (ch == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && ch == QLatin1Char('t'))
            continue;
        time += ch;
    }
    return locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + time.simplified();
}

} // namespace

MessageModel::MessageModel(const ServerProxyPtr &proxy, QObject *parent)
    : QAbstractTableModel(parent)
    , m_proxy(proxy)
    , m_filterTimer(new QTimer(this))
{
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

QString MessageModel::displayText(int row, int column) const
{
    const LogMessage &message = m_rows.at(row);
    switch (column) {
    case TimeColumn:
        return timeText(message.timeStamp);
    case ServerColumn:
        return message.server;
    case ModuleColumn:
        return localizedModule(message.module);
    case FlowColumn:
        return message.flow;
    case JobColumn:
        return message.job;
    case MessageColumn:
        return message.message;
    default:
        return QString();
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
    QString savedStatus;
    const bool showLoading = m_rows.isEmpty() && !messages.isEmpty() && m_statusLabel;
    if (showLoading) {
        savedStatus = m_statusLabel->text();
        m_statusLabel->setText(tr("Loading messages..."));
        m_statusLabel->repaint();
    }
    if (!messages.isEmpty() && m_maximumRows > 0) {
        const qsizetype kept = qMin<qsizetype>(messages.size(), m_maximumRows);
        const qsizetype excess = m_rows.size() + kept - m_maximumRows;
        if (excess > 0)
            dropOldest(int(excess));
        const int first = int(m_rows.size());
        beginInsertRows(QModelIndex(), first, first + int(kept) - 1);
        m_rows.append(messages.mid(messages.size() - kept));
        endInsertRows();
    }
    if (showLoading && m_statusLabel) {
        m_statusLabel->setText(savedStatus);
        m_statusLabel->repaint();
    }
}

void MessageModel::dropOldest(int count)
{
    if (count <= 0 || m_rows.isEmpty())
        return;
    count = qMin(count, int(m_rows.size()));
    beginRemoveRows(QModelIndex(), 0, count - 1);
    m_rows.remove(0, count);
    endRemoveRows();
}

void MessageModel::setMaximumRows(int rows)
{
    m_maximumRows = qMax(1, rows);
    if (m_rows.size() > m_maximumRows)
        dropOldest(int(m_rows.size()) - m_maximumRows);
}

void MessageModel::removeConnectionMessages(int connectionId)
{
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
    if (runs.size() > kMaxRemovalRuns) {
        beginResetModel();
        m_rows.removeIf(
            [connectionId](const LogMessage &message) { return message.connectionId == connectionId; });
        endResetModel();
        return;
    }
    for (const QPair<int, int> &run : runs) {
        beginRemoveRows(QModelIndex(), run.first, run.second);
        m_rows.remove(run.first, run.second - run.first + 1);
        endRemoveRows();
    }
}

void MessageModel::filterChanged()
{
    emit filterStringsChanged();
}

} // namespace Client
