#pragma once

#include <string>
#include <utility>
#include <vector>

namespace bench {

/// What one finished child process took: its wall and processor time, its own peak resident memory (from
/// wait4, so nothing of the parent's is counted) and what it wrote to standard output.
struct ChildRun {
    bool exitedCleanly = false;
    double wallSeconds = 0;
    double cpuSeconds = 0;  // user and system time of the child and of every child it waited for
    double peakMiB = 0;
    std::string output;
};

/// Runs program with arguments, the variables of extraEnvironment added to this process's
/// environment, standard error sent to errorPath (or discarded when empty), and waits for it.
ChildRun runChild(const std::vector<std::string>& arguments,
                  const std::vector<std::pair<std::string, std::string>>& extraEnvironment,
                  const std::string& errorPath = std::string());

}  // namespace bench
