#include "platform/headless/HeadlessAuthorizationBackend.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/foundation/SearchPaths.h"

extern char** environ;

namespace platform::headless {

/// A started program: its pid and whether it has been reaped. Shared by the backend and the
/// stream on the program's output.
struct ChildProcess {
    pid_t pid = -1;
    int fd = -1;
    bool reaped = false;
    /// The wait status once reaped; none when it could not be had.
    std::optional<int> status;

    void reap(bool block)
    {
        if (reaped || pid <= 0) {
            return;
        }
        int status = 0;
        pid_t result;
        do {
            result = waitpid(pid, &status, block ? 0 : WNOHANG);
        } while (result < 0 && errno == EINTR);
        if (result == pid) {
            reaped = true;
            this->status = status;
        } else if (result < 0 && errno == ECHILD) {
            reaped = true;
        }
    }
};

namespace {

// The stream's cookie: one reference to the child, dropped when the stream is closed.
struct StreamCookie {
    std::shared_ptr<ChildProcess> child;
};

ssize_t readStream(void* cookie, char* buffer, size_t size)
{
    auto* state = static_cast<StreamCookie*>(cookie);
    ssize_t n;
    do {
        n = ::read(state->child->fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

int closeStream(void* cookie)
{
    auto* state = static_cast<StreamCookie*>(cookie);
    if (state->child->fd >= 0) {
        ::close(state->child->fd);
        state->child->fd = -1;
    }
    // With its output closed the program ends soon (a write would now fail), so waiting is safe.
    state->child->reap(true);
    delete state;
    return 0;
}

}  // namespace

HeadlessAuthorizationBackend::HeadlessAuthorizationBackend(std::weak_ptr<HeadlessAuthorization*> owner)
    : m_owner(std::move(owner))
{
}

HeadlessAuthorizationBackend::~HeadlessAuthorizationBackend()
{
    release();
}

HeadlessAuthorization* HeadlessAuthorizationBackend::owner() const
{
    auto self = m_owner.lock();
    return self ? *self : nullptr;
}

OSStatus HeadlessAuthorizationBackend::acquire(const std::string& toolPath, bool interactionAllowed)
{
    HeadlessAuthorization* authorization = owner();
    if (!authorization) {
        return errAuthorizationInternal;
    }
    if (!interactionAllowed) {
        // Nobody may be asked, and nothing was granted before.
        return errAuthorizationDenied;
    }
    switch (authorization->nextAnswer(toolPath)) {
    case HeadlessAuthorization::Answer::Grant:
        m_granted = true;
        m_grantedPath = toolPath;
        return errAuthorizationSuccess;
    case HeadlessAuthorization::Answer::Deny:
        return errAuthorizationDenied;
    case HeadlessAuthorization::Answer::Cancel:
        return errAuthorizationCanceled;
    case HeadlessAuthorization::Answer::NoPrompt:
        return errAuthorizationInteractionNotAllowed;
    }
    return errAuthorizationInternal;
}

OSStatus HeadlessAuthorizationBackend::execute(const std::string& toolPath, std::FILE** stream)
{
    if (stream) {
        *stream = nullptr;
    }
    HeadlessAuthorization* authorization = owner();
    if (!authorization) {
        return errAuthorizationInternal;
    }
    if (!m_granted || toolPath != m_grantedPath) {
        return errAuthorizationDenied;
    }
    struct stat info {};
    if (!stream || toolPath.empty() || m_child || ::stat(toolPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        ::access(toolPath.c_str(), X_OK) != 0) {
        return errAuthorizationToolExecuteFailure;
    }

    // The program acts for this process's user, as the privileged launcher's program acts for its
    // caller: HOME names that user's home folder, whatever HOME this process was given.
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        if (std::strncmp(*entry, "HOME=", 5) != 0)
            environment.emplace_back(*entry);
    }
    environment.push_back("HOME=" + NSHomeDirectory());
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return errAuthorizationToolExecuteFailure;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return errAuthorizationToolExecuteFailure;
    }
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        if (::dup2(fds[1], STDOUT_FILENO) < 0) {
            ::_exit(127);
        }
        const char* path = toolPath.c_str();
        char* const argv[] = {const_cast<char*>(path), nullptr};
        ::execve(path, argv, envp.data());
        ::_exit(127);
    }
    ::close(fds[1]);

    auto child = std::make_shared<ChildProcess>();
    child->pid = pid;
    child->fd = fds[0];

    auto* cookie = new StreamCookie{child};
    cookie_io_functions_t functions{};
    functions.read = readStream;
    functions.close = closeStream;
    std::FILE* file = ::fopencookie(cookie, "r", functions);
    if (!file) {
        ::close(child->fd);
        child->fd = -1;
        child->reap(true);
        delete cookie;
        return errAuthorizationToolExecuteFailure;
    }
    m_child = std::move(child);
    authorization->recordExecution(toolPath);
    *stream = file;
    return errAuthorizationSuccess;
}

OSStatus HeadlessAuthorizationBackend::exitStatus(int* status)
{
    if (!m_child)
        return errAuthorizationInternal;
    m_child->reap(true);
    if (!m_child->status)
        return errAuthorizationInternal;
    const int wait = *m_child->status;
    if (WIFEXITED(wait))
        *status = WEXITSTATUS(wait);
    else if (WIFSIGNALED(wait))
        *status = 128 + WTERMSIG(wait);
    else
        return errAuthorizationInternal;
    return errAuthorizationSuccess;
}

OSStatus HeadlessAuthorizationBackend::stopTool()
{
    if (!m_child || m_child->reaped || m_child->pid <= 0)
        return errAuthorizationInternal;
    return ::kill(m_child->pid, SIGTERM) == 0 ? errAuthorizationSuccess : errAuthorizationInternal;
}

void HeadlessAuthorizationBackend::release()
{
    if (m_child) {
        // The stream may still be open; a program that has ended is reaped now, a running one
        // when its stream is closed.
        m_child->reap(false);
    }
}

}  // namespace platform::headless
