#include "WrapLabel.h"

#include <QPainter>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace Client {

namespace {

// Narrow enough for any panel, wide enough for a word to be read.
constexpr int minimumCharacters = 8;

} // namespace

WrapLabel::WrapLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    setWordWrap(true);
    // Names are shown as they are, never as markup.
    setTextFormat(Qt::PlainText);
}

int WrapLabel::layOut(QTextLayout &layout, int width) const
{
    QTextOption option(QStyle::visualAlignment(layoutDirection(), alignment()) & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setText(text());
    layout.setFont(font());
    layout.setTextOption(option);
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1, width));
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return int(std::ceil(height));
}

QSize WrapLabel::minimumSizeHint() const
{
    const QMargins frame = contentsMargins();
    const int width
        = fontMetrics().averageCharWidth() * minimumCharacters + frame.left() + frame.right() + 2 * margin();
    return QSize(width, QLabel::minimumSizeHint().height());
}

int WrapLabel::heightForWidth(int width) const
{
    const QMargins frame = contentsMargins();
    QTextLayout layout;
    const int lines = layOut(layout, width - frame.left() - frame.right() - 2 * margin());
    return std::max(lines, fontMetrics().height()) + frame.top() + frame.bottom() + 2 * margin();
}

void WrapLabel::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    drawFrame(&painter);
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    QTextLayout layout;
    const int height = layOut(layout, room.width());
    int top = room.top();
    if (alignment() & Qt::AlignVCenter)
        top += std::max(0, (room.height() - height) / 2);
    else if (alignment() & Qt::AlignBottom)
        top += std::max(0, room.height() - height);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    painter.setClipRect(room);
    layout.draw(&painter, QPointF(room.left(), top));
}

} // namespace Client
