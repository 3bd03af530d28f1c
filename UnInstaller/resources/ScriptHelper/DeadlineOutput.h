#pragma once

#include <chrono>
#include <streambuf>
#include <string>

namespace scripthelper {

/// Standard output for a program that holds the lock of every other run: a reader that stops
/// reading (a stopped caller, a full pipe) must not hold it up. Each write waits at most the
/// deadline for room; after that the output is given up (logged once to the system log) and the
/// run goes on to its end without it, so the lock is let go in time.
class DeadlineOutput : public std::streambuf {
public:
    DeadlineOutput(int fd, std::chrono::milliseconds deadline);
    ~DeadlineOutput() override;

    /// Whether the output was given up.
    bool abandoned() const { return m_abandoned; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;

private:
    bool writeOut(const char* data, std::size_t size);

    int m_fd;
    int m_flags = -1;
    std::chrono::milliseconds m_deadline;
    std::string m_buffer;
    bool m_abandoned = false;
};

}  // namespace scripthelper
