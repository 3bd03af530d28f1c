#include "UnInstaller/common/PlanLock.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kLockName = ".com.tavix.pluginUnInstall.plist.lock";

}  // namespace

PlanLock::PlanLock(PlanLock&& other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

PlanLock& PlanLock::operator=(PlanLock&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

PlanLock::~PlanLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<PlanLock> PlanLock::acquire(const std::string& preferencesFolder, int waitMs, Failure* failure,
                                          std::string* error)
{
    *failure = Failure::None;
    const int folder = ::open(preferencesFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int fd = folder < 0 ? -1
                              : ::openat(folder, kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    const int openError = errno;
    if (folder >= 0)
        ::close(folder);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        *failure = Failure::Unavailable;
        *error = preferencesFolder + "/" + kLockName + ": " +
                 (fd < 0 ? std::string(std::strerror(openError)) : std::string("is not a file of this user's"));
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
            *failure = errno == EWOULDBLOCK ? Failure::Busy : Failure::Unavailable;
            *error = *failure == Failure::Busy ? "another removal of this account is running"
                                               : std::string("cannot lock ") + kLockName + ": " + std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return PlanLock(fd);
}
