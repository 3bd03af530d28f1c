#pragma once

#include "platform/appkit/Control.h"

#include <string>

namespace platform {

/// A label or text field; abstract so each UI backend supplies its own widget.
class TextField : public Control {
public:
    virtual void setStringValue(const std::string& text) = 0;
    virtual std::string stringValue() const = 0;
};

}  // namespace platform
