#pragma once

#include <QPalette>

class QWidget;

namespace Client {

// The look of the two tables of the Submit Points and Checkpoints pages:
// the table last clicked shows its selection as active, the other as
// inactive, even while the window is active.
namespace FocusPalettes {

// The table's default palette.
QPalette focused(const QWidget *table);
// The default palette with the active selection colours of an inactive
// window, or a paler tint of the active selection where the style draws
// both alike.
QPalette unfocused(const QWidget *table);

void showFocused(QWidget *table);
void showUnfocused(QWidget *table);

} // namespace FocusPalettes
} // namespace Client
