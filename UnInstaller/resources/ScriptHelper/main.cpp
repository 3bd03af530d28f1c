// ScriptHelper: removes the modules named in the user's uninstall plan, as checked against the
// machine-wide module registry. Started by Plugsweep with administrator rights and no arguments;
// "--dry-run", run by hand, prints what would be done and changes nothing. SIGTERM, SIGINT or
// SIGUSR1 stop the run after the module at hand.

#include "UnInstaller/resources/ScriptHelper/RemovalRun.h"

#include "UnInstaller/resources/ScriptHelper/DeadlineOutput.h"

#include <csignal>
#include <cstring>
#include <iostream>

#include <unistd.h>

#ifndef SCRIPTHELPER_VERSION
#define SCRIPTHELPER_VERSION "1.0"
#endif

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

/// How long a write of a line may wait for its reader.
constexpr int kOutputDeadlineMs = 10 * 1000;

extern "C" void requestStop(int)
{
    g_stopRequested = 1;
}

}  // namespace

int main(int argc, char** argv)
{
    // A reader that goes away must not cut a removal short halfway.
    std::signal(SIGPIPE, SIG_IGN);
    for (int sig : {SIGTERM, SIGINT, SIGUSR1}) {
        struct sigaction action {};
        action.sa_handler = requestStop;
        sigemptyset(&action.sa_mask);
        ::sigaction(sig, &action, nullptr);
    }

    scripthelper::RemovalRun::Options options;
    options.stopRequested = [] { return g_stopRequested != 0; };
    options.processEndsWithTheRun = true;
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::cout << "usage: ScriptHelper [--dry-run]\n"
                     "Removes the modules named in ~/Library/Preferences/"
                  << scripthelper::RemovalRun::kPlanName
                  << " that the module registry vouches for, one line per event on standard output.\n"
                     "  --dry-run   print what would be done and change nothing\n"
                     "Exit status: 0 every named module is now absent, 1 some were kept, 2 a wrong command line,\n"
                     "65 the plan cannot be used, 74 the registry cannot be read or trusted, 75 another removal\n"
                     "is running, 78 the module-folders setting cannot be used.\n";
        return scripthelper::kExitDone;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "ScriptHelper " SCRIPTHELPER_VERSION "\n";
        return scripthelper::kExitDone;
    }
    if (argc == 2 && std::strcmp(argv[1], "--dry-run") == 0) {
        options.dryRun = true;
    } else if (argc != 1) {
        std::cerr << "usage: ScriptHelper [--dry-run | --help | --version]\n";
        return scripthelper::kExitUsage;
    }
    // Output that nobody reads must not keep the lock from every other run.
    scripthelper::DeadlineOutput output(STDOUT_FILENO, std::chrono::milliseconds(kOutputDeadlineMs));
    std::ostream out(&output);
    return scripthelper::RemovalRun(out, options).run();
}
