#pragma once

#include <map>
#include <optional>
#include <string>

namespace platform::qt {

/// Whether Qt will find a display to draw on. Qt ends the process (abort) when its platform
/// plug-in cannot connect, so programs ask here before they create the application.
class QtDisplay {
public:
    /// Why no display can be used, from this process's environment; none when one can.
    static std::optional<std::string> missingDisplay();

    /// The same for the given values of QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY (absent
    /// keys are unset); an X display named ":N" must accept a connection on its local socket.
    static std::optional<std::string> missingDisplay(const std::map<std::string, std::string>& environment);
};

}  // namespace platform::qt
