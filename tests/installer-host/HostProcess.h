#pragma once

#include <map>
#include <string>
#include <vector>

namespace installerhost::testing {

/// What a finished child process left behind.
struct HostResult {
    /// The exit status, or -1 when the process did not exit normally.
    int status = -1;
    std::string out;
    std::string err;
};

/// Runs a program as a child process with exactly the given environment added to a minimal
/// one, its output caught in files of workDir, and waits for it to end.
HostResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& environment, const std::string& workDir);

}  // namespace installerhost::testing
