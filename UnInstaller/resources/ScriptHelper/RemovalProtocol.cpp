#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"

#include <cstdlib>

#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"

#include <charconv>
#include <cstdio>
#include <vector>

namespace scripthelper {

namespace {

struct KindWord {
    RemovalEvent::Kind kind;
    const char* word;
};

constexpr KindWord kWords[] = {
    {RemovalEvent::Kind::Total, "total"},
    {RemovalEvent::Kind::Module, "module"},
    {RemovalEvent::Kind::Removed, "removed"},
    {RemovalEvent::Kind::Absent, "absent"},
    {RemovalEvent::Kind::Kept, "kept"},
    {RemovalEvent::Kind::WouldRemove, "would-remove"},
    {RemovalEvent::Kind::WouldRemoveFolder, "would-remove-folder"},
    {RemovalEvent::Kind::Recovered, "recovered"},
    {RemovalEvent::Kind::FolderRemoved, "folder-removed"},
    {RemovalEvent::Kind::RegistryUpdated, "registry-updated"},
    {RemovalEvent::Kind::Refused, "refused"},
    {RemovalEvent::Kind::Busy, "busy"},
    {RemovalEvent::Kind::End, "end"},
    {RemovalEvent::Kind::FileKept, "file-kept"},
    {RemovalEvent::Kind::Host, "host"},
    {RemovalEvent::Kind::Installed, "installed"},
    {RemovalEvent::Kind::Updated, "updated"},
    {RemovalEvent::Kind::Skipped, "skipped"},
    {RemovalEvent::Kind::OldRemoved, "old-removed"},
};

const char* wordOf(RemovalEvent::Kind kind)
{
    for (const KindWord& entry : kWords) {
        if (entry.kind == kind)
            return entry.word;
    }
    return "refused";
}

bool hasIdentifier(RemovalEvent::Kind kind)
{
    using Kind = RemovalEvent::Kind;
    return kind == Kind::Removed || kind == Kind::Absent || kind == Kind::Kept || kind == Kind::WouldRemove ||
           kind == Kind::Recovered || kind == Kind::FileKept || kind == Kind::Installed || kind == Kind::Updated ||
           kind == Kind::Skipped || kind == Kind::OldRemoved;
}

/// The code point of a well-formed UTF-8 sequence of length bytes at text[i].
char32_t codePointAt(std::string_view text, std::size_t i, std::size_t length)
{
    const auto byte = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(text[i + k])); };
    switch (length) {
    case 2:
        return ((byte(0) & 0x1f) << 6) | (byte(1) & 0x3f);
    case 3:
        return ((byte(0) & 0x0f) << 12) | ((byte(1) & 0x3f) << 6) | (byte(2) & 0x3f);
    case 4:
        return ((byte(0) & 0x07) << 18) | ((byte(1) & 0x3f) << 12) | ((byte(2) & 0x3f) << 6) | (byte(3) & 0x3f);
    default:
        return byte(0);
    }
}

bool isBidiControl(char32_t c)
{
    return c == 0x061c || c == 0x200e || c == 0x200f || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

std::vector<std::string_view> fields(std::string_view line, std::size_t count)
{
    std::vector<std::string_view> result;
    while (result.size() + 1 < count) {
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos)
            break;
        result.push_back(line.substr(0, blank));
        line.remove_prefix(blank + 1);
    }
    result.push_back(line);
    return result;
}

std::optional<std::size_t> number(std::string_view text)
{
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

RemovalEvent RemovalEvent::total(std::size_t count)
{
    RemovalEvent event;
    event.kind = Kind::Total;
    event.first = count;
    return event;
}

RemovalEvent RemovalEvent::module(std::size_t index, std::size_t count, std::string id)
{
    RemovalEvent event;
    event.kind = Kind::Module;
    event.first = index;
    event.second = count;
    event.id = std::move(id);
    return event;
}

RemovalEvent RemovalEvent::host(std::size_t index, std::size_t count, std::string id, std::string path)
{
    RemovalEvent event = module(index, count, std::move(id));
    event.kind = Kind::Host;
    event.text = std::move(path);
    return event;
}

RemovalEvent RemovalEvent::withId(Kind kind, std::string id, std::string text)
{
    RemovalEvent event;
    event.kind = kind;
    event.id = std::move(id);
    event.text = std::move(text);
    return event;
}

RemovalEvent RemovalEvent::withText(Kind kind, std::string text)
{
    RemovalEvent event;
    event.kind = kind;
    event.text = std::move(text);
    return event;
}

RemovalEvent RemovalEvent::end(std::size_t removed, std::size_t absent, std::size_t kept)
{
    RemovalEvent event;
    event.kind = Kind::End;
    event.first = removed;
    event.second = absent;
    event.third = kept;
    return event;
}

std::string RemovalEvent::line() const
{
    std::string result = wordOf(kind);
    switch (kind) {
    case Kind::Total:
        return result + " " + std::to_string(first);
    case Kind::Module:
        return result + " " + std::to_string(first) + " " + std::to_string(second) + " " + encodeIdentifier(id);
    case Kind::Host:
        return result + " " + std::to_string(first) + " " + std::to_string(second) + " " + encodeIdentifier(id) +
               " " + printable(text.empty() ? std::string_view("-") : std::string_view(text));
    case Kind::End:
        return result + " " + std::to_string(first) + " " + std::to_string(second) + " " + std::to_string(third);
    case Kind::RegistryUpdated:
        return result;
    default:
        break;
    }
    if (hasIdentifier(kind))
        result += " " + encodeIdentifier(id);
    return result + " " + printable(text.empty() ? std::string_view("-") : std::string_view(text));
}

std::optional<RemovalEvent> RemovalEvent::parse(std::string_view line)
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    const std::size_t blank = line.find(' ');
    const std::string_view word = line.substr(0, blank);
    const std::string_view rest = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    const KindWord* found = nullptr;
    for (const KindWord& entry : kWords) {
        if (word == entry.word)
            found = &entry;
    }
    if (found == nullptr)
        return std::nullopt;
    RemovalEvent event;
    event.kind = found->kind;
    switch (event.kind) {
    case Kind::Total: {
        const auto n = number(rest);
        if (!n)
            return std::nullopt;
        event.first = *n;
        return event;
    }
    case Kind::Module: {
        const auto parts = fields(rest, 3);
        const auto index = parts.size() == 3 ? number(parts[0]) : std::nullopt;
        const auto count = parts.size() == 3 ? number(parts[1]) : std::nullopt;
        const auto id = parts.size() == 3 ? decodeIdentifier(parts[2]) : std::nullopt;
        if (!index || !count || !id)
            return std::nullopt;
        event.first = *index;
        event.second = *count;
        event.id = *id;
        return event;
    }
    case Kind::Host: {
        const auto parts = fields(rest, 4);
        const auto index = parts.size() == 4 ? number(parts[0]) : std::nullopt;
        const auto count = parts.size() == 4 ? number(parts[1]) : std::nullopt;
        const auto id = parts.size() == 4 ? decodeIdentifier(parts[2]) : std::nullopt;
        if (!index || !count || !id)
            return std::nullopt;
        event.first = *index;
        event.second = *count;
        event.id = *id;
        event.text = std::string(parts[3]);
        return event;
    }
    case Kind::End: {
        const auto parts = fields(rest, 3);
        const auto a = parts.size() == 3 ? number(parts[0]) : std::nullopt;
        const auto b = parts.size() == 3 ? number(parts[1]) : std::nullopt;
        const auto c = parts.size() == 3 ? number(parts[2]) : std::nullopt;
        if (!a || !b || !c)
            return std::nullopt;
        event.first = *a;
        event.second = *b;
        event.third = *c;
        return event;
    }
    case Kind::RegistryUpdated:
        return rest.empty() && blank == std::string_view::npos ? std::optional<RemovalEvent>(event) : std::nullopt;
    default:
        break;
    }
    if (hasIdentifier(event.kind)) {
        const auto parts = fields(rest, 2);
        const auto id = parts.size() == 2 ? decodeIdentifier(parts[0]) : std::nullopt;
        if (!id)
            return std::nullopt;
        event.id = *id;
        event.text = std::string(parts[1]);
        return event;
    }
    if (blank == std::string_view::npos)
        return std::nullopt;
    event.text = std::string(rest);
    return event;
}

void readProtocolLines(std::FILE* stream, const std::function<void(const std::string&)>& take,
                       const std::function<void(const std::string&)>& refuse)
{
    char* buffer = nullptr;
    std::size_t capacity = 0;
    for (ssize_t length; (length = ::getline(&buffer, &capacity, stream)) > 0;) {
        std::string line(buffer, static_cast<std::size_t>(length));
        if (line.back() == '\n')
            line.pop_back();
        if (line.find('\0') != std::string::npos)
            refuse(line);
        else
            take(line);
    }
    std::free(buffer);
}

std::string encodeIdentifier(std::string_view id)
{
    if (id.empty())
        return "-";
    std::string result;
    result.reserve(id.size());
    for (std::size_t i = 0; i < id.size();) {
        const PathPolicy::Character c = PathPolicy::characterAt(id, i);
        const bool bidi = c.length > 1 && isBidiControl(codePointAt(id, i, c.length));
        const auto byte = static_cast<unsigned char>(id[i]);
        if (c.control || bidi || byte == ' ' || byte == '%' || (id.size() == 1 && byte == '-')) {
            for (std::size_t k = 0; k < c.length; ++k) {
                char escape[4];
                std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(id[i + k]));
                result += escape;
            }
        } else {
            result.append(id, i, c.length);
        }
        i += c.length;
    }
    return result;
}

std::optional<std::string> decodeIdentifier(std::string_view field)
{
    if (field == "-")
        return std::string();
    if (field.empty())
        return std::nullopt;
    std::string result;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            result += field[i];
            continue;
        }
        if (i + 2 >= field.size())
            return std::nullopt;
        const int high = hexValue(field[i + 1]);
        const int low = hexValue(field[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        result += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return result;
}

std::string printable(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const PathPolicy::Character c = PathPolicy::characterAt(text, i);
        if (c.control) {
            result += '?';
        } else if (c.length > 1 && isBidiControl(codePointAt(text, i, c.length))) {
            char escape[12];
            std::snprintf(escape, sizeof escape, "<U+%04X>", static_cast<unsigned>(codePointAt(text, i, c.length)));
            result += escape;
        } else {
            result.append(text, i, c.length);
        }
        i += c.length;
    }
    return result;
}

}  // namespace scripthelper
