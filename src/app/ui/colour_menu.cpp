#include "app/ui/colour_menu.h"

#include "app/ui/image_lists.h"

#include <QAction>
#include <QGridLayout>
#include <QMenu>
#include <QToolButton>
#include <QWidgetAction>

namespace vtl::app::ui {

void AddColourColumns(QMenu* menu, const QList<QAction*>& items)
{
    auto* grid = new QWidget(menu);
    auto* layout = new QGridLayout(grid);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        QAction* a = items[i];
        a->setIcon(ColourSample(kColourMenuOrder[i % 16]));
        QObject::connect(a, &QAction::triggered, menu, &QMenu::close);
        auto* tool = new QToolButton(grid);
        tool->setDefaultAction(a);
        tool->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        tool->setAutoRaise(true);
        tool->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        layout->addWidget(tool, i % 8, i / 8);
    }
    auto* holder = new QWidgetAction(menu);
    holder->setDefaultWidget(grid);
    menu->addAction(holder);
}

} // namespace vtl::app::ui
