#pragma once

#include "platform/appkit/TextField.h"
#include "platform/qt/QtControl.h"

namespace platform::qt {

/// A QLabel or QLineEdit.
class QtTextField : public QtControl<TextField> {
public:
    explicit QtTextField(QWidget* widget) : QtControl(widget) {}

    void setStringValue(const std::string& text) override;
    std::string stringValue() const override;
};

}  // namespace platform::qt
