#include "LogTableView.h"

#include "LogHeaderView.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QStringList>

namespace Velloc {

LogTableView::LogTableView(QWidget *parent)
    : QTableView(parent)
    , m_copyText(new QAction(tr("Copy text"), this))
    , m_copyField(new QAction(tr("Copy this field"), this))
    , m_resetFilters(new QAction(tr("Reset all filters"), this))
    , m_clearHistory(new QAction(tr("Clear filter history"), this))
    , m_resetColumns(new QAction(tr("Reset column ordering"), this))
    , m_wrapText(new QAction(tr("Wrap text"), this))
{
    // Compiled into the program, not this library: without it the entry has no icon.
    m_clearHistory->setIcon(QIcon(QStringLiteral(":/Dovelin/Images/img_ClearLogs.png")));
    m_wrapText->setCheckable(true);
    connect(m_copyText, &QAction::triggered, this, &LogTableView::copyText);
    connect(m_copyField, &QAction::triggered, this, &LogTableView::copyThisField);
    connect(m_resetFilters, &QAction::triggered, this, &LogTableView::resetAllFilters);
    connect(m_clearHistory, &QAction::triggered, this, &LogTableView::clearFilterHistory);
    connect(m_resetColumns, &QAction::triggered, this, &LogTableView::resetColOrder);
    // Also when code sets the checked state, e.g. from the settings.
    connect(m_wrapText, &QAction::toggled, this, &LogTableView::wrapAroundChange);
}

LogTableView::~LogTableView() = default;

void LogTableView::setExtraAction(QAction *action)
{
    if (m_extraAction == action)
        return;
    m_extraAction = action;
    m_menuStale = true;
}

void LogTableView::buildMenu()
{
    if (!m_menu)
        m_menu = new QMenu(this);
    m_menu->clear();
    m_menu->addAction(m_copyText);
    m_menu->addAction(m_copyField);
    m_menu->addSeparator();
    m_menu->addAction(m_resetFilters);
    m_menu->addAction(m_clearHistory);
    m_menu->addSeparator();
    m_menu->addAction(m_resetColumns);
    m_menu->addSeparator();
    if (m_extraAction)
        m_menu->addAction(m_extraAction);
    m_menu->addSeparator();
    m_menu->addAction(m_wrapText);
    m_menuStale = false;
}

QMenu *LogTableView::prepareContextMenu(MenuOrigin origin)
{
    if (!m_menu || m_menuStale)
        buildMenu();
    for (QAction *action : { m_copyText, m_copyField, m_resetFilters, m_clearHistory, m_resetColumns })
        action->setEnabled(false);
    if (m_extraAction)
        m_extraAction->setEnabled(true);
    switch (origin) {
    case CellMenu:
        m_copyText->setEnabled(true);
        m_copyField->setEnabled(true);
        break;
    case HeaderMenu:
        m_resetColumns->setEnabled(true);
        break;
    case FilterBoxMenu:
        m_resetFilters->setEnabled(true);
        m_clearHistory->setEnabled(true);
        break;
    case PaneMenu:
        break;
    }
    return m_menu;
}

void LogTableView::showContextMenu(const QPoint &globalPos, MenuOrigin origin)
{
    prepareContextMenu(origin)->exec(globalPos);
}

void LogTableView::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
    showContextMenu(event->globalPos(), CellMenu);
}

void LogTableView::copyText()
{
    const QModelIndex current = currentIndex();
    const QAbstractItemModel *source = model();
    if (!current.isValid() || !source)
        return;
    QStringList texts;
    const int columns = source->columnCount(current.parent());
    for (int column = 0; column < columns; ++column)
        texts.append(source->index(current.row(), column, current.parent()).data(Qt::DisplayRole).toString());
    QGuiApplication::clipboard()->setText(texts.join(QLatin1Char(',')));
}

void LogTableView::copyThisField()
{
    QGuiApplication::clipboard()->setText(currentIndex().data(Qt::DisplayRole).toString());
}

void LogTableView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_C && event->modifiers() == Qt::ControlModifier)
        copyThisField();
    QTableView::keyPressEvent(event);
}

void LogTableView::resetAllFilters()
{
    if (auto *header = qobject_cast<LogHeaderView *>(horizontalHeader()))
        header->resetFilters();
}

void LogTableView::clearFilterHistory()
{
    if (auto *header = qobject_cast<LogHeaderView *>(horizontalHeader()))
        header->clearHistories();
}

void LogTableView::resetColOrder()
{
    QHeaderView *header = horizontalHeader();
    // A stretched last section would not take the default width.
    header->setStretchLastSection(false);
    for (int i = 0; i < header->count(); ++i) {
        const int visual = header->visualIndex(i);
        if (visual != i)
            header->moveSection(visual, i);
        header->resizeSection(i, header->defaultSectionSize());
    }
    header->setStretchLastSection(true);
}

void LogTableView::wrapAroundChange()
{
    QHeaderView *rows = verticalHeader();
    if (m_wrapText->isChecked()) {
        rows->setSectionResizeMode(QHeaderView::ResizeToContents);
    } else {
        rows->setSectionResizeMode(QHeaderView::Fixed);
        // Puts every row back to the default height in one pass.
        rows->setDefaultSectionSize(rows->defaultSectionSize());
    }
    viewport()->update();
}

} // namespace Velloc
