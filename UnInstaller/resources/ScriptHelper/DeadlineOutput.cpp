#include "UnInstaller/resources/ScriptHelper/DeadlineOutput.h"

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <syslog.h>
#include <unistd.h>

namespace scripthelper {

namespace {

/// Pipes take this much in one write without splitting it.
constexpr std::size_t kChunk = 4096;

}  // namespace

DeadlineOutput::DeadlineOutput(int fd, std::chrono::milliseconds deadline) : m_fd(fd), m_deadline(deadline)
{
    m_flags = ::fcntl(m_fd, F_GETFL);
    if (m_flags >= 0)
        ::fcntl(m_fd, F_SETFL, m_flags | O_NONBLOCK);
}

DeadlineOutput::~DeadlineOutput()
{
    sync();
    // The descriptor may be shared (a terminal): it is handed back as it was.
    if (m_flags >= 0)
        ::fcntl(m_fd, F_SETFL, m_flags);
}

DeadlineOutput::int_type DeadlineOutput::overflow(int_type c)
{
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        m_buffer += traits_type::to_char_type(c);
        if (c == '\n')
            sync();
    }
    return traits_type::not_eof(c);
}

std::streamsize DeadlineOutput::xsputn(const char* data, std::streamsize count)
{
    m_buffer.append(data, static_cast<std::size_t>(count));
    return count;
}

int DeadlineOutput::sync()
{
    if (!m_buffer.empty() && !m_abandoned)
        writeOut(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return 0;
}

bool DeadlineOutput::writeOut(const char* data, std::size_t size)
{
    const auto deadline = std::chrono::steady_clock::now() + m_deadline;
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size < kChunk ? size : kChunk);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (n < 0 && errno == EAGAIN && left.count() > 0) {
            pollfd p{m_fd, POLLOUT, 0};
            ::poll(&p, 1, static_cast<int>(left.count()));
            continue;
        }
        // The reader is gone or stopped: the run goes on without its output.
        m_abandoned = true;
        ::syslog(LOG_WARNING, "output not read for %lld ms; the run goes on without it",
                 static_cast<long long>(m_deadline.count()));
        return false;
    }
    return true;
}

}  // namespace scripthelper
