#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace {

struct RunResult {
    std::vector<std::string> lines;
    std::string errors;
    int status = -1;
};

// Runs the scripted program over a bundle folder of its own with a UI script, as a user's
// session would, and collects what it prints.
class QtScriptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qt-script-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_home = m_dir + "/home";
        m_bundle = m_dir + "/Checklist.app";
        for (const std::string& folder :
             {m_home, m_bundle, m_bundle + "/Contents", m_bundle + "/Contents/Resources"}) {
            ASSERT_EQ(mkdir(folder.c_str(), 0755), 0) << folder;
        }
        std::ofstream(m_bundle + "/Contents/Info.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<plist version=\"1.0\">\n<dict>\n"
               "\t<key>CFBundleName</key>\n\t<string>Checklist</string>\n"
               "\t<key>NSMainNibFile</key>\n\t<string>Checklist</string>\n"
               "</dict>\n</plist>\n";
        std::ifstream fixture(std::string(TEST_DATA_DIR) + "/qt/Checklist.ui");
        std::ofstream(m_bundle + "/Contents/Resources/Checklist.ui") << fixture.rdbuf();
        m_tool = m_dir + "/ScriptHelper";
        std::ofstream(m_tool) << "#!/bin/sh\necho hello\necho \"args=$#\"\n";
        chmod(m_tool.c_str(), 0755);
    }
    void TearDown() override { std::system(("rm -rf '" + m_dir + "'").c_str()); }

    RunResult run(const std::string& script)
    {
        const std::string scriptPath = m_dir + "/session.txt";
        const std::string errorsPath = m_dir + "/stderr.txt";
        std::ofstream(scriptPath) << script;
        const std::string command = "env PLATFORM_UI_SCRIPT='" + scriptPath + "' HOME='" + m_home +
                                    "' QT_QPA_PLATFORM=offscreen '" + BUILD_DIR + "/bin/qt_script_app' '" +
                                    m_bundle + "' '" + m_tool + "' 2>'" + errorsPath + "'";
        RunResult result;
        std::FILE* out = popen(command.c_str(), "r");
        if (!out) {
            ADD_FAILURE() << "cannot start " << command;
            return result;
        }
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, out)) {
            std::string line(buffer);
            if (!line.empty() && line.back() == '\n') {
                line.pop_back();
            }
            result.lines.push_back(line);
        }
        const int status = pclose(out);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream errors(errorsPath);
        std::stringstream text;
        text << errors.rdbuf();
        result.errors = text.str();
        return result;
    }

    // The lines that start with one of the given prefixes, in order.
    static std::vector<std::string> only(const RunResult& result, const std::vector<std::string>& prefixes)
    {
        std::vector<std::string> kept;
        for (const std::string& line : result.lines) {
            for (const std::string& prefix : prefixes) {
                if (line.rfind(prefix, 0) == 0) {
                    kept.push_back(line);
                    break;
                }
            }
        }
        return kept;
    }

    // A line that is line itself or line followed by more fields (" mnemonic=X", " focus=1").
    static bool contains(const RunResult& result, const std::string& line)
    {
        for (const std::string& l : result.lines) {
            if (l == line || l.rfind(line + " ", 0) == 0) {
                return true;
            }
        }
        return false;
    }

    std::string m_dir;
    std::string m_home;
    std::string m_bundle;
    std::string m_tool;
};

TEST_F(QtScriptTest, TicksAPanelChoiceAndAnAlertRunInOrderAndTheRunEnds)
{
    const RunResult result = run("# a user's session\n"
                                 "tick uiTableView 0\n"
                                 "tick uiTableView 1\n"
                                 "\n"
                                 "panel choose /tmp/picked\n"
                                 "click uninstallButton\n"
                                 "dismiss\n");
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.errors.find("script error"), std::string::npos) << result.errors;
    EXPECT_EQ(only(result, {"app:", "panel:", "alert:", "terminate"}),
              (std::vector<std::string>{"app: launched", "panel: " + m_home + " \"Find Directory\"",
                                        "alert: informational Done | ticks=1,0,0 folder=/tmp/picked | OK",
                                        "app: alert returned", "terminate", "app: exit 0"}));
}

TEST_F(QtScriptTest, ShowPrintsEveryNamedControlAndEachRow)
{
    const RunResult result = run("tick uiTableView 2\nshow\nclick closeButton\n");
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_TRUE(contains(result, "show: window MainWindow \"STEXT_CAPTION\" enabled=1 hidden=0"));
    EXPECT_TRUE(contains(result, "show: text messageTitle \"Pick modules\" enabled=1 hidden=0"));
    EXPECT_TRUE(contains(result, "show: checkbox allSelectChk \"STEXT_ALLSELECT\" state=0 enabled=1 hidden=0"));
    EXPECT_TRUE(contains(result, "show: button closeButton \"STEXT_CLOSE_BUTTON\" state=0 enabled=1 hidden=0"));
    EXPECT_TRUE(contains(result, "show: table uiTableView rows=3 enabled=1 hidden=0"));
    EXPECT_TRUE(contains(result, "show: row uiTableView 0 chk=0 name=\"Alpha\" enabled=1"));
    EXPECT_TRUE(contains(result, "show: row uiTableView 1 chk=0 name=\"Beta\" enabled=0"));
    EXPECT_TRUE(contains(result, "show: row uiTableView 2 chk=1 name=\"Gamma\" enabled=1"));
    EXPECT_TRUE(contains(result, "terminate"));
}

TEST_F(QtScriptTest, TickOnADisabledRowChangesNothing)
{
    const RunResult result = run("tick uiTableView 1\nclick uninstallButton\ndismiss\n");
    EXPECT_TRUE(contains(result, "alert: informational Done | ticks=0,0,0 folder=(cancelled) | OK"));
}

TEST_F(QtScriptTest, PanelWithoutQueuedAnswerCancels)
{
    const RunResult result = run("panel cancel\nclick uninstallButton\ndismiss\n");
    EXPECT_EQ(only(result, {"panel:", "alert:"}),
              (std::vector<std::string>{"panel: " + m_home + " \"Find Directory\"",
                                        "alert: informational Done | ticks=0,0,0 folder=(cancelled) | OK"}));
}

TEST_F(QtScriptTest, EndOfScriptDismissesTheAlertAndClosesTheMainWindow)
{
    // The alert stays open when the script ends; then nothing but the window's close box ends
    // the program.
    const RunResult result = run("click uninstallButton\n");
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(only(result, {"app:", "alert:", "terminate"}),
              (std::vector<std::string>{"app: launched",
                                        "alert: informational Done | ticks=0,0,0 folder=(cancelled) | OK",
                                        "app: alert returned", "terminate", "app: exit 0"}));

    const RunResult quiet = run("tick uiTableView 0\n");
    EXPECT_EQ(quiet.status, 0) << quiet.errors;
    EXPECT_EQ(only(quiet, {"app:", "terminate"}),
              (std::vector<std::string>{"app: launched", "terminate", "app: exit 0"}));
}

TEST_F(QtScriptTest, UnknownActionsAndNamesAreReportedAndTheScriptGoesOn)
{
    const RunResult result = run("frobnicate now\nclick noSuchButton\ntick uiTableView 7\ndismiss\nclick closeButton\n");
    EXPECT_NE(result.errors.find("script error: frobnicate now\n"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("script error: click noSuchButton\n"), std::string::npos);
    EXPECT_NE(result.errors.find("script error: tick uiTableView 7\n"), std::string::npos);
    EXPECT_NE(result.errors.find("script error: dismiss\n"), std::string::npos);
    EXPECT_EQ(only(result, {"terminate"}), std::vector<std::string>{"terminate"});
    EXPECT_EQ(result.status, 0);
}

TEST_F(QtScriptTest, AuthLinesAnswerThePromptsAndTheGrantedToolRuns)
{
    const RunResult result = run("auth deny\nclick authButton\nauth cancel\nclick authButton\n"
                                 "auth grant\nclick authButton\nclick closeButton\n");
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(only(result, {"auth:", "app: auth", "app: tool", "terminate"}),
              (std::vector<std::string>{"auth: prompt " + m_tool, "app: auth -60005", "auth: prompt " + m_tool,
                                        "app: auth -60006", "auth: prompt " + m_tool, "app: auth 0",
                                        "app: tool hello", "app: tool args=0", "terminate"}));
}

TEST_F(QtScriptTest, MenuActionWithTerminateSelectorEndsTheProgram)
{
    const RunResult result = run("click actionQuit\n");
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(only(result, {"app:", "terminate"}),
              (std::vector<std::string>{"app: launched", "terminate", "app: exit 0"}));
}

}  // namespace
