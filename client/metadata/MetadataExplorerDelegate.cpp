#include "MetadataExplorerDelegate.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QRegularExpressionValidator>
#include <QTreeView>

#include <algorithm>
#include <cmath>

#include "JSRegExp.h"
#include "MetadataEditor.h"
#include "MetadataExplorerModel.h"
#include "XMLValues.h"

namespace Client {

namespace {
const char kEditedIndex[] = "vornexEditedIndex";

// WCAG's minimum for body text.
constexpr double minimumContrast = 4.5;

double luminance(const QColor &color)
{
    const auto linear
        = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

QColor mix(const QColor &a, const QColor &b, double shareOfA)
{
    const auto channel
        = [shareOfA](int x, int y) { return int(std::lround(x * shareOfA + y * (1.0 - shareOfA))); };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()), channel(a.blue(), b.blue()));
}

} // namespace

double MetadataExplorerDelegate::contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor MetadataExplorerDelegate::readableDisabledText(const QPalette &palette, const QColor &fill)
{
    const QColor disabled = palette.color(QPalette::Disabled, QPalette::Text);
    if (contrast(disabled, fill) >= minimumContrast)
        return disabled;
    // Still dimmer than enabled text, as far as the fill allows.
    const QColor enabled = palette.color(QPalette::Active, QPalette::Text);
    for (int percent = 60; percent <= 100; percent += 10) {
        const QColor candidate = mix(enabled, fill, percent / 100.0);
        if (contrast(candidate, fill) >= minimumContrast)
            return candidate;
    }
    return contrast(Qt::black, fill) >= contrast(Qt::white, fill) ? QColor(Qt::black) : QColor(Qt::white);
}

MetadataExplorerDelegate::MetadataExplorerDelegate(QTreeView *view, MetadataExplorerModel *model)
    : QItemDelegate(view)
    , m_view(view)
    , m_model(model)
{ }

bool MetadataExplorerDelegate::eventFilter(QObject *editor, QEvent *event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto *keyEvent = static_cast<QKeyEvent *>(event);
        const int key = keyEvent->key();
        if ((key == Qt::Key_Up || key == Qt::Key_Down) && !(keyEvent->modifiers() & Qt::ControlModifier)) {
            // Left to the view, which moves to the next field.
            event->ignore();
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Keeps the editor open: the value is stored, editing goes on.
            if (event->type() == QEvent::KeyPress) {
                if (auto *widget = qobject_cast<QWidget *>(editor))
                    emit commitData(widget);
            }
            return true;
        }
    }
    return QItemDelegate::eventFilter(editor, event);
}

void MetadataExplorerDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool editableCell
        = index.column() == MetadataExplorerModel::ValueColumn && index.row() < m_model->fillRowCount();
    const QColor propertyFill(200, 200, 200);
    if (!editableCell)
        painter->fillRect(option.rect, propertyFill);

    QStyleOptionViewItem plain(option);
    plain.state &= ~QStyle::State_HasFocus;
    if (!(option.state & QStyle::State_Enabled)) {
        // The style's disabled text is made for its own light window
        // colour and fades into the grey property fill.
        const QColor fill
            = editableCell ? option.palette.color(QPalette::Disabled, QPalette::Base) : propertyFill;
        const QColor text = readableDisabledText(option.palette, fill);
        plain.palette.setColor(QPalette::Disabled, QPalette::Text, text);
        plain.palette.setColor(QPalette::Disabled, QPalette::WindowText, text);
        plain.palette.setColor(QPalette::Disabled, QPalette::HighlightedText, text);
    }
    if (index.column() == MetadataExplorerModel::ValueColumn)
        plain.state &= ~QStyle::State_Selected;
    QItemDelegate::paint(painter, plain, index);

    painter->save();
    painter->setPen(QPen(QBrush(QColor(128, 128, 128)), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const QRect &r = option.rect;
    if (index.column() == MetadataExplorerModel::PropertyColumn)
        painter->drawLine(r.right(), r.top(), r.right(), r.bottom());
    painter->drawLine(0, r.bottom(), r.right(), r.bottom());
    painter->restore();
}

QSize MetadataExplorerDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return QItemDelegate::sizeHint(option, index) + QSize(4, 4);
}

QWidget *MetadataExplorerDelegate::createEditor(
    QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(option);
    if (index.column() == MetadataExplorerModel::PropertyColumn)
        return nullptr;
    const QString dataType = m_model->dataTypeAt(index.row());
    const QString dataFormat = m_model->dataFormatAt(index.row());
    QValidator *validator = nullptr;
    if (dataType == Tamsor::XMLValues::EDITORTYPE_STRING && !dataFormat.isEmpty()) {
        // A validator on a broken expression would refuse every keystroke;
        // such a format is not checked anywhere else either.
        const JSRegExp format(dataFormat);
        if (format.isValid())
            validator = new QRegularExpressionValidator(format.regularExpression(), parent);
    }
    auto *editor = new MetadataEditor(dataType, validator, parent);
    editor->setProperty(kEditedIndex, QVariant::fromValue(QPersistentModelIndex(index)));
    if (validator)
        validator->setParent(editor);
    connect(editor, &MetadataEditor::valueChanged, this, &MetadataExplorerDelegate::sync);
    return editor;
}

void MetadataExplorerDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (auto *metadataEditor = qobject_cast<MetadataEditor *>(editor))
        metadataEditor->setValue(m_model->valueAt(index.row()));
}

void MetadataExplorerDelegate::setModelData(
    QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    if (auto *metadataEditor = qobject_cast<MetadataEditor *>(editor))
        model->setData(index, metadataEditor->value(), Qt::EditRole);
}

void MetadataExplorerDelegate::updateEditorGeometry(
    QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QItemDelegate::updateEditorGeometry(editor, option, index);
    // Leaves the grid lines visible around the editor.
    editor->setGeometry(editor->geometry().adjusted(0, 0, -1, -1));
}

void MetadataExplorerDelegate::sync()
{
    auto *widget = qobject_cast<QWidget *>(sender());
    if (!widget)
        return;
    // A line edit finishes editing once more as its closing editor loses the
    // focus; by then the view has let go of it and there is nothing to store.
    const auto index = widget->property(kEditedIndex).value<QPersistentModelIndex>();
    if (m_view->indexWidget(index) != widget)
        return;
    emit commitData(widget);
}

void MetadataExplorerDelegate::drawDisplay(
    QPainter *painter, const QStyleOptionViewItem &option, const QRect &rect, const QString &text) const
{
    QItemDelegate::drawDisplay(painter, option, rect, text);
    painter->save();
    painter->setPen(QPen(option.palette.color(QPalette::Dark), 1, Qt::SolidLine));
    const QRect &r = option.rect;
    painter->drawLine(r.right(), r.top(), r.right(), r.bottom());
    painter->drawLine(0, r.bottom(), r.right(), r.bottom());
    painter->restore();
}

} // namespace Client
