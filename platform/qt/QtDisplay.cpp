#include "platform/qt/QtDisplay.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QLibraryInfo>

#include <cstdlib>
#include <cstring>

namespace platform::qt {

namespace {

std::string valueOf(const std::map<std::string, std::string>& environment, const char* key)
{
    const auto it = environment.find(key);
    return it == environment.end() ? std::string() : it->second;
}

bool connects(const std::string& socketPath, bool abstractName)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstractName ? 1 : 0;
    if (socketPath.size() + offset >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path + offset, socketPath.data(), socketPath.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + socketPath.size());
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    ::close(fd);
    return ok;
}

// An X display on this machine (":0", ":57.0", "unix:1") answers on its socket; a display on
// another host is trusted to exist.
std::optional<std::string> unreachableX(const std::string& display)
{
    const auto colon = display.rfind(':');
    if (colon == std::string::npos) {
        return "DISPLAY \"" + display + "\" names no display";
    }
    const std::string host = display.substr(0, colon);
    if (!host.empty() && host != "unix") {
        return std::nullopt;
    }
    std::string number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        return "DISPLAY \"" + display + "\" names no display";
    }
    const std::string socketPath = "/tmp/.X11-unix/X" + number;
    if (connects(socketPath, false) || connects(socketPath, true)) {
        return std::nullopt;
    }
    return "the X display " + display + " does not answer";
}

std::map<std::string, std::string> processEnvironment()
{
    std::map<std::string, std::string> environment;
    for (const char* key : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* value = std::getenv(key)) {
            environment[key] = value;
        }
    }
    return environment;
}

const char* const kNoWaylandPlugin =
    "WAYLAND_DISPLAY is set, but the toolkit's Wayland support (package qt6-wayland) is not installed";

}  // namespace

std::optional<std::string> QtDisplay::missingDisplay()
{
    std::map<std::string, std::string> environment = processEnvironment();
    return missingDisplay(environment, waylandPluginInstalled());
}

std::optional<std::string> QtDisplay::missingDisplay(const std::map<std::string, std::string>& environment,
                                                     bool waylandInstalled)
{
    std::string platform = valueOf(environment, "QT_QPA_PLATFORM");
    platform = platform.substr(0, platform.find(':'));
    const std::string display = valueOf(environment, "DISPLAY");
    const std::string wayland = valueOf(environment, "WAYLAND_DISPLAY");
    if (platform == "xcb") {
        return display.empty() ? std::optional<std::string>("DISPLAY is not set") : unreachableX(display);
    }
    if (platform.rfind("wayland", 0) == 0) {
        if (wayland.empty()) {
            return std::string("WAYLAND_DISPLAY is not set");
        }
        return waylandInstalled ? std::nullopt : std::optional<std::string>(kNoWaylandPlugin);
    }
    if (!platform.empty()) {
        // offscreen, minimal, vnc, eglfs...: Qt draws without a desktop session.
        return std::nullopt;
    }
    if (!display.empty()) {
        return unreachableX(display);
    }
    if (!wayland.empty()) {
        return waylandInstalled ? std::nullopt : std::optional<std::string>(kNoWaylandPlugin);
    }
    return std::string("neither DISPLAY nor WAYLAND_DISPLAY is set");
}

std::optional<std::string> QtDisplay::platformToUse(const std::map<std::string, std::string>& environment,
                                                    bool waylandInstalled)
{
    if (waylandInstalled || !valueOf(environment, "QT_QPA_PLATFORM").empty() ||
        valueOf(environment, "DISPLAY").empty()) {
        return std::nullopt;
    }
    // A Wayland session (WAYLAND_DISPLAY, XDG_SESSION_TYPE=wayland) makes the toolkit try its
    // Wayland plug-in, and it aborts when that is missing: the X display of the session is used.
    if (unreachableX(valueOf(environment, "DISPLAY"))) {
        return std::nullopt;
    }
    return std::string("xcb");
}

void QtDisplay::choosePlatform()
{
    if (std::optional<std::string> platform = platformToUse(processEnvironment(), waylandPluginInstalled())) {
        setenv("QT_QPA_PLATFORM", platform->c_str(), 1);
    }
}

bool QtDisplay::waylandPluginInstalled()
{
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    return !platforms.entryList({QStringLiteral("libqwayland-*.so")}, QDir::Files).isEmpty();
}

}  // namespace platform::qt
