#pragma once

#include "platform/foundation/PlistValue.h"
#include "platform/foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

/// A fresh machine root and home folder under /tmp with a module registry and an uninstall plan,
/// for running ScriptHelper's removal against.
class ScriptHelperSandbox : public ::testing::Test {
public:
    struct Module {
        std::string uuid;
        std::string name;
        std::string installPath;
    };
    struct PlanEntry {
        std::string uuid;
        std::string unInstallPath;
    };
    struct Result {
        int exitCode = -1;
        /// The lines that tell what happened: every line but total, module and end.
        std::vector<std::string> lines;
        std::vector<std::string> allLines;
    };

    void SetUp() override;
    void TearDown() override;


    /// root + relative, for paths inside the machine root.
    std::string at(const std::string& relative) const { return root + relative; }
    /// Makes a module folder with a few files and folders inside.
    void makeModuleFolder(const std::string& path);
    void makeFolder(const std::string& path);
    void writeText(const std::string& path, const std::string& text);

    /// Writes the registry with these modules, an extra root key and an extra key per module.
    void writeRegistry(const std::vector<Module>& modules, platform::PlistFormat format = platform::PlistFormat::Xml);
    void writePlan(const std::vector<PlanEntry>& entries, platform::PlistFormat format = platform::PlistFormat::Xml);
    std::string registryBytes() const;
    /// The registry as it is now on disk.
    platform::PlistDictionary registryRoot(platform::PlistFormat* format = nullptr) const;

    Result run(bool dryRun = false);

    /// Every path under the sandbox with its kind, links not followed.
    std::map<std::string, char> snapshot() const;
    /// The paths of before that are gone now; fails the test when anything was added or changed kind.
    std::vector<std::string> removedSince(const std::map<std::string, char>& before) const;

    std::string dir;
    std::string root;
    std::string home;
    std::string registryPath;
    std::string planPath;
};
