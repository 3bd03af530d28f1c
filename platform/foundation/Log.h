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

/// Names the program in the system log (the syslog identifier that "journalctl -t" selects); until
/// it is called, the log names the program by the file it was started from.
void setLogIdentity(std::string_view identity);

/// The name NSLog lines carry in the system log.
std::string logIdentity();

/// Replaces the destination of NSLog lines; an empty sink restores syslog and standard error.
void setLogSink(LogSink sink);

/// Whether NSLog lines without a sink go to standard error as well as to syslog (the default). A
/// command line that says each problem in its own words turns it off, so that nothing is said twice.
void setLogEchoesToStandardError(bool echoes);

}  // namespace platform
