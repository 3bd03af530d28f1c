#pragma once

#include <cstdio>
#include <functional>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace scripthelper {

/// The lines ScriptHelper writes on its output, one per event, which Plugsweep's window and its
/// command line read. Every line is a word, then fields separated by one blank; the identifier
/// field is percent-encoded (blank, "%", controls), the last field (a path or a reason) runs to
/// the end of the line with control and bidirectional-formatting characters escaped.
///
///   total N                   the plan names N entries
///   module I N ID             working on the I-th of N
///   removed ID PATH           gone from disk and from the registry
///   absent ID PATH            was already gone ("-" when the registry does not list it)
///   kept ID REASON            still listed and whole
///   would-remove ID PATH      (dry run) would be removed
///   would-remove-folder PATH  (dry run) a module's folder would be left empty and removed too
///   recovered ID PATH         an interrupted earlier run's removal, finished
///   folder-removed PATH       a module's folder, left empty, removed too
///   registry-updated          the registry was written
///   refused REASON            nothing was done: the plan, the registry or the setting is unusable
///   busy REASON               another removal holds the lock
///   end REMOVED ABSENT KEPT   the last line of a run that got past its lock
///   file-kept ID PATH         a file the module's receipt lists, kept: changed since it was installed
///                             or not removable (the reason follows the path after " : ")
///
/// InstallHelper writes the same kinds of line where they apply, and these of its own:
///   host I N ID PATH          working on the I-th of N plan entries: module ID for the host folder PATH
///   installed ID PATH         module ID placed and registered; PATH is its install path
///   updated ID PATH           module ID was installed already and is replaced in place
///   skipped ID REASON         nothing of module ID was placed (the reason names the folder)
///   old-removed ID PATH       an older copy of the print plug-in, found where the plan allows, removed
///   end INSTALLED UPDATED SKIPPED
struct RemovalEvent {
    enum class Kind {
        Total,
        Module,
        Removed,
        Absent,
        Kept,
        WouldRemove,
        WouldRemoveFolder,
        Recovered,
        FolderRemoved,
        RegistryUpdated,
        Refused,
        Busy,
        End,
        FileKept,
        Host,
        Installed,
        Updated,
        Skipped,
        OldRemoved,
    };

    Kind kind = Kind::Refused;
    /// The module identifier (Module, Host and every kind with an ID field above).
    std::string id;
    /// A path or a reason, as the line has it.
    std::string text;
    /// Total: N; Module and Host: I and N; End: removed, absent, kept (installed, updated, skipped).
    std::size_t first = 0;
    std::size_t second = 0;
    std::size_t third = 0;

    static RemovalEvent total(std::size_t count);
    static RemovalEvent module(std::size_t index, std::size_t count, std::string id);
    static RemovalEvent host(std::size_t index, std::size_t count, std::string id, std::string path);
    static RemovalEvent withId(Kind kind, std::string id, std::string text);
    static RemovalEvent withText(Kind kind, std::string text);
    static RemovalEvent end(std::size_t removed, std::size_t absent, std::size_t kept);

    /// The event as one line, without its newline.
    std::string line() const;
    /// Reads a line (a trailing newline is allowed); none for anything that is not an event.
    static std::optional<RemovalEvent> parse(std::string_view line);
};

/// Reads the lines of a program's output to its end, however long they are, keeping every byte:
/// take gets each line without its newline; a line that holds a NUL byte, which no event holds,
/// goes to refuse whole instead of being cut short or joined to the next.
void readProtocolLines(std::FILE* stream, const std::function<void(const std::string&)>& take,
                       const std::function<void(const std::string&)>& refuse);

/// The identifier encoded for a line: blank, "%", controls and bytes of 0x7f and above stay
/// readable as %XX only where they could break the line; UTF-8 text passes unchanged.
std::string encodeIdentifier(std::string_view id);
/// The reverse of encodeIdentifier; none for a malformed escape.
std::optional<std::string> decodeIdentifier(std::string_view field);
/// Text made safe for one line of output: control characters become "?", and the
/// bidirectional-formatting characters (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to
/// U+2069) are written as "<U+XXXX>" so that they cannot reorder what a terminal shows.
std::string printable(std::string_view text);

/// Exit statuses of ScriptHelper, in the style of sysexits.h.
inline constexpr int kExitDone = 0;         ///< every named module is now absent
inline constexpr int kExitIncomplete = 1;   ///< some were kept
inline constexpr int kExitUsage = 2;        ///< a wrong command line
inline constexpr int kExitPlanUnusable = 65;      ///< EX_DATAERR: the plan cannot be used
inline constexpr int kExitRegistryUnusable = 74;  ///< EX_IOERR: the registry cannot be read or trusted
inline constexpr int kExitUnavailable = 69;       ///< EX_UNAVAILABLE: (install) the payload is missing or unusable
inline constexpr int kExitCannotCreate = 73;      ///< EX_CANTCREAT: (install) the module folder cannot be made
inline constexpr int kExitBusy = 75;              ///< EX_TEMPFAIL: another removal or install is running
inline constexpr int kExitSettingUnusable = 78;   ///< EX_CONFIG: the module-folders setting is unusable

}  // namespace scripthelper
