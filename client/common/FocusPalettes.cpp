#include "FocusPalettes.h"

#include <QApplication>
#include <QWidget>

namespace Client {
namespace FocusPalettes {

QPalette focused(const QWidget *table)
{
    return QApplication::palette(table);
}

QPalette unfocused(const QWidget *table)
{
    QPalette palette = focused(table);
    palette.setBrush(QPalette::Active, QPalette::Highlight,
        QBrush(palette.color(QPalette::Inactive, QPalette::Highlight), Qt::SolidPattern));
    palette.setBrush(QPalette::Active, QPalette::HighlightedText,
        QBrush(palette.color(QPalette::Inactive, QPalette::HighlightedText), Qt::SolidPattern));
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
