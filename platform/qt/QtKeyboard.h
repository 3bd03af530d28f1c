#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <vector>

namespace platform::qt {

/// Makes every window of the application usable by keyboard: when a window is shown its push
/// buttons answer Return and Space while focused, its buttons and menus get mnemonics (again
/// whenever a button's text changes), and Return that no control takes presses the window's
/// default button when it is enabled. Installed once on the application.
class QtKeyboard : public QObject {
public:
    explicit QtKeyboard(QObject* parent = nullptr);

    /// Prepares one window now (mnemonics, buttons that answer Return).
    static void prepare(QWidget* window);
    /// Prepares every visible window now, so that what is printed or pressed next is current.
    static void prepareAll();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void schedule(QWidget* window);

    std::vector<QPointer<QWidget>> m_pending;
};

}  // namespace platform::qt
