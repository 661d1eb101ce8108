#include "MessageSFPModel.h"

#include "LogRoles.h"
#include "MessageModel.h"

#include <QProgressBar>

#include <algorithm>

namespace Client {

namespace {

bool isHoursWord(const QString &word, int *hours)
{
    if (word.isEmpty())
        return false;
    for (const QChar ch : word) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return false;
    }
    bool ok = false;
    *hours = word.toInt(&ok);
    return ok;
}

} // namespace

MessageSFPModel::MessageSFPModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{ }

MessageSFPModel::~MessageSFPModel() = default;

QVariant MessageSFPModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Velloc::FilterToolTipRole || orientation != Qt::Horizontal)
        return QSortFilterProxyModel::headerData(section, orientation, role);
    switch (section) {
    case MessageModel::TimeColumn:
        return tr("Enter a number to show messages that have been logged in the last N hours\n"
                  "enter a text string with : or / delimiter(s) to show messages with a time stamp that\n"
                  "contains that string");
    case MessageModel::ServerColumn:
        return tr("Enter one or more server names or their beginnings - separated by a space - to show "
                  "messages\nfrom those servers");
    case MessageModel::ModuleColumn:
        return tr("Enter one or more (possibly partial) module names - separated by a space - to show "
                  "messages for those modules");
    case MessageModel::FlowColumn:
        return tr("Enter one or more text strings - separated by a space - to show messages\n"
                  "for a flow with a name that contains one of these strings");
    case MessageModel::JobColumn:
        return tr("Enter one or more strings - separated by a space - to show messages\n"
                  "for a job with a name that contains one of these strings");
    case MessageModel::MessageColumn:
        return tr("Enter one or more strings - separated by a space - to show messages\n"
                  "that contain one of these strings");
    default:
        return QVariant();
    }
}

void MessageSFPModel::setSourceModel(QAbstractItemModel *model)
{
    if (QAbstractItemModel *old = sourceModel()) {
        disconnect(old, &QAbstractItemModel::rowsAboutToBeInserted, this, &MessageSFPModel::passStale);
        disconnect(old, &QAbstractItemModel::modelAboutToBeReset, this, &MessageSFPModel::passStale);
        disconnect(old, &QAbstractItemModel::headerDataChanged, this, &MessageSFPModel::passStale);
    }
    m_messages = qobject_cast<const MessageModel *>(model);
    passStale();
    QSortFilterProxyModel::setSourceModel(model);
    if (model) {
        // Rows that arrive are filtered against the time they arrive at,
        // and with the filter texts of that moment.
        connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, &MessageSFPModel::passStale);
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &MessageSFPModel::passStale);
        connect(model, &QAbstractItemModel::headerDataChanged, this, &MessageSFPModel::passStale);
    }
}

void MessageSFPModel::setProgressBar(QProgressBar *bar)
{
    m_progressBar = bar;
}

void MessageSFPModel::resetModel()
{
    passStale();
    if (m_messages && sortColumn() >= 0)
        m_messages->refreshSortKeys(sortColumn(), sortCaseSensitivity(), isSortLocaleAware());
    // A full rebuild: refiltering row by row (invalidateFilter) takes
    // seconds on a large table.
    invalidate();
}

void MessageSFPModel::preparePass() const
{
    m_pass = Pass();
    m_passReady = true;
    const QAbstractItemModel *source = sourceModel();
    if (!source)
        return;
    const int columns = source->columnCount();
    for (int column = 0; column < columns; ++column) {
        const QString text
            = source->headerData(column, Qt::Horizontal, Velloc::FilterTextRole).toString().simplified();
        m_pass.words.append(text.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    }
    if (m_pass.words.isEmpty())
        return;
    int maxHours = -1;
    for (const QString &word : m_pass.words.first()) {
        int hours = 0;
        if (isHoursWord(word, &hours))
            maxHours = qMax(maxHours, hours);
        else
            m_pass.timeWords.append(word);
    }
    if (maxHours >= 0) {
        m_pass.hasHours = true;
        const qint64 hours = qMin(maxHours, int(MaximumHours));
        // Stamps are compared to the second: one stamped in the threshold's
        // own second is not after it.
        m_pass.thresholdSecs = QDateTime::currentDateTime().addSecs(-hours * 3600).toSecsSinceEpoch();
    }
}

QString MessageSFPModel::cellText(int row, int column) const
{
    if (m_messages)
        return m_messages->displayText(row, column);
    return sourceModel()->index(row, column).data(Qt::DisplayRole).toString();
}

bool MessageSFPModel::timePasses(int row) const
{
    if (m_pass.hasHours) {
        const QDateTime time = m_messages
            ? m_messages->timeStamp(row)
            : sourceModel()->index(row, 0).data(Velloc::TimeStampRole).toDateTime();
        if (!time.isValid() || time.toSecsSinceEpoch() > m_pass.thresholdSecs)
            return true;
    }
    if (m_pass.timeWords.isEmpty())
        return false;
    const QString text = cellText(row, 0);
    for (const QString &word : m_pass.timeWords) {
        if (text.contains(word, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool MessageSFPModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const QAbstractItemModel *source = sourceModel();
    if (!source || sourceParent.isValid())
        return true;
    const int rows = source->rowCount(sourceParent);
    if (rows > 0 && m_progressBar) {
        int value = 0;
        if (sourceRow >= rows - 1)
            value = 100;
        else if (sourceRow > 0)
            value = int(sourceRow * 100.0 / rows);
        if (value != m_progressBar->value()) {
            // QProgressBar repaints at once, and with it every dirty widget
            // of the window: the table would be painted from a model that
            // is half way through this pass.
            const bool updates = m_progressBar->updatesEnabled();
            m_progressBar->setUpdatesEnabled(false);
            m_progressBar->setValue(value);
            m_progressBar->setUpdatesEnabled(updates);
        }
    }
    if (!m_passReady)
        preparePass();

    for (int column = 0; column < m_pass.words.size(); ++column) {
        const QStringList &words = m_pass.words.at(column);
        if (words.isEmpty())
            continue;
        bool passes = true;
        switch (column) {
        case MessageModel::TimeColumn:
            passes = timePasses(sourceRow);
            break;
        case MessageModel::ServerColumn:
        case MessageModel::ModuleColumn: {
            const QString text = cellText(sourceRow, column);
            passes = std::any_of(words.cbegin(), words.cend(),
                [&text](const QString &word) { return text.startsWith(word, Qt::CaseInsensitive); });
            break;
        }
        case MessageModel::FlowColumn:
        case MessageModel::JobColumn:
        case MessageModel::MessageColumn: {
            const QString text = cellText(sourceRow, column);
            passes = std::any_of(words.cbegin(), words.cend(),
                [&text](const QString &word) { return text.contains(word, Qt::CaseInsensitive); });
            break;
        }
        default:
            break;
        }
        if (!passes)
            return false;
    }
    return true;
}

void MessageSFPModel::sort(int column, Qt::SortOrder order)
{
    if (m_messages && column >= 0)
        m_messages->refreshSortKeys(column, sortCaseSensitivity(), isSortLocaleAware());
    QSortFilterProxyModel::sort(column, order);
}

bool MessageSFPModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const bool direct = m_messages && left.model() == m_messages && right.model() == m_messages;
    if (!direct) {
        if (left.column() == MessageModel::TimeColumn && right.column() == MessageModel::TimeColumn)
            return left.data(Velloc::RecordIdRole).toInt() < right.data(Velloc::RecordIdRole).toInt();
        return QSortFilterProxyModel::lessThan(left, right);
    }
    const int column = left.column();
    if (column == right.column()) {
        const std::vector<int> &keys
            = m_messages->sortKeys(column, sortCaseSensitivity(), isSortLocaleAware());
        const std::size_t l = std::size_t(left.row());
        const std::size_t r = std::size_t(right.row());
        if (l < keys.size() && r < keys.size())
            return keys[l] < keys[r];
    }
    if (column == MessageModel::TimeColumn && right.column() == MessageModel::TimeColumn)
        return m_messages->recordId(left.row()) < m_messages->recordId(right.row());
    // The base class's text comparison, without a QVariant per cell.
    const QString &leftText = m_messages->displayText(left.row(), column);
    const QString &rightText = m_messages->displayText(right.row(), right.column());
    if (isSortLocaleAware())
        return leftText.localeAwareCompare(rightText) < 0;
    return leftText.compare(rightText, sortCaseSensitivity()) < 0;
}

} // namespace Client
