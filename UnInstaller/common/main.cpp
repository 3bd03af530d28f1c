#include "UnInstaller/common/CommandLine.h"
#include "UnInstaller/common/CommandLineRemoval.h"
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
        std::cerr << CommandLine::refusal(texts, program, request) << CommandLine::usage(texts, program, about);
        return CommandLine::kExitUsage;
    case CommandLine::Action::List:
    case CommandLine::Action::Remove:
    case CommandLine::Action::RemoveAll: {
        // Without a window: the same plan writer, removal program and protocol as the window.
        const std::string tool = bundle ? bundle->pathForResource("ScriptHelper", "").value_or(std::string()) : "";
        CommandLineRemoval removal(std::cout, std::cerr, tool);
        removal.setTexts(texts);
        if (request.action == CommandLine::Action::List)
            return removal.list(request.json);
        CommandLineRemoval::Options options;
        options.json = request.json;
        options.dryRun = request.dryRun;
        options.all = request.action == CommandLine::Action::RemoveAll;
        options.strict = request.strict;
        options.ids = request.ids;
        return removal.remove(options);
    }
    case CommandLine::Action::Run:
    case CommandLine::Action::Json:
    case CommandLine::Action::DryRun:
    case CommandLine::Action::Strict:
        break;
    }
    if (std::optional<std::string> reason = platform::defaultUiBackendUnavailable()) {
        std::cerr << CommandLine::noDisplay(texts, program, *reason);
        return platform::kExitStatusNoDisplay;
    }

    platform::registerNibClass(Controller::kClassName, [] { return std::make_unique<Controller>(); });
    Controller::leaveDataToTheEndOfTheProcess();
    // Every argument was the program's own: the application sees its name alone.
    return platform::NSApplicationMain(1, const_cast<const char**>(argv));
}
