#pragma once

#include <optional>
#include <string>

/// Makes one account's removal runs take turns: held from before the uninstall plan is written
/// until the removal program has ended, so that no run reads a plan another run of the same account
/// wrote. A lock file beside the plan (".com.tavix.pluginUnInstall.plist.lock" in the Preferences
/// folder) held with flock, opened without following a symbolic link.
class PlanLock {
public:
    PlanLock(PlanLock&& other) noexcept;
    PlanLock& operator=(PlanLock&& other) noexcept;
    PlanLock(const PlanLock&) = delete;
    ~PlanLock();

    enum class Failure { None, Busy, Unavailable };

    /// Takes the lock, waiting at most waitMs for another run of the account to let go. None with
    /// *failure Busy when that run held it throughout, or Unavailable (*error says why) when the
    /// lock file cannot be had, in which case the plan cannot be written there either.
    static std::optional<PlanLock> acquire(const std::string& preferencesFolder, int waitMs, Failure* failure,
                                           std::string* error);

private:
    explicit PlanLock(int fd) : m_fd(fd) {}
    int m_fd = -1;
};
