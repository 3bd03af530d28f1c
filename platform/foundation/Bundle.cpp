#include "platform/foundation/Bundle.h"

#include "platform/foundation/FileManager.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/Path.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/StringsTable.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

struct Bundle::CachedTable {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    struct timespec modified {};
    std::optional<StringsTable> table;
};

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Bundle>> byPath;
    std::vector<std::shared_ptr<Bundle>> loaded;
    std::shared_ptr<Bundle> mainOverride;
    std::shared_ptr<Bundle> defaultMain;
    bool defaultMainComputed = false;
};

Registry& registry()
{
    static Registry* instance = new Registry;  // never destroyed: loaded code may outlive exit handlers
    return *instance;
}

bool isDirectory(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isRegularFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string currentDirectory()
{
    std::vector<char> buffer(PATH_MAX);
    if (::getcwd(buffer.data(), buffer.size()))
        return buffer.data();
    return "/";
}

// Absolute, without "." and ".." components, repeated or trailing "/".
std::string normalisedPath(std::string_view path)
{
    std::string full = path.empty() || path.front() != '/' ? currentDirectory() + "/" + std::string(path)
                                                            : std::string(path);
    std::vector<std::string_view> parts;
    std::string_view rest(full);
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    std::string out;
    for (const std::string_view part : parts) {
        out += '/';
        out += part;
    }
    return out.empty() ? "/" : out;
}

std::string realPath(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return std::string();
    std::string out(resolved);
    std::free(resolved);
    return out;
}

std::string fileName(const std::string& name, const std::string& type)
{
    std::string_view extension(type);
    if (!extension.empty() && extension.front() == '.')
        extension.remove_prefix(1);
    if (extension.empty())
        return name;
    return name + "." + std::string(extension);
}

bool sameTag(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

std::shared_ptr<Bundle> computeDefaultMainBundle()
{
    const std::string exe = realPath("/proc/self/exe");
    if (exe.empty())
        return Bundle::bundleWithPath(currentDirectory());
    const std::string folder = stringByDeletingLastPathComponent(exe);
    const std::string contents = stringByDeletingLastPathComponent(folder);
    if (lastPathComponent(folder) == "MacOS" && lastPathComponent(contents) == "Contents") {
        if (auto bundle = Bundle::bundleWithPath(stringByDeletingLastPathComponent(contents)))
            return bundle;
    }
    return Bundle::bundleWithPath(folder);
}

}  // namespace

Bundle::Bundle(std::string path, PlistDictionary info) : m_path(std::move(path)), m_info(std::move(info))
{
    const std::string contents = stringByAppendingPathComponent(m_path, "Contents");
    const std::string resources = stringByAppendingPathComponent(m_path, "Resources");
    const std::string current = stringByAppendingPathComponent(m_path, "Versions/Current");
    if (isRegularFile(stringByAppendingPathComponent(contents, "Info.plist"))) {
        m_resourcePath = stringByAppendingPathComponent(contents, "Resources");
        m_executableFolder = stringByAppendingPathComponent(contents, "MacOS");
    } else if (isRegularFile(stringByAppendingPathComponent(resources, "Info.plist"))) {
        m_resourcePath = resources;
        m_executableFolder = m_path;
    } else if (isRegularFile(stringByAppendingPathComponent(current, "Resources/Info.plist"))) {
        m_resourcePath = stringByAppendingPathComponent(current, "Resources");
        m_executableFolder = current;
    } else if (isDirectory(contents)) {
        m_resourcePath = stringByAppendingPathComponent(contents, "Resources");
        m_executableFolder = stringByAppendingPathComponent(contents, "MacOS");
    } else {
        m_resourcePath = m_path;
        m_executableFolder = m_path;
    }
}

Bundle::~Bundle() = default;

std::shared_ptr<Bundle> Bundle::bundleWithPath(const std::string& path)
{
    if (path.empty())
        return nullptr;
    const std::string key = normalisedPath(path);
    if (!isDirectory(key))
        return nullptr;
    Registry& reg = registry();
    {
        std::lock_guard lock(reg.mutex);
        if (auto it = reg.byPath.find(key); it != reg.byPath.end())
            return it->second;
    }
    PlistDictionary info;
    for (const char* candidate : {"Contents/Info.plist", "Resources/Info.plist", "Versions/Current/Resources/Info.plist"}) {
        const std::string infoPath = stringByAppendingPathComponent(key, candidate);
        if (!isRegularFile(infoPath))
            continue;
        if (auto dict = dictionaryWithContentsOfFile(infoPath))
            info = std::move(*dict);
        break;
    }
    auto bundle = std::make_shared<Bundle>(key, std::move(info));
    std::lock_guard lock(reg.mutex);
    // Another thread may have made the same bundle meanwhile; the first one stays.
    auto [it, inserted] = reg.byPath.emplace(key, bundle);
    return it->second;
}

std::shared_ptr<Bundle> Bundle::mainBundle()
{
    Registry& reg = registry();
    {
        std::lock_guard lock(reg.mutex);
        if (reg.mainOverride)
            return reg.mainOverride;
        if (reg.defaultMainComputed)
            return reg.defaultMain;
    }
    auto bundle = computeDefaultMainBundle();
    std::lock_guard lock(reg.mutex);
    if (!reg.defaultMainComputed) {
        reg.defaultMain = bundle;
        reg.defaultMainComputed = true;
    }
    return reg.mainOverride ? reg.mainOverride : reg.defaultMain;
}

std::vector<std::shared_ptr<Bundle>> Bundle::allBundles()
{
    std::vector<std::shared_ptr<Bundle>> bundles;
    if (auto main = mainBundle())
        bundles.push_back(main);
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    for (const auto& bundle : reg.loaded) {
        if (std::find(bundles.begin(), bundles.end(), bundle) == bundles.end())
            bundles.push_back(bundle);
    }
    return bundles;
}

std::shared_ptr<Bundle> Bundle::bundleForAddress(const void* address)
{
    Dl_info info {};
    void* mapOut = nullptr;
    if (!address || ::dladdr1(address, &info, &mapOut, RTLD_DL_LINKMAP) == 0)
        return nullptr;
    const auto* map = static_cast<const link_map*>(mapOut);
    const auto bundles = allBundles();
    for (const auto& bundle : bundles) {
        std::lock_guard lock(bundle->m_mutex);
        link_map* loaded = nullptr;
        if (bundle->m_handle && map && ::dlinfo(bundle->m_handle, RTLD_DI_LINKMAP, &loaded) == 0 && loaded == map)
            return bundle;
    }
    // Code loaded by someone else: compare files.
    const std::string file = info.dli_fname && *info.dli_fname ? realPath(info.dli_fname) : std::string();
    if (!file.empty()) {
        for (const auto& bundle : bundles) {
            const auto executable = bundle->executablePath();
            if (executable && realPath(*executable) == file)
                return bundle;
        }
    }
    bool inMainProgram = !file.empty() && file == realPath("/proc/self/exe");
    if (!inMainProgram && map) {
        if (void* self = ::dlopen(nullptr, RTLD_NOW | RTLD_NOLOAD)) {
            link_map* mainMap = nullptr;
            inMainProgram = ::dlinfo(self, RTLD_DI_LINKMAP, &mainMap) == 0 && mainMap == map;
            ::dlclose(self);
        }
    }
    return inMainProgram ? mainBundle() : nullptr;
}

void Bundle::setMainBundleOverride(std::shared_ptr<Bundle> bundle)
{
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    reg.mainOverride = std::move(bundle);
}

std::optional<std::string> Bundle::bundleIdentifier() const
{
    if (const std::string* identifier = m_info.stringForKey("CFBundleIdentifier"))
        return *identifier;
    return std::nullopt;
}

const PlistValue* Bundle::objectForInfoDictionaryKey(const std::string& key) const
{
    return m_info.find(key);
}

std::string Bundle::resourcePath() const
{
    return m_resourcePath;
}

std::optional<std::string> Bundle::executablePath() const
{
    const std::string* name = m_info.stringForKey("CFBundleExecutable");
    if (!name || name->empty())
        return std::nullopt;
    return stringByAppendingPathComponent(m_executableFolder, *name);
}

std::vector<std::string> Bundle::localizations() const
{
    std::vector<std::string> names;
    DIR* folder = ::opendir(m_resourcePath.c_str());
    if (!folder)
        return names;
    constexpr std::string_view kSuffix = ".lproj";
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name(entry->d_name);
        if (name.size() <= kSuffix.size() || name.substr(name.size() - kSuffix.size()) != kSuffix)
            continue;
        if (!isDirectory(stringByAppendingPathComponent(m_resourcePath, name)))
            continue;
        names.emplace_back(name.substr(0, name.size() - kSuffix.size()));
    }
    ::closedir(folder);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Bundle::developmentLocalization() const
{
    const std::string* region = m_info.stringForKey("CFBundleDevelopmentRegion");
    return region && !region->empty() ? *region : std::string("en");
}

std::vector<std::string> Bundle::preferredLocalizations() const
{
    const std::vector<std::string> available = localizations();
    std::vector<std::string> result;
    auto addMatching = [&](std::string_view tag) {
        bool found = false;
        // A folder named exactly like the tag comes before folders that only mean the same.
        for (const std::string& name : available) {
            if (name == tag) {
                found = true;
                if (std::find(result.begin(), result.end(), name) == result.end())
                    result.push_back(name);
            }
        }
        for (const std::string& name : available) {
            if (sameTag(canonicalLocalizationName(name), canonicalLocalizationName(tag))) {
                found = true;
                if (std::find(result.begin(), result.end(), name) == result.end())
                    result.push_back(name);
            }
        }
        return found;
    };
    for (const std::string& language : preferredLanguages()) {
        // "zh-Hans-CN", then "zh-Hans", then "zh".
        std::string_view tag(language);
        while (!tag.empty() && !addMatching(tag)) {
            const auto dash = tag.rfind('-');
            if (dash == std::string_view::npos)
                break;
            tag = tag.substr(0, dash);
        }
    }
    addMatching(developmentLocalization());
    for (const char* fallback : {"en", "English", "Base"}) {
        if (std::find(available.begin(), available.end(), fallback) != available.end()
            && std::find(result.begin(), result.end(), fallback) == result.end())
            result.emplace_back(fallback);
    }
    return result;
}

std::optional<std::string> Bundle::findResource(const std::string& folder, const std::string& file) const
{
    const std::string path = stringByAppendingPathComponent(folder, file);
    if (fileExistsAtPath(path))
        return path;
    return std::nullopt;
}

std::optional<std::string> Bundle::pathForResource(const std::string& name, const std::string& type) const
{
    if (name.empty())
        return std::nullopt;
    const std::string file = fileName(name, type);
    if (auto path = findResource(m_resourcePath, file))
        return path;
    for (const std::string& localization : preferredLocalizations()) {
        if (auto path = findResource(stringByAppendingPathComponent(m_resourcePath, localization + ".lproj"), file))
            return path;
    }
    return std::nullopt;
}

std::optional<std::string> Bundle::pathForResource(const std::string& name, const std::string& type,
                                                   const std::string& inDirectory,
                                                   const std::string& forLocalization) const
{
    if (name.empty())
        return std::nullopt;
    std::string folder = m_resourcePath;
    if (!forLocalization.empty())
        folder = stringByAppendingPathComponent(folder, forLocalization + ".lproj");
    if (!inDirectory.empty())
        folder = stringByAppendingPathComponent(folder, inDirectory);
    return findResource(folder, fileName(name, type));
}

const Bundle::CachedTable* Bundle::tableAt(const std::string& path) const
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return nullptr;
    CachedTable* cached = nullptr;
    for (const auto& entry : m_tables) {
        if (entry->path == path)
            cached = entry.get();
    }
    const bool fresh = cached && cached->device == info.st_dev && cached->inode == info.st_ino
                       && cached->size == info.st_size && cached->modified.tv_sec == info.st_mtim.tv_sec
                       && cached->modified.tv_nsec == info.st_mtim.tv_nsec;
    if (fresh)
        return cached;
    if (!cached) {
        m_tables.push_back(std::make_unique<CachedTable>());
        cached = m_tables.back().get();
        cached->path = path;
    }
    cached->device = info.st_dev;
    cached->inode = info.st_ino;
    cached->size = info.st_size;
    cached->modified = info.st_mtim;
    cached->table = readStringsTableFile(path);
    return cached;
}

std::string Bundle::localizedStringForKey(const std::string& key, const std::string& value,
                                          const std::string& table) const
{
    const std::string file = (table.empty() ? std::string("Localizable") : table) + ".strings";
    std::vector<std::string> candidates;
    for (const std::string& localization : preferredLocalizations())
        candidates.push_back(
            stringByAppendingPathComponent(stringByAppendingPathComponent(m_resourcePath, localization + ".lproj"), file));
    candidates.push_back(stringByAppendingPathComponent(m_resourcePath, file));

    std::lock_guard lock(m_mutex);
    for (const std::string& path : candidates) {
        const CachedTable* cached = tableAt(path);
        if (!cached || !cached->table)
            continue;
        if (auto it = cached->table->find(key); it != cached->table->end())
            return it->second;
    }
    return value.empty() ? key : value;
}

bool Bundle::load()
{
    if (!isLoaded()) {
        const auto executable = executablePath();
        if (!executable)
            return false;
        // Opened without the lock held: the module's initialisers may call back into bundles.
        void* handle = ::dlopen(executable->c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return false;
        std::lock_guard lock(m_mutex);
        if (m_handle)
            ::dlclose(handle);
        else
            m_handle = handle;
    }
    if (auto self = weak_from_this().lock())
        registerLoadedBundle(self);
    return true;
}

void* Bundle::symbol(const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    if (!m_handle || name.empty())
        return nullptr;
    return ::dlsym(m_handle, name.c_str());
}

void registerLoadedBundle(const std::shared_ptr<Bundle>& bundle)
{
    if (!bundle)
        return;
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    if (std::find(reg.loaded.begin(), reg.loaded.end(), bundle) == reg.loaded.end())
        reg.loaded.push_back(bundle);
}

void resetLoadedBundles()
{
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    reg.loaded.clear();
}

}  // namespace platform
