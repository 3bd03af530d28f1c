#include "installer-host/HostProcess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace installerhost::testing {

namespace {

std::string readWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

HostResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& environment, const std::string& workDir)
{
    const std::string outPath = workDir + "/child.out";
    const std::string errPath = workDir + "/child.err";

    std::vector<std::string> envStrings;
    for (const char* inherited : {"PATH", "LD_LIBRARY_PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (const char* value = std::getenv(inherited))
            envStrings.push_back(std::string(inherited) + "=" + value);
    }
    for (const auto& [key, value] : environment)
        envStrings.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : envStrings)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argStrings)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    HostResult result;
    const pid_t pid = fork();
    if (pid < 0)
        return result;
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return result;
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readWhole(outPath);
    result.err = readWhole(errPath);
    return result;
}

}  // namespace installerhost::testing
