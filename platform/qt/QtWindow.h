#pragma once

#include "platform/appkit/Window.h"
#include "platform/qt/QtControl.h"

namespace platform::qt {

/// A top-level widget as a window: its close event, from the close box or close(), tells the
/// delegate first.
class QtWindow : public QtControl<Window> {
public:
    explicit QtWindow(QWidget* widget);
    ~QtWindow() override;

    void center() override;
    void setTitle(const std::string& title) override;
    std::string title() const override;
    void setDelegate(WindowDelegate* delegate) override { m_delegate = delegate; }
    void makeKeyAndOrderFront() override;
    void close() override;
    /// Focuses the control's widget when it lies in this window and takes the focus; the window
    /// tells assistive technologies when it is active again.
    bool makeFirstResponder(Control* control) override;

private:
    class CloseFilter;
    WindowDelegate* m_delegate = nullptr;
    CloseFilter* m_filter = nullptr;
};

}  // namespace platform::qt
