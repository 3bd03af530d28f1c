#include "bench/UnInstaller/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

ChildRun runChild(const std::vector<std::string>& arguments,
                  const std::vector<std::pair<std::string, std::string>>& extraEnvironment,
                  const std::string& errorPath)
{
    ChildRun run;
    int out[2];
    if (arguments.empty() || ::pipe2(out, O_CLOEXEC) != 0)
        return run;
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const auto& [name, value] : extraEnvironment)
            ::setenv(name.c_str(), value.c_str(), 1);
        ::dup2(out[1], STDOUT_FILENO);
        const int err = ::open(errorPath.empty() ? "/dev/null" : errorPath.c_str(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (err >= 0)
            ::dup2(err, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        std::_Exit(127);
    }
    ::close(out[1]);
    if (pid < 0) {
        ::close(out[0]);
        return run;
    }
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0)
        run.output.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            return run;
    }
    run.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.exitedCleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

}  // namespace bench
