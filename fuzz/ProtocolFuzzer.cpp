// The line protocol of the removal and install programs and the command line's JSON strings, on
// arbitrary bytes: lines are read whole, an event written back reads as the same event, and every
// JSON string is valid UTF-8 that a JSON parser takes back.
#include "UnInstaller/common/CommandLineRemoval.h"
#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using scripthelper::RemovalEvent;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::size_t kept = 0;
    if (std::FILE* stream = ::fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r")) {
        scripthelper::readProtocolLines(
            stream,
            [&kept](const std::string& line) {
                kept += line.size() + 1;
                if (const auto event = RemovalEvent::parse(line)) {
                    const auto again = RemovalEvent::parse(event->line());
                    if (!again || again->kind != event->kind || again->id != event->id ||
                        again->first != event->first || again->second != event->second || again->third != event->third)
                        fuzz::fail("an event does not read back as itself");
                }
            },
            [&kept](const std::string& line) { kept += line.size() + 1; });
        std::fclose(stream);
    }
    if (kept < bytes.size())
        fuzz::fail("the line reader lost bytes");

    const std::string json = jsonString(bytes);
    const auto parsed = nlohmann::json::parse(json, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_string())
        fuzz::fail("a JSON string is not valid JSON");
    return 0;
}
