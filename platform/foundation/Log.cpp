#include "platform/foundation/Log.h"

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <syslog.h>

namespace platform {

namespace {

std::mutex& sinkMutex()
{
    static std::mutex mutex;
    return mutex;
}

LogSink& sink()
{
    static LogSink current;
    return current;
}

bool& echoes()
{
    static bool current = true;
    return current;
}

// openlog keeps the pointer it is given: the identity lives as long as the program.
std::string& identity()
{
    static std::string current;
    return current;
}

std::string format(std::string_view pattern, std::initializer_list<std::string_view> args)
{
    std::string line;
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            if (pattern[i + 1] == '@') {
                if (next != args.end())
                    line += *next++;
                else
                    line += "(null)";
                ++i;
                continue;
            }
            if (pattern[i + 1] == '%') {
                line += '%';
                ++i;
                continue;
            }
        }
        line += pattern[i];
    }
    return line;
}

}  // namespace

void NSLog(std::string_view pattern, std::initializer_list<std::string_view> args)
{
    const std::string line = format(pattern, args);
    LogSink current;
    bool echo = true;
    {
        std::lock_guard lock(sinkMutex());
        current = sink();
        echo = echoes();
    }
    // Called without the lock held, so that a sink may log in turn.
    if (current) {
        current(line);
        return;
    }
    syslog(LOG_NOTICE, "%s", line.c_str());
    if (!echo)
        return;
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void setLogIdentity(std::string_view newIdentity)
{
    std::lock_guard lock(sinkMutex());
    identity() = newIdentity;
    if (identity().empty()) {
        closelog();
        return;
    }
    openlog(identity().c_str(), LOG_PID, LOG_USER);
}

std::string logIdentity()
{
    std::lock_guard lock(sinkMutex());
    return identity().empty() ? std::string(program_invocation_short_name) : identity();
}

void setLogSink(LogSink newSink)
{
    std::lock_guard lock(sinkMutex());
    sink() = std::move(newSink);
}

void setLogEchoesToStandardError(bool echo)
{
    std::lock_guard lock(sinkMutex());
    echoes() = echo;
}

}  // namespace platform
