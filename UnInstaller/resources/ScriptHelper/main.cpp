// ScriptHelper: removes the modules named in the user's uninstall plan, as checked against the
// machine-wide module registry. Started by Plugsweep with administrator rights and no arguments;
// "--dry-run", run by hand, prints what would be done and changes nothing.

#include "UnInstaller/resources/ScriptHelper/RemovalRun.h"

#include <csignal>
#include <cstring>
#include <iostream>

int main(int argc, char** argv)
{
    // A reader that goes away must not cut a removal short halfway.
    std::signal(SIGPIPE, SIG_IGN);

    bool dryRun = false;
    if (argc == 2 && std::strcmp(argv[1], "--dry-run") == 0) {
        dryRun = true;
    } else if (argc != 1) {
        std::cerr << "usage: ScriptHelper [--dry-run]\n";
        return 2;
    }
    return scripthelper::RemovalRun(std::cout, dryRun).run();
}
