#pragma once

#include "platform/appkit/Button.h"
#include "platform/qt/QtControl.h"

#include <QAbstractButton>

namespace platform::qt {

/// A push button, check box or radio button; the state of a check box is its check state (0
/// unchecked, 1 checked, -1 partially checked), the action is sent on clicked.
class QtButton : public QtControl<Button, QAbstractButton> {
public:
    explicit QtButton(QAbstractButton* button);

    void setTitle(const std::string& title) override;
    std::string title() const override;
    void setState(NSInteger state) override;
    NSInteger state() const override;
    void setAction(Action action) override { m_action = std::move(action); }

    /// Whether the widget is a check box (a switch) rather than a push button.
    bool isCheckBox() const;

private:
    Action m_action;
    NSInteger m_state = 0;
};

}  // namespace platform::qt
