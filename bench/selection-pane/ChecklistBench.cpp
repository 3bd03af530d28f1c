// Oxlade: building the checklist from a catalogue of 1,000 hosts with 5 path files each, and
// writing the install plan for 500 ticked rows.

#include "selection-pane/APPViewControl_LayoutPlugin.h"
#include "selection-pane/LayoutPluginBundleLookup.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/PropertyList.h"
#include "platform/headless/HeadlessControls.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kHosts = 1000;
constexpr int kPathFilesPerHost = 5;
constexpr int kTickedHosts = 500;

void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

/// A home folder with the path files, and a loaded Oxlade.bundle with the catalogue, made once.
class Machine {
public:
    Machine()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "oxlade-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        m_root = pattern;
        const auto home = m_root / "home";
        const auto preferences = home / "Library/Preferences";
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("PLATFORM_ROOT", (m_root / "root").c_str(), 1);

        platform::PlistArray apps;
        std::string strings;
        for (int host = 0; host < kHosts; ++host) {
            const std::string key = "APP_HOST_" + std::to_string(host);
            platform::PlistArray pathsFiles;
            for (int file = 0; file < kPathFilesPerHost; ++file) {
                const std::string name = "com.tavix.PSPath." + std::to_string(host) + "." + std::to_string(file);
                pathsFiles.emplace_back(name);
                // Only the last path file of a host names a folder that exists, so the checklist
                // reads every one of them.
                const auto plugins = m_root / "hosts" / std::to_string(host) / std::to_string(file);
                if (file == kPathFilesPerHost - 1)
                    std::filesystem::create_directories(plugins);
                std::string bytes = "PSPath";
                bytes += '\0';
                bytes += plugins.string();
                bytes += '\0';
                writeFile(preferences / name, bytes);
            }
            platform::PlistDictionary entry;
            entry.set("PluginType", "PS");
            entry.set("APPNameKey", key);
            entry.set("PathsFiles", std::move(pathsFiles));
            entry.set("ImportName", "Import-Export");
            entry.set("AutomationName", "Automate");
            apps.emplace_back(std::move(entry));
            strings += "\"" + key + "\" = \"Host " + std::to_string(host) + "\";\n";
            if (host < kTickedHosts)
                m_selection.push_back(key);
        }
        platform::PlistDictionary catalogue;
        catalogue.set("APPs", std::move(apps));
        catalogue.set("SupportDriverVersion", "2.1");

        const auto bundlePath = m_root / "Oxlade.bundle";
        platform::PlistDictionary info;
        info.set("CFBundleIdentifier", "com.tavix.Oxlade");
        info.set("CFBundleDevelopmentRegion", "English");
        writeFile(bundlePath / "Contents/Info.plist", platform::xmlPropertyList(info));
        writeFile(bundlePath / "Contents/Resources/Applications.plist", platform::xmlPropertyList(catalogue));
        writeFile(bundlePath / "Contents/Resources/English.lproj/Localizable.strings", strings);
        auto bundle = platform::Bundle::bundleWithPath(bundlePath.string());
        platform::registerLoadedBundle(bundle);
        oxlade::LayoutPluginBundleLookup::setCodeBundleOverride(bundle);
    }

    ~Machine()
    {
        std::error_code error;
        std::filesystem::remove_all(m_root, error);
    }

    const std::vector<std::string>& selection() const { return m_selection; }

private:
    std::filesystem::path m_root;
    std::vector<std::string> m_selection;
};

Machine& machine()
{
    static Machine instance;
    return instance;
}

void BM_BuildChecklist(benchmark::State& state)
{
    machine();
    oxlade::APPViewControl_LayoutPlugin controller;
    platform::headless::HeadlessTableView table("m_uiTableView", {"chk", "name"});
    controller.connectOutlet("m_uiTableView", &table);
    for (auto _ : state) {
        controller.initUI(std::nullopt);
        benchmark::DoNotOptimize(controller.arrayEnable());
        controller.terminateUI();
    }
    state.SetItemsProcessed(state.iterations() * kHosts);
}
BENCHMARK(BM_BuildChecklist)->Unit(benchmark::kMillisecond);

void BM_WritePlanFor500TickedRows(benchmark::State& state)
{
    oxlade::APPViewControl_LayoutPlugin controller;
    controller.initUI(machine().selection());
    for (auto _ : state) {
        if (!controller.saveInstallPlist()) {
            state.SkipWithError("the plan could not be written");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kTickedHosts);
}
BENCHMARK(BM_WritePlanFor500TickedRows)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
