#include "UnInstaller/resources/ScriptHelper/MountTable.h"

#include "UnInstaller/resources/ScriptHelper/FileTree.h"
#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"
#include "UnInstaller/resources/ScriptHelper/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include <fcntl.h>

namespace scripthelper {

namespace {

/// A field with the kernel's octal escapes (\040 for a blank, \134 for a backslash) decoded.
std::string unescaped(std::string_view field)
{
    std::string text;
    text.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t at) { return field[at] >= '0' && field[at] <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            text += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

std::vector<std::string_view> fieldsOf(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(' ', at);
        if (start == std::string_view::npos)
            break;
        const std::size_t end = std::min(line.find(' ', start), line.size());
        fields.push_back(line.substr(start, end - start));
        at = end;
    }
    return fields;
}

/// A line: ID PARENT MAJOR:MINOR ROOT MOUNT-POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER-OPTIONS
std::optional<MountTable::Mount> mountOf(std::string_view line)
{
    const std::vector<std::string_view> fields = fieldsOf(line);
    const auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
    if (fields.size() < 6 || dash == fields.end() || dash - fields.begin() < 6 || fields.end() - dash < 4)
        return std::nullopt;
    MountTable::Mount mount;
    const std::string_view id = fields[0];
    if (std::from_chars(id.data(), id.data() + id.size(), mount.id).ec != std::errc() ||
        fields[2].find(':') == std::string_view::npos || fields[2].find(':') == 0)
        return std::nullopt;
    mount.device = std::string(fields[2]);
    mount.root = unescaped(fields[3]);
    mount.mountPoint = unescaped(fields[4]);
    mount.options = std::string(fields[5]);
    mount.type = unescaped(*(dash + 1));
    mount.source = unescaped(*(dash + 2));
    mount.superOptions = std::string(*(dash + 3));
    if (mount.root.empty() || mount.root[0] != '/' || mount.mountPoint.empty() || mount.mountPoint[0] != '/')
        return std::nullopt;
    return mount;
}

}  // namespace

MountTable MountTable::parse(std::string_view text)
{
    MountTable table;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        if (auto mount = mountOf(text.substr(at, end - at)))
            table.m_mounts.push_back(std::move(*mount));
        at = end + 1;
    }
    return table;
}

std::optional<MountTable> MountTable::load(std::string* error)
{
    static const char* const kPath = "/proc/self/mountinfo";
    // The file is made as it is read, so its size says nothing; a table is far below this bound.
    constexpr std::size_t kMaxBytes = 16u << 20;
    const UniqueFd fd(::open(kPath, O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    errno = 0;
    const std::optional<std::string> text = fd.valid() ? FileTree::readAll(fd.get(), kMaxBytes) : std::nullopt;
    if (text)
        return parse(*text);
    *error = std::string("cannot read the mount table ") + kPath + ": " +
             (errno != 0 ? std::strerror(errno) : "larger than 16 MiB");
    return std::nullopt;
}

const MountTable::Mount* MountTable::byId(std::uint64_t id) const
{
    const auto it = std::find_if(m_mounts.begin(), m_mounts.end(), [&](const Mount& m) { return m.id == id; });
    return it != m_mounts.end() ? &*it : nullptr;
}

std::optional<std::string> MountTable::shownElsewhere(std::uint64_t mountId, const std::string& path) const
{
    const Mount* own = byId(mountId);
    if (own == nullptr || !PathPolicy::isInsideOrSame(path, own->mountPoint))
        return std::nullopt;
    // The folder as its file system names it: the mount's root, then the path below the mount point.
    const std::string below = own->mountPoint == "/" ? path : path.substr(own->mountPoint.size());
    const std::string folder = PathPolicy::normalized(own->root + "/" + below);
    for (const Mount& mount : m_mounts) {
        if (mount.id != own->id && mount.device == own->device && PathPolicy::isInsideOrSame(mount.root, folder))
            return mount.mountPoint;
    }
    return std::nullopt;
}

}  // namespace scripthelper
