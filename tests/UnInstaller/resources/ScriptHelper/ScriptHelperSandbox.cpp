#include "ScriptHelperSandbox.h"

#include "UnInstaller/resources/ScriptHelper/RemovalRun.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

void ScriptHelperSandbox::SetUp()
{
    char pattern[] = "/tmp/scripthelper-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir = pattern;
    root = dir + "/root";
    home = dir + "/home";
    makeFolder(root + "/Library/Preferences");
    makeFolder(root + "/Library/Printers/Tavix");
    makeFolder(home + "/Library/Preferences");
    registryPath = root + "/Library/Preferences/com.tavix.KEPL2.plist";
    planPath = home + "/Library/Preferences/com.tavix.pluginUnInstall.plist";
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("PLATFORM_ROOT", root.c_str(), 1);
}

void ScriptHelperSandbox::TearDown()
{
    std::error_code ignored;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir, ignored);
}

void ScriptHelperSandbox::makeFolder(const std::string& path)
{
    fs::create_directories(path);
    // Every folder from the sandbox down gets a mode that the registry's ownership rule accepts,
    // whatever the umask.
    for (fs::path p = path; p.string().size() > dir.size(); p = p.parent_path())
        ::chmod(p.c_str(), 0755);
}

void ScriptHelperSandbox::writeText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    ::chmod(path.c_str(), 0644);
}

void ScriptHelperSandbox::makeModuleFolder(const std::string& path)
{
    makeFolder(path + "/Contents/Resources/English.lproj");
    writeText(path + "/Contents/Info.plist", "<plist/>");
    writeText(path + "/Contents/Resources/English.lproj/Localizable.strings", "\"a\" = \"b\";");
    makeFolder(path + "/Contents/Empty");
}

void ScriptHelperSandbox::writeRegistry(const std::vector<Module>& modules, platform::PlistFormat format)
{
    platform::PlistDictionary moduleDict;
    for (const Module& module : modules) {
        platform::PlistDictionary entry;
        entry.set("ModuleName", module.name);
        entry.set("InstallPath", module.installPath);
        entry.set("Version", "2.1");
        moduleDict.set(module.uuid, entry);
    }
    platform::PlistDictionary rootDict;
    rootDict.set("KEP2_KEY_VERSION", 3);
    rootDict.set("KEP2_KEY_MODULES", moduleDict);
    rootDict.set("KEP2_KEY_DRIVERS", platform::PlistArray{platform::PlistValue("TOLM")});
    const std::string bytes = format == platform::PlistFormat::Binary ? platform::binaryPropertyList(rootDict)
                                                                       : platform::xmlPropertyList(rootDict);
    writeText(registryPath, bytes);
}

void ScriptHelperSandbox::writePlan(const std::vector<PlanEntry>& entries, platform::PlistFormat format)
{
    platform::PlistArray apps;
    for (const PlanEntry& entry : entries) {
        platform::PlistDictionary app;
        app.set("PKG", "com.tavix.QVR.Alpha");
        app.set("UUID", entry.uuid);
        app.set("UnInstallPath", entry.unInstallPath);
        apps.push_back(app);
    }
    platform::PlistDictionary plan;
    plan.set("UnInstallApps", apps);
    writeText(planPath, format == platform::PlistFormat::Binary ? platform::binaryPropertyList(plan)
                                                                 : platform::xmlPropertyList(plan));
}

std::string ScriptHelperSandbox::registryBytes() const
{
    std::ifstream in(registryPath, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

platform::PlistDictionary ScriptHelperSandbox::registryRoot(platform::PlistFormat* format) const
{
    auto value = platform::readPropertyListFile(registryPath, format);
    if (!value || value->asDictionary() == nullptr) {
        ADD_FAILURE() << "registry unreadable";
        return {};
    }
    return *value->asDictionary();
}

ScriptHelperSandbox::Result ScriptHelperSandbox::run(bool dryRun)
{
    std::ostringstream out;
    Result result;
    result.exitCode = scripthelper::RemovalRun(out, dryRun).run();
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) {
        result.allLines.push_back(line);
        // Progress lines are checked on their own; lines holds what happened.
        const auto event = scripthelper::RemovalEvent::parse(line);
        using Kind = scripthelper::RemovalEvent::Kind;
        if (!event || (event->kind != Kind::Total && event->kind != Kind::Module && event->kind != Kind::End))
            result.lines.push_back(line);
    }
    return result;
}

std::map<std::string, char> ScriptHelperSandbox::snapshot() const
{
    std::map<std::string, char> paths;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
        const fs::file_status status = it->symlink_status();
        char kind = '?';
        if (fs::is_symlink(status))
            kind = 'l';
        else if (fs::is_directory(status))
            kind = 'd';
        else if (fs::is_regular_file(status))
            kind = 'f';
        paths[it->path().string()] = kind;
    }
    return paths;
}

std::vector<std::string> ScriptHelperSandbox::removedSince(const std::map<std::string, char>& before) const
{
    const std::map<std::string, char> now = snapshot();
    std::vector<std::string> removed;
    for (const auto& [path, kind] : before) {
        auto it = now.find(path);
        if (it == now.end())
            removed.push_back(path);
        else
            EXPECT_EQ(it->second, kind) << path;
    }
    // The removal lock stays beside the registry, as locks do; nothing else may appear.
    const std::string lock = registryPath.substr(0, registryPath.rfind('/') + 1) + ".com.tavix.KEPL2.plist.lock";
    for (const auto& [path, kind] : now)
        EXPECT_TRUE(before.count(path) || path == lock) << "appeared: " << path;
    return removed;
}
