// ScriptHelper's plan reader on arbitrary bytes, and the path checks every planned path goes
// through: a plan or a refusal with its reason, never a crash, a hang or a sanitizer report.
#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"
#include "UnInstaller/resources/ScriptHelper/UninstallPlan.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const scripthelper::PathPolicy policy("/fuzz/root", scripthelper::PathPolicy::builtModuleFolders());
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto plan = scripthelper::UninstallPlan::fromBytes(bytes, &error);
    if (!plan) {
        if (error.empty())
            fuzz::fail("a refused plan gives no reason");
        return 0;
    }
    for (const auto& entry : plan->entries()) {
        if (!entry.unInstallPath)
            continue;
        const std::string& path = *entry.unInstallPath;
        if (scripthelper::PathPolicy::syntaxProblem(path))
            continue;
        const std::string normalized = scripthelper::PathPolicy::normalized(path);
        if (normalized.find("/../") != std::string::npos || normalized.ends_with("/.."))
            fuzz::fail("a path with a \"..\" component passed the syntax check");
        if (policy.isInsideModuleFolder(normalized) && normalized.rfind("/fuzz/root/", 0) != 0)
            fuzz::fail("a path outside the machine root passed the module-folder check");
    }
    return 0;
}
