#include "UnInstaller/resources/ScriptHelper/ReceiptRemoval.h"

#include "UnInstaller/resources/ScriptHelper/AsUser.h"
#include "UnInstaller/resources/ScriptHelper/InstallFiles.h"
#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"
#include "platform/foundation/Path.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include <fcntl.h>
#include <unistd.h>

namespace scripthelper {

namespace {

using Item = Receipt::Item;

/// Removes the items, all of one owner, in this process; answers "PATH : REASON" lines for what stays.
std::string removeItems(const std::vector<Item>& items)
{
    std::string kept;
    const auto keep = [&](const std::string& path, const std::string& reason) {
        kept += path + " : " + reason + "\n";
    };
    for (const Item& item : items) {
        std::string error;
        const UniqueFd folder = InstallFiles::openFolder(platform::stringByDeletingLastPathComponent(item.path),
                                                         false, nullptr, &error);
        if (!folder.valid()) {
            if (error.find(std::strerror(ENOENT)) == std::string::npos)
                keep(item.path, error);
            continue;
        }
        const std::string name = platform::lastPathComponent(item.path);
        if (item.kind == Item::Kind::Folder) {
            if (::unlinkat(folder.get(), name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)
                keep(item.path, errno == ENOTEMPTY || errno == EEXIST ? "is not empty, so it stays"
                                                                      : std::strerror(errno));
            continue;
        }
        bool missing = false;
        if (auto change = InstallFiles::changeFrom(item, &missing)) {
            keep(item.path, *change);
            continue;
        }
        if (!missing && ::unlinkat(folder.get(), name.c_str(), 0) != 0 && errno != ENOENT)
            keep(item.path, std::strerror(errno));
    }
    return kept;
}

}  // namespace

void ReceiptRemoval::remove(const std::string& id, const Receipt& receipt, const std::string& installPath,
                            const PathPolicy& policy, const std::function<void(const RemovalEvent&)>& emit)
{
    const auto kept = [&](const std::string& text) { emit(RemovalEvent::withId(RemovalEvent::Kind::FileKept, id, text)); };
    // Files and links before folders; deeper paths before the folders that hold them.
    std::vector<Item> items;
    for (const Item& item : receipt.items) {
        if (PathPolicy::syntaxProblem(item.path)) {
            kept(item.path + " : not a path that may be removed");
            continue;
        }
        if (PathPolicy::isInsideOrSame(item.path, installPath))
            continue;
        const bool rootSide = !item.userSide;
        const std::string normalized = PathPolicy::normalized(item.path);
        if (rootSide && !policy.isInsideModuleFolder(normalized) &&
            std::find(policy.moduleFolders().begin(), policy.moduleFolders().end(), normalized) ==
                policy.moduleFolders().end()) {
            kept(item.path + " : outside the folders where modules may live");
            continue;
        }
        items.push_back(item);
    }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        const bool aFolder = a.kind == Item::Kind::Folder;
        const bool bFolder = b.kind == Item::Kind::Folder;
        if (aFolder != bFolder)
            return !aFolder;
        return PathPolicy::components(a.path).size() > PathPolicy::components(b.path).size();
    });
    // One pass per owner, in order, with that owner's rights.
    std::size_t i = 0;
    while (i < items.size()) {
        std::size_t end = i;
        while (end < items.size() && items[end].owner == items[i].owner &&
               (items[end].kind == Item::Kind::Folder) == (items[i].kind == Item::Kind::Folder))
            ++end;
        const std::vector<Item> group(items.begin() + static_cast<std::ptrdiff_t>(i),
                                      items.begin() + static_cast<std::ptrdiff_t>(end));
        const std::optional<std::string> answer = AsUser::run(group.front().owner, [&] { return removeItems(group); });
        if (!answer) {
            for (const Item& item : group)
                kept(item.path + " : cannot act with the rights of user " + std::to_string(item.owner));
        } else {
            std::string_view rest = *answer;
            for (std::size_t nl = rest.find('\n'); nl != std::string_view::npos; nl = rest.find('\n')) {
                kept(std::string(rest.substr(0, nl)));
                rest.remove_prefix(nl + 1);
            }
        }
        i = end;
    }
}

}  // namespace scripthelper
