#pragma once
// The sixteen line colours as a menu shows them: radio items with their colour samples, in two
// columns of eight, the second beginning with silver.

#include <QList>

class QAction;
class QMenu;

namespace vtl::app::ui {

// The colour numbers in menu order: black to teal, grey; then silver, red to white.
inline constexpr int kColourMenuOrder[16]
    = { 0, 1, 2, 3, 4, 5, 6, 8, 7, 9, 10, 11, 12, 13, 14, 15 };

// Lays out `items` (one checkable action per colour, in menu order) in two columns in `menu`;
// choosing one closes the menu.
void AddColourColumns(QMenu* menu, const QList<QAction*>& items);

} // namespace vtl::app::ui
