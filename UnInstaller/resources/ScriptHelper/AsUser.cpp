#include "UnInstaller/resources/ScriptHelper/AsUser.h"

#include <cerrno>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace scripthelper {

namespace {

/// Takes the user's ids and groups for good; false when any step fails.
bool becomeUser(uid_t uid)
{
    const passwd* entry = ::getpwuid(uid);
    const gid_t gid = entry != nullptr ? entry->pw_gid : static_cast<gid_t>(uid);
    const int groups = entry != nullptr ? ::initgroups(entry->pw_name, gid) : ::setgroups(0, nullptr);
    if (groups != 0 || ::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0)
        return false;
    // Root must be gone for good.
    return ::setuid(0) != 0 && ::geteuid() == uid && ::getuid() == uid;
}

}  // namespace

std::optional<std::string> AsUser::run(unsigned long uid, const std::function<std::string()>& work)
{
    if (::geteuid() != 0 || uid == ::geteuid())
        return work();

    int channel[2] = {-1, -1};
    if (::pipe2(channel, O_CLOEXEC) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(channel[0]);
        ::close(channel[1]);
        return std::nullopt;
    }
    if (child == 0) {
        ::close(channel[0]);
        if (!becomeUser(static_cast<uid_t>(uid)))
            ::_exit(126);
        const std::string answer = work();
        std::size_t written = 0;
        while (written < answer.size()) {
            const ssize_t n = ::write(channel[1], answer.data() + written, answer.size() - written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                ::_exit(125);
            written += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string answer;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(channel[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(channel[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return std::nullopt;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return answer;
}

}  // namespace scripthelper
