#include "UnInstaller/common/PlugsweepTestSupport.h"

#include "platform/appkit/Application.h"
#include "platform/coreservices/Gestalt.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/Log.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace plugsweep_test {

namespace fs = std::filesystem;
using platform::headless::HeadlessButton;
using platform::headless::HeadlessEvent;
using platform::headless::HeadlessInterface;
using platform::headless::HeadlessTableView;
using platform::headless::HeadlessTextField;
using platform::headless::HeadlessWindow;

namespace {

std::string xmlEscaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

std::optional<std::string> environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void restoreEnvironment(const char* name, const std::optional<std::string>& value)
{
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

const char* kInfoPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CFBundleDevelopmentRegion</key>
	<string>English</string>
	<key>CFBundleExecutable</key>
	<string>Plugsweep</string>
	<key>CFBundleIdentifier</key>
	<string>com.tavix.Plugsweep</string>
	<key>NSMainNibFile</key>
	<string>MainMenu</string>
</dict>
</plist>
)";

std::vector<std::string> column(const std::optional<Controller::StringArray>& array)
{
    return array ? std::vector<std::string>(array->begin(), array->end()) : std::vector<std::string>();
}

}  // namespace

std::string registryXml(const std::vector<RegistryModule>& modules)
{
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n\t<key>KEP2_KEY_MODULES</key>\n\t<dict>\n";
    for (const RegistryModule& module : modules) {
        out << "\t\t<key>" << xmlEscaped(module.identifier) << "</key>\n\t\t<dict>\n"
            << "\t\t\t<key>InstallPath</key>\n\t\t\t<string>" << xmlEscaped(module.installPath) << "</string>\n"
            << "\t\t\t<key>ModuleName</key>\n\t\t\t<string>" << xmlEscaped(module.name) << "</string>\n"
            << "\t\t</dict>\n";
    }
    out << "\t</dict>\n\t<key>KEP2_KEY_VERSION</key>\n\t<string>2</string>\n</dict>\n</plist>\n";
    return out.str();
}

std::optional<std::string> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void writeFile(const std::string& path, const std::string& contents, unsigned mode)
{
    fs::create_directories(fs::path(path).parent_path());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << contents;
    }
    chmod(path.c_str(), static_cast<mode_t>(mode));
}

const std::vector<std::string>& localizationKeys()
{
    static const std::vector<std::string> keys = {
        "STEXT_CAPTION", "STEXT_UNINSTALL_MESSAGE", "STEXT_UNINSTALL_BUTTON", "STEXT_CLOSE_BUTTON",
        "STEXT_ALLSELECT", "STEXT_ALLUNSELECT", "NOTFOUND_MESS", "MENU_APP", "MENU_ABOUT", "MENU_QUIT",
        "RequirementsMessageKey", "STEXT_OK_BUTTON", "STEXT_END",
        "STEXT_NOT_AUTHORIZED", "STEXT_NOT_AUTHORIZED_MESSAGE", "STEXT_NO_AGENT", "STEXT_NO_AGENT_MESSAGE",
        "STEXT_NO_POLKIT", "STEXT_NO_POLKIT_MESSAGE", "STEXT_PLAN_NOT_SAVED", "STEXT_PLAN_NOT_SAVED_MESSAGE",
        "STEXT_NOT_STARTED", "STEXT_NOT_STARTED_MESSAGE", "STEXT_PROGRESS_TITLE", "STEXT_PROGRESS",
        "STEXT_STOP_BUTTON", "STEXT_STOPPING", "STEXT_REMOVED_ONE", "STEXT_REMOVED_OTHER", "STEXT_KEPT_ONE",
        "STEXT_KEPT_OTHER", "STEXT_NONE_REMOVED_ONE", "STEXT_NONE_REMOVED_OTHER", "STEXT_SOME_NOT_REMOVED",
        "STEXT_STOPPED", "STEXT_LOG_HINT", "STEXT_BACK_BUTTON", "STEXT_QUIT_BUTTON", "STEXT_NOT_TRIED_ONE",
        "STEXT_NOT_TRIED_OTHER", "STEXT_PROGRESS_WAITING", "STEXT_REASON_FOLDER_IN_THE_WAY",
        "STEXT_REASON_FILE_IN_THE_WAY", "STEXT_REASON_NO_PERMISSION", "STEXT_REASON_DISK_FULL",
        "STEXT_REASON_READ_ONLY", "STEXT_REASON_UNKNOWN", "STEXT_BUSY", "STEXT_BUSY_MESSAGE", "STEXT_REMOVAL_FAILED",
        "STEXT_REMOVAL_FAILED_MESSAGE", "STEXT_REGISTRY_UNREADABLE", "STEXT_ROW_OUTSIDE", "STEXT_ROW_UNSAFE",
        "STEXT_ROW_NO_SETTING"};
    return keys;
}

void PlugsweepTest::SetUp()
{
    char pattern[] = "/tmp/plugsweep-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
    m_home = m_dir + "/home";
    m_root = m_dir + "/root";
    m_app = m_dir + "/Plugsweep.app";
    fs::create_directories(m_home + "/Library/Preferences");
    fs::create_directories(m_root + "/Library/Preferences");
    // The folders the tests' modules lie in, named as an administrator names them.
    writeFile(m_root + "/etc/plugsweep/module-folders",
              "/L\n/a\n/b\n/c\n/d\n/e\n/g\n/m\n/s\n/u\n/z\n/Alpha\n/Library/Alpha\n/Library/Beta\n"
              "/Library/Gamma\n/Library/Tavix\n/Library/Printers/Tavix\n" + m_root + "/Library/Printers/Tavix\n");

    m_savedHome = environment("HOME");
    m_savedRoot = environment("PLATFORM_ROOT");
    setenv("HOME", m_home.c_str(), 1);
    setenv("PLATFORM_ROOT", m_root.c_str(), 1);
    platform::setPreferredLanguagesOverride(std::vector<std::string>{"en"});

    writeFile(m_app + "/Contents/Info.plist", kInfoPlist);
    writeFile(m_app + "/Contents/MacOS/Plugsweep", "", 0755);
    writeStringsTable(localizationKeys());
    platform::Bundle::setMainBundleOverride(platform::Bundle::bundleWithPath(m_app));

    platform::setLogSink([this](const std::string& line) { m_log.push_back(line); });
    platform::Application::sharedApplication().reset();
    m_scopedUi = std::make_unique<platform::headless::ScopedHeadlessUi>();
    m_ui = &m_scopedUi->ui();

    m_interface = std::make_unique<HeadlessInterface>("window");
    m_window = m_interface->add(std::make_unique<HeadlessWindow>("window"));
    m_messageTitle = m_interface->add(std::make_unique<HeadlessTextField>("messageTitle"));
    m_table = m_interface->add(
        std::make_unique<HeadlessTableView>("uiTableView", std::vector<std::string>{"chk", "name"}));
    m_noListMessage = m_interface->add(std::make_unique<HeadlessTextField>("noListMessage"));
    m_allSelectChk = m_interface->add(std::make_unique<HeadlessButton>("allSelectChk", HeadlessButton::Kind::CheckBox));
    m_uninstallButton = m_interface->add(std::make_unique<HeadlessButton>("uninstallButton"));
    m_closeButton = m_interface->add(std::make_unique<HeadlessButton>("closeButton"));
    m_interface->setProperty("window", "controllerClass", "Controller");
    m_interface->setProperty("window", "delegate", "controller");
    m_interface->setProperty("uiTableView", "dataSource", "controller");
    m_interface->setProperty("uiTableView", "delegate", "controller");
    m_interface->setProperty("allSelectChk", "action", "requestAllSelect:");
    m_interface->setProperty("uninstallButton", "action", "requestUnInstall:");
    m_interface->setProperty("closeButton", "action", "close:");

    m_menu = std::make_shared<platform::Menu>();
    auto appMenu = std::make_shared<platform::Menu>("MENU_APP");
    appMenu->addItem("MENU_ABOUT");
    appMenu->addItem("MENU_QUIT");
    m_menu->addItem("Plugsweep")->setSubmenu(appMenu);
    m_interface->setMainMenu(m_menu);

    m_controller = std::make_unique<Controller>();
}

void PlugsweepTest::TearDown()
{
    m_controller.reset();
    m_interface.reset();
    m_scopedUi.reset();
    platform::Application::sharedApplication().reset();
    platform::setLogSink({});
    platform::setGestaltOverride({});
    platform::Bundle::setMainBundleOverride(nullptr);
    platform::setPreferredLanguagesOverride(std::nullopt);
    restoreEnvironment("HOME", m_savedHome);
    restoreEnvironment("PLATFORM_ROOT", m_savedRoot);
    std::error_code ignored;
    fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_dir, ignored);
}

std::string PlugsweepTest::registryPath() const
{
    return m_root + "/Library/Preferences/com.tavix.KEPL2.plist";
}

void PlugsweepTest::writeRegistryText(const std::string& contents)
{
    writeFile(registryPath(), contents);
}

void PlugsweepTest::writeRegistry(const std::vector<RegistryModule>& modules, platform::PlistFormat format)
{
    if (format == platform::PlistFormat::Xml) {
        writeRegistryText(registryXml(modules));
        return;
    }
    std::optional<platform::PlistValue> root = platform::parsePropertyList(registryXml(modules));
    ASSERT_TRUE(root.has_value());
    writeRegistryText(platform::binaryPropertyList(*root));
}

void PlugsweepTest::writeStringsTable(const std::vector<std::string>& keys)
{
    std::string table = "/* Texts for tests. */\n";
    for (const std::string& key : keys)
        table += "\"" + key + "\" = \"txt:" + key + "\";\n";
    writeFile(m_app + "/Contents/Resources/English.lproj/Localizable.strings", table);
}

void PlugsweepTest::removeStringsTables()
{
    fs::remove_all(m_app + "/Contents/Resources/English.lproj");
}

std::string PlugsweepTest::toolPath() const
{
    return m_app + "/Contents/Resources/ScriptHelper";
}

std::string PlugsweepTest::installTool(const std::string& body, unsigned mode)
{
    writeFile(toolPath(), "#!/bin/sh\n" + body, mode);
    return toolPath();
}

std::string PlugsweepTest::planPath() const
{
    return m_home + "/Library/Preferences/com.tavix.pluginUnInstall.plist";
}

std::optional<platform::PlistArray> PlugsweepTest::readPlanEntries() const
{
    std::optional<platform::PlistDictionary> root = platform::dictionaryWithContentsOfFile(planPath());
    if (!root)
        return std::nullopt;
    const platform::PlistArray* entries = root->arrayForKey("UnInstallApps");
    if (!entries)
        return std::nullopt;
    return *entries;
}

void PlugsweepTest::start()
{
    platform::connectInterface(*m_interface, *m_controller);
    m_controller->awakeFromNib();
}

void PlugsweepTest::launch()
{
    start();
    platform::Application& application = platform::Application::sharedApplication();
    application.setMainMenu(m_menu);
    application.setDelegate(m_controller.get());
    m_controller->applicationDidFinishLaunching(&application);
}

std::vector<std::string> PlugsweepTest::checks() const
{
    return column(m_controller->arrayCheck());
}

std::vector<std::string> PlugsweepTest::names() const
{
    return column(m_controller->arrayName());
}

std::vector<std::string> PlugsweepTest::identifiers() const
{
    return column(m_controller->arrayUUID());
}

std::vector<std::string> PlugsweepTest::installPaths() const
{
    return column(m_controller->arrayInstallPath());
}

std::vector<platform::NSInteger> PlugsweepTest::shownChecks()
{
    std::vector<platform::NSInteger> shown;
    for (platform::NSInteger row = 0; row < m_table->numberOfRows(); ++row)
        shown.push_back(platform::intValue(m_table->valueAt("chk", row)));
    return shown;
}

bool PlugsweepTest::terminated() const
{
    return platform::Application::sharedApplication().isTerminated();
}

std::vector<HeadlessEvent> PlugsweepTest::alerts() const
{
    std::vector<HeadlessEvent> result;
    for (const HeadlessEvent& event : m_ui->events()) {
        if (event.kind == HeadlessEvent::Kind::Alert)
            result.push_back(event);
    }
    return result;
}

}  // namespace plugsweep_test
