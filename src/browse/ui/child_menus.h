#pragma once
// The menus of the browsing windows: menus and items named as the forms name them, their hints in
// the frame's status panel, and items that run the frame's own commands.

#include "app/ui/main_form.h"

#include <QList>
#include <QMap>
#include <QMenu>
#include <QString>
#include <functional>

namespace vtl::browse::ui {

class ChildMenuBuilder {
public:
    // Menus go into `menus`, every item (menus included) into `items` by name; `owner` owns them.
    ChildMenuBuilder(QWidget& owner, app::ui::TMainForm& main, QList<QMenu*>& menus,
        QMap<QString, QAction*>& items);

    // A menu whose closing clears the status panel.
    QMenu* Menu(const char* name, const char* caption);
    // An item with its hint; `handler` (when given) runs with errors reported.
    QAction* Item(QMenu* menu, const char* name, const char* caption, const char* hint,
        std::function<void()> handler);
    // The same running a handler of the window the menus belong to.
    template <typename Owner>
    QAction* Item(QMenu* menu, const char* name, const char* caption, const char* hint,
        void (Owner::*handler)())
    {
        Owner* owner = qobject_cast<Owner*>(&m_owner);
        return Item(menu, name, caption, hint, [owner, handler] { (owner->*handler)(); });
    }
    // An item that runs the frame's command (when given), with the hint and image of the frame's
    // item `frameName`; an empty caption takes the frame item's too.
    QAction* Forward(QMenu* menu, const char* name, const char* caption, const char* frameName,
        void (app::ui::TMainForm::*handler)());

private:
    QWidget& m_owner;
    app::ui::TMainForm& m_main;
    QList<QMenu*>& m_menus;
    QMap<QString, QAction*>& m_items;
};

} // namespace vtl::browse::ui
