#include "FocusPalettes.h"

#include <QApplication>
#include <QWidget>

#include <cmath>

namespace Client {
namespace FocusPalettes {

namespace {

// Share of the active highlight in a selection that has to look inactive.
constexpr double paleShare = 0.35;

QColor mix(const QColor &a, const QColor &b, double shareOfA)
{
    const auto channel
        = [shareOfA](int x, int y) { return int(std::lround(x * shareOfA + y * (1.0 - shareOfA))); };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()), channel(a.blue(), b.blue()));
}

int distance(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

} // namespace

QPalette focused(const QWidget *table)
{
    return QApplication::palette(table);
}

QPalette unfocused(const QWidget *table)
{
    QPalette palette = focused(table);
    const QColor active = palette.color(QPalette::Active, QPalette::Highlight);
    QColor highlight = palette.color(QPalette::Inactive, QPalette::Highlight);
    QColor text = palette.color(QPalette::Inactive, QPalette::HighlightedText);
    // Several styles (Fusion among them) give an inactive window the same
    // selection colour as an active one, so the two tables would look
    // alike: then the selection is drawn as a paler tint of the base.
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const bool alike = distance(highlight, active) < distance(active, base) / 3;
    if (alike) {
        highlight = mix(active, base, paleShare);
        text = palette.color(QPalette::Active, QPalette::Text);
    }
    const QBrush highlightBrush(highlight, Qt::SolidPattern);
    const QBrush textBrush(text, Qt::SolidPattern);
    palette.setBrush(QPalette::Active, QPalette::Highlight, highlightBrush);
    palette.setBrush(QPalette::Active, QPalette::HighlightedText, textBrush);
    // In an inactive window such a style would draw it strong again.
    if (alike) {
        palette.setBrush(QPalette::Inactive, QPalette::Highlight, highlightBrush);
        palette.setBrush(QPalette::Inactive, QPalette::HighlightedText, textBrush);
    }
    return palette;
}

void showFocused(QWidget *table)
{
    table->setPalette(focused(table));
}

void showUnfocused(QWidget *table)
{
    table->setPalette(unfocused(table));
}

} // namespace FocusPalettes
} // namespace Client
