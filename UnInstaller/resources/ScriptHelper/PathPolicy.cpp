#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"

#include <algorithm>

#ifndef SCRIPTHELPER_MODULE_FOLDERS
#define SCRIPTHELPER_MODULE_FOLDERS "/Library/Printers/Tavix"
#endif

namespace scripthelper {

namespace {

void addUnique(std::vector<std::string>& list, std::string path)
{
    if (std::find(list.begin(), list.end(), path) == list.end())
        list.push_back(std::move(path));
}

// The fields of text between separators, empty ones left out.
std::vector<std::string> nonEmptyFields(std::string_view text, char separator)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > start)
            fields.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

/// The non-empty components of a path, one after another, without copying them.
class Components {
public:
    explicit Components(std::string_view path) : m_path(path) {}

    /// The next component; false when there is none left.
    bool next(std::string_view* part)
    {
        while (m_at < m_path.size() && m_path[m_at] == '/')
            ++m_at;
        if (m_at >= m_path.size())
            return false;
        const std::size_t end = std::min(m_path.find('/', m_at), m_path.size());
        *part = m_path.substr(m_at, end - m_at);
        m_at = end;
        return true;
    }

private:
    std::string_view m_path;
    std::size_t m_at = 0;
};

}  // namespace

PathPolicy::PathPolicy(const std::string& machineRoot, const std::vector<std::string>& moduleFolders)
{
    const std::string root = normalized(machineRoot);
    for (const std::string& folder : moduleFolders) {
        if (syntaxProblem(folder))
            continue;
        addUnique(m_allowed, root.empty() || root == "/" ? normalized(folder) : normalized(root + folder));
    }
}

std::vector<std::string> PathPolicy::builtModuleFolders()
{
    return nonEmptyFields(SCRIPTHELPER_MODULE_FOLDERS, ':');
}

std::vector<std::string> PathPolicy::components(std::string_view path)
{
    return nonEmptyFields(path, '/');
}

std::string PathPolicy::normalized(std::string_view path)
{
    std::string result = path.empty() || path[0] != '/' ? std::string() : std::string("/");
    result.reserve(path.size());
    Components parts(path);
    for (std::string_view part; parts.next(&part);) {
        if (!result.empty() && result.back() != '/')
            result += '/';
        result += part;
    }
    return result;
}

std::optional<std::string> PathPolicy::syntaxProblem(std::string_view path)
{
    if (path.empty())
        return "is empty";
    if (holdsControlCharacter(path))
        return "holds a NUL or control character";
    if (path[0] != '/')
        return "is not an absolute path";
    Components parts(path);
    std::string_view part;
    if (!parts.next(&part))
        return "is the root folder";
    do {
        if (part == "." || part == "..")
            return "has a \".\" or \"..\" component";
    } while (parts.next(&part));
    return std::nullopt;
}

bool PathPolicy::isInsideOrSame(std::string_view path, std::string_view folder)
{
    if (path.empty() || folder.empty() || (path[0] == '/') != (folder[0] == '/'))
        return false;
    Components inner(path);
    Components outer(folder);
    for (std::string_view outerPart; outer.next(&outerPart);) {
        std::string_view innerPart;
        if (!inner.next(&innerPart) || innerPart != outerPart)
            return false;
    }
    return true;
}

PathPolicy::Character PathPolicy::characterAt(std::string_view text, std::size_t i)
{
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80)
        return {1, byte < 0x20 || byte == 0x7f};
    // A well-formed UTF-8 sequence is a control character only when it encodes U+0080 to U+009F;
    // a byte outside any such sequence counts as the C1 control of its value.
    const std::size_t length = byte >= 0xf0 && byte <= 0xf4 ? 4 : byte >= 0xe0 && byte < 0xf0 ? 3
                             : byte >= 0xc2 && byte < 0xe0 ? 2 : 0;
    bool wellFormed = length > 0 && i + length <= text.size();
    for (std::size_t k = 1; wellFormed && k < length; ++k)
        wellFormed = (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
    if (!wellFormed)
        return {1, byte <= 0x9f};
    return {length, byte == 0xc2 && static_cast<unsigned char>(text[i + 1]) <= 0x9f};
}

bool PathPolicy::holdsControlCharacter(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        // Printable ASCII, most of every path, is passed over without decoding.
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7f) {
            ++i;
            continue;
        }
        const Character c = characterAt(text, i);
        if (c.control)
            return true;
        i += c.length;
    }
    return false;
}

std::optional<std::string> PathPolicy::placeProblem(std::string_view path) const
{
    // Normalized only when it is not in normal form already (absolute, no empty component).
    std::string storage;
    std::string_view candidate = path;
    if (path.empty() || path[0] != '/' || path.find("//") != std::string_view::npos ||
        (path.size() > 1 && path.back() == '/')) {
        storage = normalized(path);
        candidate = storage;
    }
    for (const std::string& folder : m_allowed) {
        if (candidate != folder && isInsideOrSame(candidate, folder))
            return std::nullopt;
    }
    return "is outside the folders where modules may live";
}

}  // namespace scripthelper
