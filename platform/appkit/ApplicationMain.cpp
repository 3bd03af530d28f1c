#include "platform/appkit/Application.h"
#include "platform/appkit/Interface.h"
#include "platform/appkit/Menu.h"
#include "platform/appkit/NibClassRegistry.h"
#include "platform/appkit/UiBackend.h"
#include "platform/appkit/Window.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Log.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace platform {

namespace {

int fail(const std::string& message)
{
    std::fprintf(stderr, "NSApplicationMain: %s\n", message.c_str());
    return 1;
}

Window* mainWindowOf(const Interface& interface)
{
    const std::string named = interface.property(interface.rootName(), "mainWindow");
    if (!named.empty()) {
        if (auto* window = interface.objectNamed<Window>(named)) {
            return window;
        }
    }
    for (Control* control : interface.objects()) {
        if (auto* window = dynamic_cast<Window*>(control)) {
            return window;
        }
    }
    return nullptr;
}

// Keeps the backend that NSApplicationMain created installed while it runs.
class OwnedBackend {
public:
    ~OwnedBackend()
    {
        if (m_backend) {
            setUiBackend(nullptr);
        }
    }
    void install(std::unique_ptr<UiBackend> backend)
    {
        m_backend = std::move(backend);
        setUiBackend(m_backend.get());
    }

private:
    std::unique_ptr<UiBackend> m_backend;
};

std::string infoString(const char* key)
{
    if (std::shared_ptr<Bundle> bundle = Bundle::mainBundle()) {
        if (const std::string* value = bundle->infoDictionary().stringForKey(key)) {
            return *value;
        }
    }
    return std::string();
}

std::string applicationName()
{
    const std::string name = infoString("CFBundleName");
    return name.empty() ? std::string("application") : name;
}

}  // namespace

int NSApplicationMain(int argc, const char** argv)
{
    // The system log names the program as its bundle does, however it was started (a link in
    // PATH, the build tree): "journalctl -t <CFBundleExecutable>" finds its lines.
    if (const std::string executable = infoString("CFBundleExecutable"); !executable.empty()) {
        setLogIdentity(executable);
    }
    Application& application = Application::sharedApplication();
    application.reset();

    // Declared first so that it is destroyed last, after the interface and its controller.
    OwnedBackend ownedBackend;
    if (!hasUiBackend()) {
        if (std::optional<std::string> reason = defaultUiBackendUnavailable()) {
            std::fprintf(stderr, "%s: this program needs a graphical display, and none can be used (%s)\n",
                         applicationName().c_str(), reason->c_str());
            return kExitStatusNoDisplay;
        }
        auto backend = createDefaultUiBackend(argc, const_cast<char**>(argv));
        if (!backend) {
            return fail("the UI cannot be started");
        }
        ownedBackend.install(std::move(backend));
    }

    std::shared_ptr<Bundle> bundle = Bundle::mainBundle();
    if (!bundle) {
        return fail("the main bundle cannot be found");
    }
    const std::string* nibName = bundle->infoDictionary().stringForKey("NSMainNibFile");
    if (!nibName || nibName->empty()) {
        return fail("the main bundle's Info.plist names no NSMainNibFile");
    }
    std::optional<std::string> path = bundle->pathForResource(*nibName, "ui");
    if (!path) {
        return fail("the interface description \"" + *nibName + ".ui\" cannot be found in " + bundle->resourcePath());
    }
    std::unique_ptr<Interface> interface = uiBackend().loadInterface(*path);
    if (!interface) {
        return fail("the interface description " + *path + " cannot be loaded");
    }
    const std::string className = interface->property(interface->rootName(), "controllerClass");
    if (className.empty()) {
        return fail("the interface description " + *path + " names no controllerClass");
    }
    std::unique_ptr<NibObject> controller = createNibObject(className);
    if (!controller) {
        return fail("no class \"" + className + "\" is registered");
    }

    connectInterface(*interface, *controller);
    std::shared_ptr<Menu> menu = interface->mainMenu();
    if (menu) {
        application.setMainMenu(menu);
    }
    auto* delegate = dynamic_cast<ApplicationDelegate*>(controller.get());
    if (delegate) {
        application.setDelegate(delegate);
    }
    controller->awakeFromNib();

    int result = 0;
    if (!application.isTerminated()) {
        if (Window* window = mainWindowOf(*interface)) {
            window->makeKeyAndOrderFront();
        }
        result = uiBackend().runEventLoop([&application] {
            if (ApplicationDelegate* current = application.delegate()) {
                current->applicationDidFinishLaunching(&application);
            }
        });
    }

    // The controller and the interface go away with this function: the application must not
    // keep pointing at them.
    if (application.delegate() == delegate) {
        application.setDelegate(nullptr);
    }
    if (menu && application.mainMenu() == menu.get()) {
        application.setMainMenu(nullptr);
    }
    return application.isTerminated() ? application.exitStatus() : result;
}

}  // namespace platform
