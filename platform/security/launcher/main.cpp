// platform-auth-launcher: the privileged half of the pkexec authorization backend.
//
// Started as `pkexec platform-auth-launcher --tool PATH [--home FOLDER] [--root FOLDER]` with a
// socket on its standard input and a pipe on its standard output. It checks the request, prints
// "ready" and waits for one command line on its standard input:
//   "run"  runs the tool (no arguments, a clean environment, output and errors on standard
//          output). Standard input then serves as a status channel: it is closed on exec when the
//          tool started, or carries "failed <reason>" when it could not be run.
//   end of input, or anything else: exits without running anything.
// A request it will not serve is answered by "refused <reason>" instead of "ready".
//
// The caller is the user pkexec names in PKEXEC_UID. Without PKEXEC_UID the launcher acts for the
// user running it, which lets tests drive it unprivileged through a stand-in for pkexec.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

constexpr int kExitReleased = 0;
constexpr int kExitUsage = 2;
constexpr int kExitRefused = 3;
constexpr int kExitExecFailed = 4;

constexpr const char* kToolPath = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";

struct Request {
    std::string tool;
    std::optional<std::string> home;
    std::optional<std::string> root;
};

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

/// Absolute and free of "." and ".." components.
bool isPlainAbsolutePath(const std::string& path)
{
    if (path.empty() || path[0] != '/' || path.size() > 4096)
        return false;
    for (const std::string& part : splitComponents(path)) {
        if (part == "." || part == "..")
            return false;
    }
    return true;
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

bool ownedByTrustedUser(const struct stat& st, uid_t caller)
{
    return st.st_uid == 0 || st.st_uid == caller;
}

/// A folder nobody but its owner can change entries of. A root-owned folder with the sticky bit
/// (such as /tmp) counts: others may add entries but not rename or remove ours.
bool isSafeFolder(const struct stat& st, uid_t caller)
{
    if (!S_ISDIR(st.st_mode) || !ownedByTrustedUser(st, caller))
        return false;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return true;
    return st.st_uid == 0 && (st.st_mode & S_ISVTX) != 0;
}

std::optional<std::string> toolProblem(const struct stat& st, uid_t caller)
{
    if (!S_ISREG(st.st_mode))
        return "is not a regular file";
    if (!ownedByTrustedUser(st, caller))
        return "is owned by another user";
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "is writable by group or others";
    if ((st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0)
        return "is not executable";
    return std::nullopt;
}

/// Opens the tool without following a symbolic link anywhere on its path, checking every folder
/// on the way; the descriptor stays open (and inherited by exec) so the checked file is the one run.
int openTool(const std::string& path, uid_t caller)
{
    if (!isPlainAbsolutePath(path))
        refuse("tool path is not a plain absolute path");
    const std::vector<std::string> parts = splitComponents(path);
    if (parts.empty())
        refuse("tool path names no file");

    int dir = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        refuse("cannot open /");
    std::string shown;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        struct stat st {};
        if (::fstat(dir, &st) != 0 || !isSafeFolder(st, caller))
            refuse("folder " + (shown.empty() ? std::string("/") : shown) + " of the tool is not safe");
        shown += "/" + parts[i];
        const int next = ::openat(dir, parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            struct stat link {};
            if (::fstatat(dir, parts[i].c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(link.st_mode))
                refuse("tool path passes through the symbolic link " + shown);
            refuse("cannot open folder " + shown + ": " + std::strerror(errno));
        }
        ::close(dir);
        dir = next;
    }
    struct stat folder {};
    if (::fstat(dir, &folder) != 0 || !isSafeFolder(folder, caller))
        refuse("folder " + (shown.empty() ? std::string("/") : shown) + " of the tool is not safe");

    const int fd = ::openat(dir, parts.back().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    const int openError = errno;
    struct stat link {};
    const bool isLink = fd < 0 && ::fstatat(dir, parts.back().c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 &&
                        S_ISLNK(link.st_mode);
    ::close(dir);
    if (fd < 0) {
        if (isLink)
            refuse("tool " + path + " is a symbolic link");
        refuse("cannot open tool " + path + ": " + std::strerror(openError));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        refuse("cannot examine tool " + path);
    if (auto problem = toolProblem(st, caller))
        refuse("tool " + path + " " + *problem);
    return fd;
}

/// The caller's home folder: the password entry's, or the one asked for when it is that one or a
/// folder of the caller's own that nobody else can write to.
std::string homeFolder(const std::optional<std::string>& asked, uid_t caller)
{
    std::optional<std::string> entryHome;
    if (const passwd* entry = ::getpwuid(caller); entry != nullptr && entry->pw_dir != nullptr)
        entryHome = entry->pw_dir;
    if (!asked) {
        if (!entryHome || entryHome->empty())
            refuse("the caller has no home folder");
        return *entryHome;
    }
    if (entryHome && *asked == *entryHome)
        return *asked;
    if (!isPlainAbsolutePath(*asked))
        refuse("home folder is not a plain absolute path");
    struct stat st {};
    if (::lstat(asked->c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != caller ||
        (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        refuse("home folder " + *asked + " does not belong to the caller");
    return *asked;
}

Request parseArguments(int argc, char** argv)
{
    Request request;
    bool haveTool = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            refuse("usage: --tool PATH [--home FOLDER] [--root FOLDER]");
        const std::string value = argv[++i];
        if (option == "--tool" && !haveTool) {
            request.tool = value;
            haveTool = true;
        } else if (option == "--home" && !request.home) {
            request.home = value;
        } else if (option == "--root" && !request.root) {
            request.root = value;
        } else {
            refuse("usage: --tool PATH [--home FOLDER] [--root FOLDER]");
        }
    }
    if (!haveTool)
        refuse("usage: --tool PATH [--home FOLDER] [--root FOLDER]");
    if (request.root && !isPlainAbsolutePath(*request.root))
        refuse("machine root is not a plain absolute path");
    return request;
}

/// One line from standard input, at most 64 bytes; none at the end of input.
std::optional<std::string> readCommand()
{
    std::string line;
    while (line.size() < 64) {
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

[[noreturn]] void failRun(int status, const std::string& reason)
{
    writeAll(status, "failed " + reason + "\n");
    ::_exit(kExitExecFailed);
}

[[noreturn]] void runTool(int toolFd, const std::string& toolPath, const std::string& home,
                          const std::optional<std::string>& root, uid_t caller)
{
    const int status = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    if (status < 0)
        ::_exit(kExitExecFailed);

    struct stat st {};
    if (::fstat(toolFd, &st) != 0)
        failRun(status, "cannot examine the tool");
    if (auto problem = toolProblem(st, caller))
        failRun(status, "tool " + *problem);
    const int flags = ::fcntl(toolFd, F_GETFL);
    if (flags >= 0)
        ::fcntl(toolFd, F_SETFL, flags & ~O_NONBLOCK);

    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull < 0 || ::dup2(devNull, STDIN_FILENO) < 0 || ::dup2(STDOUT_FILENO, STDERR_FILENO) < 0)
        failRun(status, "cannot set up the tool's standard streams");
    if (::chdir("/") != 0)
        failRun(status, "cannot change to /");
    ::umask(022);

    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2})
        ::signal(sig, SIG_DFL);

    std::string homeVar = "HOME=" + home;
    std::string pathVar = kToolPath;
    std::string rootVar = root ? "PLATFORM_ROOT=" + *root : std::string();
    std::vector<char*> env{homeVar.data(), pathVar.data()};
    if (root)
        env.push_back(rootVar.data());
    env.push_back(nullptr);
    std::string argv0 = toolPath;
    char* args[] = {argv0.data(), nullptr};

    ::fexecve(toolFd, args, env.data());
    failRun(status, std::string("cannot run the tool: ") + std::strerror(errno));
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

    const Request request = parseArguments(argc, argv);
    const uid_t caller = callerUid();
    const int toolFd = openTool(request.tool, caller);
    const std::string home = homeFolder(request.home, caller);

    writeAll(STDOUT_FILENO, "ready\n");
    const std::optional<std::string> command = readCommand();
    if (!command)
        return kExitReleased;
    if (*command != "run")
        return kExitUsage;
    runTool(toolFd, request.tool, home, request.root, caller);
}
