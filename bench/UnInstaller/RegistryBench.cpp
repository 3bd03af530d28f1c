// Start-up of the uninstaller's window on a registry of 100,000 modules: reading the registry
// (XML or binary), building the list and one all-select click. Run one format at a time
// (--benchmark_filter=xml or binary) under /usr/bin/time -v for the peak memory of that format
// alone; the "peak_rss_MiB" counter is the process's peak so far.
#include "UnInstaller/common/Controller.h"
#include "bench/UnInstaller/RegistryFixture.h"
#include "platform/appkit/Application.h"
#include "platform/foundation/PropertyList.h"
#include "platform/headless/HeadlessControls.h"
#include "platform/headless/HeadlessUi.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;
using platform::PlistFormat;
using platform::headless::HeadlessButton;

constexpr int kModules = 100000;

/// A machine root holding the big registry in one format; removed at exit.
class Sandbox {
public:
    static Sandbox& forFormat(PlistFormat format)
    {
        static std::map<PlistFormat, std::unique_ptr<Sandbox>> sandboxes;
        auto& sandbox = sandboxes[format];
        if (!sandbox)
            sandbox.reset(new Sandbox(format));
        setenv("PLATFORM_ROOT", sandbox->m_root.c_str(), 1);
        setenv("HOME", sandbox->m_root.c_str(), 1);
        return *sandbox;
    }
    ~Sandbox()
    {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    std::uintmax_t fileSize() const { return m_size; }

private:
    explicit Sandbox(PlistFormat format)
    {
        char pattern[] = "/tmp/plugsweep-bench-XXXXXX";
        if (!mkdtemp(pattern)) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        m_root = pattern;
        const std::string folder = m_root + "/Library/Preferences";
        fs::create_directories(folder);

        const std::string bytes = bench::registryBytes(kModules, format);
        const std::string path = folder + "/com.tavix.KEPL2.plist";
        std::ofstream(path, std::ios::binary) << bytes;
        m_size = fs::file_size(path);
    }

    std::string m_root;
    std::uintmax_t m_size = 0;
};

double peakRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

void windowSetUpAndAllSelect(benchmark::State& state, PlistFormat format)
{
    Sandbox& sandbox = Sandbox::forFormat(format);
    platform::headless::ScopedHeadlessUi ui;
    std::size_t rows = 0;
    for (auto _ : state) {
        platform::headless::HeadlessInterface interface("window");
        interface.add(std::make_unique<platform::headless::HeadlessWindow>("window"));
        interface.add(std::make_unique<platform::headless::HeadlessTextField>("messageTitle"));
        interface.add(std::make_unique<platform::headless::HeadlessTableView>(
            "uiTableView", std::vector<std::string>{"chk", "name"}));
        interface.add(std::make_unique<platform::headless::HeadlessTextField>("noListMessage"));
        auto* allSelect =
            interface.add(std::make_unique<HeadlessButton>("allSelectChk", HeadlessButton::Kind::CheckBox));
        interface.add(std::make_unique<HeadlessButton>("uninstallButton"));
        interface.add(std::make_unique<HeadlessButton>("closeButton"));
        interface.setProperty("uiTableView", "dataSource", "controller");
        interface.setProperty("allSelectChk", "action", "requestAllSelect:");

        Controller controller;
        platform::connectInterface(interface, controller);
        controller.awakeFromNib();
        allSelect->click();
        rows = controller.arrayCheck() ? controller.arrayCheck()->size() : 0;
        benchmark::DoNotOptimize(rows);
    }
    if (rows != static_cast<std::size_t>(bench::listedRows(kModules)))
        state.SkipWithError("the registry did not give the expected rows");
    state.counters["modules"] = kModules;
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["file_MiB"] = static_cast<double>(sandbox.fileSize()) / (1024.0 * 1024.0);
    state.counters["peak_rss_MiB"] = peakRssMiB();
}

/// The registry read alone.
void registryRead(benchmark::State& state, PlistFormat format)
{
    Sandbox::forFormat(format);
    Controller controller;
    std::size_t modules = 0;
    for (auto _ : state) {
        std::optional<platform::PlistDictionary> dict = controller.getKEPL2Dict();
        modules = dict ? dict->size() : 0;
        benchmark::DoNotOptimize(modules);
    }
    if (modules != static_cast<std::size_t>(kModules))
        state.SkipWithError("the registry did not read");
    state.counters["peak_rss_MiB"] = peakRssMiB();
}

/// One all-select click on a window already set up: the list rebuilt from memory.
void allSelectClick(benchmark::State& state, PlistFormat format)
{
    Sandbox::forFormat(format);
    platform::headless::ScopedHeadlessUi ui;
    platform::headless::HeadlessInterface interface("window");
    interface.add(std::make_unique<platform::headless::HeadlessTableView>(
        "uiTableView", std::vector<std::string>{"chk", "name"}));
    auto* allSelect = interface.add(std::make_unique<HeadlessButton>("allSelectChk", HeadlessButton::Kind::CheckBox));
    interface.add(std::make_unique<HeadlessButton>("uninstallButton"));
    interface.setProperty("uiTableView", "dataSource", "controller");
    interface.setProperty("allSelectChk", "action", "requestAllSelect:");
    Controller controller;
    platform::connectInterface(interface, controller);
    controller.awakeFromNib();
    for (auto _ : state) {
        allSelect->click();
        benchmark::DoNotOptimize(controller.arrayCheck());
    }
    state.counters["rows"] = static_cast<double>(controller.arrayCheck() ? controller.arrayCheck()->size() : 0);
}

}  // namespace

BENCHMARK_CAPTURE(registryRead, xml, PlistFormat::Xml)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(registryRead, binary, PlistFormat::Binary)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(allSelectClick, xml, PlistFormat::Xml)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(windowSetUpAndAllSelect, xml, PlistFormat::Xml)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(windowSetUpAndAllSelect, binary, PlistFormat::Binary)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
