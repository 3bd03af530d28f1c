#include "UnInstaller/resources/ScriptHelper/StayingModules.h"

#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"

#include <algorithm>
#include <unordered_set>

namespace scripthelper {

namespace {

/// path itself when it is in normal form already (absolute, no repeated or trailing "/"), else its
/// normal form, kept in storage.
std::string_view normalView(const std::string& path, std::string& storage)
{
    if (!path.empty() && path[0] == '/' && path.find("//") == std::string::npos &&
        (path.size() == 1 || path.back() != '/'))
        return path;
    storage = PathPolicy::normalized(path);
    return storage;
}

/// Calls visit with each folder of a normal path from the outermost down, the path itself last,
/// and the count of its components, until visit answers true; answers whether it did.
template <class Visit>
bool forEachFolder(std::string_view path, const Visit& visit)
{
    std::size_t depth = 0;
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        if (visit(path.substr(0, end), ++depth))
            return true;
        if (end == std::string_view::npos)
            return false;
    }
}

/// The depth forEachFolder() gives path itself.
std::size_t depthOf(std::string_view path)
{
    std::size_t depth = 1;
    for (std::size_t i = 1; i < path.size(); ++i)
        depth += path[i] == '/' ? 1 : 0;
    return depth;
}

void mark(std::vector<bool>& depths, std::size_t depth)
{
    if (depths.size() <= depth)
        depths.resize(depth + 1, false);
    depths[depth] = true;
}

std::string_view folderOf(std::string_view path)
{
    return path.substr(0, std::max<std::size_t>(path.rfind('/'), 1));
}

}  // namespace

StayingModules::StayingModules(const std::vector<std::string>& asked)
{
    m_holding.map.reserve(2 * asked.size());
    m_installed.map.reserve(2 * asked.size());
    // The folders whose every folder above is counted already: most modules share all but their
    // own folder.
    std::unordered_set<std::string_view, platform::KeyHasher> chains;
    for (const std::string& installPath : asked) {
        std::string storage;
        const std::string_view path = normalView(installPath, storage);
        ask(m_holding, m_holdingDepths, path);
        ask(m_installed, m_installedDepths, path);
        std::string_view folder = folderOf(path);
        ask(m_holding, m_holdingDepths, folder);
        for (;;) {
            const std::string_view key = ask(m_installed, m_installedDepths, folder);
            if (!chains.insert(key).second || folder.size() <= 1)
                break;
            folder = folderOf(folder);
        }
    }
}

bool StayingModules::add(const std::string& installPath, int delta)
{
    std::string storage;
    const std::string_view path = normalView(installPath, storage);
    bool counted = false;
    forEachFolder(path, [&](std::string_view prefix, std::size_t depth) {
        count(m_holding, m_holdingDepths, prefix, depth, delta);
        if (prefix.size() == path.size() && count(m_installed, m_installedDepths, prefix, depth, delta)) {
            counted = true;
            mark(m_countedDepths, depth);
        }
        return false;
    });
    return counted;
}

int StayingModules::inside(const std::string& folder) const
{
    std::string storage;
    return countOf(m_holding, normalView(folder, storage));
}

int StayingModules::at(const std::string& path) const
{
    std::string storage;
    return countOf(m_installed, normalView(path, storage));
}

bool StayingModules::holds(const std::string& path) const
{
    std::string storage;
    return forEachFolder(normalView(path, storage), [&](std::string_view prefix, std::size_t depth) {
        return depth < m_countedDepths.size() && m_countedDepths[depth] && countOf(m_installed, prefix) > 0;
    });
}

std::string_view StayingModules::ask(Counts& counts, std::vector<bool>& depths, std::string_view path)
{
    mark(depths, depthOf(path));
    counts.sieve.add(path);
    auto it = counts.map.find(path);
    if (it == counts.map.end())
        it = counts.map.emplace(path, 0).first;
    return it->first;
}

bool StayingModules::count(Counts& counts, const std::vector<bool>& depths, std::string_view path, std::size_t depth,
                           int delta)
{
    if (depth >= depths.size() || !depths[depth] || !counts.sieve.mayHold(path))
        return false;
    const auto it = counts.map.find(path);
    if (it == counts.map.end())
        return false;
    it->second += delta;
    return true;
}

int StayingModules::countOf(const Counts& counts, std::string_view path)
{
    if (!counts.sieve.mayHold(path))
        return 0;
    const auto it = counts.map.find(path);
    return it == counts.map.end() ? 0 : it->second;
}

}  // namespace scripthelper
