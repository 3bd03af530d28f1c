// Runs the built Plugsweep.app offscreen with a UI script, as a user would drive it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kApp = PLUGSWEEP_APP_DIR;
const std::string kProgram = kApp + "/Contents/MacOS/Plugsweep";

struct AppRun {
    int status = -1;
    std::string output;

    /// Whether a line is line itself or line followed by more fields (" mnemonic=X", " focus=1").
    bool has(const std::string& line) const
    {
        std::istringstream in(output);
        for (std::string l; std::getline(in, l);) {
            if (l == line || l.rfind(line + " ", 0) == 0)
                return true;
        }
        return false;
    }
    bool hasPrefix(const std::string& prefix) const { return output.find(prefix) != std::string::npos; }
};

class PlugsweepApp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(kProgram)) << kProgram;
        char pattern[] = "/tmp/plugsweep-app-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_home = m_dir + "/home";
        m_root = m_dir + "/root";
        fs::create_directories(m_home + "/Library/Preferences");
        fs::create_directories(m_root + "/Library/Preferences");
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    std::string moduleFolder(const std::string& name) const
    {
        return m_root + "/Library/Printers/Tavix/Modules/" + name;
    }

    /// A registry of modules named NAME with the given display names, each installed as
    /// Modules/NAME/NAME.plugin with a file inside.
    void writeRegistry(const std::vector<std::pair<std::string, std::string>>& modules)
    {
        std::ostringstream xml;
        xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
               "\t<key>KEP2_KEY_MODULES</key>\n\t<dict>\n";
        int n = 0;
        for (const auto& [folder, name] : modules) {
            const std::string plugin = moduleFolder(folder) + "/" + folder + ".plugin";
            fs::create_directories(plugin + "/Contents");
            std::ofstream(plugin + "/Contents/Info.plist") << "module " << name << "\n";
            xml << "\t\t<key>A0000000-0000-4000-8000-00000000000" << n++ << "</key>\n\t\t<dict>\n"
                << "\t\t\t<key>ModuleName</key>\n\t\t\t<string>" << name << "</string>\n"
                << "\t\t\t<key>InstallPath</key>\n\t\t\t<string>" << plugin << "</string>\n\t\t</dict>\n";
        }
        xml << "\t</dict>\n</dict>\n</plist>\n";
        std::ofstream(m_root + "/Library/Preferences/com.tavix.KEPL2.plist") << xml.str();
    }

    AppRun launch(const std::string& script, const std::string& language = std::string())
    {
        const std::string scriptPath = m_dir + "/script.txt";
        std::ofstream(scriptPath) << script;
        const std::string command = "env -u LANGUAGE -u LC_ALL -u LC_MESSAGES HOME='" + m_home +
                                    "' PLATFORM_ROOT='" + m_root +
                                    "' QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 XDG_RUNTIME_DIR='" + m_dir +
                                    "' PLATFORM_UI_SCRIPT='" + scriptPath + "' " +
                                    (language.empty() ? std::string() : "LANGUAGE=" + language + " ") + "'" +
                                    kProgram + "' 2>'" + m_dir + "/stderr.txt'";
        AppRun result;
        std::FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) {
            ADD_FAILURE() << "cannot start " << command;
            return result;
        }
        std::array<char, 4096> buffer;
        std::size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            result.output.append(buffer.data(), n);
        const int status = pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }

    /// Runs the program with only the given environment and arguments, without a script.
    AppRun runBare(const std::string& environment, const std::string& arguments)
    {
        const std::string command = "env -i HOME='" + m_home + "' PATH=/usr/bin:/bin " + environment + " '" + kProgram +
                                    "' " + arguments + " 2>'" + m_dir + "/stderr.txt'";
        AppRun result;
        std::FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) {
            ADD_FAILURE() << "cannot start " << command;
            return result;
        }
        std::array<char, 4096> buffer;
        std::size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            result.output.append(buffer.data(), n);
        const int status = pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }

    std::string errors() const
    {
        std::ifstream in(m_dir + "/stderr.txt");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string planPath() const { return m_home + "/Library/Preferences/com.tavix.pluginUnInstall.plist"; }

    std::string m_dir;
    std::string m_home;
    std::string m_root;
};

TEST_F(PlugsweepApp, StartsUntickedAndATickEnablesUninstall)
{
    writeRegistry({{"Alpha", "Alpha vLX Module"}, {"Gamma", "Gamma Legacy"}, {"Beta", "Beta vLX"}});
    const AppRun result = launch("show\ntick uiTableView 1\nshow\n");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(result.has("show: window window \"Plugsweep\" enabled=1 hidden=0")) << result.output;
    EXPECT_TRUE(result.has("show: table uiTableView rows=2 enabled=1 hidden=0")) << result.output;
    EXPECT_TRUE(result.has("show: row uiTableView 0 chk=0 name=\"Alpha vLX Module\" enabled=1")) << result.output;
    EXPECT_TRUE(result.has("show: row uiTableView 1 chk=1 name=\"Beta vLX\" enabled=1")) << result.output;
    EXPECT_TRUE(result.has("show: button uninstallButton \"Uninstall\" state=0 enabled=0 hidden=0")) << result.output;
    EXPECT_TRUE(result.has("show: button uninstallButton \"Uninstall\" state=0 enabled=1 hidden=0")) << result.output;
    EXPECT_TRUE(result.has("show: text noListMessage \"No plug-in modules that can be removed are installed.\" "
                        "enabled=1 hidden=1"))
        << result.output;
    EXPECT_TRUE(result.has("terminate")) << result.output;
    EXPECT_FALSE(fs::exists(planPath()));
    EXPECT_TRUE(fs::exists(moduleFolder("Beta")));
}

TEST_F(PlugsweepApp, AllSelectTicksEveryRowAndRetitlesTheBox)
{
    writeRegistry({{"Alpha", "Alpha vLX"}, {"Beta", "Beta vLX"}});
    const AppRun result = launch("click allSelectChk\nshow\nuntick uiTableView 0\nshow\nclick allSelectChk\nshow\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.has("show: checkbox allSelectChk \"Deselect All\" state=1 enabled=1 hidden=0")) << result.output;
    EXPECT_TRUE(result.has("show: row uiTableView 1 chk=1 name=\"Beta vLX\" enabled=1")) << result.output;
    EXPECT_TRUE(result.has("show: row uiTableView 0 chk=0 name=\"Alpha vLX\" enabled=1")) << result.output;
    // The last show: the box off again and every row unticked.
    const std::string last = result.output.substr(result.output.rfind("show: window"));
    EXPECT_NE(last.find("show: checkbox allSelectChk \"Select All\" state=0 enabled=1 hidden=0"), std::string::npos)
        << last;
    EXPECT_NE(last.find("show: row uiTableView 1 chk=0"), std::string::npos) << last;
    EXPECT_NE(last.find("show: button uninstallButton \"Uninstall\" state=0 enabled=0"), std::string::npos) << last;
}

TEST_F(PlugsweepApp, CloseBoxEndsTheProgram)
{
    writeRegistry({{"Alpha", "Alpha vLX"}});
    const AppRun result = launch("close window\nshow\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.has("terminate")) << result.output;
    EXPECT_FALSE(result.hasPrefix("show:")) << result.output;
}

TEST_F(PlugsweepApp, CloseButtonEndsTheProgram)
{
    writeRegistry({{"Alpha", "Alpha vLX"}});
    const AppRun result = launch("click closeButton\nshow\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.has("terminate")) << result.output;
    EXPECT_FALSE(result.hasPrefix("show:")) << result.output;
}

TEST_F(PlugsweepApp, NoRegistryShowsTheMessageInsteadOfTheList)
{
    const AppRun result = launch("show\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.has("show: table uiTableView rows=0 enabled=0 hidden=0")) << result.output;
    EXPECT_TRUE(result.has("show: checkbox allSelectChk \"Select All\" state=0 enabled=0 hidden=0")) << result.output;
    EXPECT_TRUE(result.has("show: text noListMessage \"No plug-in modules that can be removed are installed.\" "
                        "enabled=1 hidden=0"))
        << result.output;
}

TEST_F(PlugsweepApp, TextsFollowTheUsersLanguage)
{
    writeRegistry({{"Alpha", "Alpha vLX"}});
    const AppRun result = launch("show\n", "de");
    EXPECT_TRUE(result.has("show: button uninstallButton \"Deinstallieren\" state=0 enabled=0 hidden=0")) << result.output;
    EXPECT_TRUE(result.has("show: checkbox allSelectChk \"Alle auswählen\" state=0 enabled=1 hidden=0")) << result.output;
}

TEST_F(PlugsweepApp, CancelledPromptLeavesTheWindowAsItWas)
{
    writeRegistry({{"Alpha", "Alpha vLX"}});
    const AppRun result = launch("tick uiTableView 0\nauth cancel\nclick uninstallButton\nshow\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.has("auth: prompt " + kApp + "/Contents/Resources/ScriptHelper")) << result.output;
    EXPECT_TRUE(result.has("show: row uiTableView 0 chk=1 name=\"Alpha vLX\" enabled=1")) << result.output;
    EXPECT_TRUE(result.has("show: button uninstallButton \"Uninstall\" state=0 enabled=1 hidden=0")) << result.output;
    EXPECT_FALSE(result.hasPrefix("alert:")) << result.output;
    EXPECT_FALSE(fs::exists(planPath()));
    EXPECT_TRUE(fs::exists(moduleFolder("Alpha") + "/Alpha.plugin"));
}

TEST_F(PlugsweepApp, UninstallRemovesTheTickedModulesThroughScriptHelper)
{
    ASSERT_TRUE(fs::exists(kApp + "/Contents/Resources/ScriptHelper"));
    writeRegistry({{"Alpha", "Alpha vLX Module"}, {"Beta", "Beta vLX"}, {"Delta", "Delta vLX Tools"}});
    const AppRun result = launch("tick uiTableView 0\ntick uiTableView 2\nauth grant\nclick uninstallButton\ndismiss\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.has("auth: prompt " + kApp + "/Contents/Resources/ScriptHelper")) << result.output;
    EXPECT_TRUE(result.has("alert: informational The uninstallation has finished. | 2 modules were removed. | OK"))
        << result.output;
    EXPECT_TRUE(result.has("terminate")) << result.output;
    EXPECT_LT(result.output.find("alert: informational"), result.output.find("terminate"));

    EXPECT_FALSE(fs::exists(moduleFolder("Alpha")));
    EXPECT_FALSE(fs::exists(moduleFolder("Delta")));
    EXPECT_TRUE(fs::exists(moduleFolder("Beta") + "/Beta.plugin/Contents/Info.plist"));
    ASSERT_TRUE(fs::exists(planPath()));
    std::ifstream plan(planPath());
    std::stringstream text;
    text << plan.rdbuf();
    EXPECT_NE(text.str().find("<string>com.tavix.QVR.Alpha</string>"), std::string::npos);
    EXPECT_NE(text.str().find("<string>com.tavix.QVR.Delta</string>"), std::string::npos);
    EXPECT_EQ(text.str().find("com.tavix.QVR.Beta"), std::string::npos);
}

// The keys the packaging checks press on the installed window: the first row has the focus,
// Space ticks it, Tab leaves the table, Alt+U presses Uninstall, Return dismisses the alert.
TEST_F(PlugsweepApp, KeyboardAloneRemovesAModule)
{
    writeRegistry({{"Alpha", "Alpha vLX"}, {"Beta", "Beta vLX"}});
    const AppRun result = launch("show\nkey Space\nkey Tab\nshow\nauth grant\nkey Alt+U\nkey Return\n");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(result.has("show: table uiTableView rows=2 enabled=1 hidden=0 focus=1")) << result.output;
    EXPECT_TRUE(result.has("show: row uiTableView 0 chk=0 name=\"Alpha vLX\" enabled=1 focus=1")) << result.output;
    EXPECT_TRUE(result.has("show: row uiTableView 0 chk=1 name=\"Alpha vLX\" enabled=1")) << result.output;
    EXPECT_TRUE(result.has("show: checkbox allSelectChk \"Select All\" state=0 enabled=1 hidden=0 mnemonic=S focus=1"))
        << result.output;
    EXPECT_TRUE(result.has("show: button uninstallButton \"Uninstall\" state=0 enabled=1 hidden=0 mnemonic=U"))
        << result.output;
    EXPECT_TRUE(result.has("show: button closeButton \"Close\" state=0 enabled=1 hidden=0 mnemonic=C")) << result.output;
    EXPECT_TRUE(result.has("alert: informational The uninstallation has finished. | 1 module was removed. | OK"))
        << result.output;
    EXPECT_TRUE(result.has("terminate")) << result.output;
    EXPECT_FALSE(fs::exists(moduleFolder("Alpha")));
    EXPECT_TRUE(fs::exists(moduleFolder("Beta") + "/Beta.plugin"));
}

TEST_F(PlugsweepApp, MenusAreListedWithMnemonicsAndAboutShowsNameVersionAndDescription)
{
    writeRegistry({{"Alpha", "Alpha vLX"}});
    const AppRun result = launch("show\nclick aboutAction\ndismiss\nclick closeButton\n");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(result.has("show: menu applicationMenu \"Plugsweep\" enabled=1 mnemonic=P")) << result.output;
    EXPECT_TRUE(result.has("show: menuitem applicationMenu aboutAction \"About Plugsweep\" enabled=1 mnemonic=A"))
        << result.output;
    EXPECT_TRUE(result.has("show: menuitem applicationMenu quitAction \"Quit Plugsweep\" enabled=1 mnemonic=Q "
                           "shortcut=Ctrl+Q"))
        << result.output;
    EXPECT_TRUE(result.has("alert: informational Plugsweep | Version 1.0\\nRemoves installed print plug-in modules. | OK"))
        << result.output;
    EXPECT_TRUE(fs::exists(moduleFolder("Alpha") + "/Alpha.plugin")) << "About removes nothing";
}

// Texts without Latin letters get a letter of their own in brackets.
TEST_F(PlugsweepApp, JapaneseButtonsHaveBracketedMnemonics)
{
    writeRegistry({{"Alpha", "Alpha vLX"}});
    const AppRun result = launch("show\n", "ja");
    std::istringstream in(result.output);
    int buttons = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("show: button ", 0) != 0 && line.rfind("show: checkbox ", 0) != 0)
            continue;
        ++buttons;
        const auto at = line.find(" mnemonic=");
        ASSERT_NE(at, std::string::npos) << line;
        const char letter = line[at + 10];
        EXPECT_TRUE(letter >= 'A' && letter <= 'Z') << line;
    }
    EXPECT_EQ(buttons, 3) << result.output;
}

struct SystemVersionCase {
    const char* version;
    const char* expected;  // a line the run prints, or empty for none of the two
    bool alert;
};

TEST_F(PlugsweepApp, SystemVersionOfTheRunDecidesTheRequirementsAlert)
{
    writeRegistry({{"Alpha", "Alpha vLX"}});
    const SystemVersionCase cases[] = {
        {"10.5.8", "alert: critical Plugsweep requires system version 10.6 or later. |  | OK", true},
        {"10.5.15", "alert: critical Plugsweep requires system version 10.6 or later. |  | OK", true},
        {"10.6", "", false},
        {"10.6.8", "", false},
        {"not-a-version", "", false},
    };
    for (const SystemVersionCase& c : cases) {
        const std::string scriptPath = m_dir + "/script.txt";
        std::ofstream(scriptPath) << "show\n";
        const AppRun result = runBare("QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 XDG_RUNTIME_DIR='" + m_dir +
                                          "' PLATFORM_ROOT='" + m_root + "' PLATFORM_UI_SCRIPT='" + scriptPath +
                                          "' PLATFORM_SYSTEM_VERSION=" + c.version,
                                      "");
        EXPECT_EQ(result.status, 0) << c.version << "\n" << result.output;
        EXPECT_EQ(result.hasPrefix("alert: critical"), c.alert) << c.version << "\n" << result.output;
        if (*c.expected) {
            EXPECT_TRUE(result.has(c.expected)) << c.version << "\n" << result.output;
        }
        const bool failedQuery = std::string(c.version) == "not-a-version";
        EXPECT_EQ(errors().find("GestaltErr") != std::string::npos, failedQuery) << c.version << "\n" << errors();
        // A failed query ends the program before the script's first line; the alert of a refused
        // check is on screen while the script runs.
        EXPECT_EQ(result.hasPrefix("show: window"), !failedQuery) << c.version << "\n" << result.output;
        EXPECT_EQ(result.hasPrefix("show: button - \"OK\""), c.alert) << c.version << "\n" << result.output;
    }
}

TEST_F(PlugsweepApp, HelpVersionAndNoDisplayAnswerWithoutAWindow)
{
    const AppRun help = runBare("", "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output.rfind("usage: Plugsweep [--help] [--version] [--list] [--remove ID...] [--remove-all]\n"
                                "                 [--dry-run] [--json] [--strict]\n",
                                0),
              0u)
        << help.output;
    EXPECT_NE(help.output.find("77 not authorized"), std::string::npos) << help.output;
    EXPECT_NE(help.output.find("Removes installed print plug-in modules."), std::string::npos) << help.output;
    EXPECT_NE(help.output.find("69 when no graphical display"), std::string::npos) << help.output;

    const AppRun version = runBare("", "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "Plugsweep 1.0\n");

    // No display at all, and an X display that nobody serves: one line, status 69, no abort.
    for (const std::string& environment : {std::string(), std::string("DISPLAY=:4093")}) {
        const AppRun bare = runBare(environment, "");
        EXPECT_EQ(bare.status, 69) << environment << "\n" << errors();
        EXPECT_EQ(bare.output, "") << environment;
        const std::string text = errors();
        EXPECT_EQ(text.rfind("Plugsweep: this program needs a graphical display", 0), 0u) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    }
}

/// A way to list whose output cannot be written.
struct FullOutputCase {
    const char* name;
    const char* arguments;
};

class PlugsweepFullOutput : public PlugsweepApp, public ::testing::WithParamInterface<FullOutputCase> {};

TEST_P(PlugsweepFullOutput, IsAnInputOutputErrorWithOneLine)
{
    writeRegistry({{"Alpha", "Alpha vLX"}});
    const AppRun run = runBare("PLATFORM_ROOT='" + m_root + "'", std::string(GetParam().arguments) + " >/dev/full");
    EXPECT_EQ(run.status, 74) << errors();
    const std::string text = errors();
    EXPECT_EQ(text.rfind("plugsweep: the output cannot be written (", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

INSTANTIATE_TEST_SUITE_P(Outputs, PlugsweepFullOutput,
                         ::testing::Values(FullOutputCase{"List", "--list"}, FullOutputCase{"ListAsJson", "--list --json"},
                                           FullOutputCase{"DryRun", "--remove-all --dry-run"}),
                         [](const ::testing::TestParamInfo<FullOutputCase>& info) { return std::string(info.param.name); });

/// A command line that fails, in a language, and a word its one line must hold.
struct ErrorLanguageCase {
    const char* name;
    const char* language;
    const char* arguments;
    const char* word;
};

class PlugsweepErrorLanguage : public PlugsweepApp, public ::testing::WithParamInterface<ErrorLanguageCase> {};

TEST_P(PlugsweepErrorLanguage, IsOneLineInTheUsersLanguage)
{
    std::ofstream(m_root + "/Library/Preferences/com.tavix.KEPL2.plist") << "not a property list";
    const ErrorLanguageCase& c = GetParam();
    const AppRun run =
        runBare("PLATFORM_ROOT='" + m_root + "' LANGUAGE=" + c.language + " LANG=C.UTF-8", c.arguments);
    EXPECT_EQ(run.status, 74);
    const std::string text = errors();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << "said once, not echoed from the log too:\n" << text;
    EXPECT_NE(text.find(c.word), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Languages, PlugsweepErrorLanguage,
    ::testing::Values(ErrorLanguageCase{"English", "en", "--list", "cannot be used"},
                      ErrorLanguageCase{"German", "de", "--list", "kann nicht verwendet werden"},
                      ErrorLanguageCase{"GermanRemoval", "de", "--remove X --json", "es wurde nichts entfernt"},
                      ErrorLanguageCase{"Japanese", "ja", "--list", "使用できません"},
                      ErrorLanguageCase{"Chinese", "zh_CN", "--remove-all", "无法使用模块注册表"}),
    [](const ::testing::TestParamInfo<ErrorLanguageCase>& info) { return std::string(info.param.name); });

TEST_F(PlugsweepApp, AMistypedIdentifierIsUnknownWithAWarningAndStrictFailsOnIt)
{
    writeRegistry({{"Alpha", "Alpha vLX"}});
    const AppRun lenient = runBare("PLATFORM_ROOT='" + m_root + "'", "--remove NOPE-1234");
    EXPECT_EQ(lenient.status, 0) << "named again after a removal, it must stay harmless";
    EXPECT_EQ(lenient.output, "unknown NOPE-1234: not in the module registry\n");
    EXPECT_NE(errors().find("warning: NOPE-1234 is not a registered module identifier"), std::string::npos) << errors();

    const AppRun json = runBare("PLATFORM_ROOT='" + m_root + "'", "--remove NOPE-1234 --json");
    EXPECT_NE(json.output.find("\"state\": \"unknown\", \"known\": false"), std::string::npos) << json.output;

    const AppRun strict = runBare("PLATFORM_ROOT='" + m_root + "'", "--remove NOPE-1234 --strict");
    EXPECT_EQ(strict.status, 65);
    EXPECT_TRUE(fs::exists(moduleFolder("Alpha") + "/Alpha.plugin"));
}

// A plan that cannot be written (a folder in its place) is said with its reason; Back to List,
// the default, puts the focus on the list, where the arrow keys stay.
TEST_F(PlugsweepApp, PlanNotSavedSaysWhyAndGoesBackToTheListWithTheFocusOnIt)
{
    writeRegistry({{"Alpha", "Alpha vLX"}, {"Beta", "Beta vLX"}, {"Gamma", "Gamma vLX"}});
    fs::create_directories(planPath());
    const AppRun result = launch("key Space\nkey Tab\nauth grant\nkey Alt+U\nshow\nkey Return\nshow\nkey Down\nshow\n");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(result.has("alert: critical The list of modules to remove could not be saved. | It could not be written as " +
                           planPath() +
                           ": a folder of that name is in the way. Nothing was removed. Go back to the list to try "
                           "again. | Back to List"))
        << result.output;
    EXPECT_TRUE(result.has("show: button - \"Back to List\" state=0 enabled=1 hidden=0 mnemonic=B focus=1"))
        << result.output;
    EXPECT_TRUE(result.has("show: button - \"Quit\" state=0 enabled=1 hidden=0 mnemonic=Q")) << result.output;
    // After Back to List: the list has the focus, on the first row, ticked as it was; Down moves
    // to the next row and the focus stays in the list.
    const std::string back = result.output.substr(result.output.find("show: window window", result.output.find("alert:")));
    EXPECT_NE(back.find("show: table uiTableView rows=3 enabled=1 hidden=0 focus=1"), std::string::npos) << back;
    EXPECT_NE(back.find("show: row uiTableView 0 chk=1 name=\"Alpha vLX\" enabled=1 focus=1"), std::string::npos) << back;
    const std::string down = back.substr(back.find("show: window window", 1));
    EXPECT_NE(down.find("show: table uiTableView rows=3 enabled=1 hidden=0 focus=1"), std::string::npos) << down;
    EXPECT_NE(down.find("show: row uiTableView 1 chk=0 name=\"Beta vLX\" enabled=1 focus=1"), std::string::npos) << down;
    EXPECT_TRUE(fs::exists(moduleFolder("Alpha") + "/Alpha.plugin"));
}

// Texts without Latin letters: the alert's Back to List takes B, as Back reads, not the A that
// Select All and Deselect All take.
TEST_F(PlugsweepApp, JapaneseBackToListHasItsOwnMnemonic)
{
    writeRegistry({{"Alpha", "Alpha vLX"}});
    fs::create_directories(planPath());
    const AppRun result = launch("click allSelectChk\nshow\nauth grant\nclick uninstallButton\nshow\n", "ja");
    EXPECT_TRUE(result.has("show: checkbox allSelectChk \"すべての選択を解除\" state=1 enabled=1 hidden=0 mnemonic=A"))
        << result.output;
    EXPECT_TRUE(result.has("show: button - \"リストに戻る\" state=0 enabled=1 hidden=0 mnemonic=B")) << result.output;
}

// A name of 400,000 characters is laid out at a bounded length in the window; the command line
// prints it whole.
TEST_F(PlugsweepApp, HugeNamesAreShownShortenedInTheWindowAndWholeOnTheCommandLine)
{
    const std::string huge = std::string(400000, 'n') + " vLX";
    writeRegistry({{"Alpha", huge}, {"Beta", "Beta vLX"}});
    const AppRun window = launch("show\n");
    EXPECT_EQ(window.status, 0);
    const std::size_t row = window.output.find("show: row uiTableView 0 chk=0 name=\"");
    ASSERT_NE(row, std::string::npos) << window.output.substr(0, 2000);
    const std::string line = window.output.substr(row, window.output.find('\n', row) - row);
    EXPECT_LT(line.size(), 1000u) << line.substr(0, 300);
    EXPECT_NE(line.find("n…n"), std::string::npos) << "cut in the middle: " << line.substr(0, 300);
    EXPECT_NE(line.find("n vLX\" enabled=1"), std::string::npos) << "its end is kept: " << line.substr(0, 300);
    EXPECT_LT(window.output.size(), 20000u);

    const AppRun list = runBare("PLATFORM_ROOT='" + m_root + "'", "--list");
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.output.find("\t" + huge + "\t"), std::string::npos);
}

}  // namespace
