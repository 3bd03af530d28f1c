// ScriptHelper's registry reader on arbitrary bytes: a registry whose lookups agree with its
// list of modules, or a refusal with its reason; never a crash, a hang or a sanitizer report.
#include "UnInstaller/resources/ScriptHelper/ModuleRegistry.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto registry = scripthelper::ModuleRegistry::fromBytes(bytes, &error);
    if (!registry) {
        if (error.empty())
            fuzz::fail("a refused registry gives no reason");
        return 0;
    }
    const auto modules = registry->modules();
    for (const auto& module : modules) {
        if (!registry->contains(module.uuid))
            fuzz::fail("a listed module is not in the registry");
        if (registry->installPath(module.uuid) != module.installPath)
            fuzz::fail("a module's install path differs between the list and the lookup");
    }
    if (!modules.empty()) {
        registry->removeModule(modules.front().uuid);
        if (registry->contains(modules.front().uuid))
            fuzz::fail("a removed module is still in the registry");
    }
    return 0;
}
