#pragma once

#include "platform/appkit/Control.h"

#include <memory>
#include <string>
#include <vector>

namespace platform {

class Menu;

/// The objects of one loaded interface description, found by object name. Abstract so that each
/// UI backend builds its own widgets from the description.
class Interface {
public:
    virtual ~Interface() = default;
    /// Every named control, in the order of the description.
    virtual std::vector<Control*> objects() const = 0;
    /// A string property the description gives an object ("action", "dataSource", the root's
    /// "controllerClass"); empty when it has none.
    virtual std::string property(const std::string& objectName, const std::string& key) const = 0;
    /// The main menu the description defines, or null.
    virtual std::shared_ptr<Menu> mainMenu() const = 0;
    /// The backend's root widget, for hosts that embed the view; opaque to everyone else.
    virtual void* nativeView() const = 0;
    /// The name of the root object.
    virtual std::string rootName() const = 0;

    Control* object(const std::string& name) const;
    template <class T>
    T* objectNamed(const std::string& name) const
    {
        return dynamic_cast<T*>(object(name));
    }
};

/// An object that a description creates and connects: its outlets by name, its actions by
/// selector.
class NibObject {
public:
    virtual ~NibObject() = default;
    /// Connects the outlet of that name; false when there is no such outlet.
    virtual bool connectOutlet(const std::string& name, Control* object) = 0;
    /// Runs the action for a selector such as "close:"; false when there is no such action.
    virtual bool performAction(const std::string& selector, Control* sender) = 0;
    virtual void awakeFromNib() {}
};

/// Connects every named object of the interface to the owner's outlet of the same name, each
/// button whose "action" property names a selector to owner's action, and each table whose
/// "dataSource" or "delegate" property is set to the owner when the owner plays that role; a
/// window whose "delegate" property is set gets the owner as delegate when it is a WindowDelegate.
/// The owner must outlive the interface.
void connectInterface(Interface& interface, NibObject& owner);

}  // namespace platform
