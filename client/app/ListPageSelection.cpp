#include "ListPageSelection.h"

#include "BaseWidget.h"

#include <QAction>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QListWidget>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace Client {

namespace {

// The smallest cell, as drawn for a 32-pixel icon and a short label.
constexpr int minimumCellWidth = 80;
constexpr int minimumCellHeight = 60;
constexpr int iconSide = 32;
// Room around a label inside its cell and between icon and label.
constexpr int labelPadding = 12;
constexpr int iconGap = 6;

} // namespace

ListPageSelection::ListPageSelection(QWidget *parent)
    : QWidget(parent)
    , m_list(new QListWidget(this))
    , m_stack(new QStackedWidget(this))
{
    m_list->setIconSize(QSize(iconSide, iconSide));
    m_list->setMinimumHeight(303);
    m_list->setUniformItemSizes(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::MinimumExpanding);
    m_list->setViewMode(QListView::IconMode);
    m_list->setMovement(QListView::Static);
    m_list->setDragEnabled(false);
    m_list->setSpacing(4);
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto *row = new QHBoxLayout;
    row->setSpacing(6);
    row->addWidget(m_list);
    row->addWidget(m_stack);
    auto *column = new QVBoxLayout(this);
    column->setSpacing(0);
    column->addLayout(row);

    connect(m_list, &QListWidget::itemSelectionChanged, this, &ListPageSelection::ListSelectionChanged);
    connect(m_list, &QListWidget::itemClicked, this, &ListPageSelection::itemClicked);
    m_list->installEventFilter(this);
}

void ListPageSelection::addPage(BaseWidget *page, QAction *action, const QString &text, const QIcon &icon)
{
    Q_ASSERT((page == nullptr) != (action == nullptr));
    auto *item = new QListWidgetItem(text);
    item->setIcon(icon);
    item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
    {
        // Appending the first row may select it; what is shown is decided
        // by selectFirstPage.
        const QSignalBlocker blocker(m_list);
        m_list->addItem(item);
    }
    m_pages.insert(item, page);
    m_actions.insert(item, action);
    fitItems();
    if (page) {
        m_stack->addWidget(page);
        if (!m_firstPage) {
            m_firstPage = page;
            m_currentPageItem = item;
        }
    }
}

void ListPageSelection::fitItems()
{
    // Labels are measured rather than fitted into a fixed cell: fonts and
    // translations differ in width.
    const QFontMetrics metrics(m_list->font());
    int textWidth = 0;
    for (int row = 0; row < m_list->count(); ++row)
        textWidth = std::max(textWidth, metrics.horizontalAdvance(m_list->item(row)->text()));
    const int width = std::max(minimumCellWidth, textWidth + labelPadding + 2 * m_list->spacing());
    const int height = std::max(minimumCellHeight, iconSide + iconGap + metrics.height() + labelPadding);
    const QSize itemSize(width - 2 * m_list->spacing(), height);
    for (int row = 0; row < m_list->count(); ++row)
        m_list->item(row)->setSizeHint(itemSize);
    m_list->setGridSize(QSize(width, height));
    const int frame = 2 * m_list->frameWidth();
    m_list->setFixedWidth(width + frame + 4);
    m_list->setMinimumHeight(std::max(303, m_list->count() * height + frame));
}

void ListPageSelection::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitItems();
    QWidget::changeEvent(event);
}

void ListPageSelection::addContextAction(QAction *action)
{
    m_list->addAction(action);
}

BaseWidget *ListPageSelection::currentPage() const
{
    return m_pages.value(m_currentPageItem);
}

void ListPageSelection::selectFirstPage()
{
    if (!m_firstPage)
        return;
    {
        const QSignalBlocker blocker(m_list);
        m_list->clearSelection();
        m_currentPageItem->setSelected(true);
        m_list->setCurrentItem(m_currentPageItem);
    }
    showPage(m_currentPageItem);
}

void ListPageSelection::showPage(QListWidgetItem *item)
{
    for (BaseWidget *page : std::as_const(m_pages)) {
        if (page)
            page->m_currentPage = false;
    }
    BaseWidget *page = m_pages.value(item);
    if (!page)
        return;
    m_stack->setCurrentWidget(page);
    page->m_currentPage = true;
    emit page->selected();
}

void ListPageSelection::ListSelectionChanged()
{
    const QList<QListWidgetItem *> items = m_list->selectedItems();
    if (items.isEmpty()) {
        for (BaseWidget *page : std::as_const(m_pages)) {
            if (page)
                page->m_currentPage = false;
        }
        return;
    }
    QListWidgetItem *item = items.first();
    if (m_pages.value(item)) {
        m_currentPageItem = item;
    } else {
        // An action entry: the page that was shown stays shown and selected.
        // The keyboard's place stays on the entry, so the arrow keys pass
        // over it; the action runs only on a click, Enter or Space.
        const QSignalBlocker blocker(m_list);
        m_list->clearSelection();
        if (m_currentPageItem)
            m_currentPageItem->setSelected(true);
    }
    showPage(m_currentPageItem);
}

void ListPageSelection::itemClicked(QListWidgetItem *item)
{
    QAction *action = m_actions.value(item);
    if (!action)
        return;
    if (m_currentPageItem) {
        const QSignalBlocker blocker(m_list);
        m_list->setCurrentItem(m_currentPageItem);
    }
    action->trigger();
}

bool ListPageSelection::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            if (QAction *action = m_actions.value(m_list->currentItem())) {
                action->trigger();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace Client
