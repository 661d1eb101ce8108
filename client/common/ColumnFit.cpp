#include "ColumnFit.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QEvent>
#include <QHeaderView>
#include <QTimer>

#include <algorithm>

namespace Client {

namespace {

// A column this many average characters wide shows a date, a name or a
// path head; longer values are cut rather than pushing the rest away.
constexpr int maximumCharacters = 40;
// Contents are measured on the rows in view and this many more: measuring
// thousands of rows at every refresh would hold up the window.
constexpr int measuredRows = 100;
// While rows keep coming, the columns are fitted again at most this often.
constexpr int rowsFitGapMs = 1000;

} // namespace

ColumnFit *ColumnFit::attach(QHeaderView *header)
{
    return new ColumnFit(header);
}

ColumnFit::ColumnFit(QHeaderView *header)
    : QObject(header)
    , m_header(header)
    , m_pending(new QTimer(this))
{
    m_header->setStretchLastSection(true);
    m_header->setResizeContentsPrecision(measuredRows);
    m_pending->setSingleShot(true);
    m_pending->setInterval(0);
    connect(m_pending, &QTimer::timeout, this, &ColumnFit::fit);
    connect(m_header, &QHeaderView::sectionResized, this, &ColumnFit::sectionResized);
    if (auto *view = qobject_cast<QAbstractItemView *>(m_header->parent())) {
        if (QAbstractItemModel *model = view->model()) {
            const auto later = [this] {
                if (m_userSized || m_pending->isActive())
                    return;
                const qint64 since = m_lastFit.isValid() ? m_lastFit.elapsed() : rowsFitGapMs;
                m_pending->start(int(std::max<qint64>(0, rowsFitGapMs - since)));
            };
            connect(model, &QAbstractItemModel::rowsInserted, this, later);
            connect(model, &QAbstractItemModel::modelReset, this, later);
            connect(model, &QAbstractItemModel::dataChanged, this, later);
        }
        view->viewport()->installEventFilter(this);
    }
    m_pending->start(0);
}

int ColumnFit::maximumWidth() const
{
    return m_header->fontMetrics().averageCharWidth() * maximumCharacters;
}

int ColumnFit::lastVisibleSection() const
{
    for (int visual = m_header->count() - 1; visual >= 0; --visual) {
        const int logical = m_header->logicalIndex(visual);
        if (!m_header->isSectionHidden(logical))
            return logical;
    }
    return -1;
}

void ColumnFit::fit()
{
    if (m_userSized)
        return;
    auto *view = qobject_cast<QAbstractItemView *>(m_header->parent());
    if (!view)
        return;
    const int limit = maximumWidth();
    QList<int> sections;
    QHash<int, int> titles;
    int wanted = 0;
    // Stretched columns take what the others leave; each keeps at least its
    // title and the header's default width.
    int stretchedWidth = 0;
    for (int logical = 0; logical < m_header->count(); ++logical) {
        if (m_header->isSectionHidden(logical))
            continue;
        if (isStretched(logical)) {
            stretchedWidth += std::max(m_header->sectionSizeHint(logical), m_header->defaultSectionSize());
            continue;
        }
        const int title = m_header->sectionSizeHint(logical);
        const int contents = m_header->orientation() == Qt::Horizontal ? view->sizeHintForColumn(logical)
                                                                       : view->sizeHintForRow(logical);
        // Grows only, so columns do not jump about from one refresh to the
        // next.
        const int width = std::max({ title, std::min(contents, limit), m_fitted.value(logical) });
        m_fitted.insert(logical, width);
        // A cut date or time says nothing: it counts as part of the title.
        const bool isTime = view->model()->rowCount() > 0
            && view->model()->index(0, logical).data(Qt::UserRole).typeId() == QMetaType::QDateTime;
        titles.insert(logical, isTime ? width : title);
        sections.append(logical);
        wanted += width;
    }
    // Where the table is too narrow, the widest columns give way first,
    // never below their titles; dates and times stay whole. Only where even
    // that is too wide does the table scroll.
    // A few pixels spare, or rounding shows a scroll bar.
    const int room = view->viewport()->width() - stretchedWidth - 4;
    const auto total = [&](int cap) {
        int sum = 0;
        for (const int logical : std::as_const(sections))
            sum += std::max(titles.value(logical), std::min(m_fitted.value(logical), cap));
        return sum;
    };
    int cap = limit;
    if (wanted > room && room > 0 && total(0) <= room) {
        int low = 0;
        int high = limit;
        while (low < high) {
            const int middle = (low + high + 1) / 2;
            if (total(middle) <= room)
                low = middle;
            else
                high = middle - 1;
        }
        cap = low;
    }
    m_fitting = true;
    for (const int logical : std::as_const(sections))
        m_header->resizeSection(
            logical, std::max(titles.value(logical), std::min(m_fitted.value(logical), cap)));
    m_fitting = false;
    // The scroll bar was set for the widths before.
    QMetaObject::invokeMethod(view, "updateGeometries", Qt::QueuedConnection);
}

bool ColumnFit::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && !m_userSized)
        m_pending->start(0);
    return QObject::eventFilter(watched, event);
}

bool ColumnFit::isStretched(int logicalIndex) const
{
    return m_header->sectionResizeMode(logicalIndex) == QHeaderView::Stretch
        || (m_header->stretchLastSection() && logicalIndex == lastVisibleSection());
}

void ColumnFit::sectionResized(int logicalIndex, int oldSize, int newSize)
{
    Q_UNUSED(oldSize);
    Q_UNUSED(newSize);
    // A stretched column follows the view's width, not the user.
    if (m_fitting || isStretched(logicalIndex))
        return;
    m_userSized = true;
}

} // namespace Client
