#include "platform/foundation/PropertyList.h"

#include "platform/foundation/FileManager.h"
#include "platform/foundation/Path.h"
#include "platform/foundation/PlistBinaryReader.h"
#include "platform/foundation/PlistBinaryWriter.h"
#include "platform/foundation/PlistXmlReader.h"
#include "platform/foundation/PlistXmlWriter.h"
#include "platform/foundation/WorkingMemory.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

mode_t defaultFileMode()
{
    // The process umask, read without changing it (umask() would race other threads).
    mode_t mask = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            unsigned value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value & 0777);
                break;
            }
        }
        std::fclose(status);
    }
    return static_cast<mode_t>(0666 & ~mask);
}

bool writeBytesInPlace(const std::string& path, std::string_view bytes)
{
    if (path.empty())
        return false;
    // Root never writes through a link: a file it truncates is the file at that path.
    const int noFollow = ::geteuid() == 0 ? O_NOFOLLOW : 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | noFollow, 0666);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, bytes);
    const bool closed = ::close(fd) == 0;
    return written && closed;
}

bool writeBytesAtomically(const std::string& path, std::string_view bytes)
{
    if (path.empty() || path.back() == '/')
        return false;
    std::string folder = stringByDeletingLastPathComponent(path);
    if (folder.empty())
        folder.assign(1, '.');
    const std::string name = lastPathComponent(path);
    std::string pattern(1, '.');
    pattern.append(name).append(".XXXXXX");
    std::string temp = stringByAppendingPathComponent(folder, pattern);
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    struct stat existing {};
    mode_t mode = defaultFileMode();
    if (::lstat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        mode = existing.st_mode & 07777;
    bool ok = ::fchmod(fd, mode) == 0;
    ok = ok && writeAll(fd, bytes);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

// Reads an open file of size bytes into room: the count read, or -1 on an error or when the file
// has grown past size since it was opened.
long readNoMoreThan(int fd, char* room, std::size_t size)
{
    const long got = readFully(fd, room, size);
    char extra = 0;
    return got < 0 || readFully(fd, &extra, 1) != 0 ? -1 : got;
}

// Why a file that contentsOfRegularFile refused was not read: too large, or not readable at all.
PlistReadFailure unreadFileFailure(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)
        && static_cast<unsigned long long>(info.st_size) > kMaxPropertyListBytes)
        return PlistReadFailure::TooLarge;
    return PlistReadFailure::Unreadable;
}

// root in the given form, or empty when the writer refuses it or its reader would refuse the
// bytes all the same. The check reads the bytes with a selection that builds nothing, so it costs
// a pass over them and no copy of the values.
std::string checkedBytes(const PlistValue& root, PlistFormat format, PlistWriteFailure& why)
{
    std::string bytes = format == PlistFormat::Binary ? binaryPropertyList(root, &why) : xmlPropertyList(root, &why);
    if (why != PlistWriteFailure::None)
        return std::string();
    static const PlistSelection kNothing = PlistSelection::none().onlyDictionaries();
    if (!parsePropertyList(bytes, nullptr, nullptr, &kNothing)) {
        why = PlistWriteFailure::NotReadable;
        bytes.clear();
    }
    return bytes;
}

}  // namespace

std::string_view describePlistReadFailure(PlistReadFailure failure)
{
    switch (failure) {
    case PlistReadFailure::None: return "read";
    case PlistReadFailure::Unreadable: return "missing or unreadable";
    case PlistReadFailure::TooLarge: return "larger than 64 MiB";
    case PlistReadFailure::TooDeep: return "nested more than 256 levels deep";
    case PlistReadFailure::TooExpansive: return "expanding far beyond its own size";
    case PlistReadFailure::Malformed: return "not a well-formed property list";
    }
    return "not read";
}

std::string_view describePlistWriteFailure(PlistWriteFailure failure)
{
    switch (failure) {
    case PlistWriteFailure::None: return "written";
    case PlistWriteFailure::NotRepresentable: return "holding text or a date that the form cannot hold";
    case PlistWriteFailure::TooLarge: return "larger than 64 MiB when written";
    case PlistWriteFailure::TooDeep: return "nested more than 256 levels deep";
    case PlistWriteFailure::NotReadable: return "not readable once written";
    case PlistWriteFailure::Unwritable: return "not writable to its file";
    }
    return "not written";
}

std::optional<PlistValue> parsePropertyList(std::string_view bytes, PlistFormat* formatOut, PlistReadFailure* failure,
                                            const PlistSelection* selection)
{
    PlistReadFailure ignored = PlistReadFailure::None;
    PlistReadFailure& why = failure ? *failure : ignored;
    why = PlistReadFailure::None;
    try {
        if (bytes.size() > kMaxPropertyListBytes) {
            why = PlistReadFailure::TooLarge;
            return std::nullopt;
        }
        if (bytes.empty()) {
            why = PlistReadFailure::Malformed;
            return std::nullopt;
        }
        const bool binary = bytes.substr(0, 6) == "bplist";
        std::optional<PlistValue> value;
        if (binary) {
            plist::PlistBinaryReader reader(bytes, selection);
            value = reader.read();
            why = reader.failure();
        } else {
            value = plist::PlistXmlReader::read(bytes, selection, &why);
        }
        if (value && formatOut)
            *formatOut = binary ? PlistFormat::Binary : PlistFormat::Xml;
        return value;
    } catch (...) {
        why = PlistReadFailure::TooExpansive;  // out of memory
        return std::nullopt;
    }
}

std::optional<PlistValue> parsePropertyList(std::string_view bytes, PlistFormat* formatOut)
{
    return parsePropertyList(bytes, formatOut, nullptr);
}

std::optional<PlistValue> readPropertyListFile(const std::string& path, PlistFormat* formatOut,
                                               PlistReadFailure* failure, const PlistSelection* selection)
{
    PlistReadFailure ignored = PlistReadFailure::None;
    PlistReadFailure& why = failure ? *failure : ignored;
    why = PlistReadFailure::None;
    std::size_t size = 0;
    const int fd = openRegularFile(path, kMaxPropertyListBytes, &size);
    if (fd < 0) {
        why = unreadFileFailure(path);
        return std::nullopt;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    try {
        // The first bytes tell the form. The binary form is parsed from a copy of the file; the
        // XML form is read straight into the parser's buffer and parsed in one pass that hands
        // back what it has parsed. A file that grows past the size it had when opened is refused.
        char head[6] = {};
        const long headBytes = ::pread(fd, head, sizeof head, 0);
        const bool binary = headBytes == static_cast<long>(sizeof head) && std::string_view(head, sizeof head) == "bplist";
        if (binary) {
            // The copy's pages are made in one call, not faulted in one by one as the file is
            // read into it.
            void* mapped = mapWorkingMemory(size, true);
            if (!mapped) {
                why = size == 0 ? PlistReadFailure::Malformed : PlistReadFailure::TooExpansive;
                return std::nullopt;
            }
            struct Unmapper {
                void* at;
                std::size_t size;
                ~Unmapper() { unmapWorkingMemory(at, size); }
            } unmapper{mapped, size};
            char* bytes = static_cast<char*>(mapped);
            const long got = readNoMoreThan(fd, bytes, size);
            if (got < 0) {
                why = PlistReadFailure::Unreadable;
                return std::nullopt;
            }
            return parsePropertyList(std::string_view(bytes, static_cast<std::size_t>(got)), formatOut, &why, selection);
        }
        if (size == 0) {
            why = PlistReadFailure::Malformed;
            return std::nullopt;
        }
        plist::PlistXmlReader reader(size, selection);
        char* room = reader.buffer(size);
        if (!room) {
            why = PlistReadFailure::TooExpansive;
            return std::nullopt;
        }
        const long got = readNoMoreThan(fd, room, size);
        if (got < 0) {
            why = PlistReadFailure::Unreadable;
            return std::nullopt;
        }
        reader.parseWholeBuffer(room, static_cast<std::size_t>(got));
        std::optional<PlistValue> value = reader.finish();
        why = reader.failure();
        if (value && formatOut)
            *formatOut = PlistFormat::Xml;
        return value;
    } catch (...) {
        why = PlistReadFailure::TooExpansive;  // out of memory
        return std::nullopt;
    }
}

std::optional<PlistValue> readPropertyListFile(const std::string& path, PlistFormat* formatOut)
{
    return readPropertyListFile(path, formatOut, nullptr);
}

std::optional<PlistDictionary> dictionaryWithContentsOfFile(const std::string& path)
{
    auto value = readPropertyListFile(path);
    if (!value)
        return std::nullopt;
    PlistDictionary* dict = value->asDictionary();
    if (!dict)
        return std::nullopt;
    return std::move(*dict);
}

std::string xmlPropertyList(const PlistValue& root, PlistWriteFailure* failure)
{
    plist::PlistXmlWriter writer;
    std::optional<std::string> bytes = writer.write(root);
    if (failure)
        *failure = writer.failure();
    return bytes ? std::move(*bytes) : std::string();
}

std::string binaryPropertyList(const PlistValue& root, PlistWriteFailure* failure)
{
    plist::PlistBinaryWriter writer;
    std::optional<std::string> bytes = writer.write(root);
    if (failure)
        *failure = writer.failure();
    return bytes ? std::move(*bytes) : std::string();
}

bool writeToFile(const PlistValue& root, const std::string& path, bool atomically)
{
    try {
        PlistWriteFailure why = PlistWriteFailure::None;
        const std::string bytes = checkedBytes(root, PlistFormat::Xml, why);
        if (bytes.empty())
            return false;
        return atomically ? writeBytesAtomically(path, bytes) : writeBytesInPlace(path, bytes);
    } catch (...) {
        return false;
    }
}

bool writePropertyListAtomically(const PlistValue& root, const std::string& path, PlistFormat format,
                                 PlistWriteFailure* failure)
{
    PlistWriteFailure ignored = PlistWriteFailure::None;
    PlistWriteFailure& why = failure ? *failure : ignored;
    try {
        const std::string bytes = checkedBytes(root, format, why);
        if (bytes.empty())
            return false;
        if (!writeBytesAtomically(path, bytes)) {
            why = PlistWriteFailure::Unwritable;
            return false;
        }
        return true;
    } catch (...) {
        why = PlistWriteFailure::TooLarge;  // out of memory
        return false;
    }
}

}  // namespace platform
