#pragma once

#include <functional>
#include <string>

namespace platform::qt {

/// Describes what is on screen, one "show: ..." line per control, for UI scripts. First the
/// controls of every loaded interface (hidden ones too), then every other visible window with its
/// visible buttons, texts and lists (an installer host's own steps and buttons, an alert, also one
/// over an interface's window), then the menus and menu items of every window. Buttons add
/// "mnemonic=X"; the control with the keyboard focus, and the focused row of a focused table, add
/// "focus=1". A button with a description of its own for screen readers is followed by
/// "show: description NAME "TEXT"".
class QtScreenReport {
public:
    /// Prints every line through print.
    static void print(const std::function<void(const std::string&)>& print);

    /// text in double quotes, with quotes, backslashes, newlines and tabs escaped.
    static std::string quoted(const std::string& text);
};

}  // namespace platform::qt
