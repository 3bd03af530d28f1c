// Peak memory per byte of file for binary lists whose root array holds one-byte references to
// one shared object (8-byte data, true, a short string), read whole, as ScriptHelper reads a
// plan and as Plugsweep reads the registry. Each read runs in a child process of its own, whose maxrss
// (getrusage) less that of a child that reads nothing is the read's cost.
//
//     bench_shared_reference_memory [MiB...]        (8 32 64 by default)

#include "UnInstaller/common/RemovableModules.h"
#include "UnInstaller/resources/ScriptHelper/RemovalRun.h"
#include "UnInstaller/resources/ScriptHelper/UninstallPlan.h"
#include "platform/foundation/PropertyList.h"
#include "tests/platform/foundation/SharedReferenceFiles.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using foundation_test::SharedObject;

enum class Reader { Nothing, Whole, Plan, Registry };

// The child's maxrss in bytes, or -1.
long long peakOf(Reader reader, const std::string& path)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (reader == Reader::Plan) {
            std::ifstream in(path, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::string error;
            // As ScriptHelper reads it beside a registry of fewer modules than the least it allows.
            (void)scripthelper::UninstallPlan::fromBytes(bytes, &error, scripthelper::RemovalRun::kMinPlanEntries);
        } else if (reader == Reader::Whole) {
            (void)platform::readPropertyListFile(path);
        } else if (reader == Reader::Registry) {
            (void)RemovableModules::readRegistry(nullptr);
        }
        std::_Exit(0);
    }
    int status = 0;
    struct rusage usage {};
    if (::wait4(child, &status, 0, &usage) != child)
        return -1;
    return static_cast<long long>(usage.ru_maxrss) * 1024;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::size_t> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::strtoul(argv[i], nullptr, 10));
    if (sizes.empty())
        sizes = {8, 32, 64};
    char folder[] = "/tmp/shared-reference-memory-XXXXXX";
    if (!::mkdtemp(folder))
        return 1;
    // The registry is read from the machine-wide path under the root seam.
    const std::string root = folder;
    const std::string registry = root + RemovableModules::kRegistryPath;
    ::setenv("PLATFORM_ROOT", root.c_str(), 1);
    std::filesystem::create_directories(root + "/Library/Preferences");
    const long long base = peakOf(Reader::Nothing, registry);
    std::printf("%-6s %-10s %-14s %-9s %12s %14s\n", "MiB", "object", "array", "reader", "peak MiB",
                "bytes per byte");
    const std::pair<const char*, SharedObject> objects[] = {
        {"data", SharedObject::EightByteData}, {"true", SharedObject::True}, {"string", SharedObject::ShortString}};
    for (const std::size_t mib : sizes) {
        // Just under the limit at 64 MiB, so that the file is read rather than refused for its size.
        const std::size_t size = std::min<std::size_t>(mib << 20, platform::kMaxPropertyListBytes - 256);
        for (const auto& [name, object] : objects) {
            // The array as the root, then as a plan's UnInstallApps list.
            for (const std::string& rootKey : {std::string(), std::string("UnInstallApps")}) {
                {
                    std::ofstream out(registry, std::ios::binary | std::ios::trunc);
                    const std::string file = foundation_test::sharedReferenceFile(size, object, rootKey);
                    out.write(file.data(), static_cast<std::streamsize>(file.size()));
                }
                for (const auto& [readerName, reader] :
                     {std::pair{"whole", Reader::Whole}, std::pair{"plan", Reader::Plan},
                      std::pair{"registry", Reader::Registry}}) {
                    if (!rootKey.empty() && reader == Reader::Registry)
                        continue;
                    const long long peak = peakOf(reader, registry) - base;
                    std::printf("%-6zu %-10s %-14s %-9s %12.1f %14.1f\n", mib, name,
                                rootKey.empty() ? "root array" : "UnInstallApps", readerName, peak / 1048576.0,
                                static_cast<double>(peak) / static_cast<double>(size));
                    std::fflush(stdout);
                }
            }
        }
    }
    std::filesystem::remove_all(root);
    return 0;
}
