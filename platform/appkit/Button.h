#pragma once

#include "platform/appkit/Control.h"
#include "platform/foundation/Types.h"

#include <functional>
#include <string>

namespace platform {

/// A push button, check box or switch; abstract so each UI backend supplies its own widget.
class Button : public Control {
public:
    using Action = std::function<void(Button* sender)>;

    virtual void setTitle(const std::string& title) = 0;
    virtual std::string title() const = 0;
    /// 0 off, 1 on, -1 mixed.
    virtual void setState(NSInteger state) = 0;
    virtual NSInteger state() const = 0;
    /// Sent after a user click has changed the state (for check boxes).
    virtual void setAction(Action action) = 0;
};

}  // namespace platform
