#include "ElidedLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace Velloc {

namespace {

const QString ellipsis = QStringLiteral("\u2026");

} // namespace

ElidedLabel::ElidedLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    // Server and file names are shown as they are, never as markup.
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

ElidedLabel::ElidedLabel(QWidget *parent)
    : ElidedLabel(QString(), parent)
{ }

QSize ElidedLabel::minimumSizeHint() const
{
    const QMargins margins = contentsMargins();
    const int width
        = fontMetrics().horizontalAdvance(ellipsis) + margins.left() + margins.right() + 2 * margin();
    return QSize(width, QLabel::minimumSizeHint().height());
}

bool ElidedLabel::isElided() const
{
    const int room = contentsRect().width() - 2 * margin();
    return fontMetrics().horizontalAdvance(text()) > room;
}

bool ElidedLabel::event(QEvent *event)
{
    // A tooltip set by the owner wins; otherwise a cut text is its own.
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (isElided())
            QToolTip::showText(help->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    drawFrame(&painter);
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
    style()->drawItemText(&painter, room, QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
        isEnabled(), shown, foregroundRole());
}

} // namespace Velloc
