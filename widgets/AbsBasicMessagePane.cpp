#include "AbsBasicMessagePane.h"

#include "ElidedLabel.h"
#include "LineEditDelegate.h"
#include "LogHeaderView.h"
#include "LogTableView.h"
#include "VerticalHeader.h"

#include <QAbstractItemModel>
#include <QBoxLayout>
#include <QContextMenuEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScrollBar>
#include <QTimer>
#include <QTimerEvent>

namespace Velloc {

namespace {

constexpr int kRowHeight = 16;
constexpr int kScrollRestoreDelayMs = 50;
constexpr int kRefreshIntervalMs = 2500;

} // namespace

AbsBasicMessagePane::AbsBasicMessagePane(QWidget *parent)
    : QWidget(parent)
{
    createTableView();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);

    m_statusLabel = new ElidedLabel(tr("No data loaded"), this);
    m_statusLabel->setMinimumHeight(kRowHeight);
    m_statusLabel->setMaximumHeight(kRowHeight);
    m_statusLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    m_progressBar = new QProgressBar(this);
    m_progressBar->setMinimumSize(200, kRowHeight);
    m_progressBar->setMaximumSize(200, kRowHeight);
    m_progressBar->setTextVisible(false);
    m_progressBar->hide();

    m_statusRow = new QHBoxLayout;
    m_statusRow->setContentsMargins(0, 0, 0, 0);
    m_statusRow->setSpacing(0);
    m_statusRow->addSpacing(2);
    m_statusRow->addWidget(m_statusLabel);
    m_statusRow->addStretch(30);
    m_statusRow->addWidget(m_progressBar);
    m_statusRow->addSpacing(2);
    layout->addLayout(m_statusRow);

    m_refreshTimer = new QTimer(this);
    connect(m_refreshTimer, &QTimer::timeout, this, &AbsBasicMessagePane::refreshLogs);
}

AbsBasicMessagePane::~AbsBasicMessagePane()
{
    m_refreshTimer->stop();
    m_scrollTimer.stop();
}

void AbsBasicMessagePane::createTableView()
{
    m_table = new LogTableView(this);

    auto *rows = new VerticalHeader(m_table);
    rows->hide();
    // The minimum first: the default size is bounded by it.
    rows->setMinimumSectionSize(kRowHeight);
    rows->setDefaultSectionSize(kRowHeight);

    auto *columns = new LogHeaderView(m_table);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(true);
    columns->setSectionsClickable(true);
    columns->setSectionsMovable(true);

    m_table->setVerticalHeader(rows);
    m_table->setHorizontalHeader(columns);
    // The table hides the indicator of a header it is given while its own
    // sorting is off: show it only once the header is in place.
    columns->setSortIndicator(0, Qt::DescendingOrder);
    columns->setSortIndicatorShown(true);
    m_table->setAlternatingRowColors(true);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setItemDelegate(new LineEditDelegate(this));
}

LogHeaderView *AbsBasicMessagePane::headerView() const
{
    return qobject_cast<LogHeaderView *>(m_table->horizontalHeader());
}

void AbsBasicMessagePane::setSourceModel(QAbstractItemModel *model)
{
    m_sourceModel = model;
}

void AbsBasicMessagePane::setViewModel(QAbstractItemModel *model)
{
    m_viewModel = model;
    m_table->setModel(model);
}

void AbsBasicMessagePane::addStatusWidget(QWidget *widget)
{
    m_statusRow->insertWidget(m_statusRow->indexOf(m_progressBar) + 2, widget);
}

void AbsBasicMessagePane::storeSettings()
{
    savePaneSettings();
}

void AbsBasicMessagePane::refreshLogs()
{
    QScrollBar *bar = m_table->verticalScrollBar();
    if (m_scrollTimer.isActive()) {
        // The previous reload has not put its top row back yet, so the row
        // it remembered is still the one the user last saw: keep it and
        // wait again from now.
        reloadData();
        m_table->doItemsLayout();
        m_scrollTimer.start(kScrollRestoreDelayMs, this);
        return;
    }

    m_topIndex = QPersistentModelIndex(m_table->indexAt(QPoint(1, 1)));
    const bool atBottom = bar->value() == bar->maximum();
    const bool atTop = bar->value() == bar->minimum();

    reloadData();
    // The scroll range follows the new rows only after the view's layout.
    m_table->doItemsLayout();

    if (atBottom)
        bar->setValue(bar->maximum());
    if (atTop)
        bar->setValue(bar->minimum());
    if (atBottom || atTop) {
        m_topIndex = QPersistentModelIndex();
        return;
    }
    setUpdatesEnabled(false);
    m_scrollTimer.start(kScrollRestoreDelayMs, this);
}

void AbsBasicMessagePane::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_scrollTimer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    m_scrollTimer.stop();
    setUpdatesEnabled(true);
    if (m_topIndex.isValid() && m_topIndex.model() == m_table->model())
        m_table->scrollTo(m_topIndex, QAbstractItemView::PositionAtTop);
    m_topIndex = QPersistentModelIndex();
}

void AbsBasicMessagePane::setSortingFlag()
{
    m_filtering = false;
}

void AbsBasicMessagePane::startedFiltering()
{
    if (m_filtering) {
        m_statusLabel->setText(tr("Filtering..."));
        m_statusLabel->repaint();
        m_progressBar->setRange(0, 100);
        m_progressBar->setValue(0);
        m_progressBar->show();
    } else {
        m_statusLabel->setText(tr("Sorting..."));
        m_statusLabel->repaint();
    }
}

void AbsBasicMessagePane::finishedFiltering()
{
    m_filtering = true;
    m_progressBar->hide();
}

void AbsBasicMessagePane::finishedUpdate()
{
    QTimer::singleShot(50, this, &AbsBasicMessagePane::updateMessage);
}

void AbsBasicMessagePane::updateMessage()
{
    const int rows = m_viewModel ? m_viewModel->rowCount() : 0;
    if (rows == 1)
        m_statusLabel->setText(tr("Ready (%1 item)").arg(rows));
    else
        m_statusLabel->setText(tr("Ready (%1 items)").arg(rows));
    m_statusLabel->repaint();
}

void AbsBasicMessagePane::resetEditors()
{
    m_table->reset();
}

void AbsBasicMessagePane::setRefreshingTimer()
{
    refreshLogs();
    m_refreshTimer->start(kRefreshIntervalMs);
}

void AbsBasicMessagePane::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
    m_table->showContextMenu(event->globalPos(), LogTableView::PaneMenu);
}

} // namespace Velloc
