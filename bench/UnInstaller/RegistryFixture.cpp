#include "bench/UnInstaller/RegistryFixture.h"

#include "platform/foundation/PlistValue.h"

#include <cstdio>
#include <utility>

namespace bench {

std::string registryBytes(int modules, platform::PlistFormat format, const std::string& machineRoot)
{
    platform::PlistDictionary entries;
    for (int i = 0; i < modules; ++i) {
        // Every module takes as many bytes as any other, as real identifiers and names do, so a
        // larger registry differs from a smaller one in its count of modules alone.
        char number[16];
        std::snprintf(number, sizeof number, "%06d", i);
        char identifier[40];
        std::snprintf(identifier, sizeof identifier, "8C1F%04X-0000-4000-8000-%012X", i & 0xFFFF, i);
        platform::PlistDictionary entry;
        entry.set("ModuleName", platform::PlistValue(std::string("Module") + number + (i % 10 == 9 ? " Other" : " vLX")));
        entry.set("InstallPath", platform::PlistValue(machineRoot + "/Library/Printers/Tavix/Modules/M" + number + "/M" +
                                                      number + ".plugin"));
        entry.set("Version", platform::PlistValue("2.0." + std::to_string(i % 10)));
        entries.set(identifier, platform::PlistValue(std::move(entry)));
    }
    platform::PlistDictionary root;
    root.set("KEP2_KEY_MODULES", platform::PlistValue(std::move(entries)));
    const platform::PlistValue value(std::move(root));
    return format == platform::PlistFormat::Xml ? platform::xmlPropertyList(value)
                                                : platform::binaryPropertyList(value);
}

int listedRows(int modules)
{
    return modules - modules / 10;
}

}  // namespace bench
