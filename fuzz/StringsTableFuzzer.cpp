// The strings-table reader on arbitrary bytes: a table or none, never a crash, a hang or a
// sanitizer report.
#include "platform/foundation/StringsTable.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto table = platform::parseStringsTable(bytes);
    std::size_t characters = 0;
    if (table) {
        for (const auto& [key, value] : *table)
            characters += key.size() + value.size();
    }
    volatile std::size_t sink = characters;
    (void)sink;
    return 0;
}
