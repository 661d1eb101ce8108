#include "FilterComboBox.h"

#include "LogHeaderView.h"
#include "LogTableView.h"

#include <QAbstractItemModel>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QMouseEvent>

namespace Velloc {

FilterComboBox::FilterComboBox(int section, QWidget *parent)
    : QComboBox(parent)
    , m_section(section)
{
    setMouseTracking(true);
    setDuplicatesEnabled(false);
    connect(this, &QComboBox::editTextChanged, this, &FilterComboBox::onEditTextChanged);
    QAbstractItemModel *itemModel = model();
    connect(itemModel, &QAbstractItemModel::dataChanged, this, &FilterComboBox::onDataChanged);
    connect(itemModel, &QAbstractItemModel::rowsInserted, this, &FilterComboBox::onRowNumberChanged);
    connect(itemModel, &QAbstractItemModel::rowsRemoved, this, &FilterComboBox::onRowNumberChanged);
    connect(itemModel, &QAbstractItemModel::modelReset, this, &FilterComboBox::onModelReset);
}

FilterComboBox::~FilterComboBox() = default;

QStringList FilterComboBox::items() const
{
    QStringList texts;
    texts.reserve(count());
    for (int i = 0; i < count(); ++i)
        texts.append(itemText(i));
    return texts;
}

void FilterComboBox::setFilterText(const QString &text)
{
    setCurrentIndex(findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
    setEditText(text);
}

void FilterComboBox::onEditTextChanged(const QString &text)
{
    emit filterTextChanged(m_section, text);
}

void FilterComboBox::onDataChanged(const QModelIndex &, const QModelIndex &)
{
    emit filterHistoryChanged(m_section, items());
}

void FilterComboBox::onRowNumberChanged(const QModelIndex &, int, int)
{
    emit filterHistoryChanged(m_section, items());
}

void FilterComboBox::onModelReset()
{
    emit filterHistoryChanged(m_section, items());
}

void FilterComboBox::mouseMoveEvent(QMouseEvent *event)
{
    // The header underneath shows resize cursors; the box keeps the arrow.
    setCursor(Qt::ArrowCursor);
    QComboBox::mouseMoveEvent(event);
}

void FilterComboBox::focusOutEvent(QFocusEvent *event)
{
    QComboBox::focusOutEvent(event);
    const QString text = currentText();
    if (text.isEmpty() || findText(text, Qt::MatchFixedString) >= 0)
        return;
    // A full history gives up its last entry for the new one.
    while (count() >= MaxHistory)
        removeItem(count() - 1);
    insertItem(0, text);
    // Inserting may select the new entry; the typed text stays as it was.
    if (currentText() != text)
        setEditText(text);
}

void FilterComboBox::contextMenuEvent(QContextMenuEvent *event)
{
    auto *header = qobject_cast<LogHeaderView *>(parentWidget());
    auto *view = header ? qobject_cast<LogTableView *>(header->parentWidget()) : nullptr;
    if (!view) {
        QComboBox::contextMenuEvent(event);
        return;
    }
    event->accept();
    view->showContextMenu(event->globalPos(), LogTableView::FilterBoxMenu);
}

} // namespace Velloc
