#include "LogHeaderView.h"

#include "AbsBasicMessagePane.h"
#include "FilterComboBox.h"
#include "LogRoles.h"
#include "LogTableView.h"

#include <QAbstractItemModel>
#include <QChar>
#include <QContextMenuEvent>
#include <QPainter>
#include <QRect>

namespace Velloc {

namespace {

const QChar kFieldEnd(0);

// A saved field must not carry the separator itself.
QString cleanField(QString text)
{
    text.remove(kFieldEnd);
    return text;
}

// Entries of a saved or stored history as a box can hold them.
QStringList cleanHistory(const QStringList &entries)
{
    QStringList history;
    for (const QString &entry : entries) {
        if (entry.isEmpty() || history.contains(entry))
            continue;
        history.append(entry);
        if (history.size() == FilterComboBox::MaxHistory)
            break;
    }
    return history;
}

} // namespace

LogHeaderView::LogHeaderView(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    m_tooltips = {
        tr("Enter a number to show messages that have been logged in the last N hours\n"
           "enter a text string with : or / delimiter(s) to show messages with a time stamp that\n"
           "contains that string"),
        tr("Enter one or more messages types - separated by a space - to show messages of those types"),
        tr("Enter one or more (possibly partial) module names - separated by a space - to show messages "
           "for those modules"),
        tr("Enter one or more text strings - separated by a space - to show messages\n"
           "for a flow with a name that contains one of these strings"),
        tr("Enter one or more strings - separated by a space - to show messages\n"
           "for a flow element with a name that contains one of these strings"),
        tr("Enter one or more strings - separated by a space - to show messages\n"
           "for a job with a name that contains one of these strings"),
        tr("Enter one or more strings - separated by a space - to show messages\n"
           "that contain one of these strings "),
    };
    connect(this, &QHeaderView::sectionCountChanged, this, &LogHeaderView::onSectionCountChanged);
}

LogHeaderView::~LogHeaderView() = default;

QSize LogHeaderView::sizeHint() const
{
    QSize size = QHeaderView::sizeHint();
    size.setHeight(size.height() * 2);
    return size;
}

FilterComboBox *LogHeaderView::filterBox(int section) const
{
    if (section < 0 || section >= m_boxes.size())
        return nullptr;
    return m_boxes.at(section);
}

void LogHeaderView::onSectionCountChanged(int oldCount, int newCount)
{
    if (oldCount == 0 && newCount == 0)
        oldCount = int(m_boxes.size());
    if (newCount <= oldCount)
        return;
    const int boxCount = qMin(newCount, int(MaxFilterColumns));
    if (m_boxes.size() < boxCount)
        m_boxes.resize(boxCount);
    // Columns that went away and came back keep the boxes they had.
    for (int i = 0; i < boxCount; ++i) {
        if (!m_boxes.at(i))
            m_boxes[i] = createBox(i);
    }
}

FilterComboBox *LogHeaderView::createBox(int section)
{
    auto *box = new FilterComboBox(section, this);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::InsertAlphabetically);
    box->setMaxCount(FilterComboBox::MaxHistory);
    box->setCompleter(nullptr);
    // The generic texts name the columns of the usual log; a model with
    // other columns says what its boxes filter.
    const QString own
        = model() ? model()->headerData(section, Qt::Horizontal, FilterToolTipRole).toString() : QString();
    box->setToolTip(own.isEmpty() ? m_tooltips.value(section) : own);
    if (QAbstractItemModel *source = model()) {
        box->addItems(
            cleanHistory(source->headerData(section, Qt::Horizontal, FilterHistoryRole).toStringList()));
        box->setFilterText(source->headerData(section, Qt::Horizontal, FilterTextRole).toString());
    }
    // Connected only now, so filling the box writes nothing back.
    connectBox(box);
    return box;
}

void LogHeaderView::connectBox(FilterComboBox *box)
{
    connect(box, &FilterComboBox::filterTextChanged, this, &LogHeaderView::onFilterTextChanged);
    connect(box, &FilterComboBox::filterHistoryChanged, this, &LogHeaderView::onFilterHistoryChanged);
}

void LogHeaderView::disconnectBox(FilterComboBox *box)
{
    disconnect(box, &FilterComboBox::filterTextChanged, this, &LogHeaderView::onFilterTextChanged);
    disconnect(box, &FilterComboBox::filterHistoryChanged, this, &LogHeaderView::onFilterHistoryChanged);
}

void LogHeaderView::onFilterTextChanged(int section, const QString &text)
{
    if (QAbstractItemModel *source = model())
        source->setHeaderData(section, Qt::Horizontal, text, FilterTextRole);
}

void LogHeaderView::onFilterHistoryChanged(int section, const QStringList &history)
{
    if (QAbstractItemModel *source = model())
        source->setHeaderData(section, Qt::Horizontal, history, FilterHistoryRole);
}

void LogHeaderView::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    const int half = rect.height() / 2;
    const int sections = count();
    for (int j = 0; j < m_boxes.size(); ++j) {
        FilterComboBox *box = m_boxes.at(j);
        if (!box)
            continue;
        if (j >= sections || isSectionHidden(j)) {
            box->hide();
            continue;
        }
        const QRect boxRect(sectionViewportPosition(j), rect.top(), sectionSize(j), half);
        if (boxRect.right() < 0 || boxRect.left() > length()) {
            box->hide();
            continue;
        }
        if (box->geometry() != boxRect)
            box->setGeometry(boxRect);
        if (!box->isVisible())
            box->show();
    }
    QHeaderView::paintSection(
        painter, QRect(rect.left(), rect.top() + half, rect.width(), half), logicalIndex);
}

void LogHeaderView::contextMenuEvent(QContextMenuEvent *event)
{
    auto *view = qobject_cast<LogTableView *>(parentWidget());
    if (!view) {
        QHeaderView::contextMenuEvent(event);
        return;
    }
    event->accept();
    view->showContextMenu(event->globalPos(), LogTableView::HeaderMenu);
}

void LogHeaderView::resetFilters()
{
    QAbstractItemModel *source = model();
    for (int i = 1; i < count(); ++i) {
        FilterComboBox *box = filterBox(i);
        if (box) {
            disconnectBox(box);
            box->setEditText(QString());
        }
        if (source)
            source->setHeaderData(i, Qt::Horizontal, QString(), FilterTextResetRole);
        if (box)
            connectBox(box);
    }
    if (FilterComboBox *first = filterBox(0)) {
        // Still connected: the first column filters again with its default.
        first->clearEditText();
        QWidget *table = parentWidget();
        auto *pane = qobject_cast<AbsBasicMessagePane *>(table ? table->parentWidget() : nullptr);
        if (pane)
            first->setEditText(pane->defaultFilterText());
    }
}

void LogHeaderView::clearHistories()
{
    QAbstractItemModel *source = model();
    for (int i = 0; i < count(); ++i) {
        FilterComboBox *box = filterBox(i);
        if (box) {
            disconnectBox(box);
            const QString kept = box->currentText();
            while (box->count() > 0)
                box->removeItem(0);
            box->setEditText(kept);
        }
        if (source)
            source->setHeaderData(i, Qt::Horizontal, QStringList(), FilterHistoryResetRole);
        if (box)
            connectBox(box);
    }
}

QString LogHeaderView::saveFilters() const
{
    QString saved;
    QAbstractItemModel *source = model();
    for (int i = 0; i < count(); ++i) {
        QString text;
        QStringList history;
        if (source) {
            text = source->headerData(i, Qt::Horizontal, FilterTextRole).toString();
            history = source->headerData(i, Qt::Horizontal, FilterHistoryRole).toStringList();
        }
        saved += QString::number(history.size() + 2) + kFieldEnd;
        saved += QString::number(i) + kFieldEnd;
        saved += cleanField(text) + kFieldEnd;
        for (const QString &entry : history)
            saved += cleanField(entry) + kFieldEnd;
    }
    return saved;
}

void LogHeaderView::restoreFilters(const QString &saved)
{
    const QStringList parts = saved.split(kFieldEnd, Qt::KeepEmptyParts);
    if (parts.size() < 2)
        return;
    QAbstractItemModel *source = model();
    const qsizetype partCount = parts.size();
    qsizetype p = 0;
    // Each record: field count n, column, filter text, n - 2 history entries.
    // A setting that was cut short or edited by hand ends the restore at the
    // first field that makes no sense.
    while (p + 2 < partCount) {
        bool ok = false;
        const int n = parts.at(p).toInt(&ok);
        if (!ok || n < 2)
            return;
        const int column = parts.at(p + 1).toInt(&ok);
        if (!ok)
            return;
        const QString text = parts.at(p + 2);
        const qsizetype next = p + qsizetype(n) + 1;
        if (column >= 0) {
            FilterComboBox *box = filterBox(column);
            if (box)
                disconnectBox(box);
            if (n > 2) {
                const qsizetype first = p + 3;
                const qsizetype last = qMin(next, partCount);
                const QStringList history
                    = cleanHistory(first < last ? parts.mid(first, last - first) : QStringList());
                if (box) {
                    box->clear();
                    box->addItems(history);
                }
                if (source)
                    source->setHeaderData(
                        column, Qt::Horizontal, box ? box->items() : history, FilterHistoryResetRole);
            }
            if (box)
                box->setFilterText(text);
            if (source)
                source->setHeaderData(column, Qt::Horizontal, text, FilterTextResetRole);
            if (box)
                connectBox(box);
        }
        p = next;
    }
}

} // namespace Velloc
