#include "UnInstaller/common/CommandLine.h"
#include "UnInstaller/common/Controller.h"
#include "platform/appkit/Application.h"
#include "platform/appkit/NibClassRegistry.h"
#include "platform/appkit/UiBackend.h"
#include "platform/foundation/Bundle.h"

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

std::string infoString(const platform::Bundle* bundle, const char* key, const std::string& fallback)
{
    if (bundle) {
        if (const std::string* value = bundle->infoDictionary().stringForKey(key); value && !value->empty())
            return *value;
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv)
{
    const CommandLine::Request request = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    const std::shared_ptr<platform::Bundle> bundle = platform::Bundle::mainBundle();
    const CommandLine::Texts texts = [&bundle](const std::string& key, const std::string& english) {
        return bundle ? bundle->localizedStringForKey(key, english, "CommandLine") : english;
    };
    const std::string program = infoString(bundle.get(), "CFBundleName", "Plugsweep");
    const std::string about = infoString(bundle.get(), "CFBundleGetInfoString", "");

    switch (request.action) {
    case CommandLine::Action::Help:
        std::cout << CommandLine::usage(texts, program, about);
        return 0;
    case CommandLine::Action::Version:
        std::cout << CommandLine::versionLine(program, infoString(bundle.get(), "CFBundleShortVersionString", ""));
        return 0;
    case CommandLine::Action::Refuse:
        std::cerr << CommandLine::refusal(texts, program, request.refused) << CommandLine::usage(texts, program, about);
        return CommandLine::kExitUsage;
    case CommandLine::Action::Run:
        break;
    }
    if (std::optional<std::string> reason = platform::defaultUiBackendUnavailable()) {
        std::cerr << CommandLine::noDisplay(texts, program, *reason);
        return platform::kExitStatusNoDisplay;
    }

    platform::registerNibClass(Controller::kClassName, [] { return std::make_unique<Controller>(); });
    // Every argument was the program's own: the application sees its name alone.
    return platform::NSApplicationMain(1, const_cast<const char**>(argv));
}
