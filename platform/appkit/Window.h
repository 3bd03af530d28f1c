#pragma once

#include "platform/appkit/Control.h"

#include <string>

namespace platform {

class Window;

/// Told when a window is about to close, by its close box or by close().
class WindowDelegate {
public:
    virtual ~WindowDelegate() = default;
    virtual void windowWillClose(Window* window) = 0;
};

/// A top-level window; abstract so each UI backend supplies its own.
class Window : public Control {
public:
    virtual void center() = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual std::string title() const = 0;
    virtual void setDelegate(WindowDelegate* delegate) = 0;
    virtual void makeKeyAndOrderFront() = 0;
    /// Closes the window as its close box does: the delegate is told first.
    virtual void close() = 0;
    /// Gives control, one of this window's, the keyboard focus; false where the backend has no
    /// focus to give or the control cannot take it.
    virtual bool makeFirstResponder(Control* control)
    {
        (void)control;
        return false;
    }
};

}  // namespace platform
