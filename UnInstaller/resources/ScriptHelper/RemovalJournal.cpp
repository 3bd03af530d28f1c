#include "UnInstaller/resources/ScriptHelper/RemovalJournal.h"

#include "UnInstaller/resources/ScriptHelper/FileDigest.h"
#include "UnInstaller/resources/ScriptHelper/FileTree.h"
#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"
#include "UnInstaller/resources/ScriptHelper/TrustedFile.h"
#include "platform/foundation/Path.h"

#include <cerrno>
#include <cstdint>
#include <chrono>
#include <cstring>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scripthelper {

namespace {

/// A removal record with its checksum; "remove" is the same record without one, as earlier
/// versions wrote it.
constexpr const char* kRecordWord = "removal";
constexpr const char* kLegacyRecordWord = "remove";
constexpr const char* kInstallWord = "install";

/// The checksum that ends every record: the first 8 hex digits of the SHA-256 of the text before it.
std::string checksumOf(std::string_view text)
{
    return FileDigest::ofBytes(text).substr(0, 8);
}

/// The record's text without its checksum field, or none when the line has no valid checksum: a
/// record torn by an interrupted write never reads as a record.
std::optional<std::string_view> checkedBody(std::string_view line)
{
    const std::size_t blank = line.rfind(' ');
    if (blank == std::string_view::npos)
        return std::nullopt;
    const std::string_view body = line.substr(0, blank);
    if (line.substr(blank + 1) != checksumOf(body))
        return std::nullopt;
    return body;
}
constexpr std::size_t kMaxJournalBytes = 512u * 1024u * 1024u;
constexpr std::size_t kTemporarySuffixLength = 6;

std::string errorText(int error)
{
    return std::strerror(error);
}

/// A file of ours in the folder: regular, one link, owned by the effective user, private.
std::optional<std::string> ownFileProblem(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return "cannot be examined: " + errorText(errno);
    if (!S_ISREG(st.st_mode))
        return std::string("is not a regular file");
    if (st.st_uid != ::geteuid())
        return std::string("belongs to another user");
    if (st.st_nlink != 1)
        return std::string("has other links");
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return std::string("is writable by group or others");
    return std::nullopt;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::optional<RemovalJournal> RemovalJournal::lock(UniqueFd folder, const std::string& folderPath,
                                                   const std::string& registryName, int waitMs, std::string* error,
                                                   bool* busy)
{
    *busy = false;
    RemovalJournal journal;
    journal.m_folderPath = folderPath;
    journal.m_registryName = registryName;
    journal.m_journalName = "." + registryName + ".journal";
    const std::string lockName = "." + registryName + ".lock";
    journal.m_lock = UniqueFd(
        ::openat(folder.get(), lockName.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!journal.m_lock.valid()) {
        *error = "cannot open the lock " + folderPath + "/" + lockName + ": " + errorText(errno);
        return std::nullopt;
    }
    if (auto problem = ownFileProblem(journal.m_lock.get())) {
        *error = "the lock " + folderPath + "/" + lockName + " " + *problem;
        return std::nullopt;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (::flock(journal.m_lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            *error = "cannot lock " + folderPath + "/" + lockName + ": " + errorText(errno);
            return std::nullopt;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            *busy = true;
            *error = "another removal or install is running (it holds " + folderPath + "/" + lockName + ")";
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    journal.m_folder = std::move(folder);
    return journal;
}

std::optional<std::vector<std::string>> RemovalJournal::lines(std::string* error) const
{
    const UniqueFd file(::openat(m_folder.get(), m_journalName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) {
        if (errno != ENOENT)
            *error = "cannot open the journal " + m_journalName + ": " + errorText(errno);
        return std::nullopt;
    }
    if (auto problem = ownFileProblem(file.get())) {
        *error = "the journal " + m_journalName + " " + *problem;
        return std::nullopt;
    }
    const std::optional<std::string> bytes = FileTree::readAll(file.get(), kMaxJournalBytes);
    if (!bytes) {
        *error = "cannot read the journal " + m_journalName;
        return std::nullopt;
    }
    std::vector<std::string> result;
    std::string_view rest = *bytes;
    for (std::size_t end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
        result.emplace_back(rest.substr(0, end));
        rest.remove_prefix(end + 1);
    }
    return result;
}

std::vector<RemovalJournal::Record> RemovalJournal::pending(std::string* error) const
{
    std::vector<Record> records;
    if (auto all = lines(error)) {
        for (const std::string& line : *all) {
            if (auto record = decodeRecord(line))
                records.push_back(std::move(*record));
        }
    }
    return records;
}

std::vector<RemovalJournal::InstallRecord> RemovalJournal::pendingInstalls(std::string* error) const
{
    std::vector<InstallRecord> records;
    if (auto all = lines(error)) {
        for (const std::string& line : *all) {
            if (auto record = decodeInstallRecord(line))
                records.push_back(std::move(*record));
        }
    }
    return records;
}

bool RemovalJournal::append(const std::vector<Record>& records, std::string* error)
{
    if (records.empty())
        return true;
    std::string text;
    for (const Record& record : records)
        text += encodeRecord(record) + "\n";
    return appendText(std::move(text), error);
}

bool RemovalJournal::appendInstall(const InstallRecord& record, std::string* error)
{
    return appendText(encodeInstallRecord(record) + "\n", error);
}

bool RemovalJournal::appendText(std::string text, std::string* error)
{
    const UniqueFd file(::openat(m_folder.get(), m_journalName.c_str(),
                                 O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!file.valid()) {
        *error = "cannot open the journal " + m_journalName + ": " + errorText(errno);
        return false;
    }
    if (auto problem = ownFileProblem(file.get())) {
        *error = "the journal " + m_journalName + " " + *problem;
        return false;
    }
    // A record torn by an interrupted append is cut off before anything follows it.
    struct stat st {};
    char last = '\n';
    if (::fstat(file.get(), &st) == 0 && st.st_size > 0 && ::pread(file.get(), &last, 1, st.st_size - 1) == 1 &&
        last != '\n') {
        off_t end = st.st_size - 1;
        char c = 0;
        while (end > 0 && ::pread(file.get(), &c, 1, end - 1) == 1 && c != '\n')
            --end;
        if (::ftruncate(file.get(), end) != 0) {
            *error = "cannot cut the torn end of the journal " + m_journalName + ": " + errorText(errno);
            return false;
        }
    }
    if (!writeAll(file.get(), text) || ::fsync(file.get()) != 0 || ::fsync(m_folder.get()) != 0) {
        *error = "cannot write the journal " + m_journalName + ": " + errorText(errno);
        return false;
    }
    return true;
}

bool RemovalJournal::discard(std::string* error)
{
    if (::unlinkat(m_folder.get(), m_journalName.c_str(), 0) != 0 && errno != ENOENT) {
        *error = "cannot remove the journal " + m_journalName + ": " + errorText(errno);
        return false;
    }
    ::fsync(m_folder.get());
    return true;
}

std::vector<std::string> RemovalJournal::removeStrayTemporaries()
{
    std::vector<std::string> removed;
    const std::string prefix = "." + m_registryName + ".";
    const int copy = ::openat(m_folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0)
        return removed;
    DIR* dir = ::fdopendir(copy);
    if (dir == nullptr) {
        ::close(copy);
        return removed;
    }
    std::vector<std::string> candidates;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() == prefix.size() + kTemporarySuffixLength && name.compare(0, prefix.size(), prefix) == 0)
            candidates.push_back(name);
    }
    ::closedir(dir);
    for (const std::string& name : candidates) {
        struct stat st {};
        if (::fstatat(m_folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid() && ::unlinkat(m_folder.get(), name.c_str(), 0) == 0)
            removed.push_back(m_folderPath + "/" + name);
    }
    return removed;
}

std::string RemovalJournal::holdNameFor(std::string_view id, std::size_t serial)
{
    std::uint64_t hash = 1469598103934665603ull;
    for (char c : id)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return kHoldPrefix + std::to_string(::getpid()) + "-" + std::to_string(serial) + "-" +
           std::to_string(hash % 1000000007u);
}

std::string RemovalJournal::encodeRecord(const Record& record)
{
    const std::string body = std::string(kRecordWord) + " " + encodeIdentifier(record.id) + " " +
                             encodeIdentifier(record.installPath) + " " + encodeIdentifier(record.holdName);
    return body + " " + checksumOf(body);
}

std::optional<RemovalJournal::Record> RemovalJournal::decodeRecord(std::string_view line)
{
    const std::string checked = std::string(kRecordWord) + " ";
    const std::string legacy = std::string(kLegacyRecordWord) + " ";
    std::string_view fields;
    if (line.rfind(checked, 0) == 0) {
        const auto body = checkedBody(line);
        if (!body)
            return std::nullopt;
        fields = body->substr(checked.size());
    } else if (line.rfind(legacy, 0) == 0) {
        fields = line.substr(legacy.size());
    } else {
        return std::nullopt;
    }
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t blank = fields.find(' ');
        parts.push_back(fields.substr(0, blank));
        if (blank == std::string_view::npos)
            break;
        fields.remove_prefix(blank + 1);
    }
    if (parts.size() != 3)
        return std::nullopt;
    auto id = decodeIdentifier(parts[0]);
    auto installPath = decodeIdentifier(parts[1]);
    auto holdName = decodeIdentifier(parts[2]);
    if (!id || !installPath || !holdName || holdName->empty() || holdName->find('/') != std::string::npos ||
        *holdName == "." || *holdName == "..")
        return std::nullopt;
    return Record{std::move(*id), std::move(*installPath), std::move(*holdName)};
}

std::string RemovalJournal::encodeInstallRecord(const InstallRecord& record)
{
    std::string line = std::string(kInstallWord) + " " + encodeIdentifier(record.id) + " " +
                       encodeIdentifier(record.token) + " " + std::to_string(record.steps.size());
    for (const InstallStep& step : record.steps) {
        line += " ";
        line += static_cast<char>(step.kind);
        line += " " + std::string(step.userSide ? "u" : "") + std::to_string(step.owner) + " " + encodeIdentifier(step.path) + " " +
                encodeIdentifier(step.staging) + " " + encodeIdentifier(step.hold) + " " + (step.existed ? "1" : "0");
    }
    return line + " " + checksumOf(line);
}

std::optional<RemovalJournal::InstallRecord> RemovalJournal::decodeInstallRecord(std::string_view line)
{
    const auto body = checkedBody(line);
    if (!body)
        return std::nullopt;
    line = *body;
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t blank = line.find(' ');
        parts.push_back(line.substr(0, blank));
        if (blank == std::string_view::npos)
            break;
        line.remove_prefix(blank + 1);
    }
    constexpr std::size_t kStepFields = 6;
    if (parts.size() < 4 || parts[0] != kInstallWord)
        return std::nullopt;
    InstallRecord record;
    auto id = decodeIdentifier(parts[1]);
    auto token = decodeIdentifier(parts[2]);
    std::size_t count = 0;
    for (char c : parts[3]) {
        if (c < '0' || c > '9' || count > 100000)
            return std::nullopt;
        count = count * 10 + static_cast<std::size_t>(c - '0');
    }
    if (!id || !token || token->empty() || parts.size() != 4 + count * kStepFields)
        return std::nullopt;
    record.id = std::move(*id);
    record.token = std::move(*token);
    const auto nameOk = [](const std::string& name) {
        return name.empty() || (name.find('/') == std::string::npos && name != "." && name != "..");
    };
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view* f = &parts[4 + i * kStepFields];
        InstallStep step;
        if (f[0].size() != 1 || (f[0][0] != 'f' && f[0][0] != 'd' && f[0][0] != 'o'))
            return std::nullopt;
        step.kind = static_cast<InstallStep::Kind>(f[0][0]);
        unsigned long owner = 0;
        std::string_view ownerField = f[1];
        step.userSide = !ownerField.empty() && ownerField.front() == 'u';
        if (step.userSide)
            ownerField.remove_prefix(1);
        if (ownerField.empty())
            return std::nullopt;
        for (char c : ownerField) {
            if (c < '0' || c > '9' || owner > 0xFFFFFFFFul)
                return std::nullopt;
            owner = owner * 10 + static_cast<unsigned long>(c - '0');
        }
        step.owner = owner;
        auto path = decodeIdentifier(f[2]);
        auto staging = decodeIdentifier(f[3]);
        auto hold = decodeIdentifier(f[4]);
        if (!path || !staging || !hold || path->empty() || (*path)[0] != '/' || !nameOk(*staging) || !nameOk(*hold) ||
            (f[5] != "0" && f[5] != "1"))
            return std::nullopt;
        step.path = std::move(*path);
        step.staging = std::move(*staging);
        step.hold = std::move(*hold);
        step.existed = f[5] == "1";
        record.steps.push_back(std::move(step));
    }
    return record;
}

std::optional<RemovalJournal> RemovalJournal::lockRegistry(const std::string& registryFile, int waitMs,
                                                           std::string* error, bool* busy)
{
    *busy = false;
    std::string why;
    UniqueFd folder = TrustedFile::openFolderOf(registryFile, &why);
    if (!folder.valid()) {
        *error = "registry " + registryFile + " " + why;
        return std::nullopt;
    }
    return lock(std::move(folder), platform::stringByDeletingLastPathComponent(registryFile),
                platform::lastPathComponent(registryFile), waitMs, error, busy);
}

}  // namespace scripthelper
