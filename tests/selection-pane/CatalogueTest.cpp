#include "selection-pane/LogicFixture.h"

#include "selection-pane/APPViewControl_LayoutPlugin.h"

#include "platform/foundation/PropertyList.h"

namespace oxlade::test {
namespace {

using platform::PlistArray;
using platform::PlistDictionary;
using platform::PlistValue;

std::vector<std::string> appNames(const std::optional<PlistArray>& apps)
{
    std::vector<std::string> names;
    if (apps) {
        for (const auto& app : *apps) {
            const auto* name = app.asDictionary() ? app.asDictionary()->stringForKey("APPNameKey") : nullptr;
            names.push_back(name ? *name : "?");
        }
    }
    return names;
}

PlistDictionary stringsOnly(std::initializer_list<std::pair<const char*, const char*>> strings)
{
    PlistDictionary root;
    for (const auto& [key, value] : strings)
        root.set(key, value);
    return root;
}

class Catalogue : public LogicFixture {
protected:
    APPViewControl_LayoutPlugin controller;
};

TEST_F(Catalogue, EachKeyComesFromTheFirstBundleThatHasIt)
{
    addBundle(BundleContents().withCatalogue(catalogue({entry({{"PluginType", "PS"}, {"APPNameKey", "FIRST"}})})), "first");
    addBundle(BundleContents().withCatalogue(catalogue({entry({{"PluginType", "PS"}, {"APPNameKey", "SECOND"}})},
                                      {{"SupportDriverVersion", "2.5"}, {"SupportLayoutPlugin", "YES"}})),
              "second");
    EXPECT_EQ(appNames(controller.getAppArray()), std::vector<std::string>{"FIRST"});
    EXPECT_EQ(controller.getSupportDriverVersion(), "2.5");
    EXPECT_TRUE(controller.supportLayoutInstaller());
}

TEST_F(Catalogue, NoBundleOrNoCatalogueGivesNothing)
{
    EXPECT_FALSE(controller.getAppArray());
    EXPECT_FALSE(controller.getSupportDriverVersion());
    EXPECT_FALSE(controller.supportLayoutInstaller());
    addBundle({});
    EXPECT_FALSE(controller.getAppArray());
    EXPECT_FALSE(controller.supportLayoutInstaller());
}

TEST_F(Catalogue, OnlyTheExactWordYesSupportsTheLayoutPlugin)
{
    auto bundle = addBundle(BundleContents().withCatalogue(stringsOnly({{"SupportLayoutPlugin", "yes"}})));
    const std::string path = bundle->resourcePath() + "/Applications.plist";
    EXPECT_FALSE(controller.supportLayoutInstaller());

    writeFile(path, platform::xmlPropertyList(stringsOnly({{"SupportLayoutPlugin", "YES"}})));
    EXPECT_TRUE(controller.supportLayoutInstaller()) << "the catalogue is read anew at every call";

    PlistDictionary boolean;
    boolean.set("SupportLayoutPlugin", true);
    writeFile(path, platform::xmlPropertyList(boolean));
    EXPECT_FALSE(controller.supportLayoutInstaller());
}

TEST_F(Catalogue, BinaryCatalogueReads)
{
    addBundle(BundleContents().withCatalogue(catalogue({entry({{"PluginType", "PS"}, {"APPNameKey", "BIN"}})},
                                      {{"SupportDriverVersion", "1.5"}}))
                  .binary());
    EXPECT_EQ(appNames(controller.getAppArray()), std::vector<std::string>{"BIN"});
    EXPECT_EQ(controller.getSupportDriverVersion(), "1.5");
}

TEST_F(Catalogue, ValueOfAnotherTypeCountsAsAbsent)
{
    PlistDictionary wrong;
    wrong.set("APPs", "not an array");
    wrong.set("SupportDriverVersion", 2.5);
    addBundle(BundleContents().withCatalogue(wrong), "first");
    EXPECT_FALSE(controller.getAppArray());
    EXPECT_FALSE(controller.getSupportDriverVersion());

    addBundle(BundleContents().withCatalogue(catalogue({entry({{"PluginType", "PS"}, {"APPNameKey", "SECOND"}})},
                                      {{"SupportDriverVersion", "3"}})),
              "second");
    EXPECT_EQ(appNames(controller.getAppArray()), std::vector<std::string>{"SECOND"});
    EXPECT_EQ(controller.getSupportDriverVersion(), "3");
}

TEST_F(Catalogue, CatalogueThatIsNotADictionaryIsSkipped)
{
    auto first = addBundle({}, "first");
    writeFile(first->resourcePath() + "/Applications.plist", platform::xmlPropertyList(PlistValue(PlistArray{})));
    auto second = addBundle({}, "second");
    writeFile(second->resourcePath() + "/Applications.plist", "<plist><dict><key>APPs</key>");
    addBundle(BundleContents().withCatalogue(stringsOnly({{"SupportDriverVersion", "4"}})), "third");
    EXPECT_EQ(controller.getSupportDriverVersion(), "4");
}

// The driver framework, framework layout, with an optional version value.
std::string makeFramework(const std::string& path, std::optional<PlistValue> version)
{
    PlistDictionary info;
    info.set("CFBundleIdentifier", "com.tavix.lumapi2");
    if (version)
        info.set("CFBundleVersion", *version);
    writeFile(path + "/Resources/Info.plist", platform::xmlPropertyList(info));
    return path;
}

struct VersionCase {
    const char* installed;
    const char* required;
    bool supported;
};

class DriverVersion : public Catalogue, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(DriverVersion, VersionsCompareAsSingleDecimalNumbers)
{
    const std::string framework = makeFramework(m_temp / "lumapi2.framework", PlistValue(GetParam().installed));
    EXPECT_EQ(controller.checkDriverVersion(framework, std::string(GetParam().required)), GetParam().supported);
}

INSTANTIATE_TEST_SUITE_P(Versions, DriverVersion,
                         ::testing::Values(VersionCase{"3.10", "3.2", false}, VersionCase{"3.2", "3.2", true},
                                           VersionCase{"4", "3.95", true}, VersionCase{"2.0.1", "2.0", true},
                                           VersionCase{"1.9", "2", false}, VersionCase{"  2.5 beta", "2.4", true},
                                           VersionCase{"unknown", "0.1", false}, VersionCase{"unknown", "0", true},
                                           VersionCase{"1.0", "unknown", true}));

TEST_F(Catalogue, FrameworkWithoutAStringVersionIsNotSupported)
{
    EXPECT_FALSE(controller.checkDriverVersion(makeFramework(m_temp / "none.framework", std::nullopt), "1"));
    EXPECT_FALSE(controller.checkDriverVersion(makeFramework(m_temp / "number.framework", PlistValue(5)), "1"));
    EXPECT_FALSE(controller.checkDriverVersion(m_temp / "missing.framework", "1"));
    const std::string plainFile = m_temp / "file.framework";
    writeFile(plainFile, "not a folder");
    EXPECT_FALSE(controller.checkDriverVersion(plainFile, "1"));
}

TEST_F(Catalogue, NoRequiredVersionIsNotSupported)
{
    EXPECT_FALSE(controller.checkDriverVersion(makeFramework(m_temp / "any.framework", PlistValue("9")), std::nullopt));
}

TEST_F(Catalogue, SupportDriverVersionTestsTheMachinesFrameworkAgainstTheCatalogue)
{
    makeFramework(root() + "/Library/Printers/Tavix/TOLM/Frameworks/lumapi2.framework", PlistValue("2.3"));
    addBundle(BundleContents().withCatalogue(catalogue({}, {{"SupportDriverVersion", "2.1"}})));
    EXPECT_FALSE(controller.supportDriverVersion()) << "no required version before initUI";
    controller.initUI(std::nullopt);
    EXPECT_EQ(controller.supportDrvVer(), "2.1");
    EXPECT_TRUE(controller.supportDriverVersion());
    controller.terminateUI();
    EXPECT_FALSE(controller.supportDriverVersion());
}

struct PathFileCase {
    const char* name;
    std::string bytes;
    std::optional<std::string> path;
};

std::string bytes(std::initializer_list<std::string_view> parts)
{
    std::string joined;
    for (const auto part : parts) {
        joined += part;
        joined += '\0';
    }
    return joined;
}

class PathFile : public Catalogue, public ::testing::WithParamInterface<PathFileCase> {};

TEST_P(PathFile, PathIsTheTextAfterTheLastNulBeforeTheFinalByte)
{
    writePathFile("com.tavix.PSPath.Test", GetParam().bytes);
    EXPECT_EQ(controller.getPSPluginPath("com.tavix.PSPath.Test"), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PathFile,
    ::testing::Values(PathFileCase{"TwoStrings", bytes({"abc", "/Users/x/Plug-ins"}), "/Users/x/Plug-ins"},
                      PathFileCase{"ThreeStrings", bytes({"a", "b", "c"}), "c"},
                      PathFileCase{"EmptyFirstString", bytes({"", "/p"}), std::nullopt},
                      PathFileCase{"EmptyPath", bytes({"abc", ""}), ""},
                      PathFileCase{"NoFinalNul", bytes({"abc"}) + "/p", "/p"},
                      PathFileCase{"NoNulAtAll", "abc/p", std::nullopt},
                      PathFileCase{"OnlyFinalNul", bytes({"abc/p"}), std::nullopt},
                      PathFileCase{"TwoBytes", bytes({"a"}), std::nullopt},
                      PathFileCase{"ThreeBytes", bytes({"a"}) + "b", "b"},
                      PathFileCase{"ThreeNuls", bytes({"", "", ""}), ""},
                      PathFileCase{"Empty", "", std::nullopt},
                      PathFileCase{"Utf8Path", bytes({"abc", "/Users/jörg/プラグイン"}), "/Users/jörg/プラグイン"},
                      PathFileCase{"InvalidUtf8", bytes({"abc", "/p\xff"}), std::nullopt},
                      PathFileCase{"OverlongUtf8", bytes({"abc", "/\xc0\xaf"}), std::nullopt},
                      PathFileCase{"TruncatedUtf8", bytes({"abc", "/\xe3\x83"}), std::nullopt}),
    [](const ::testing::TestParamInfo<PathFileCase>& info) { return std::string(info.param.name); });

TEST_F(Catalogue, PathFileThatIsMissingOrAFolderGivesNone)
{
    EXPECT_FALSE(controller.getPSPluginPath("com.tavix.PSPath.Missing"));
    makeFolder(preferences() + "/com.tavix.PSPath.Folder");
    EXPECT_FALSE(controller.getPSPluginPath("com.tavix.PSPath.Folder"));
}

TEST_F(Catalogue, PathFileOfManyMegabytesGivesNone)
{
    std::string huge(3u * 1024u * 1024u, 'x');
    huge += bytes({"", "/p"});
    writePathFile("com.tavix.PSPath.Huge", huge);
    EXPECT_FALSE(controller.getPSPluginPath("com.tavix.PSPath.Huge"));
}

TEST_F(Catalogue, PathFileJustBelowTheBoundReads)
{
    std::string large(1024u * 1024u - 4u, 'x');
    large += bytes({"", "/p"});
    ASSERT_EQ(large.size(), 1024u * 1024u);
    writePathFile("com.tavix.PSPath.Large", large);
    EXPECT_EQ(controller.getPSPluginPath("com.tavix.PSPath.Large"), "/p");
}

TEST_F(Catalogue, CheckPSPluginPathTriesTheNamesInOrder)
{
    const std::string plainFile = m_temp / "plug-in-file";
    writeFile(plainFile, "x");
    writePathFile("second", pathFileBytes(plainFile));
    EXPECT_TRUE(controller.checkPSPluginPath({"missing", "second"}));
}

TEST_F(Catalogue, CheckPSPluginPathNeedsSomethingAtThePath)
{
    writePathFile("empty", bytes({"abc", ""}));
    writePathFile("gone", pathFileBytes(m_temp / "no-such-folder"));
    EXPECT_FALSE(controller.checkPSPluginPath({}));
    EXPECT_FALSE(controller.checkPSPluginPath({"empty", "gone", "missing"}));
    writePathFile("there", pathFileBytes(folder("plug-ins")));
    EXPECT_TRUE(controller.checkPSPluginPath({"empty", "gone", "there"}));
}

}  // namespace
}  // namespace oxlade::test
