// Plugsweep's registry against python3's plistlib, side by side on the same files: registries of
// 1,000 to 200,000 modules in both forms, made in a temporary folder. For each file it measures
//  - the data path: our read of the registry and the rows built from it, by the controller's own
//    functions, in a child process of its own; python3's plistlib.load plus the "vLX" filter;
//  - the start-up: the built Plugsweep program run offscreen to its listed window and quit, and
//    the whole python3 run;
//  - for the XML form, the least any reader of it does: the file read whole and walked by expat
//    with handlers that only count the dictionaries, against which the data path is compared;
// with the peak resident memory of each child (wait4), the ratios and the growth from 10,000 to
// 100,000 and from 100,000 to 200,000 modules. Times are the best of --repeat rounds, and each
// round runs every registry in turn.
//   bench_registry_vs_python [--sizes 1000,10000,...] [--repeat N] [--python PROGRAM (/usr/bin/python3)]
//                            [--plugsweep PROGRAM | --no-startup]
#include "UnInstaller/common/Controller.h"
#include "bench/UnInstaller/ChildProcess.h"
#include "bench/UnInstaller/RegistryFixture.h"
#include "platform/foundation/PropertyList.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <expat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using platform::PlistFormat;

constexpr const char* kRegistryFolder = "/Library/Preferences";
constexpr const char* kRegistryName = "/com.tavix.KEPL2.plist";

/// Python's side: load the file, keep the entries the uninstaller lists, print the row count and
/// the seconds the load and the filter took.
constexpr const char* kPythonLoadAndFilter = R"(
import plistlib, sys, time
start = time.perf_counter()
with open(sys.argv[1], "rb") as f:
    root = plistlib.load(f)
modules = root.get("KEP2_KEY_MODULES") if isinstance(root, dict) else None
rows = []
if isinstance(modules, dict):
    for uuid, entry in modules.items():
        if not isinstance(entry, dict):
            continue
        name = entry.get("ModuleName")
        path = entry.get("InstallPath")
        if isinstance(name, str) and "vLX" in name and isinstance(path, str):
            rows.append((name, uuid, path))
print(len(rows), time.perf_counter() - start)
)";

struct Options {
    std::vector<int> sizes{1000, 10000, 100000, 200000};
    int repeat = 3;
    std::string python = "/usr/bin/python3";
    std::string plugsweep = PLUGSWEEP_PROGRAM;
    bool startup = true;
};

/// The best time and the highest peak memory over repeated runs; failed once any run failed.
struct Measure {
    double seconds = std::numeric_limits<double>::infinity();
    double peakMiB = 0;
    bool failed = false;

    void add(double runSeconds, double runPeakMiB)
    {
        seconds = std::min(seconds, runSeconds);
        peakMiB = std::max(peakMiB, runPeakMiB);
    }
    bool valid() const { return !failed && seconds < std::numeric_limits<double>::infinity(); }
};

struct Row {
    double fileMiB = 0;
    Measure oursData;
    Measure pythonData;
    Measure oursStartup;
    Measure pythonWhole;
    Measure expatWalk;  // the XML form's only
    Measure oursStartupCpu;
    Measure pythonWholeCpu;
};

/// The data path as the window runs it, in this process: reads the registry under root, builds
/// the rows, and prints the row count and the seconds it took.
int runDataPath(const std::string& root)
{
    ::setenv("PLATFORM_ROOT", root.c_str(), 1);
    const auto start = std::chrono::steady_clock::now();
    Controller controller;
    controller.setM_kepl2Dict(controller.getKEPL2Dict());
    controller.makeSelectListView();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::size_t rows = controller.arrayCheck() ? controller.arrayCheck()->size() : 0;
    std::printf("%zu %.6f\n", rows, seconds);
    return 0;
}

/// The bare expat walk of a registry file, in this process: reads it whole, parses it with
/// handlers that count the dictionaries and nothing else, and prints the count of module
/// dictionaries and the seconds it took.
int runExpatWalk(const std::string& file)
{
    const auto start = std::chrono::steady_clock::now();
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    XML_Parser parser = XML_ParserCreate(nullptr);
    long dictionaries = 0;
    XML_SetUserData(parser, &dictionaries);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char**) {
            if (std::strcmp(name, "dict") == 0)
                ++*static_cast<long*>(data);
        },
        [](void*, const XML_Char*) {});
    XML_SetCharacterDataHandler(parser, [](void*, const XML_Char*, int) {});
    const bool parsed = XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The root and the module dictionary hold the modules' dictionaries; the listed ones are rows.
    std::printf("%ld %.6f\n", parsed ? bench::listedRows(static_cast<int>(dictionaries - 2)) : -1L, seconds);
    return parsed ? 0 : 1;
}

/// Parses "ROWS SECONDS" as the children print it; false unless ROWS is expected.
bool parseRowsAndSeconds(const std::string& output, int expectedRows, double* seconds)
{
    std::istringstream in(output);
    long rows = -1;
    in >> rows >> *seconds;
    return in && rows == expectedRows;
}

std::string selfProgram()
{
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

std::string formatName(PlistFormat format)
{
    return format == PlistFormat::Xml ? "xml" : "binary";
}

bool parseOptions(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--sizes" && hasValue) {
            options->sizes.clear();
            std::istringstream in(argv[++i]);
            for (std::string size; std::getline(in, size, ',');)
                options->sizes.push_back(std::atoi(size.c_str()));
        } else if (argument == "--repeat" && hasValue) {
            options->repeat = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--python" && hasValue) {
            options->python = argv[++i];
        } else if (argument == "--plugsweep" && hasValue) {
            options->plugsweep = argv[++i];
        } else if (argument == "--no-startup") {
            options->startup = false;
        } else {
            return false;
        }
    }
    return std::all_of(options->sizes.begin(), options->sizes.end(), [](int size) { return size > 0; });
}

class Comparison {
public:
    Comparison(Options options, std::string folder) : m_options(std::move(options)), m_folder(std::move(folder)) {}

    bool run()
    {
        m_self = selfProgram();
        if (m_options.startup && !fs::exists(m_options.plugsweep)) {
            std::fprintf(stderr, "no Plugsweep program at %s: start-up not measured\n", m_options.plugsweep.c_str());
            m_options.startup = false;
        }
        const std::string home = m_folder + "/home";
        fs::create_directories(home + kRegistryFolder);
        std::ofstream(m_folder + "/quit.txt") << "click closeButton\n";
        std::ofstream(m_folder + "/show.txt") << "show\n";
        // Every registry is made first, and each round measures all of them in turn, so that a
        // slow spell of the machine falls on every size alike rather than on the one it met.
        bool ok = true;
        for (int size : m_options.sizes) {
            for (PlistFormat format : {PlistFormat::Xml, PlistFormat::Binary})
                ok = prepare(size, format) && ok;
        }
        for (int i = 0; ok && i < m_options.repeat; ++i) {
            std::fprintf(stderr, "round %d of %d...\n", i + 1, m_options.repeat);
            for (auto& [key, row] : m_rows)
                measureOnce(key, row);
        }
        for (auto& [key, row] : m_rows) {
            fs::remove_all(rootOf(key));
            const bool valid = row.oursData.valid() && row.pythonData.valid() &&
                               (key.second != PlistFormat::Xml || row.expatWalk.valid()) &&
                               (!m_options.startup || row.oursStartup.valid());
            if (!valid)
                std::fprintf(stderr, "%s %d modules: a run failed or listed the wrong number of rows\n",
                             formatName(key.second).c_str(), key.first);
            ok = ok && valid;
        }
        return ok;
    }

    void print() const
    {
        std::printf("\nData path: our read of the registry and rows built (Controller::getKEPL2Dict, "
                    "makeSelectListView)\nagainst python3 plistlib.load plus the \"vLX\" filter; best of %d, "
                    "peak RSS of each child.\n\n",
                    m_options.repeat);
        std::printf("%-7s %8s %9s | %10s %9s | %10s %9s | %8s %8s\n", "form", "modules", "file MiB", "ours s",
                    "ours MiB", "python s", "py MiB", "speed-up", "mem/py");
        for (const auto& [key, row] : m_rows) {
            std::printf("%-7s %8d %9.1f | %10s %9.1f | %10s %9.1f | %8s %8.2f\n", formatName(key.second).c_str(),
                        key.first, row.fileMiB, seconds(row.oursData).c_str(), row.oursData.peakMiB,
                        seconds(row.pythonData).c_str(), row.pythonData.peakMiB,
                        ratio(row.pythonData, row.oursData).c_str(), row.oursData.peakMiB / row.pythonData.peakMiB);
        }
        std::printf("\nThe XML data path against the bare expat walk of the same file (read whole, parsed with "
                    "handlers\nthat only count dictionaries); best of %d.\n\n",
                    m_options.repeat);
        std::printf("%-7s %8s | %10s %10s | %10s\n", "form", "modules", "ours s", "expat s", "ours/expat");
        for (const auto& [key, row] : m_rows) {
            if (key.second == PlistFormat::Xml) {
                std::printf("%-7s %8d | %10s %10s | %10s\n", formatName(key.second).c_str(), key.first,
                            seconds(row.oursData).c_str(), seconds(row.expatWalk).c_str(),
                            ratio(row.oursData, row.expatWalk).c_str());
            }
        }
        if (m_options.startup) {
            std::printf("\nStart-up: the Plugsweep program offscreen until its window is listed and it quits, "
                        "against the whole\npython3 run (interpreter, load, filter, exit); wall and processor time "
                        "(user and system), best of %d.\n\n",
                        m_options.repeat);
            std::printf("%-7s %8s | %10s %10s %9s | %10s %10s %9s | %8s %8s\n", "form", "modules", "ours s",
                        "ours cpu", "ours MiB", "python s", "py cpu", "py MiB", "speed-up", "cpu/py");
            for (const auto& [key, row] : m_rows) {
                std::printf("%-7s %8d | %10s %10s %9.1f | %10s %10s %9.1f | %8s %8s\n", formatName(key.second).c_str(),
                            key.first, seconds(row.oursStartup).c_str(), seconds(row.oursStartupCpu).c_str(),
                            row.oursStartup.peakMiB, seconds(row.pythonWhole).c_str(),
                            seconds(row.pythonWholeCpu).c_str(), row.pythonWhole.peakMiB,
                            ratio(row.pythonWhole, row.oursStartup).c_str(),
                            ratio(row.oursStartupCpu, row.pythonWholeCpu, true).c_str());
            }
        }
        printGrowth();
    }

private:
    using Key = std::pair<int, PlistFormat>;

    static std::string seconds(const Measure& measure)
    {
        if (!measure.valid())
            return "failed";
        char text[32];
        std::snprintf(text, sizeof text, "%.4f", measure.seconds);
        return text;
    }

    /// numerator's time over denominator's, as "x1.23" (a speed-up) or, as a fraction, "1.23".
    static std::string ratio(const Measure& numerator, const Measure& denominator, bool asFraction = false)
    {
        if (!numerator.valid() || !denominator.valid() || denominator.seconds <= 0)
            return "-";
        char text[32];
        std::snprintf(text, sizeof text, asFraction ? "%.2f" : "x%.2f", numerator.seconds / denominator.seconds);
        return text;
    }

    const Row* row(int size, PlistFormat format) const
    {
        const auto found = m_rows.find({size, format});
        return found != m_rows.end() ? &found->second : nullptr;
    }

    void printGrowth() const
    {
        std::printf("\nGrowth of the time (later size over earlier):\n\n");
        std::printf("%-7s %-10s | %12s %12s\n", "form", "measure", "10k->100k", "100k->200k");
        struct Series {
            const char* name;
            Measure Row::*measure;
        };
        const Series series[] = {{"ours data", &Row::oursData},
                                 {"py data", &Row::pythonData},
                                 {"ours start", &Row::oursStartup},
                                 {"py whole", &Row::pythonWhole}};
        for (PlistFormat format : {PlistFormat::Xml, PlistFormat::Binary}) {
            for (const Series& s : series) {
                if (!m_options.startup && (s.measure == &Row::oursStartup))
                    continue;
                const Row* small = row(10000, format);
                const Row* middle = row(100000, format);
                const Row* large = row(200000, format);
                std::printf("%-7s %-10s | %12s %12s\n", formatName(format).c_str(), s.name,
                            small && middle ? ratio((*middle).*s.measure, (*small).*s.measure).c_str() : "-",
                            middle && large ? ratio((*large).*s.measure, (*middle).*s.measure).c_str() : "-");
            }
        }
    }

    std::string rootOf(const Key& key) const
    {
        return m_folder + "/" + formatName(key.second) + "-" + std::to_string(key.first);
    }

    /// Makes the registry of one size and form, and checks once, untimed, that Plugsweep lists it.
    bool prepare(int size, PlistFormat format)
    {
        const Key key{size, format};
        const std::string root = rootOf(key);
        const std::string file = root + kRegistryFolder + kRegistryName;
        fs::create_directories(root + kRegistryFolder);
        // Made by a child: a child's peak memory counts the pages it was forked with, so this
        // process stays small for the figures of the children it starts.
        // Its install paths lie in the module folder under the machine root, so that every row
        // is offered as on an installed machine.
        if (!bench::runChild({m_self, "--make-registry", file, std::to_string(size), formatName(format), root}, {})
                 .exitedCleanly) {
            std::fprintf(stderr, "could not make %s\n", file.c_str());
            return false;
        }
        Row& result = m_rows[key];
        result.fileMiB = static_cast<double>(fs::file_size(file)) / (1024.0 * 1024.0);
        std::fprintf(stderr, "%s %d modules (%.1f MiB)\n", formatName(format).c_str(), size, result.fileMiB);
        return !m_options.startup || size > 10000 || startupListsEveryRow(root, bench::listedRows(size));
    }

    /// One run of each side on one registry.
    void measureOnce(const Key& key, Row& result) const
    {
        const std::string root = rootOf(key);
        const std::string file = root + kRegistryFolder + kRegistryName;
        const int expected = bench::listedRows(key.first);
        double inside = 0;
        const bench::ChildRun ours = bench::runChild({m_self, "--data-path", root}, {});
        if (ours.exitedCleanly && parseRowsAndSeconds(ours.output, expected, &inside))
            result.oursData.add(inside, ours.peakMiB);
        else
            result.oursData.failed = true;

        const bench::ChildRun python = bench::runChild({m_options.python, "-c", kPythonLoadAndFilter, file}, {});
        if (python.exitedCleanly && parseRowsAndSeconds(python.output, expected, &inside)) {
            result.pythonData.add(inside, python.peakMiB);
            result.pythonWhole.add(python.wallSeconds, python.peakMiB);
            result.pythonWholeCpu.add(python.cpuSeconds, python.peakMiB);
        } else {
            result.pythonData.failed = result.pythonWhole.failed = true;
        }

        if (key.second == PlistFormat::Xml) {
            const bench::ChildRun walk = bench::runChild({m_self, "--expat-walk", file}, {});
            if (walk.exitedCleanly && parseRowsAndSeconds(walk.output, expected, &inside))
                result.expatWalk.add(inside, walk.peakMiB);
            else
                result.expatWalk.failed = true;
        }

        if (m_options.startup) {
            const bench::ChildRun app = runPlugsweep(root, "quit.txt");
            if (app.exitedCleanly && app.output.find("terminate") != std::string::npos) {
                result.oursStartup.add(app.wallSeconds, app.peakMiB);
                result.oursStartupCpu.add(app.cpuSeconds, app.peakMiB);
            } else {
                result.oursStartup.failed = true;
            }
        }
    }

    bench::ChildRun runPlugsweep(const std::string& root, const std::string& script) const
    {
        return bench::runChild({m_options.plugsweep},
                               {{"HOME", m_folder + "/home"},
                                {"PLATFORM_ROOT", root},
                                {"PLATFORM_UI_SCRIPT", m_folder + "/" + script},
                                {"QT_QPA_PLATFORM", "offscreen"},
                                {"XDG_RUNTIME_DIR", m_folder},
                                {"LANG", "C.UTF-8"}},
                               m_folder + "/plugsweep-stderr.txt");
    }

    /// Untimed: the window the start-up run quits from really lists every expected row.
    bool startupListsEveryRow(const std::string& root, int expected) const
    {
        const bench::ChildRun app = runPlugsweep(root, "show.txt");
        const std::string line = "show: table uiTableView rows=" + std::to_string(expected) + " enabled=1";
        if (app.exitedCleanly && app.output.find(line) != std::string::npos)
            return true;
        std::fprintf(stderr, "  Plugsweep did not list %d rows (stderr in %s/plugsweep-stderr.txt)\n", expected,
                     m_folder.c_str());
        return false;
    }

    Options m_options;
    std::string m_folder;
    std::string m_self;
    std::map<Key, Row> m_rows;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--data-path")
        return runDataPath(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--expat-walk")
        return runExpatWalk(argv[2]);
    if (argc == 6 && std::string(argv[1]) == "--make-registry") {
        const PlistFormat format = std::string(argv[4]) == formatName(PlistFormat::Binary) ? PlistFormat::Binary : PlistFormat::Xml;
        std::ofstream out(argv[2], std::ios::binary);
        out << bench::registryBytes(std::atoi(argv[3]), format, argv[5]);
        return out.good() ? 0 : 1;
    }
    Options options;
    if (!parseOptions(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: %s [--sizes 1000,10000,...] [--repeat N] [--python PROGRAM] "
                     "[--plugsweep PROGRAM | --no-startup]\n",
                     argv[0]);
        return 2;
    }
    char pattern[] = "/tmp/registry-vs-python-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    Comparison comparison(options, pattern);
    const bool ok = comparison.run();
    comparison.print();
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    return ok ? 0 : 1;
}
