// ScriptHelper: removes the modules named in the user's uninstall plan, as checked against the
// machine-wide module registry. Started by Plugsweep with administrator rights and no arguments;
// "--dry-run", run by hand, prints what would be done and changes nothing.

#include "UnInstaller/resources/ScriptHelper/RemovalRun.h"

#include <csignal>
#include <cstring>
#include <iostream>

#ifndef SCRIPTHELPER_VERSION
#define SCRIPTHELPER_VERSION "1.0"
#endif

int main(int argc, char** argv)
{
    // A reader that goes away must not cut a removal short halfway.
    std::signal(SIGPIPE, SIG_IGN);

    bool dryRun = false;
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::cout << "usage: ScriptHelper [--dry-run]\n"
                     "Removes the modules named in ~/Library/Preferences/"
                  << scripthelper::RemovalRun::kPlanName
                  << " that the module registry vouches for.\n"
                     "  --dry-run   print what would be done and change nothing\n"
                     "Exit status: 0 when every module was removed, 1 when any was not, 2 for a wrong command line.\n";
        return scripthelper::RemovalRun::kExitDone;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "ScriptHelper " SCRIPTHELPER_VERSION "\n";
        return scripthelper::RemovalRun::kExitDone;
    }
    if (argc == 2 && std::strcmp(argv[1], "--dry-run") == 0) {
        dryRun = true;
    } else if (argc != 1) {
        std::cerr << "usage: ScriptHelper [--dry-run | --help | --version]\n";
        return scripthelper::RemovalRun::kExitUsage;
    }
    return scripthelper::RemovalRun(std::cout, dryRun).run();
}
