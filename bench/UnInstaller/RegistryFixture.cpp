#include "bench/UnInstaller/RegistryFixture.h"

#include "platform/foundation/PlistValue.h"

#include <utility>

namespace bench {

std::string registryBytes(int modules, platform::PlistFormat format)
{
    platform::PlistDictionary entries;
    for (int i = 0; i < modules; ++i) {
        platform::PlistDictionary entry;
        const std::string number = std::to_string(i);
        entry.set("ModuleName", platform::PlistValue("Module" + number + (i % 10 == 9 ? " Other" : " vLX")));
        entry.set("InstallPath",
                  platform::PlistValue("/Library/Printers/Tavix/Modules/M" + number + "/M" + number + ".plugin"));
        entry.set("Version", platform::PlistValue("2.0." + number));
        entries.set("8C1F" + number + "-0000-4000-8000-" + number, platform::PlistValue(std::move(entry)));
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
