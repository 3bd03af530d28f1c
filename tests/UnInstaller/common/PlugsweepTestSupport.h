#pragma once

#include "UnInstaller/common/Controller.h"
#include "platform/appkit/Menu.h"
#include "platform/foundation/PlistValue.h"
#include "platform/foundation/PropertyList.h"
#include "platform/headless/HeadlessControls.h"
#include "platform/headless/HeadlessUi.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plugsweep_test {

/// One module entry of a registry, in the order it is to appear in the file.
struct RegistryModule {
    std::string identifier;
    std::string name;
    std::string installPath;
};

/// A registry file's text in the XML form, its module dictionary keeping the given order.
std::string registryXml(const std::vector<RegistryModule>& modules);

/// The whole text of a file, or none.
std::optional<std::string> readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& contents, unsigned mode = 0644);

/// Every text key of the uninstaller.
const std::vector<std::string>& localizationKeys();

/// A sandbox of its own for each test: a temporary folder holding the home folder, the machine
/// root and a Plugsweep.app bundle that is the main bundle; the in-memory UI; captured log lines;
/// and the window's controls connected to a fresh Controller as the window description does it.
class PlugsweepTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// Writes the registry under the machine root.
    void writeRegistryText(const std::string& contents);
    void writeRegistry(const std::vector<RegistryModule>& modules,
                       platform::PlistFormat format = platform::PlistFormat::Xml);
    std::string registryPath() const;

    /// Replaces the bundle's English strings table; values are "txt:" followed by the key.
    void writeStringsTable(const std::vector<std::string>& keys);
    void removeStringsTables();

    /// Installs Contents/Resources/ScriptHelper as a shell script with this body.
    std::string installTool(const std::string& body, unsigned mode = 0755);
    std::string toolPath() const;

    std::string planPath() const;
    /// The plan's "UnInstallApps" entries, or none when the file does not read as a plan.
    std::optional<platform::PlistArray> readPlanEntries() const;

    /// Connects the controls to the controller and sends awakeFromNib.
    void start();
    /// start(), then applicationDidFinishLaunching with the main menu installed.
    void launch();

    /// The rows as check states, names, identifiers and install paths.
    std::vector<std::string> checks() const;
    std::vector<std::string> names() const;
    std::vector<std::string> identifiers() const;
    std::vector<std::string> installPaths() const;
    /// What the table shows in column "chk", row by row.
    std::vector<platform::NSInteger> shownChecks();

    bool terminated() const;
    std::vector<platform::headless::HeadlessEvent> alerts() const;

    std::string m_dir;
    std::string m_home;
    std::string m_root;
    std::string m_app;
    std::vector<std::string> m_log;

    std::unique_ptr<platform::headless::ScopedHeadlessUi> m_scopedUi;
    platform::headless::HeadlessUi* m_ui = nullptr;
    std::unique_ptr<platform::headless::HeadlessInterface> m_interface;
    std::unique_ptr<Controller> m_controller;

    platform::headless::HeadlessWindow* m_window = nullptr;
    platform::headless::HeadlessButton* m_uninstallButton = nullptr;
    platform::headless::HeadlessButton* m_closeButton = nullptr;
    platform::headless::HeadlessButton* m_allSelectChk = nullptr;
    platform::headless::HeadlessTextField* m_messageTitle = nullptr;
    platform::headless::HeadlessTextField* m_noListMessage = nullptr;
    platform::headless::HeadlessTableView* m_table = nullptr;
    std::shared_ptr<platform::Menu> m_menu;

private:
    std::optional<std::string> m_savedHome;
    std::optional<std::string> m_savedRoot;
};

}  // namespace plugsweep_test
