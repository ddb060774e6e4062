#include "browse/ui/child_menus.h"

#include "platform/qt/dialog_service.h"

namespace vtl::browse::ui {

using app::ui::TMainForm;

ChildMenuBuilder::ChildMenuBuilder(
    QWidget& owner, TMainForm& main, QList<QMenu*>& menus, QMap<QString, QAction*>& items)
    : m_owner(owner)
    , m_main(main)
    , m_menus(menus)
    , m_items(items)
{
}

QMenu* ChildMenuBuilder::Menu(const char* name, const char* caption)
{
    auto* m = new QMenu(QString::fromUtf8(caption), &m_owner);
    m->setObjectName(QString::fromUtf8(name));
    m->menuAction()->setObjectName(QString::fromUtf8(name));
    m_items.insert(QString::fromUtf8(name), m->menuAction());
    TMainForm* frame = &m_main;
    QObject::connect(
        m, &QMenu::aboutToHide, &m_owner, [frame] { frame->SetStatusText(QString()); });
    m_menus << m;
    return m;
}

QAction* ChildMenuBuilder::Item(QMenu* menu, const char* name, const char* caption,
    const char* hint, std::function<void()> handler)
{
    QAction* a = menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(QString::fromUtf8(name));
    a->setStatusTip(QString::fromUtf8(hint));
    m_items.insert(QString::fromUtf8(name), a);
    if (handler)
        QObject::connect(
            a, &QAction::triggered, &m_owner, platform::qt::Guarded(&m_owner, std::move(handler)));
    return a;
}

QAction* ChildMenuBuilder::Forward(QMenu* menu, const char* name, const char* caption,
    const char* frameName, void (TMainForm::*handler)())
{
    QAction* a = menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(QString::fromUtf8(name));
    if (QAction* frameItem = m_main.Item(QString::fromUtf8(frameName))) {
        a->setStatusTip(frameItem->statusTip());
        a->setIcon(frameItem->icon());
        if (caption[0] == '\0')
            a->setText(frameItem->text());
    }
    TMainForm* frame = &m_main;
    if (handler)
        QObject::connect(a, &QAction::triggered, frame,
            platform::qt::Guarded(frame, [frame, handler] { (frame->*handler)(); }));
    m_items.insert(QString::fromUtf8(name), a);
    return a;
}

} // namespace vtl::browse::ui
