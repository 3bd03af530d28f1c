#include "platform/appkit/Interface.h"

#include "platform/appkit/Button.h"
#include "platform/appkit/TableView.h"
#include "platform/appkit/Window.h"

namespace platform {

Control* Interface::object(const std::string& name) const
{
    if (name.empty()) {
        return nullptr;
    }
    for (Control* control : objects()) {
        if (control && control->objectName() == name) {
            return control;
        }
    }
    return nullptr;
}

void connectInterface(Interface& interface, NibObject& owner)
{
    for (Control* control : interface.objects()) {
        if (!control) {
            continue;
        }
        const std::string name = control->objectName();
        if (name.empty()) {
            continue;
        }
        owner.connectOutlet(name, control);

        if (auto* button = dynamic_cast<Button*>(control)) {
            const std::string selector = interface.property(name, "action");
            if (!selector.empty()) {
                NibObject* target = &owner;
                button->setAction([target, selector](Button* sender) { target->performAction(selector, sender); });
            }
        }
        if (auto* table = dynamic_cast<TableView*>(control)) {
            if (!interface.property(name, "dataSource").empty()) {
                if (auto* dataSource = dynamic_cast<TableDataSource*>(&owner)) {
                    table->setDataSource(dataSource);
                }
            }
            if (!interface.property(name, "delegate").empty()) {
                if (auto* delegate = dynamic_cast<TableDelegate*>(&owner)) {
                    table->setDelegate(delegate);
                }
            }
        }
        if (auto* window = dynamic_cast<Window*>(control)) {
            if (!interface.property(name, "delegate").empty()) {
                if (auto* delegate = dynamic_cast<WindowDelegate*>(&owner)) {
                    window->setDelegate(delegate);
                }
            }
        }
    }
}

}  // namespace platform
