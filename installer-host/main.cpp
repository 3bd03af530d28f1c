// installer-host: loads pane plug-in bundles as the sections of one installation, shows their
// panes in turn and then carries out the install plan, in a window or, with --unattended, without
// one.

#include "installer-host/HostExitStatus.h"
#include "installer-host/HostStrings.h"
#include "installer-host/InstallReport.h"
#include "installer-host/InstallStep.h"
#include "installer-host/InstallerHostOptions.h"
#include "installer-host/InstallerPlugin.h"
#include "installer-host/InstallerSession.h"
#include "installer-host/InstallerWindow.h"
#include "installer-host/SavedAnswersFile.h"
#include "installer-host/UnattendedRun.h"

#include "platform/appkit/UiBackend.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/PropertyList.h"
#include "platform/qt/QtUi.h"

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

// The name the program was started by: "oxlade-installer" through its command, else installer-host.
std::string g_programName = "installer-host";

void complain(const std::string& line)
{
    std::cerr << g_programName << ": " << line << "\n";
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace installerhost;

    if (argc > 0 && argv[0] && *argv[0]) {
        const std::string started = argv[0];
        g_programName = started.substr(started.rfind('/') + 1);
    }
    // The host's own resources stand in for the main bundle, as an installer application's
    // would: the toolkit then loads its own translations for the language they are shown in.
    const std::shared_ptr<platform::Bundle> programFolder = platform::Bundle::mainBundle();
    const HostStrings strings(programFolder ? HostStrings::locateResources(programFolder->bundlePath()) : nullptr);
    const InstallerHostOptions::Texts texts = [&strings](const std::string& key, const std::string& english) {
        return strings.resources() ? strings.resources()->localizedStringForKey(key, english) : english;
    };

    std::string error;
    std::optional<InstallerHostOptions> options =
        InstallerHostOptions::parse(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        complain(error);
        std::cerr << InstallerHostOptions::usage(g_programName, texts);
        return kExitUsage;
    }
    if (options->help) {
        std::cout << InstallerHostOptions::usage(g_programName, texts);
        return 0;
    }
    if (options->version) {
        std::cout << InstallerHostOptions::versionLine(g_programName);
        return 0;
    }
    if (!options->unattended) {
        if (std::optional<std::string> reason = platform::defaultUiBackendUnavailable()) {
            std::cerr << InstallerHostOptions::noDisplayLine(*reason, g_programName, texts);
            return platform::kExitStatusNoDisplay;
        }
    }

    std::optional<SavedAnswersFile> savedAnswers;
    auto sharedDictionary = std::make_shared<platform::PlistDictionary>();
    if (options->sharedDictionaryPath) {
        savedAnswers.emplace(*options->sharedDictionaryPath);
        std::optional<platform::PlistDictionary> seed = savedAnswers->read(error);
        if (!seed) {
            complain(error);
            return kExitSavedAnswers;
        }
        *sharedDictionary = std::move(*seed);
    }

    // An unattended run draws nowhere; the toolkit reads this when the application is created.
    if (options->unattended)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    if (strings.resources())
        platform::Bundle::setMainBundleOverride(strings.resources());

    // The toolkit sees only the program name: every argument is the host's own.
    static int toolkitArgc = 1;
    static char* toolkitArgv[] = {argv[0], nullptr};
    std::unique_ptr<platform::UiBackend> backend = platform::createDefaultUiBackend(toolkitArgc, toolkitArgv);
    platform::setUiBackend(backend.get());
    platform::qt::QtUi* qtUi = platform::qt::QtUi::instance();

    int status = 0;
    {
        std::vector<std::unique_ptr<InstallerPlugin>> plugins;
        std::vector<platform::InstallerPane*> panes;
        for (const std::string& path : options->bundlePaths) {
            std::unique_ptr<InstallerPlugin> plugin = InstallerPlugin::load(path, sharedDictionary, error);
            if (!plugin) {
                complain(error);
                platform::setUiBackend(nullptr);
                return kExitUsage;
            }
            panes.push_back(plugin->pane());
            plugins.push_back(std::move(plugin));
        }

        auto session = std::make_unique<InstallerSession>(panes);
        std::unique_ptr<InstallerWindow> window;
        if (options->unattended) {
            if (qtUi)
                qtUi->answerPanelsFrom(options->folders);
            status = UnattendedRun(*session, std::cout, std::cerr).run();
            if (status == UnattendedRun::kCompleted) {
                const InstallStep::Result result = InstallStep().run();
                InstallReport::print(result, std::cout, std::cerr, g_programName);
                status = InstallReport::exitStatus(result);
                // A dictionary the XML form refuses is said as such, never shown as nothing.
                platform::PlistWriteFailure refused = platform::PlistWriteFailure::None;
                const std::string shown = platform::xmlPropertyList(platform::PlistValue(*sharedDictionary), &refused);
                if (refused == platform::PlistWriteFailure::None)
                    std::cout << "shared dictionary:\n" << shown;
                else
                    std::cout << "shared dictionary: not shown, "
                              << platform::describePlistWriteFailure(refused) << "\n";
            }
            std::cout.flush();
        } else {
            window = std::make_unique<InstallerWindow>(*session, strings);
            window->setQuitHandler([&backend] { backend->quitEventLoop(); });
            if (qtUi)
                qtUi->setMainWindow(window.get());
            window->show();
            backend->runEventLoop([&session] { session->start(); });
            status = window->exitStatus();
        }

        // The window hands the panes' views back, the session lets go of the panes, and the panes
        // go with their views.
        window.reset();
        session.reset();
        plugins.clear();
    }

    if (savedAnswers && !savedAnswers->write(*sharedDictionary, error)) {
        complain(error);
        if (status == kExitDone)
            status = kExitSavedAnswers;
    }
    platform::setUiBackend(nullptr);
    platform::Bundle::setMainBundleOverride(nullptr);
    return status;
}
