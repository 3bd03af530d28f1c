#include "platform/qt/QtMenuBinding.h"

#include "platform/qt/QtKeyboard.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <map>

namespace platform::qt {

namespace {

// Which Qt object shows which part of the model; filled once, read by every update.
struct Links {
    std::map<Menu*, QPointer<QMenu>> menus;
    std::map<MenuItem*, QPointer<QAction>> actions;
};

void addActions(Menu& menu, const QList<QAction*>& actions, Links& links, const std::weak_ptr<Menu>& root)
{
    for (QAction* action : actions) {
        if (action->isSeparator()) {
            continue;
        }
        if (QMenu* qmenu = action->menu()) {
            MenuItem* item = menu.addItem(qmenu->title().toStdString(), qmenu->objectName().toStdString());
            auto submenu = std::make_shared<Menu>(qmenu->title().toStdString());
            links.menus[submenu.get()] = qmenu;
            addActions(*submenu, qmenu->actions(), links, root);
            item->setSubmenu(std::move(submenu));
            continue;
        }
        MenuItem* item = menu.addItem(action->text().toStdString(), action->objectName().toStdString());
        links.actions[item] = action;
        QObject::connect(action, &QAction::triggered, action, [item, root] {
            // The item lives as long as the model's root does.
            if (auto alive = root.lock()) {
                if (auto run = item->action()) {
                    run();
                }
            }
        });
    }
}

}  // namespace

std::shared_ptr<Menu> QtMenuBinding::build(QMenuBar* menuBar)
{
    if (!menuBar) {
        return nullptr;
    }
    auto links = std::make_shared<Links>();
    auto root = std::make_shared<Menu>(menuBar->objectName().toStdString());
    addActions(*root, menuBar->actions(), *links, root);
    QPointer<QMenuBar> bar(menuBar);
    root->setUpdateHandler([links, bar](Menu&) {
        for (auto& [menu, qmenu] : links->menus) {
            if (qmenu) {
                qmenu->setTitle(QString::fromStdString(menu->title()));
            }
        }
        for (auto& [item, action] : links->actions) {
            if (action) {
                action->setText(QString::fromStdString(item->title()));
            }
        }
        if (bar) {
            QtKeyboard::prepare(bar->window());
        }
    });
    return root;
}

}  // namespace platform::qt

