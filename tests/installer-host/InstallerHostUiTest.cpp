// Runs the built installer-host on the built plug-in bundle, as a user or an automated
// installation would: with UI scripts on Qt's offscreen platform, and unattended. The Install
// step runs a stand-in InstallHelper that each test writes, started through a copy of the built
// install launcher and a stand-in pkexec that runs it as the current user (or, for a script with
// "auth" lines, through the script's own answers).

#include "installer-host/HostProcess.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using installerhost::testing::HostResult;
using installerhost::testing::runProcess;

namespace {

const std::string kHost = std::string(BUILD_DIR) + "/bin/installer-host";
const std::string kBundle = std::string(BUILD_DIR) + "/Oxlade.bundle";
const std::string kFixtureBundle = std::string(FIXTURE_BUNDLE_DIR) + "/Fixture.bundle";
const std::string kTable = "m_uiTableView";
const std::string kPlanName = "com.tavix.pluginInstall.plist";

// One row of the pane's checklist as the shipped catalogue gives it.
struct CatalogueRow {
    int row = 0;
    std::string nameKey;
    std::string type;
    std::vector<std::string> pathFiles;
};

// The rows the checklist shows: every catalogue entry with a type other than "QVR", in order.
std::vector<CatalogueRow> checklistRows()
{
    std::vector<CatalogueRow> rows;
    auto catalogue = platform::dictionaryWithContentsOfFile(kBundle + "/Contents/Resources/Applications.plist");
    if (!catalogue || !catalogue->arrayForKey("APPs"))
        return rows;
    for (const platform::PlistValue& value : *catalogue->arrayForKey("APPs")) {
        const platform::PlistDictionary* entry = value.asDictionary();
        if (!entry || !entry->stringForKey("PluginType") || *entry->stringForKey("PluginType") == "QVR")
            continue;
        CatalogueRow row;
        row.row = static_cast<int>(rows.size());
        row.type = *entry->stringForKey("PluginType");
        if (const std::string* key = entry->stringForKey("APPNameKey"))
            row.nameKey = *key;
        if (const platform::PlistArray* files = entry->arrayForKey("PathsFiles")) {
            for (const platform::PlistValue& file : *files) {
                if (file.asString())
                    row.pathFiles.push_back(*file.asString());
            }
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

std::size_t countLines(const std::string& text, const std::string& line)
{
    const auto all = lines(text);
    return static_cast<std::size_t>(std::count(all.begin(), all.end(), line));
}

// The lines that start with prefix, in order.
std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix)
{
    std::vector<std::string> result;
    for (const std::string& line : lines(text)) {
        if (line.rfind(prefix, 0) == 0)
            result.push_back(line);
    }
    return result;
}

std::vector<std::string> stringsOf(const platform::PlistArray* array)
{
    std::vector<std::string> result;
    if (array) {
        for (const platform::PlistValue& value : *array) {
            if (value.asString())
                result.push_back(*value.asString());
        }
    }
    return result;
}

class InstallerHostRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::exists(kHost)) << kHost;
        ASSERT_TRUE(std::filesystem::exists(kBundle)) << kBundle;
        char pattern[] = "/tmp/installer-host-ui-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        home = dir + "/home";
        prefs = home + "/Library/Preferences";
        root = dir + "/root";
        answers = dir + "/answers.plist";
        plan = prefs + "/" + kPlanName;
        std::filesystem::create_directories(prefs);
        std::filesystem::create_directories(root);
        writeInstallChain();

        // Two hosts whose plug-in folders exist, one whose path file names a missing folder.
        std::vector<CatalogueRow> pathFileRows;
        for (const CatalogueRow& row : checklistRows()) {
            if (row.type == "PS" && row.nameKey != "PS_SELF" && !row.pathFiles.empty())
                pathFileRows.push_back(row);
            if (row.nameKey == "PS_SELF")
                selfRow = row;
        }
        ASSERT_GE(pathFileRows.size(), 3u) << "the catalogue offers three hosts found through path files";
        ASSERT_TRUE(selfRow) << "the catalogue offers a host in a folder the user picks";
        hostA = pathFileRows[0];
        hostB = pathFileRows[1];
        missingHost = pathFileRows[2];
        folderA = installHost(*hostA, "A");
        folderB = installHost(*hostB, "B");
        writePathFile(missingHost->pathFiles.front(), home + "/Gone/Plug-ins");

        auto bundle = platform::Bundle::bundleWithPath(kBundle);
        ASSERT_TRUE(bundle);
        title = bundle->localizedStringForKey("Title", "", "Localizable");
        ASSERT_NE(title, "Title") << "the pane's English title";
    }

    void TearDown() override { std::filesystem::remove_all(dir); }

    // The stand-in pkexec, a copy of the install launcher and beside it the stand-in InstallHelper:
    // it notes each run, reads the plan's PrintInstallPath entries and reports each as installed,
    // or as helper-mode says ("skip-last": the last one skipped; "busy": the lock is held).
    void writeInstallChain()
    {
        const std::string app = dir + "/app";
        std::filesystem::create_directories(app);
        std::filesystem::permissions(app, std::filesystem::perms(0755));
        launcher = app + "/platform-install-launcher";
        std::filesystem::copy_file(INSTALL_LAUNCHER, launcher);
        helper = app + "/InstallHelper";
        const std::string body = R"SH(mode=$(cat "$DIR/helper-mode" 2>/dev/null)
echo ran >> "$DIR/helper-runs"
if [ "$mode" = busy ]; then echo 'busy another removal is running'; exit 75; fi
folders=$(sed -n '/<key>PrintInstallPath<\/key>/{n;s/^[[:space:]]*<string>\(.*\)<\/string>$/\1/p}' \
  "$HOME/Library/Preferences/com.tavix.pluginInstall.plist")
n=$(printf '%s\n' "$folders" | grep -c .)
echo "total $n"
i=0; status=0
while IFS= read -r f; do
  [ -n "$f" ] || continue
  i=$((i+1))
  echo "host $i $n m.$i $f"
  if [ "$mode" = skip-last ] && [ $i -eq $n ]; then
    echo "skipped m.$i the folder $f is on another mount"; status=1
  else
    echo "installed m.$i $f/Tavix Print"
  fi
done <<EOF
$folders
EOF
echo registry-updated
exit $status
)SH";
        writeScript(helper, "DIR='" + dir + "'\n" + body);
        writeScript(dir + "/pkexec", "exec \"$@\"\n");
    }

    static void writeScript(const std::string& path, const std::string& body)
    {
        std::ofstream(path) << "#!/bin/sh\n" << body;
        std::filesystem::permissions(path, std::filesystem::perms(0755));
    }

    void setHelperMode(const std::string& mode) { std::ofstream(dir + "/helper-mode") << mode; }

    // How often the stand-in InstallHelper ran.
    std::size_t helperRuns() const
    {
        std::ifstream in(dir + "/helper-runs");
        std::size_t runs = 0;
        for (std::string line; std::getline(in, line);)
            ++runs;
        return runs;
    }

    // The PrintInstallPath of every plan entry, in order: the folders InstallHelper reports.
    std::vector<std::string> plannedFolders() const
    {
        std::vector<std::string> folders;
        if (auto written = readPlan()) {
            if (const platform::PlistArray* apps = written->arrayForKey("InstallApps")) {
                for (const platform::PlistValue& app : *apps) {
                    const platform::PlistDictionary* entry = app.asDictionary();
                    if (entry && entry->stringForKey("PrintInstallPath"))
                        folders.push_back(*entry->stringForKey("PrintInstallPath"));
                }
            }
        }
        return folders;
    }

    std::string installHost(const CatalogueRow& row, const std::string& name)
    {
        const std::string folder = home + "/Applications/Host " + name + "/Plug-ins";
        std::filesystem::create_directories(folder);
        writePathFile(row.pathFiles.front(), folder);
        return folder;
    }

    void writePathFile(const std::string& name, const std::string& path)
    {
        std::ofstream file(prefs + "/" + name, std::ios::binary);
        file << "host" << '\0' << path << '\0';
    }

    void seedAnswers(const std::vector<std::string>& selection)
    {
        platform::PlistArray keys;
        for (const std::string& key : selection)
            keys.emplace_back(key);
        platform::PlistDictionary seed;
        seed.set("selectionAPPKey", keys);
        ASSERT_TRUE(platform::writeToFile(platform::PlistValue(seed), answers, false));
    }

    HostResult runScript(const std::vector<std::string>& script, std::vector<std::string> bundles = {kBundle})
    {
        const std::string scriptPath = dir + "/script.txt";
        std::ofstream file(scriptPath);
        for (const std::string& line : script)
            file << line << "\n";
        file.close();
        std::vector<std::string> arguments{"--shared-dictionary", answers};
        arguments.insert(arguments.end(), bundles.begin(), bundles.end());
        auto environment = baseEnvironment();
        environment["PLATFORM_UI_SCRIPT"] = scriptPath;
        return runProcess(kHost, arguments, environment, dir);
    }

    HostResult runUnattended(const std::vector<std::string>& extra)
    {
        std::vector<std::string> arguments{"--unattended", "--shared-dictionary", answers};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(kBundle);
        auto environment = baseEnvironment();
        // The host itself must choose the offscreen platform when unattended.
        environment.erase("QT_QPA_PLATFORM");
        return runProcess(kHost, arguments, environment, dir);
    }

    std::map<std::string, std::string> baseEnvironment() const
    {
        return {{"HOME", home},
                {"PLATFORM_ROOT", root},
                {"QT_QPA_PLATFORM", "offscreen"},
                {"LANG", "C.UTF-8"},
                {"LANGUAGE", "en"},
                {"XDG_RUNTIME_DIR", dir},
                {"PLATFORM_PKEXEC", dir + "/pkexec"},
                {"PLATFORM_AUTH_LAUNCHER", launcher},
                {"PLATFORM_INSTALL_HELPER", helper}};
    }

    std::optional<platform::PlistDictionary> readPlan() const { return platform::dictionaryWithContentsOfFile(plan); }
    std::optional<platform::PlistDictionary> readAnswers() const
    {
        return platform::dictionaryWithContentsOfFile(answers);
    }

    // The plan entries whose key holds value.
    static std::vector<platform::PlistDictionary> entriesWith(const platform::PlistDictionary& plan,
                                                              const std::string& key, const std::string& value)
    {
        std::vector<platform::PlistDictionary> result;
        if (const platform::PlistArray* apps = plan.arrayForKey("InstallApps")) {
            for (const platform::PlistValue& app : *apps) {
                const platform::PlistDictionary* entry = app.asDictionary();
                if (entry && entry->stringForKey(key) && *entry->stringForKey(key) == value)
                    result.push_back(*entry);
            }
        }
        return result;
    }

    std::string tick(const CatalogueRow& row) const { return "tick " + kTable + " " + std::to_string(row.row); }
    std::string rowPrefix(const CatalogueRow& row) const
    {
        return "show: row " + kTable + " " + std::to_string(row.row) + " ";
    }
    // The "show" line of a row, the one printed by the n-th "show" of the script.
    std::string shownRow(const HostResult& result, const CatalogueRow& row, std::size_t nth = 0) const
    {
        const auto shown = linesStartingWith(result.out, rowPrefix(row));
        return nth < shown.size() ? shown[nth] : std::string();
    }

    std::string dir, home, prefs, root, answers, plan, title, launcher, helper;
    std::optional<CatalogueRow> hostA, hostB, missingHost, selfRow;
    std::string folderA, folderB;
};

TEST_F(InstallerHostRun, TickTwoRowsAndContinueWritesPlanAndSavedAnswers)
{
    const HostResult result = runScript({tick(*hostA), tick(*hostB), "click continueButton"});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(countLines(result.out, "pane: " + title), 1u) << result.out;
    EXPECT_EQ(countLines(result.out, "install: installed"), 1u) << "Continue goes on to the Install step\n"
                                                                 << result.out;
    EXPECT_EQ(helperRuns(), 1u);
    EXPECT_EQ(countLines(result.out, "terminate"), 1u) << result.out;

    auto written = readPlan();
    ASSERT_TRUE(written) << "the plan is written when the pane is left forward";
    for (const std::string& folder : {folderA, folderB}) {
        const auto entries = entriesWith(*written, "DeletePluginPath", folder);
        ASSERT_EQ(entries.size(), 1u) << folder;
        ASSERT_TRUE(entries[0].stringForKey("PrintInstallPath"));
        EXPECT_EQ(entries[0].stringForKey("PrintInstallPath")->rfind(folder, 0), 0u);
        EXPECT_EQ(*entries[0].stringForKey("PluginType"), "PS");
    }

    auto saved = readAnswers();
    ASSERT_TRUE(saved);
    EXPECT_EQ(stringsOf(saved->arrayForKey("selectionAPPKey")),
              (std::vector<std::string>{hostA->nameKey, hostB->nameKey}));
    ASSERT_TRUE(saved->stringForKey("LayoutPluginInstall"));
    EXPECT_EQ(*saved->stringForKey("LayoutPluginInstall"), "NO");
}

TEST_F(InstallerHostRun, CancelledFolderChoiceKeepsPaneAndWritesNoPlan)
{
    const HostResult result = runScript({tick(*selfRow), "panel cancel", "click continueButton", "show"});
    EXPECT_EQ(result.status, 1) << "the run ended on the pane, not on the final page\n" << result.out << result.err;
    EXPECT_EQ(linesStartingWith(result.out, "panel: " + home + " \"").size(), 1u) << result.out;
    EXPECT_EQ(countLines(result.out, "pane: " + title), 1u) << "the pane is never left";
    EXPECT_NE(shownRow(result, *selfRow).find(" chk=1 "), std::string::npos) << result.out;
    EXPECT_FALSE(std::filesystem::exists(plan));

    // The selection is published even though the pane could not be left.
    auto saved = readAnswers();
    ASSERT_TRUE(saved);
    EXPECT_EQ(stringsOf(saved->arrayForKey("selectionAPPKey")), (std::vector<std::string>{"PS_SELF"}));
}

TEST_F(InstallerHostRun, FolderChosenAfterCancelGoesIntoPlan)
{
    const std::string chosen = home + "/Picked Editor/Plug-ins";
    std::filesystem::create_directories(chosen);
    const HostResult result = runScript(
        {tick(*selfRow), "panel cancel", "click continueButton", "panel choose " + chosen, "click continueButton"});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(linesStartingWith(result.out, "panel: " + home + " \"").size(), 2u) << "Continue asks for the folder again\n" << result.out;

    auto written = readPlan();
    ASSERT_TRUE(written);
    const auto entries = entriesWith(*written, "PrintInstallPath", chosen);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(*entries[0].stringForKey("DeletePluginPath"), "NotDelete");
}

TEST_F(InstallerHostRun, GoBackReentersPaneWithTicksRestored)
{
    const HostResult result = runScript({tick(*hostA), tick(*hostB), "click continueButton", "click backButton",
                                         "show", "click continueButton", "click continueButton"},
                                        {kBundle, kFixtureBundle});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(linesStartingWith(result.out, "pane: "),
              (std::vector<std::string>{"pane: " + title, "pane: Fixture pane", "pane: " + title,
                                        "pane: Fixture pane"}))
        << result.out;

    // After Go Back the rows are built again, ticked from the shared dictionary.
    EXPECT_NE(shownRow(result, *hostA).find(" chk=1 "), std::string::npos) << result.out;
    EXPECT_NE(shownRow(result, *hostB).find(" chk=1 "), std::string::npos) << result.out;
    EXPECT_NE(shownRow(result, *missingHost).find(" chk=0 "), std::string::npos) << result.out;

    auto written = readPlan();
    ASSERT_TRUE(written);
    EXPECT_EQ(entriesWith(*written, "DeletePluginPath", folderA).size(), 1u);
    EXPECT_EQ(entriesWith(*written, "DeletePluginPath", folderB).size(), 1u);

    // Both sections wrote into the one shared dictionary.
    auto saved = readAnswers();
    ASSERT_TRUE(saved);
    EXPECT_EQ(stringsOf(saved->arrayForKey("selectionAPPKey")),
              (std::vector<std::string>{hostA->nameKey, hostB->nameKey}));
    EXPECT_TRUE(saved->stringForKey("FixtureLoaded"));
}

TEST_F(InstallerHostRun, ClickOnDisabledRowDoesNotTickIt)
{
    const HostResult result = runScript({tick(*missingHost), "show", "click continueButton"});
    EXPECT_EQ(result.status, 1) << "Continue stays disabled\n" << result.out << result.err;
    const std::string row = shownRow(result, *missingHost);
    EXPECT_NE(row.find(" chk=0 "), std::string::npos) << result.out;
    EXPECT_NE(row.find(" enabled=0"), std::string::npos) << result.out;
    EXPECT_NE(shownRow(result, *hostA).find(" enabled=1"), std::string::npos) << result.out;
    EXPECT_FALSE(std::filesystem::exists(plan));
    auto saved = readAnswers();
    ASSERT_TRUE(saved) << "the saved-answers file is written on every end";
    EXPECT_FALSE(saved->contains("selectionAPPKey"));
}

TEST_F(InstallerHostRun, UnattendedRunWithSeededSelectionCompletes)
{
    seedAnswers({hostA->nameKey, hostB->nameKey});
    const HostResult result = runUnattended({});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(countLines(result.out, "pane: " + title), 1u) << result.out;
    EXPECT_EQ(countLines(result.out, "  Continue: enabled"), 1u) << result.out;
    EXPECT_EQ(linesStartingWith(result.out, "    " + std::to_string(hostA->row) + " [x] ").size(), 1u)
        << result.out;
    EXPECT_EQ(linesStartingWith(result.out, "    " + std::to_string(hostB->row) + " [x] ").size(), 1u);
    const auto missing = linesStartingWith(result.out, "    " + std::to_string(missingHost->row) + " [ ] ");
    ASSERT_EQ(missing.size(), 1u) << result.out;
    EXPECT_NE(missing[0].find("(disabled)"), std::string::npos);
    EXPECT_NE(result.out.find("shared dictionary:\n<?xml"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("<string>" + hostA->nameKey + "</string>"), std::string::npos);
    std::vector<std::string> installLines;
    for (const std::string& folder : plannedFolders())
        installLines.push_back("install: installed " + folder);
    installLines.push_back("install: installed into 2 host applications");
    EXPECT_EQ(linesStartingWith(result.out, "install: "), installLines) << result.out;
    EXPECT_EQ(helperRuns(), 1u);

    auto written = readPlan();
    ASSERT_TRUE(written);
    EXPECT_EQ(entriesWith(*written, "DeletePluginPath", folderA).size(), 1u);
    EXPECT_EQ(entriesWith(*written, "DeletePluginPath", folderB).size(), 1u);
    auto saved = readAnswers();
    ASSERT_TRUE(saved);
    EXPECT_EQ(stringsOf(saved->arrayForKey("selectionAPPKey")),
              (std::vector<std::string>{hostA->nameKey, hostB->nameKey}));
}

TEST_F(InstallerHostRun, UnattendedRunWithNothingTickedStopsOnDisabledContinue)
{
    const HostResult result = runUnattended({});
    EXPECT_EQ(result.status, 3) << result.out << result.err;
    EXPECT_EQ(result.err, "Continue is disabled on pane " + title + "\n");
    EXPECT_FALSE(std::filesystem::exists(plan));
    EXPECT_TRUE(std::filesystem::exists(answers)) << "a missing saved-answers file is created at the end";
}

TEST_F(InstallerHostRun, UnattendedFolderChoiceTakesFolderOrIsCancelled)
{
    seedAnswers({"PS_SELF"});
    const HostResult refused = runUnattended({});
    EXPECT_EQ(refused.status, 3) << refused.out << refused.err;
    EXPECT_EQ(refused.err, "pane " + title + " refused to exit\n");
    EXPECT_FALSE(std::filesystem::exists(plan));

    const std::string chosen = home + "/Picked";
    std::filesystem::create_directories(chosen);
    const HostResult done = runUnattended({"--folder", chosen});
    ASSERT_EQ(done.status, 0) << done.out << done.err;
    auto written = readPlan();
    ASSERT_TRUE(written);
    EXPECT_EQ(entriesWith(*written, "PrintInstallPath", chosen).size(), 1u);
}

// The Install step comes between the pane and the final page: it runs InstallHelper once, shows
// one row per host with its outcome and what the installation came to, and the final page says so.
TEST_F(InstallerHostRun, InstallPageBetweenPaneAndFinalPageShowsEachHostsOutcome)
{
    const HostResult result =
        runScript({tick(*hostA), tick(*hostB), "click continueButton", "show", "click continueButton", "show"});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    const auto all = lines(result.out);
    const auto at = [&all](const std::string& line) { return std::find(all.begin(), all.end(), line) - all.begin(); };
    EXPECT_LT(at("pane: " + title), at("install: started"));
    EXPECT_LT(at("install: started"), at("install: installed"));
    EXPECT_EQ(helperRuns(), 1u);

    // The Install page: the step is the current one, one row per host, the overall message.
    EXPECT_EQ(linesStartingWith(result.out, "show: text paneTitleLabel \"Install\"").size(), 1u) << result.out;
    EXPECT_EQ(linesStartingWith(result.out, "show: item stepList 1 \"Install\" bold=1").size(), 1u) << result.out;
    const auto rows = linesStartingWith(result.out, "show: item installOutcomeList ");
    const std::vector<std::string> folders = plannedFolders();
    ASSERT_EQ(folders.size(), 2u);
    ASSERT_EQ(rows.size(), 2u) << result.out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_NE(rows[i].find("\"" + folders[i] + "\\nInstalled\""), std::string::npos) << rows[i];
    }
    EXPECT_EQ(countLines(result.out, "show: text installSummaryLabel \"The print plug-in was installed into 2 host "
                                     "applications.\" enabled=1 hidden=0"),
              1u)
        << result.out;
    EXPECT_TRUE(linesStartingWith(result.out, "show: button installAgainButton ").empty()) << result.out;
    EXPECT_TRUE(linesStartingWith(result.out, "show: button cancelButton ").empty())
        << "once installed, there is nothing to cancel\n" << result.out;

    // The final page says what happened.
    EXPECT_EQ(linesStartingWith(result.out, "show: text finalLabel \"The print plug-in was installed into 2 host "
                                            "applications.\\n\\nYou can close the installer now.\"")
                  .size(),
              1u)
        << result.out;
    EXPECT_EQ(linesStartingWith(result.out, "show: button closeButton \"Close\" ").size(), 1u) << result.out;
}

// The final page is read by a screen reader: its text is the description of Close, which has the
// focus, so that it is read with the button when the page appears.
TEST_F(InstallerHostRun, FinalPageTextIsReadWithTheFocusedCloseButton)
{
    const HostResult result =
        runScript({tick(*hostA), "click continueButton", "click continueButton", "show"});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    const auto closes = linesStartingWith(result.out, "show: button closeButton \"Close\" ");
    ASSERT_EQ(closes.size(), 1u) << result.out;
    EXPECT_NE(closes[0].find(" focus=1"), std::string::npos) << closes[0];
    EXPECT_EQ(countLines(result.out, "show: description closeButton \"The print plug-in was installed into 1 host "
                                     "application.\\n\\nYou can close the installer now.\""),
              1u)
        << result.out;
}

TEST_F(InstallerHostRun, SkippedHostShowsItsReasonAndEndsWithStatusFive)
{
    setHelperMode("skip-last");
    const HostResult result =
        runScript({tick(*hostA), tick(*hostB), "click continueButton", "show", "click continueButton"});
    EXPECT_EQ(result.status, 5) << result.out << result.err;
    EXPECT_EQ(countLines(result.out, "install: some-skipped"), 1u) << result.out;
    const auto rows = linesStartingWith(result.out, "show: item installOutcomeList ");
    ASSERT_EQ(rows.size(), 2u) << result.out;
    EXPECT_NE(rows[0].find("\\nInstalled\""), std::string::npos) << rows[0];
    EXPECT_NE(rows[1].find("\\nSkipped: the folder " + plannedFolders()[1] + " is on another mount\""),
              std::string::npos)
        << rows[1];
    EXPECT_EQ(linesStartingWith(result.out, "show: text installSummaryLabel \"The print plug-in was installed into 1 "
                                            "host application.\\n1 host application was skipped.\"")
                  .size(),
              1u)
        << result.out;
}

// A dismissed password request installs nothing and says so; Install Again asks again.
TEST_F(InstallerHostRun, DismissedPromptOffersInstallAgain)
{
    const HostResult result = runScript({"auth cancel", "auth grant", tick(*hostA), "click continueButton", "show",
                                         "click installAgainButton", "show", "click continueButton", "show"});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(linesStartingWith(result.out, "auth: prompt ").size(), 2u) << result.out;
    EXPECT_EQ(linesStartingWith(result.out, "install: "),
              (std::vector<std::string>{"install: started", "install: dismissed", "install: started",
                                        "install: installed"}))
        << result.out;
    EXPECT_EQ(helperRuns(), 1u) << "nothing ran before the second request was granted";

    EXPECT_EQ(linesStartingWith(result.out, "show: text installSummaryLabel \"The request for an administrator's "
                                            "password was closed, so nothing was installed.")
                  .size(),
              1u)
        << result.out;
    const auto again = linesStartingWith(result.out, "show: button installAgainButton \"Install Again\" ");
    ASSERT_EQ(again.size(), 1u) << "offered after the dismissed request only\n" << result.out;
    EXPECT_NE(again[0].find(" enabled=1"), std::string::npos) << again[0];
    const auto backs = linesStartingWith(result.out, "show: button backButton ");
    ASSERT_EQ(backs.size(), 3u) << result.out;
    EXPECT_NE(backs[0].find(" enabled=1"), std::string::npos) << "Go Back returns to the pane\n" << backs[0];
    EXPECT_NE(backs[1].find(" enabled=0"), std::string::npos) << "not once installed\n" << backs[1];
    const auto cancels = linesStartingWith(result.out, "show: button cancelButton ");
    EXPECT_EQ(cancels.size(), 1u) << "Cancel stays while nothing is installed\n" << result.out;
    EXPECT_EQ(linesStartingWith(result.out, "show: text finalLabel \"The print plug-in was installed into 1 host "
                                            "application.")
                  .size(),
              1u)
        << result.out;
}

TEST_F(InstallerHostRun, GoBackAfterDismissedPromptReturnsToThePaneAndContinueInstalls)
{
    const HostResult result = runScript({"auth cancel", "auth grant", tick(*hostA), "click continueButton",
                                         "click backButton", "show", tick(*hostB), "click continueButton"});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(countLines(result.out, "pane: " + title), 2u) << result.out;
    EXPECT_NE(shownRow(result, *hostA).find(" chk=1 "), std::string::npos) << "the pane kept its ticks\n" << result.out;
    EXPECT_EQ(linesStartingWith(result.out, "install: "),
              (std::vector<std::string>{"install: started", "install: dismissed", "install: started",
                                        "install: installed"}))
        << result.out;
    EXPECT_EQ(plannedFolders().size(), 2u) << "the plan written again holds both hosts";
}

// Before anything is installed the quit question holds: quitting now installs nothing.
TEST_F(InstallerHostRun, QuitAfterRefusedPromptAsksAndEndsCancelled)
{
    const HostResult result =
        runScript({"auth deny", tick(*hostA), "click continueButton", "click cancelButton", "show", "click quitButton"});
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_EQ(countLines(result.out, "install: not-authorized"), 1u) << result.out;
    EXPECT_EQ(linesStartingWith(result.out, "show: window quitConfirmation ").size(), 1u) << result.out;
    EXPECT_EQ(helperRuns(), 0u);
}

// The unattended run's Install step: one line per host, a summary, and the exit status.
struct UnattendedCase {
    const char* name;
    std::string helperMode;
    int status;
    std::vector<std::string> states;
    std::string summaryOut;
    std::string summaryErr;
};

void PrintTo(const UnattendedCase& c, std::ostream* os)
{
    *os << c.name;
}

class InstallerHostUnattended : public InstallerHostRun, public ::testing::WithParamInterface<UnattendedCase> {};

TEST_P(InstallerHostUnattended, PrintsEachHostAndEndsWithTheInstallStatus)
{
    const UnattendedCase& c = GetParam();
    setHelperMode(c.helperMode);
    seedAnswers({hostA->nameKey, hostB->nameKey});
    const HostResult result = runUnattended({});
    EXPECT_EQ(result.status, c.status) << result.out << result.err;
    const std::vector<std::string> folders = plannedFolders();
    ASSERT_EQ(folders.size(), c.states.size());
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < folders.size(); ++i)
        expected.push_back("install: " + c.states[i] + " " + folders[i] +
                           (c.states[i] == "skipped" ? ": the folder " + folders[i] + " is on another mount" : ""));
    if (!c.summaryOut.empty())
        expected.push_back("install: " + c.summaryOut);
    EXPECT_EQ(linesStartingWith(result.out, "install: "), expected) << result.out;
    EXPECT_EQ(result.err, c.summaryErr.empty() ? "" : "installer-host: " + c.summaryErr + "\n");
    EXPECT_NE(result.out.find("shared dictionary:\n<?xml"), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    HelperOutcomes, InstallerHostUnattended,
    ::testing::Values(
        UnattendedCase{"AllInstalled", "", 0, {"installed", "installed"}, "installed into 2 host applications", ""},
        UnattendedCase{"LastSkipped", "skip-last", 5, {"installed", "skipped"},
                       "installed into 1 of 2 host applications; 1 skipped", ""},
        UnattendedCase{"Busy", "busy", 75, {"not-installed", "not-installed"}, "",
                       "another install or removal is running (another removal is running); nothing was installed"}),
    [](const ::testing::TestParamInfo<UnattendedCase>& info) { return std::string(info.param.name); });

TEST_F(InstallerHostRun, UnknownBundleEndsWithStatusTwo)
{
    const std::string missing = dir + "/Missing.bundle";
    const HostResult result = runProcess(kHost, {"--unattended", missing}, baseEnvironment(), dir);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find(missing), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
}

TEST_F(InstallerHostRun, UnreadableSavedAnswersAreNotOverwritten)
{
    std::ofstream(answers) << "not a property list";
    const HostResult result = runUnattended({});
    EXPECT_EQ(result.status, 4) << result.out << result.err;
    std::ifstream in(answers);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "not a property list");
}

// A keyboard-only visit with the first row's host missing: the focus skips that row, Space ticks
// the focused one, Tab leaves the table for the host's buttons, and Return on the table presses
// Continue, the window's default button.
TEST_F(InstallerHostRun, KeyboardAloneTicksSkipsTheDisabledFirstRowAndContinues)
{
    ASSERT_EQ(hostA->row, 0) << "the first row is a host found through a path file";
    for (const std::string& file : hostA->pathFiles)
        std::filesystem::remove(prefs + "/" + file);
    const HostResult result = runScript({"show", "key Space", "show", "key Tab", "show", "key Backtab", "key Return"});
    ASSERT_EQ(result.status, 0) << result.out << result.err;

    EXPECT_NE(shownRow(result, *hostA, 0).find(" enabled=0"), std::string::npos) << result.out;
    EXPECT_EQ(shownRow(result, *hostA, 0).find("focus=1"), std::string::npos) << result.out;
    EXPECT_NE(shownRow(result, *hostA, 0).find(" tooltip=\"Not found on this computer\""), std::string::npos)
        << result.out;
    EXPECT_NE(shownRow(result, *hostB, 0).find(" chk=0 "), std::string::npos) << result.out;
    EXPECT_NE(shownRow(result, *hostB, 0).find(" focus=1"), std::string::npos) << result.out;
    EXPECT_NE(shownRow(result, *hostB, 1).find(" chk=1 "), std::string::npos) << result.out;

    const auto continues = linesStartingWith(result.out, "show: button continueButton \"Continue\" ");
    ASSERT_EQ(continues.size(), 3u) << result.out;
    EXPECT_NE(continues[0].find(" enabled=0"), std::string::npos) << continues[0];
    EXPECT_NE(continues[1].find(" enabled=1"), std::string::npos) << continues[1];
    EXPECT_NE(continues[0].find(" mnemonic=C"), std::string::npos) << continues[0];
    const auto cancels = linesStartingWith(result.out, "show: button cancelButton \"Cancel\" ");
    ASSERT_EQ(cancels.size(), 3u) << result.out;
    EXPECT_EQ(cancels[1].find("focus=1"), std::string::npos) << cancels[1];
    EXPECT_NE(cancels[2].find(" focus=1"), std::string::npos) << "Tab leaves the table\n" << result.out;
    EXPECT_NE(cancels[2].find(" mnemonic="), std::string::npos) << cancels[2];
    EXPECT_EQ(linesStartingWith(result.out, "show: item stepList ").size(), 3 * 3u)
        << "the pane, the Install step and the final step";

    auto written = readPlan();
    ASSERT_TRUE(written) << result.out;
    EXPECT_EQ(entriesWith(*written, "DeletePluginPath", folderB).size(), 1u);
    EXPECT_TRUE(entriesWith(*written, "DeletePluginPath", folderA).empty());
}

// Leaving before the final step: Escape acts as Cancel, and Cancel asks first. Resume (also
// Escape in the question) keeps the window; Quit ends the run as cancelled, with no plan written.
TEST_F(InstallerHostRun, EscapeAndCancelAskBeforeQuittingAndResumeKeepsTheWindow)
{
    const HostResult result =
        runScript({tick(*hostA), "key Escape", "show", "key Escape", "show", "click cancelButton", "show",
                   "click quitButton"});
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_EQ(countLines(result.out, "terminate"), 1u) << "Quit ends the run\n" << result.out;

    const auto asked = linesStartingWith(result.out, "show: window quitConfirmation ");
    ASSERT_EQ(asked.size(), 2u) << "asked after Escape and after Cancel, not after Resume\n" << result.out;
    const auto quits = linesStartingWith(result.out, "show: button quitButton \"Quit\" ");
    const auto resumes = linesStartingWith(result.out, "show: button resumeButton \"Resume\" ");
    ASSERT_EQ(quits.size(), 2u) << result.out;
    ASSERT_EQ(resumes.size(), 2u) << result.out;
    EXPECT_NE(resumes[0].find(" focus=1"), std::string::npos) << "Resume is the safe default\n" << resumes[0];
    EXPECT_EQ(linesStartingWith(result.out, "show: text qt_msgbox_label \"Quit the installer?\" ").size(), 2u)
        << result.out;
    EXPECT_NE(shownRow(result, *hostA, 1).find(" chk=1 "), std::string::npos) << "Resume keeps the pane as it was";
    EXPECT_FALSE(readPlan()) << "quitting on the pane writes no plan";
}

TEST_F(InstallerHostRun, HelpVersionAndNoDisplayAnswerWithoutAWindow)
{
    const HostResult help = runProcess(kHost, {"--help"}, {}, dir);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("69 no graphical display"), std::string::npos) << help.out;

    const HostResult version = runProcess(kHost, {"--version"}, {}, dir);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("installer-host ", 0), 0u) << version.out;
    EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '\n'), 1) << version.out;

    for (const auto& environment : {std::map<std::string, std::string>{{"HOME", home}},
                                    std::map<std::string, std::string>{{"HOME", home}, {"DISPLAY", ":4093"}}}) {
        const HostResult bare = runProcess(kHost, {kBundle}, environment, dir);
        EXPECT_EQ(bare.status, 69) << bare.err;
        EXPECT_EQ(bare.err.rfind("installer-host: the window needs a graphical display", 0), 0u) << bare.err;
        EXPECT_NE(bare.err.find("--unattended"), std::string::npos) << bare.err;
        EXPECT_EQ(std::count(bare.err.begin(), bare.err.end(), '\n'), 1) << bare.err;
    }
    // Unattended needs no display.
    const HostResult unattended = runProcess(kHost, {"--unattended", kBundle}, {{"HOME", home}}, dir);
    EXPECT_NE(unattended.status, 69) << unattended.err;
}

}  // namespace
