// The removal journal's record reader on arbitrary lines: a record or nothing, and every record
// read writes back to a line that reads as the same record; no hold name ever leaves its folder.
#include "UnInstaller/resources/ScriptHelper/RemovalJournal.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using Journal = scripthelper::RemovalJournal;
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    if (const auto record = Journal::decodeRecord(line)) {
        if (record->holdName.empty() || record->holdName.find('/') != std::string::npos || record->holdName == "." ||
            record->holdName == "..")
            fuzz::fail("a removal record's hold name leaves its folder");
        const auto again = Journal::decodeRecord(Journal::encodeRecord(*record));
        if (!again || again->id != record->id || again->installPath != record->installPath ||
            again->holdName != record->holdName)
            fuzz::fail("a removal record does not read back as itself");
    }
    if (const auto record = Journal::decodeInstallRecord(line)) {
        for (const auto& step : record->steps) {
            if (step.path.empty() || step.path.front() != '/' || step.staging.find('/') != std::string::npos ||
                step.hold.find('/') != std::string::npos)
                fuzz::fail("an install record names a path that is not absolute or a name that leaves its folder");
        }
        const auto again = Journal::decodeInstallRecord(Journal::encodeInstallRecord(*record));
        if (!again || again->id != record->id || again->token != record->token ||
            again->steps.size() != record->steps.size())
            fuzz::fail("an install record does not read back as itself");
    }
    return 0;
}
