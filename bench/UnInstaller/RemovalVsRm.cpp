// ScriptHelper's removal against rm -rf, side by side in one run: N modules (a folder holding a
// plug-in folder with three files each) removed by the run's own code from a registry listing
// them, an identical tree removed by rm -rf, and another identical machine by what an
// administrator would write instead (python3: shutil.rmtree of each module's folder, then one
// plistlib read and write of the registry, timed inside python3); then a few modules removed from a large registry
// by the ScriptHelper program against a program of the project that reads and writes that registry once, the
// least a run can do, each a process of its own, in wall and processor time. Each round makes both
// sides' trees in the folder given and times them as a pair, the two in turns first; a ratio is
// the median of the pairs' ratios, printed with its lowest and highest.
//   bench_removal [--dir FOLDER] [--sizes 1000,10000] [--repeat N] [--registry 100000] [--few 10]
// The folder is --dir, else $BENCH_DIR, else /tmp. Its file system decides much of what rm -rf and
// the removal cost: the bench prints it with its mount options and warns when it discards freed
// blocks at once (mount option "discard"), which makes every removal wait on the device.
#include "bench/UnInstaller/ChildProcess.h"

#include "UnInstaller/resources/ScriptHelper/ModuleRegistry.h"
#include "UnInstaller/resources/ScriptHelper/MountTable.h"
#include "UnInstaller/resources/ScriptHelper/RemovalRun.h"
#include "platform/foundation/PlistValue.h"
#include "platform/foundation/PropertyList.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
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

std::string temporaryFolder(const std::string& parent, const char* prefix)
{
    std::string pattern = parent + "/" + prefix + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror(pattern.c_str());
        std::exit(1);
    }
    return pattern;
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

    Machine(const std::string& parent, std::size_t modules, std::size_t onDisk, std::size_t planned)
    {
        dir = temporaryFolder(parent, "bench-removal");
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
        ::sync();
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

    /// Seconds the administrator's script takes to remove the first count modules, timed inside
    /// python3 (its start-up left out, as the run's is).
    double pythonRemoval(std::size_t count) const
    {
        static const char* const kScript = R"(
import os, plistlib, shutil, sys, time
root, count = sys.argv[1], int(sys.argv[2])
start = time.perf_counter()
for i in range(count):
    shutil.rmtree("%s/Library/Printers/Tavix/M%06d" % (root, i))
path = root + "/Library/Preferences/com.tavix.KEPL2.plist"
with open(path, "rb") as f:
    registry = plistlib.load(f)
modules = registry["KEP2_KEY_MODULES"]
for i in range(count):
    modules.pop("8C1F%d" % (1000000 + i), None)
with open(path + ".new", "wb") as f:
    plistlib.dump(registry, f)
    f.flush()
    os.fsync(f.fileno())
os.replace(path + ".new", path)
print("%.6f" % (time.perf_counter() - start))
)";
        const std::string command = "python3 -c '" + std::string(kScript) + "' '" + root + "' " + std::to_string(count);
        FILE* child = ::popen(command.c_str(), "r");
        char line[64] = {};
        const bool read = child != nullptr && std::fgets(line, sizeof line, child) != nullptr;
        const int status = child != nullptr ? ::pclose(child) : -1;
        if (!read || status != 0) {
            std::fprintf(stderr, "the python3 removal failed (status %d)\n", status);
            std::exit(1);
        }
        return std::strtod(line, nullptr);
    }

    /// One removal by the ScriptHelper program, in a process of its own.
    bench::ChildRun removalProgram() const
    {
        const bench::ChildRun run = bench::runChild({SCRIPTHELPER_PROGRAM}, {{"HOME", home}, {"PLATFORM_ROOT", root}});
        if (!run.exitedCleanly) {
            std::fprintf(stderr, "the removal program failed:\n%s", run.output.c_str());
            std::exit(1);
        }
        return run;
    }

    /// One read and one write of the registry, the way a run reads and writes it, by this program
    /// started again in a process of its own.
    bench::ChildRun registryReadAndWrite() const
    {
        const bench::ChildRun run =
            bench::runChild({"/proc/self/exe", "--read-and-write", root + "/Library/Preferences/com.tavix.KEPL2.plist"}, {});
        if (!run.exitedCleanly) {
            std::fprintf(stderr, "the read and write of the registry failed\n");
            std::exit(1);
        }
        return run;
    }
};

/// A tree made like a machine's module folders, for rm -rf.
struct RmTree {
    std::string root;

    RmTree(const std::string& parent, std::size_t count) : root(temporaryFolder(parent, "bench-rm"))
    {
        makeModules(root, 0, count);
        ::sync();
    }
    ~RmTree() { fs::remove_all(root); }

    /// Seconds rm -rf takes on the module folders.
    double rmRf() const
    {
        const std::string folder = root + "/Library/Printers/Tavix";
        const auto start = Clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/rm", "rm", "-rf", "--", folder.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return std::chrono::duration<double>(Clock::now() - start).count();
    }
};

/// Times of one side and of the other, measured in pairs.
struct Pairs {
    std::vector<double> ours;
    std::vector<double> theirs;

    static double median(std::vector<double> values)
    {
        std::sort(values.begin(), values.end());
        const std::size_t n = values.size();
        return n == 0 ? 0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    }
    std::vector<double> ratios() const
    {
        std::vector<double> result;
        for (std::size_t i = 0; i < ours.size(); ++i)
            result.push_back(ours[i] / theirs[i]);
        return result;
    }
    /// "median (lowest-highest)" of the pairs' ratios.
    std::string ratioText() const
    {
        const std::vector<double> r = ratios();
        char text[64];
        std::snprintf(text, sizeof text, "%.2f (%.2f-%.2f)", median(r), *std::min_element(r.begin(), r.end()),
                      *std::max_element(r.begin(), r.end()));
        return text;
    }
};

bool holdsOption(const std::string& options, const std::string& option)
{
    std::stringstream in(options);
    for (std::string item; std::getline(in, item, ',');) {
        if (item == option)
            return true;
    }
    return false;
}

/// Prints the file system that folder lies on, from the mount table's line of the mount that
/// holds it, and warns when it discards freed blocks at once.
void describeFileSystem(const std::string& folder)
{
    struct statx st {};
    if (::statx(AT_FDCWD, folder.c_str(), 0, STATX_MNT_ID, &st) != 0 || (st.stx_mask & STATX_MNT_ID) == 0) {
        std::printf("Folder %s: its mount is unknown\n", folder.c_str());
        return;
    }
    std::string error;
    const std::optional<scripthelper::MountTable> table = scripthelper::MountTable::load(&error);
    const scripthelper::MountTable::Mount* mount = table ? table->byId(st.stx_mnt_id) : nullptr;
    if (mount == nullptr) {
        std::printf("Folder %s: not found in the mount table %s\n", folder.c_str(), error.c_str());
        return;
    }
    std::printf("Folder %s: %s on %s, mounted at %s (%s; %s)\n", folder.c_str(), mount->type.c_str(),
                mount->source.c_str(), mount->mountPoint.c_str(), mount->options.c_str(), mount->superOptions.c_str());
    if (holdsOption(mount->options, "discard") || holdsOption(mount->superOptions, "discard")) {
        std::printf("WARNING: mounted with \"discard\": every removal waits for the device to discard the "
                    "freed blocks, which swamps what is measured. Give a folder on a file system without it "
                    "(see the README).\n");
    }
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

/// The registry read and written once, as a run does, leaving its tree to the end of the process
/// as the removal program does.
int readAndWrite(const std::string& path)
{
    std::string error;
    // Never freed: reachable from here to the end of the process.
    static const auto* const registry =
        new std::optional<scripthelper::ModuleRegistry>(scripthelper::ModuleRegistry::load(path, &error));
    if (!*registry || !(*registry)->save(&error)) {
        std::fprintf(stderr, "registry: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--read-and-write")
        return readAndWrite(argv[2]);
    std::vector<std::size_t> sizes{1000, 10000};
    int repeat = 7;
    std::size_t large = 100000;
    std::size_t few = 10;
    const char* fromEnvironment = std::getenv("BENCH_DIR");
    std::string folder = fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : "/tmp";
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
        else if (option == "--dir")
            folder = argv[i + 1];
    }
    if (!fs::is_directory(folder)) {
        std::fprintf(stderr, "no folder %s\n", folder.c_str());
        return 2;
    }
    describeFileSystem(folder);
    std::fflush(stdout);

    std::map<std::size_t, Pairs> trees;
    std::map<std::size_t, Pairs> scripts;
    Pairs fewFromLarge;
    Pairs fewFromLargeCpu;
    for (int round = 0; round < repeat; ++round) {
        std::fprintf(stderr, "round %d of %d...\n", round + 1, repeat);
        // Each side goes first in every other round, so that neither always meets a cache the
        // other warmed or a write-back the other left.
        const bool oursFirst = round % 2 == 0;
        for (std::size_t n : sizes) {
            const Machine machine(folder, n, n, n);
            const Machine other(folder, n, n, n);
            const RmTree tree(folder, n);
            Pairs& pairs = trees[n];
            Pairs& script = scripts[n];
            double ours = 0;
            if (oursFirst) {
                ours = machine.removal();
                pairs.theirs.push_back(tree.rmRf());
                script.theirs.push_back(other.pythonRemoval(n));
            } else {
                script.theirs.push_back(other.pythonRemoval(n));
                pairs.theirs.push_back(tree.rmRf());
                ours = machine.removal();
            }
            pairs.ours.push_back(ours);
            script.ours.push_back(ours);
        }
        const Machine registryOnly(folder, large, few, few);
        bench::ChildRun ours;
        bench::ChildRun theirs;
        if (oursFirst) {
            ours = registryOnly.removalProgram();
            theirs = registryOnly.registryReadAndWrite();
        } else {
            theirs = registryOnly.registryReadAndWrite();
            ours = registryOnly.removalProgram();
        }
        fewFromLarge.ours.push_back(ours.wallSeconds);
        fewFromLarge.theirs.push_back(theirs.wallSeconds);
        fewFromLargeCpu.ours.push_back(ours.cpuSeconds);
        fewFromLargeCpu.theirs.push_back(theirs.cpuSeconds);
    }

    std::printf("\nRemoval of N modules (3 files each) by ScriptHelper's run, by rm -rf and by python3 (shutil.rmtree\n"
                "per module, one plistlib read and write); ratios are ours over theirs, the median of %d pairs\n"
                "with the lowest and highest in brackets\n",
                repeat);
    std::printf("%10s %12s %12s %22s %12s %22s\n", "modules", "removal s", "rm -rf s", "ratio", "python3 s",
                "ratio");
    for (std::size_t n : sizes) {
        const Pairs& pairs = trees[n];
        const Pairs& script = scripts[n];
        std::printf("%10zu %12.4f %12.4f %22s %12.4f %22s\n", n, Pairs::median(pairs.ours), Pairs::median(pairs.theirs),
                    pairs.ratioText().c_str(), Pairs::median(script.theirs), script.ratioText().c_str());
    }
    if (sizes.size() >= 2) {
        const Pairs& a = trees[sizes.front()];
        const Pairs& b = trees[sizes.back()];
        std::printf("growth %zu -> %zu modules: removal x%.2f, rm -rf x%.2f (modules x%.1f)\n", sizes.front(),
                    sizes.back(), Pairs::median(b.ours) / Pairs::median(a.ours),
                    Pairs::median(b.theirs) / Pairs::median(a.theirs),
                    static_cast<double>(sizes.back()) / static_cast<double>(sizes.front()));
    }
    std::printf("\n%zu modules removed from a %zu-module registry by the ScriptHelper program, against one read and\n"
                "write of that registry by a program of the project, each a process of its own:\n"
                "%12s %12s %12s %22s\n%12s %12.4f %12.4f %22s\n%12s %12.4f %12.4f %22s\n",
                few, large, "", "removal s", "read+write s", "ratio", "wall", Pairs::median(fewFromLarge.ours),
                Pairs::median(fewFromLarge.theirs), fewFromLarge.ratioText().c_str(), "processor",
                Pairs::median(fewFromLargeCpu.ours), Pairs::median(fewFromLargeCpu.theirs),
                fewFromLargeCpu.ratioText().c_str());
    return 0;
}
