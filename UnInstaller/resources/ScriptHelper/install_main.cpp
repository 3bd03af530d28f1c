// InstallHelper: carries out the install plan that Oxlade's pane wrote in the caller's Preferences
// folder, registering each module it installs. Started by the installer host with administrator
// rights and no arguments; one line per event on standard output, as ScriptHelper writes them.

#include "UnInstaller/resources/ScriptHelper/InstallRun.h"
#include "platform/foundation/TestSeams.h"

#include "UnInstaller/resources/ScriptHelper/DeadlineOutput.h"

#include <csignal>
#include <cstring>
#include <iostream>

#include <unistd.h>

#ifndef INSTALLHELPER_PAYLOAD
#error "INSTALLHELPER_PAYLOAD must name the payload folder"
#endif
#ifndef SCRIPTHELPER_VERSION
#define SCRIPTHELPER_VERSION "1.0"
#endif

int main(int argc, char** argv)
{
    // A reader that goes away must not cut an install short halfway.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::cout << "usage: InstallHelper\n"
                     "Installs the print plug-in for the hosts named in ~/Library/Preferences/"
                  << scripthelper::InstallRun::kPlanName
                  << "\nand registers each layout-plug-in module, one line per event on standard output.\n"
                     "Payload: " INSTALLHELPER_PAYLOAD "\n"
                     "Exit status: 0 every entry installed, 1 some skipped, 2 a wrong command line, 65 the plan\n"
                     "cannot be used, 69 the payload is missing, 74 the registry cannot be read, written or\n"
                     "trusted, 75 another install or removal is running, 78 the module-folders setting cannot\n"
                     "be used.\n";
        return scripthelper::kExitDone;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "InstallHelper " SCRIPTHELPER_VERSION "\n";
        return scripthelper::kExitDone;
    }
    if (argc != 1) {
        std::cerr << "usage: InstallHelper [--help | --version]\n";
        return scripthelper::kExitUsage;
    }
    scripthelper::InstallRun::Options options;
    options.payloadFolder = platform::testSeam("PLATFORM_PAYLOAD").value_or(INSTALLHELPER_PAYLOAD);
    // Output that nobody reads must not keep the lock from every other run.
    scripthelper::DeadlineOutput output(STDOUT_FILENO, std::chrono::milliseconds(10 * 1000));
    std::ostream out(&output);
    return scripthelper::InstallRun(out, options).run();
}
