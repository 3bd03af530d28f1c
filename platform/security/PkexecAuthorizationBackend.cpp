#include "platform/security/PkexecAuthorizationBackend.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/TestSeams.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <type_traits>

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

#ifndef PLATFORM_AUTH_LAUNCHER_PATH
#error "PLATFORM_AUTH_LAUNCHER_PATH must name the built launcher"
#endif

namespace platform {

static_assert(std::is_same_v<pid_t, int>, "process ids are kept as int");

namespace {

// The launcher this library starts, kept whole in the library (not folded into the code that
// copies it), so that a look at the installed file shows which program it runs as root.
[[gnu::used]] constexpr char kLauncherPath[] = PLATFORM_AUTH_LAUNCHER_PATH;
[[gnu::used]] constexpr char kInstallLauncherPath[] = PLATFORM_INSTALL_LAUNCHER_PATH;
/// The program the install launcher runs.
constexpr std::string_view kInstallToolName = "InstallHelper";

/// pkexec's exit status when the prompt was dismissed, and when no authorization could be had at
/// all (no polkit service, no authentication agent, or not authorized).
constexpr int kCancelledStatus = 126;
constexpr int kNotAuthorizedStatus = 127;
constexpr std::size_t kMaxLineBytes = 4096;

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

/// Waits for the process to end; its wait status, or none when it cannot be waited for.
std::optional<int> reap(pid_t pid)
{
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, 0);
        if (r == pid)
            return status;
        if (r < 0 && errno == EINTR)
            continue;
        return std::nullopt;
    }
}

/// Reads one line byte by byte so that nothing after it is consumed; none at the end of input
/// before a newline.
std::optional<std::string> readLine(int fd)
{
    std::string line;
    while (line.size() < kMaxLineBytes) {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return line.empty() ? std::nullopt : std::optional<std::string>(line);
        if (c == '\n')
            return line;
        line += c;
    }
    return line;
}

/// What pkexec wrote on its error output, read once it has ended (at most a few kilobytes).
std::string drain(int fd)
{
    std::string text;
    char buffer[1024];
    while (text.size() < 16 * kMaxLineBytes) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

/// pkexec ends with status 127 when no authentication agent answered, when the user was not
/// authorized (a wrong password, or a rule that says no) and when polkit could not be asked at
/// all; only its message tells them apart. The environment it runs in fixes the language of that
/// message (LC_ALL=C).
OSStatus notAuthorizedStatus(const std::string& errors)
{
    // Without a registered agent pkexec falls back to a text agent of its own, which needs a
    // controlling terminal; started from a desktop it has none.
    if (errors.find("No authentication agent") != std::string::npos ||
        errors.find("Error creating textual authentication agent") != std::string::npos)
        return errAuthorizationInteractionNotAllowed;
    if (errors.find("Error checking for authorization") != std::string::npos ||
        errors.find("Cannot run program") != std::string::npos ||
        errors.find("org.freedesktop.DBus.Error") != std::string::npos)
        return errAuthorizationInternal;
    return errAuthorizationDenied;
}

/// pkexec's environment: ours, with its messages in the C locale.
std::vector<std::string> pkexecEnvironment()
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (text.rfind("LC_ALL=", 0) != 0 && text.rfind("LANGUAGE=", 0) != 0)
            result.push_back(text);
    }
    result.emplace_back("LC_ALL=C");
    return result;
}

bool isAbsolute(const std::string& path)
{
    return !path.empty() && path[0] == '/';
}

/// The exit status of a "exit N" or "signal N" report: N, or 128 + N for a signal.
std::optional<int> decodeExitReport(const std::string& line)
{
    const bool signalled = line.rfind("signal ", 0) == 0;
    if (!signalled && line.rfind("exit ", 0) != 0)
        return std::nullopt;
    const std::string number = line.substr(signalled ? 7 : 5);
    if (number.empty() || number.size() > 3)
        return std::nullopt;
    int value = 0;
    for (char c : number) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > 255)
        return std::nullopt;
    return signalled ? 128 + value : value;
}

}  // namespace

PkexecAuthorizationBackend::~PkexecAuthorizationBackend()
{
    release();
}

std::string PkexecAuthorizationBackend::pkexecPath()
{
    return testSeam("PLATFORM_PKEXEC").value_or("/usr/bin/pkexec");
}

std::string PkexecAuthorizationBackend::launcherPath(const std::string& toolPath)
{
    const std::size_t slash = toolPath.rfind('/');
    const std::string_view name =
        slash == std::string::npos ? std::string_view(toolPath) : std::string_view(toolPath).substr(slash + 1);
    return testSeam("PLATFORM_AUTH_LAUNCHER").value_or(name == kInstallToolName ? kInstallLauncherPath : kLauncherPath);
}

OSStatus PkexecAuthorizationBackend::acquire(const std::string& toolPath, bool interactionAllowed)
{
    endLauncher();
    m_tool.clear();
    m_toolRefused = false;
    m_exitStatus.reset();
    if (!interactionAllowed)
        return errAuthorizationInteractionNotAllowed;

    const std::string pkexec = pkexecPath();
    const std::string launcher = launcherPath(toolPath);
    if (!isAbsolute(pkexec) || !isAbsolute(launcher))
        return errAuthorizationInternal;
    // A missing tool is told apart before the start: where a spawn reports a failed exec only
    // as exit status 127 (under an emulator, say), it would read as pkexec's own "not allowed".
    struct stat tool {};
    if (::stat(pkexec.c_str(), &tool) != 0 || !S_ISREG(tool.st_mode) || ::access(pkexec.c_str(), X_OK) != 0)
        return errAuthorizationInternal;

    // The launcher takes nothing from us: it finds its program, the home folder and the machine
    // root itself.
    std::vector<std::string> args{pkexec, launcher};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int control[2] = {-1, -1};
    int output[2] = {-1, -1};
    int errors[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, control) != 0)
        return errAuthorizationInternal;
    if (::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(errors, O_CLOEXEC) != 0) {
        for (int* fd : {&control[0], &control[1], &output[0], &output[1], &errors[0], &errors[1]})
            closeFd(*fd);
        return errAuthorizationInternal;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, control[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> environment = pkexecEnvironment();
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int spawnError = ::posix_spawn(&pid, pkexec.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    closeFd(control[1]);
    closeFd(output[1]);
    closeFd(errors[1]);
    if (spawnError != 0) {
        closeFd(control[0]);
        closeFd(output[0]);
        closeFd(errors[0]);
        return errAuthorizationInternal;
    }

    const std::optional<std::string> answer = readLine(output[0]);
    if (answer && answer->rfind("ready ", 0) == 0) {
        // The launcher writes to its error output only when it gives up; nothing waits on it.
        m_errors = errors[0];
        m_launcher = pid;
        m_control = control[0];
        m_output = output[0];
        m_tool = toolPath;
        // The launcher runs the program beside it (its path as the kernel has it, free of links);
        // a right granted for any other path is refused at the start.
        if (toolPath != answer->substr(6)) {
            endLauncher();
            m_toolRefused = true;
        }
        return errAuthorizationSuccess;
    }

    // Anything but "ready": the launcher (or pkexec before it) is done; closing its input ends a
    // launcher that answered something unexpected.
    closeFd(control[0]);
    closeFd(output[0]);
    const std::optional<int> status = reap(pid);
    std::string errorText = drain(errors[0]);
    closeFd(errors[0]);
    // What pkexec said goes to the log, where the alert's hint points.
    while (!errorText.empty() && (errorText.back() == '\n' || errorText.back() == '\r'))
        errorText.pop_back();
    if (!errorText.empty())
        NSLog("pkexec: %@", {errorText});
    if (answer && answer->rfind("refused", 0) == 0) {
        // The prompt was answered; the launcher would not run this program.
        m_tool = toolPath;
        m_toolRefused = true;
        return errAuthorizationSuccess;
    }
    if (!answer && status && WIFEXITED(*status) && WEXITSTATUS(*status) == kCancelledStatus)
        return errAuthorizationCanceled;
    if (!answer && status && WIFEXITED(*status) && WEXITSTATUS(*status) == kNotAuthorizedStatus)
        return notAuthorizedStatus(errorText);
    return errAuthorizationDenied;
}

OSStatus PkexecAuthorizationBackend::execute(const std::string& toolPath, std::FILE** stream)
{
    if (stream != nullptr)
        *stream = nullptr;
    if (m_toolRefused && toolPath == m_tool) {
        m_toolRefused = false;
        m_tool.clear();
        return errAuthorizationToolExecuteFailure;
    }
    if (m_launcher < 0 || toolPath != m_tool)
        return errAuthorizationDenied;

    static const char kRun[] = "run\n";
    ssize_t sent = -1;
    do {
        sent = ::send(m_control, kRun, sizeof kRun - 1, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(sizeof kRun - 1)) {
        endLauncher();
        m_tool.clear();
        return errAuthorizationToolExecuteFailure;
    }
    // The launcher answers "started", or "failed ..." when the program could not be run; once the
    // program has ended it reports how on the same channel.
    const std::optional<std::string> answer = readLine(m_control);
    if (!answer || *answer != "started") {
        endLauncher();
        m_tool.clear();
        return errAuthorizationToolExecuteFailure;
    }

    if (m_running > 0)
        m_started.push_back(m_running);
    closeFd(m_statusChannel);
    m_exitStatus.reset();
    m_running = m_launcher;
    m_statusChannel = m_control;
    m_control = -1;
    m_launcher = -1;
    m_tool.clear();
    std::FILE* file = ::fdopen(m_output, "r");
    if (file == nullptr) {
        closeFd(m_output);
        return errAuthorizationInternal;
    }
    m_output = -1;
    if (stream != nullptr)
        *stream = file;
    else
        std::fclose(file);
    return errAuthorizationSuccess;
}

OSStatus PkexecAuthorizationBackend::exitStatus(int* status)
{
    if (!m_exitStatus && m_statusChannel >= 0) {
        const std::optional<std::string> report = readLine(m_statusChannel);
        closeFd(m_statusChannel);
        if (report)
            m_exitStatus = decodeExitReport(*report);
        if (m_running > 0)
            reap(m_running);
        m_running = -1;
    }
    if (!m_exitStatus)
        return errAuthorizationInternal;
    *status = *m_exitStatus;
    return errAuthorizationSuccess;
}

OSStatus PkexecAuthorizationBackend::stopTool()
{
    if (m_statusChannel < 0 || m_exitStatus)
        return errAuthorizationInternal;
    static const char kStop[] = "stop\n";
    ssize_t sent = -1;
    do {
        sent = ::send(m_statusChannel, kStop, sizeof kStop - 1, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(sizeof kStop - 1) ? errAuthorizationSuccess : errAuthorizationInternal;
}

void PkexecAuthorizationBackend::release()
{
    endLauncher();
    closeFd(m_statusChannel);
    if (m_running > 0)
        reap(m_running);
    m_running = -1;
    for (pid_t pid : m_started)
        reap(pid);
    m_started.clear();
    m_tool.clear();
    m_toolRefused = false;
}

void PkexecAuthorizationBackend::endLauncher()
{
    closeFd(m_errors);
    closeFd(m_control);
    closeFd(m_output);
    if (m_launcher > 0)
        reap(m_launcher);
    m_launcher = -1;
}

}  // namespace platform
