#include "selection-pane/PaneTestSupport.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace oxlade::test {

TempFolder::TempFolder()
{
    std::string pattern = "/tmp/oxlade-test-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code error;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(m_path, error);
}

std::string TempFolder::operator/(std::string_view relative) const
{
    return m_path + "/" + std::string(relative);
}

void writeFile(const std::string& path, std::string_view bytes)
{
    makeFolder(std::filesystem::path(path).parent_path().string());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void makeFolder(const std::string& path)
{
    std::filesystem::create_directories(path);
}

std::optional<std::string> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool exists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

std::string stringsTableBytes(const Texts& texts)
{
    std::string bytes = "/* Written by a test. */\n";
    for (const auto& [key, text] : texts)
        bytes += "\"" + key + "\" = \"" + text + "\";\n";
    return bytes;
}

std::shared_ptr<platform::Bundle> makeBundle(const std::string& parent, const BundleContents& contents)
{
    const std::string folder = parent + "/" + contents.folderName;
    platform::PlistDictionary info;
    info.set("CFBundleName", "Test");
    if (contents.identifier)
        info.set("CFBundleIdentifier", *contents.identifier);
    info.set("CFBundleDevelopmentRegion", "English");
    writeFile(folder + "/Contents/Info.plist", platform::xmlPropertyList(info));
    const std::string resources = folder + "/Contents/Resources";
    makeFolder(resources);
    if (contents.catalogue) {
        writeFile(resources + "/Applications.plist", contents.binaryCatalogue
                                                         ? platform::binaryPropertyList(*contents.catalogue)
                                                         : platform::xmlPropertyList(*contents.catalogue));
    }
    for (const auto& [localization, texts] : contents.tables)
        writeFile(resources + "/" + localization + ".lproj/Localizable.strings", stringsTableBytes(texts));
    return platform::Bundle::bundleWithPath(folder);
}

platform::PlistDictionary entry(std::initializer_list<std::pair<const char*, const char*>> strings,
                                std::optional<std::vector<std::string>> pathsFiles)
{
    platform::PlistDictionary result;
    for (const auto& [key, value] : strings)
        result.set(key, value);
    if (pathsFiles) {
        platform::PlistArray names;
        for (const auto& name : *pathsFiles)
            names.emplace_back(name);
        result.set("PathsFiles", std::move(names));
    }
    return result;
}

platform::PlistDictionary catalogue(std::vector<platform::PlistDictionary> apps,
                                    std::initializer_list<std::pair<const char*, const char*>> strings)
{
    platform::PlistDictionary root;
    platform::PlistArray array;
    for (auto& app : apps)
        array.emplace_back(std::move(app));
    root.set("APPs", std::move(array));
    for (const auto& [key, value] : strings)
        root.set(key, value);
    return root;
}

std::string pathFileBytes(std::string_view folder)
{
    std::string bytes = "PSPath";
    bytes += '\0';
    bytes += folder;
    bytes += '\0';
    return bytes;
}

void PaneFixture::SetUp()
{
    if (const char* value = std::getenv("HOME"))
        m_oldHome = value;
    if (const char* value = std::getenv("PLATFORM_ROOT"))
        m_oldRoot = value;
    makeFolder(home() + "/Library/Preferences");
    makeFolder(root());
    ::setenv("HOME", home().c_str(), 1);
    ::setenv("PLATFORM_ROOT", root().c_str(), 1);
    platform::resetLoadedBundles();
    platform::setPreferredLanguagesOverride(std::vector<std::string>{});
    auto log = m_log;
    platform::setLogSink([log](const std::string& line) { log->push_back(line); });
}

void PaneFixture::TearDown()
{
    platform::setLogSink({});
    platform::setPreferredLanguagesOverride(std::nullopt);
    platform::resetLoadedBundles();
    if (m_oldHome)
        ::setenv("HOME", m_oldHome->c_str(), 1);
    else
        ::unsetenv("HOME");
    if (m_oldRoot)
        ::setenv("PLATFORM_ROOT", m_oldRoot->c_str(), 1);
    else
        ::unsetenv("PLATFORM_ROOT");
}

std::string PaneFixture::preferences() const
{
    return home() + "/Library/Preferences";
}

std::string PaneFixture::planPath() const
{
    return preferences() + "/com.tavix.pluginInstall.plist";
}

void PaneFixture::writePathFile(const std::string& name, std::string_view bytes) const
{
    writeFile(preferences() + "/" + name, bytes);
}

std::shared_ptr<platform::Bundle> PaneFixture::addBundle(const BundleContents& contents, const std::string& parent)
{
    auto bundle = makeBundle(m_temp / parent, contents);
    platform::registerLoadedBundle(bundle);
    return bundle;
}

std::string PaneFixture::folder(const std::string& relative) const
{
    const std::string path = m_temp / relative;
    makeFolder(path);
    return path;
}

void PaneFixture::setLanguages(std::vector<std::string> languages)
{
    platform::setPreferredLanguagesOverride(std::move(languages));
}

}  // namespace oxlade::test
