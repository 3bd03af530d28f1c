#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace platform {

/// Formats like the platform's NSLog with "%@" placeholders taken from args in order ("%%" is
/// "%"), then writes the line to syslog and standard error, or to the sink a test installed.
void NSLog(std::string_view format, std::initializer_list<std::string_view> args = {});

using LogSink = std::function<void(const std::string& line)>;

/// Replaces the destination of NSLog lines; an empty sink restores syslog and standard error.
void setLogSink(LogSink sink);

}  // namespace platform
