// A small program on the Qt backend, run by the script tests: NSApplicationMain over the bundle
// folder given as the first argument, with a controller that opens a panel, shows an alert and
// asks for administrator rights to run the program given as the second argument.
#include "ChecklistController.h"

#include "platform/appkit/Alert.h"
#include "platform/appkit/NibClassRegistry.h"
#include "platform/appkit/OpenPanel.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/SearchPaths.h"
#include "platform/security/Authorization.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

using platform::qt::test::ChecklistController;

std::string g_toolPath;

void say(const std::string& line)
{
    std::cout << "app: " << line << std::endl;
}

class ScriptedController : public ChecklistController {
public:
    void awakeFromNib() override
    {
        if (window) {
            window->center();
        }
        if (messageTitle) {
            messageTitle->setStringValue("Pick modules");
        }
    }

    void applicationDidFinishLaunching(platform::Application*) override { say("launched"); }

    bool action(const std::string& selector, platform::Control* sender) override
    {
        if (selector == "requestUnInstall:") {
            auto panel = platform::OpenPanel::openPanel();
            panel->setCanChooseDirectories(true);
            panel->setCanChooseFiles(false);
            const bool chosen =
                panel->runModalForDirectory(platform::NSHomeDirectory(), std::nullopt, std::nullopt) == 1;
            std::string ticked;
            for (std::size_t i = 0; i < ticks.size(); ++i) {
                ticked += (i ? "," : "") + std::to_string(ticks[i]);
            }
            platform::NSRunInformationalAlertPanel(
                "Done", "ticks=" + ticked + " folder=" + (chosen ? panel->filename() : "(cancelled)"), "OK");
            say("alert returned");
            platform::Application::sharedApplication().terminate(this);
            return true;
        }
        if (selector == "requestAuth:") {
            requestAuth();
            return true;
        }
        return ChecklistController::action(selector, sender);
    }

private:
    void requestAuth()
    {
        using namespace platform;
        AuthorizationRef ref = nullptr;
        if (AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &ref) != errAuthorizationSuccess) {
            say("auth create failed");
            return;
        }
        AuthorizationItem item;
        item.name = kAuthorizationRightExecute;
        item.value = g_toolPath.c_str();
        item.valueLength = g_toolPath.size();
        AuthorizationRights rights;
        rights.count = 1;
        rights.items = &item;
        const OSStatus status = AuthorizationCopyRights(
            ref, &rights, nullptr, kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights, nullptr);
        say("auth " + std::to_string(status));
        std::FILE* stream = nullptr;
        if (status == errAuthorizationSuccess &&
            AuthorizationExecuteWithPrivileges(ref, g_toolPath.c_str(), kAuthorizationFlagDefaults, nullptr, &stream) ==
                errAuthorizationSuccess) {
            char buffer[1024];
            while (std::fgets(buffer, sizeof buffer, stream)) {
                std::string line(buffer);
                if (!line.empty() && line.back() == '\n') {
                    line.pop_back();
                }
                say("tool " + line);
            }
            std::fclose(stream);
        }
        AuthorizationFree(ref, kAuthorizationFlagDefaults);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: qt_script_app BUNDLE [TOOL]" << std::endl;
        return 2;
    }
    platform::Bundle::setMainBundleOverride(platform::Bundle::bundleWithPath(argv[1]));
    g_toolPath = argc > 2 ? argv[2] : "";
    platform::registerNibClass("ChecklistController", [] { return std::make_unique<ScriptedController>(); });
    const char* arguments[] = {argv[0], nullptr};
    const int result = platform::NSApplicationMain(1, arguments);
    say("exit " + std::to_string(result));
    return result;
}
