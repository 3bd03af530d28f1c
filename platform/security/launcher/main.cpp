// platform-auth-launcher: the privileged half of the pkexec authorization backend.
//
// Started as `pkexec LAUNCHER` with no arguments, a socket on its standard input and a pipe on its
// standard output. It runs one program only: the file named PLATFORM_AUTH_TOOL_NAME in the folder
// of its own executable (found through /proc/self/exe). That program, and every folder from "/"
// down to it, must be owned by root (or, run unprivileged, by the user running the launcher) and
// writable by nobody else; a root-owned sticky folder counts as safe.
//
// It answers "ready PATH" (PATH: the program it will run) or "refused REASON", then waits at most
// a minute for one command line on its standard input:
//   "run"  starts the program in a session of its own, with no arguments, a clean environment,
//          the job-control and terminal signals ignored, and its output and errors on standard
//          output. The channel then carries "started", or "failed REASON" when it could not be
//          run; once the program has ended, "exit N" or "signal N". While it runs, "stop" on
//          the channel sends it SIGTERM, which it takes as a request to stop after the module
//          at hand.
//   end of input, anything else, or no complete command within the minute: exits without
//   running anything.
//
// The caller is the user pkexec names in PKEXEC_UID, and the program's home folder comes from that
// user's account. Without PKEXEC_UID the launcher acts for the user running it, which lets tests
// drive it through a stand-in for pkexec; only then, and only in builds with test seams, does it
// pass on HOME and PLATFORM_ROOT from its environment and honour PLATFORM_AUTH_RUN_TIMEOUT_MS.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef PLATFORM_AUTH_TOOL_NAME
#error "PLATFORM_AUTH_TOOL_NAME must name the program the launcher runs"
#endif
#ifndef PLATFORM_TEST_SEAMS
#define PLATFORM_TEST_SEAMS 0
#endif
#ifndef PLATFORM_LAUNCHER_VERSION
#define PLATFORM_LAUNCHER_VERSION "1.0"
#endif

namespace {

constexpr int kExitReleased = 0;
constexpr int kExitUsage = 2;
constexpr int kExitRefused = 3;
constexpr int kExitExecFailed = 4;
constexpr int kExitTimedOut = 5;

constexpr int kRunTimeoutMs = 60 * 1000;
constexpr const char* kToolPath = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";

void writeAll(int fd, const std::string& text)
{
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

[[noreturn]] void refuse(const std::string& reason)
{
    writeAll(STDOUT_FILENO, "refused " + reason + "\n");
    writeAll(STDERR_FILENO, "platform-auth-launcher: " + reason + "\n");
    ::_exit(kExitRefused);
}

std::vector<std::string> splitComponents(const std::string& path)
{
    std::vector<std::string> parts;
    std::string current;
    for (char c : path) {
        if (c == '/') {
            if (!current.empty())
                parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        parts.push_back(current);
    return parts;
}

/// Whether the launcher was started by pkexec on behalf of another process.
bool startedByPkexec()
{
    return std::getenv("PKEXEC_UID") != nullptr;
}

/// A test seam: the environment's value, only in builds with test seams and when not started by
/// pkexec.
std::optional<std::string> seam(const char* name)
{
    if (!PLATFORM_TEST_SEAMS || startedByPkexec())
        return std::nullopt;
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    return std::string(value);
}

uid_t callerUid()
{
    if (::geteuid() != ::getuid())
        refuse("must not be installed set-user-ID");
    const char* text = std::getenv("PKEXEC_UID");
    if (text == nullptr)
        return ::getuid();
    if (*text == '\0')
        refuse("PKEXEC_UID is empty");
    unsigned long long value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9' || value > 0xFFFFFFFFull / 10)
            refuse("PKEXEC_UID is not a user number");
        value = value * 10 + static_cast<unsigned>(*p - '0');
    }
    const uid_t uid = static_cast<uid_t>(value);
    if (static_cast<unsigned long long>(uid) != value)
        refuse("PKEXEC_UID is out of range");
    if (::geteuid() != 0 && uid != ::getuid())
        refuse("PKEXEC_UID names another user");
    return uid;
}

/// Root, or the user running the launcher when that is not root: nobody else may own what runs.
bool ownedByTrustedUser(const struct stat& st)
{
    return st.st_uid == 0 || st.st_uid == ::geteuid();
}

/// A folder nobody but its owner can change entries of. A root-owned folder with the sticky bit
/// (such as /tmp) counts: others may add entries but not rename or remove ours.
bool isSafeFolder(const struct stat& st)
{
    if (!S_ISDIR(st.st_mode) || !ownedByTrustedUser(st))
        return false;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return true;
    return st.st_uid == 0 && (st.st_mode & S_ISVTX) != 0;
}

std::optional<std::string> toolProblem(const struct stat& st)
{
    if (!S_ISREG(st.st_mode))
        return "is not a regular file";
    if (!ownedByTrustedUser(st))
        return ::geteuid() == 0 ? "is not owned by root" : "is owned by another user";
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "is writable by group or others";
    if ((st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0)
        return "is not executable";
    return std::nullopt;
}

/// The program beside the launcher's own executable.
std::string toolBesideLauncher()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer - 1)
        refuse("cannot find the launcher's own executable");
    const std::string self(buffer, static_cast<std::size_t>(n));
    const std::size_t slash = self.rfind('/');
    if (self[0] != '/' || slash == std::string::npos)
        refuse("the launcher's own executable has no absolute path");
    return self.substr(0, slash + 1) + PLATFORM_AUTH_TOOL_NAME;
}

/// Opens the program without following a symbolic link anywhere on its path, checking every folder
/// on the way; the descriptor stays open so the checked file is the one run.
int openTool(const std::string& path)
{
    const std::vector<std::string> parts = splitComponents(path);
    if (parts.empty())
        refuse("the program's path names no file");

    int dir = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        refuse("cannot open /");
    std::string shown;
    for (std::size_t i = 0;; ++i) {
        struct stat st {};
        if (::fstat(dir, &st) != 0 || !isSafeFolder(st))
            refuse("folder " + (shown.empty() ? std::string("/") : shown) + " of the program is not safe");
        if (i + 1 >= parts.size())
            break;
        shown += "/" + parts[i];
        const int next = ::openat(dir, parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0)
            refuse("cannot open folder " + shown + ": " + std::strerror(errno));
        ::close(dir);
        dir = next;
    }
    // Not close-on-exec: a script is run by its interpreter through /dev/fd.
    const int fd = ::openat(dir, parts.back().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    const int openError = errno;
    ::close(dir);
    if (fd < 0)
        refuse("cannot open the program " + path + ": " + std::strerror(openError));
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        refuse("cannot examine the program " + path);
    if (auto problem = toolProblem(st))
        refuse("the program " + path + " " + *problem);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

/// The caller's home folder from the caller's account; in test runs the environment's HOME.
std::string homeFolder(uid_t caller)
{
    if (auto home = seam("HOME"))
        return *home;
    const passwd* entry = ::getpwuid(caller);
    if (entry == nullptr || entry->pw_dir == nullptr || entry->pw_dir[0] != '/')
        refuse("the caller has no home folder");
    return entry->pw_dir;
}

int runTimeoutMs()
{
    if (auto text = seam("PLATFORM_AUTH_RUN_TIMEOUT_MS")) {
        char* end = nullptr;
        const long value = std::strtol(text->c_str(), &end, 10);
        if (end != nullptr && *end == '\0' && value > 0 && value < kRunTimeoutMs)
            return static_cast<int>(value);
    }
    return kRunTimeoutMs;
}

/// One line from standard input, at most 64 bytes, that must be complete within timeoutMs of the
/// call, however its bytes arrive; none at the end of input.
std::optional<std::string> readCommand(int timeoutMs)
{
    timespec start {};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    const long long deadline = start.tv_sec * 1000LL + start.tv_nsec / 1000000 + timeoutMs;
    std::string line;
    while (line.size() < 64) {
        timespec now {};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const long long left = deadline - (now.tv_sec * 1000LL + now.tv_nsec / 1000000);
        pollfd p{STDIN_FILENO, POLLIN, 0};
        const int ready = left > 0 ? ::poll(&p, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            writeAll(STDERR_FILENO, "platform-auth-launcher: no command came in time\n");
            ::_exit(kExitTimedOut);
        }
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        if (c == '\n')
            return line;
        line += c;
    }
    return line;
}

constexpr int kIgnoredSignals[] = {SIGINT, SIGQUIT, SIGTSTP, SIGTTIN, SIGTTOU, SIGHUP};

/// In the child between fork and exec: only async-signal-safe calls; the errno of a failure goes
/// to report.
[[noreturn]] void execTool(int toolFd, int report, char* const* args, char* const* env)
{
    int error = 0;
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (::setsid() < 0 || devNull < 0 || ::dup2(devNull, STDIN_FILENO) < 0 ||
        ::dup2(STDOUT_FILENO, STDERR_FILENO) < 0 || ::chdir("/") != 0) {
        error = errno;
    } else {
        ::umask(022);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int sig : {SIGPIPE, SIGCHLD, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2})
            ::signal(sig, SIG_DFL);
        for (int sig : kIgnoredSignals)
            ::signal(sig, SIG_IGN);
        ::fexecve(toolFd, args, env);
        error = errno;
    }
    if (::write(report, &error, sizeof error) < 0) {
    }
    ::_exit(127);
}

/// Waits for the program to end while listening on the channel: "stop" asks the program, with
/// SIGTERM, to stop after the module at hand. Anything else, or the channel's end, changes nothing:
/// a caller that goes away must not cut a removal short. Answers what waitpid answered.
pid_t waitForTool(pid_t child, int channel, int* status)
{
    const int exited = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    std::string command;
    bool listening = true;
    bool stopSent = false;
    while (exited >= 0) {
        pollfd watch[2] = {{exited, POLLIN, 0}, {channel, POLLIN, 0}};
        const int ready = ::poll(watch, listening ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || (watch[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            break;
        if (!listening || watch[1].revents == 0)
            continue;
        char c = 0;
        const ssize_t n = ::read(channel, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            listening = false;
            continue;
        }
        if (c != '\n') {
            if (command.size() < 64)
                command += c;
            continue;
        }
        if (command == "stop" && !stopSent) {
            ::kill(child, SIGTERM);
            stopSent = true;
        }
        command.clear();
    }
    if (exited >= 0)
        ::close(exited);
    pid_t waited = -1;
    do {
        waited = ::waitpid(child, status, 0);
    } while (waited < 0 && errno == EINTR);
    return waited;
}

[[noreturn]] void runTool(int toolFd, const std::string& toolPath, const std::string& home)
{
    const int channel = STDIN_FILENO;
    std::string homeVar = "HOME=" + home;
    std::string pathVar = kToolPath;
    std::string rootVar;
    std::vector<char*> env{homeVar.data(), pathVar.data()};
    if (auto root = seam("PLATFORM_ROOT")) {
        rootVar = "PLATFORM_ROOT=" + *root;
        env.push_back(rootVar.data());
    }
    env.push_back(nullptr);
    std::string argv0 = toolPath;
    char* args[] = {argv0.data(), nullptr};

    int report[2] = {-1, -1};
    if (::pipe2(report, O_CLOEXEC) != 0) {
        writeAll(channel, "failed cannot make a pipe\n");
        ::_exit(kExitExecFailed);
    }
    const pid_t child = ::fork();
    if (child < 0) {
        writeAll(channel, "failed cannot start a process\n");
        ::_exit(kExitExecFailed);
    }
    if (child == 0) {
        ::close(report[0]);
        execTool(toolFd, report[1], args, env.data());
    }
    ::close(report[1]);
    ::close(toolFd);
    int error = 0;
    ssize_t n = -1;
    do {
        n = ::read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);

    int status = 0;
    pid_t waited = -1;
    if (n > 0) {
        do {
            waited = ::waitpid(child, &status, 0);
        } while (waited < 0 && errno == EINTR);
        writeAll(channel, std::string("failed cannot run the program: ") + std::strerror(error) + "\n");
        ::_exit(kExitExecFailed);
    }
    writeAll(channel, "started\n");

    // The program's output ends when the program (and whatever it started) closes it.
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devNull >= 0)
        ::dup2(devNull, STDOUT_FILENO);
    waited = waitForTool(child, channel, &status);
    if (waited != child)
        ::_exit(kExitExecFailed);
    if (WIFEXITED(status))
        writeAll(channel, "exit " + std::to_string(WEXITSTATUS(status)) + "\n");
    else if (WIFSIGNALED(status))
        writeAll(channel, "signal " + std::to_string(WTERMSIG(status)) + "\n");
    ::_exit(kExitReleased);
}

}  // namespace

int main(int argc, char** argv)
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0)
            return kExitUsage;
    }
    ::close_range(3, ~0U, 0);
    ::signal(SIGPIPE, SIG_DFL);

    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        writeAll(STDOUT_FILENO,
                 "usage: platform-auth-launcher\n"
                 "Started by pkexec: runs " PLATFORM_AUTH_TOOL_NAME
                 " from its own folder once it is told \"run\" on standard input.\n");
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        writeAll(STDOUT_FILENO, "platform-auth-launcher " PLATFORM_LAUNCHER_VERSION "\n");
        return 0;
    }
    if (argc != 1)
        refuse("takes no arguments");

    const uid_t caller = callerUid();
    const std::string toolPath = toolBesideLauncher();
    const int toolFd = openTool(toolPath);
    const std::string home = homeFolder(caller);

    // A terminal's signals must not end the launcher half-way, nor the program it runs.
    for (int sig : kIgnoredSignals)
        ::signal(sig, SIG_IGN);

    writeAll(STDOUT_FILENO, "ready " + toolPath + "\n");
    const std::optional<std::string> command = readCommand(runTimeoutMs());
    if (!command)
        return kExitReleased;
    if (*command != "run")
        return kExitUsage;
    runTool(toolFd, toolPath, home);
}
