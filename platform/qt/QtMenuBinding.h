#pragma once

#include "platform/appkit/Menu.h"

#include <memory>

class QMenuBar;

namespace platform::qt {

/// Builds the Menu model of a QMenuBar (menus become submenus, actions items, object names kept)
/// and redraws the Qt menus from the model on Menu::update(). Triggering a Qt action runs the
/// model item's action. The model may outlive the widgets; it then redraws nothing.
class QtMenuBinding {
public:
    static std::shared_ptr<Menu> build(QMenuBar* menuBar);
};

}  // namespace platform::qt
