#pragma once

#include <string>

namespace platform {

/// Base of every interface object, abstract so that each UI backend supplies its own widgets.
class Control {
public:
    virtual ~Control() = default;
    virtual std::string objectName() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    virtual void setHidden(bool hidden) = 0;
    virtual bool isHidden() const = 0;
};

}  // namespace platform
