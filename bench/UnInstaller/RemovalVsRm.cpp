// ScriptHelper's removal against rm -rf, side by side in one run: N modules (a folder holding a
// plug-in folder with three files each) removed by the run's own code from a registry listing
// them, and an identical tree removed by rm -rf; the ratio for each N and the growth from the
// smallest to the largest N. Then the removal of a few modules from a large registry against one
// read and one write of that registry, the least a run can do. Times are the best of --repeat
// rounds, and each round runs every case in turn.
//   bench_removal [--sizes 1000,10000] [--repeat N] [--registry 100000] [--few 10]
#include "UnInstaller/resources/ScriptHelper/ModuleRegistry.h"
#include "UnInstaller/resources/ScriptHelper/RemovalRun.h"
#include "platform/foundation/PlistValue.h"
#include "platform/foundation/PropertyList.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string moduleFolder(const std::string& root, std::size_t i)
{
    char name[32];
    std::snprintf(name, sizeof name, "/M%06zu", i);
    return root + "/Library/Printers/Tavix" + name;
}

void writeText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

/// count module folders under root, each a plug-in folder with three files.
void makeModules(const std::string& root, std::size_t first, std::size_t count)
{
    for (std::size_t i = first; i < first + count; ++i) {
        const std::string plugin = moduleFolder(root, i) + "/M.plugin";
        fs::create_directories(plugin + "/Contents");
        writeText(plugin + "/Contents/Info.plist", "<plist/>");
        writeText(plugin + "/Contents/M", "binary");
        writeText(plugin + "/Contents/Localizable.strings", "\"a\" = \"b\";");
    }
}

/// A machine root whose registry lists modules modules (those below onDisk exist on disk), and a
/// home whose plan names the first planned of them.
struct Machine {
    std::string dir;
    std::string root;
    std::string home;

    Machine(std::size_t modules, std::size_t onDisk, std::size_t planned)
    {
        char pattern[] = "/tmp/bench-removal-XXXXXX";
        if (::mkdtemp(pattern) == nullptr)
            std::abort();
        dir = pattern;
        root = dir + "/root";
        home = dir + "/home";
        fs::create_directories(root + "/Library/Preferences");
        fs::create_directories(home + "/Library/Preferences");
        makeModules(root, 0, onDisk);
        platform::PlistDictionary list;
        list.reserve(modules);
        for (std::size_t i = 0; i < modules; ++i) {
            platform::PlistDictionary entry;
            entry.set("ModuleName", "Module " + std::to_string(i) + " vLX");
            entry.set("InstallPath", moduleFolder(root, i) + "/M.plugin");
            entry.set("Version", "2.0.1");
            list.set("8C1F" + std::to_string(1000000 + i), platform::PlistValue(std::move(entry)));
        }
        platform::PlistDictionary registry;
        registry.set("KEP2_KEY_MODULES", platform::PlistValue(std::move(list)));
        writeText(root + "/Library/Preferences/com.tavix.KEPL2.plist", platform::xmlPropertyList(registry));
        fs::permissions(root + "/Library/Preferences/com.tavix.KEPL2.plist", fs::perms(0644));
        platform::PlistArray apps;
        for (std::size_t i = 0; i < planned; ++i) {
            platform::PlistDictionary app;
            app.set("PKG", "com.tavix.QVR.Module");
            app.set("UUID", "8C1F" + std::to_string(1000000 + i));
            app.set("UnInstallPath", moduleFolder(root, i));
            apps.push_back(platform::PlistValue(std::move(app)));
        }
        platform::PlistDictionary plan;
        plan.set("UnInstallApps", platform::PlistValue(std::move(apps)));
        writeText(home + "/Library/Preferences/com.tavix.pluginUnInstall.plist", platform::xmlPropertyList(plan));
    }
    ~Machine() { fs::remove_all(dir); }

    /// Seconds one removal run takes, in this process.
    double removal() const
    {
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("PLATFORM_ROOT", root.c_str(), 1);
        std::ostringstream out;
        const auto start = Clock::now();
        const int status = scripthelper::RemovalRun(out, false).run();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (status != scripthelper::kExitDone) {
            std::fprintf(stderr, "removal failed (%d):\n%s", status, out.str().c_str());
            std::exit(1);
        }
        return seconds;
    }

    /// Seconds one read and one write of the registry take, the way a run reads and writes it.
    double registryReadAndWrite() const
    {
        std::string error;
        const auto start = Clock::now();
        auto registry = scripthelper::ModuleRegistry::load(root + "/Library/Preferences/com.tavix.KEPL2.plist", &error);
        if (!registry || !registry->save(&error)) {
            std::fprintf(stderr, "registry: %s\n", error.c_str());
            std::exit(1);
        }
        return std::chrono::duration<double>(Clock::now() - start).count();
    }
};

/// Seconds rm -rf takes on the module folders of a tree made like the machine's.
double rmRf(std::size_t count)
{
    char pattern[] = "/tmp/bench-rm-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        std::abort();
    const std::string root = pattern;
    makeModules(root, 0, count);
    const std::string folder = root + "/Library/Printers/Tavix";
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/rm", "rm", "-rf", "--", folder.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    fs::remove_all(root);
    return seconds;
}

std::vector<std::size_t> parseSizes(const std::string& text)
{
    std::vector<std::size_t> sizes;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        sizes.push_back(std::stoul(item));
    return sizes;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::size_t> sizes{1000, 10000};
    int repeat = 5;
    std::size_t large = 100000;
    std::size_t few = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--sizes")
            sizes = parseSizes(argv[i + 1]);
        else if (option == "--repeat")
            repeat = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--registry")
            large = std::stoul(argv[i + 1]);
        else if (option == "--few")
            few = std::stoul(argv[i + 1]);
    }

    constexpr double kNever = std::numeric_limits<double>::infinity();
    std::map<std::size_t, double> ours;
    std::map<std::size_t, double> theirs;
    double fewRemoved = kNever;
    double readWrite = kNever;
    for (int round = 0; round < repeat; ++round) {
        for (std::size_t n : sizes) {
            const Machine machine(n, n, n);
            ours.try_emplace(n, kNever);
            ours[n] = std::min(ours[n], machine.removal());
            theirs.try_emplace(n, kNever);
            theirs[n] = std::min(theirs[n], rmRf(n));
        }
        const Machine registryOnly(large, few, few);
        readWrite = std::min(readWrite, registryOnly.registryReadAndWrite());
        fewRemoved = std::min(fewRemoved, registryOnly.removal());
    }

    std::printf("Removal of N modules (3 files each) by ScriptHelper's run and by rm -rf, best of %d\n", repeat);
    std::printf("%10s %12s %12s %8s\n", "modules", "removal s", "rm -rf s", "ratio");
    for (std::size_t n : sizes)
        std::printf("%10zu %12.4f %12.4f %8.2f\n", n, ours[n], theirs[n], ours[n] / theirs[n]);
    if (sizes.size() >= 2) {
        const std::size_t a = sizes.front();
        const std::size_t b = sizes.back();
        std::printf("growth %zu -> %zu modules: removal x%.2f, rm -rf x%.2f (modules x%.1f)\n", a, b, ours[b] / ours[a],
                    theirs[b] / theirs[a], static_cast<double>(b) / static_cast<double>(a));
    }
    std::printf("%zu modules removed from a %zu-module registry: %.4f s; one read and write of it: %.4f s; "
                "ratio %.2f\n",
                few, large, fewRemoved, readWrite, fewRemoved / readWrite);
    return 0;
}
