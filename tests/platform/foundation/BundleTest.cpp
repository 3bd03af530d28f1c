#include "platform/foundation/Bundle.h"

#include "platform/foundation/Locale.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/TempFolder.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>

using namespace platform;
using foundation_test::TempFolder;

namespace {

std::string infoPlist(std::initializer_list<std::pair<const char*, const char*>> entries)
{
    PlistDictionary info;
    for (const auto& [key, value] : entries)
        info.set(key, value);
    return xmlPropertyList(info);
}

// Each test gets its own folder, no preferred language and only the main bundle loaded.
class BundleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setPreferredLanguagesOverride(std::vector<std::string>{});
        resetLoadedBundles();
        Bundle::setMainBundleOverride(nullptr);
    }
    void TearDown() override
    {
        setPreferredLanguagesOverride(std::nullopt);
        resetLoadedBundles();
        Bundle::setMainBundleOverride(nullptr);
    }

    // X.bundle/Contents/{Info.plist, Resources/...} with the given localizations, each holding a
    // Localizable.strings that maps "Who" to the localization's name.
    std::string makeContentsBundle(const std::string& name, std::initializer_list<const char*> localizations,
                                   const std::string& info)
    {
        const std::string path = m_temp / name;
        m_temp.write(name + "/Contents/Info.plist", info);
        m_temp.makeFolder(name + "/Contents/Resources");
        for (const char* localization : localizations)
            m_temp.write(name + "/Contents/Resources/" + localization + ".lproj/Localizable.strings",
                         std::string("\"Who\" = \"") + localization + "\";\n\"Only_" + localization + "\" = \"yes\";\n");
        return path;
    }

    TempFolder m_temp;
};

int functionInTheTestProgram()
{
    return 7;
}

}  // namespace

TEST_F(BundleTest, ContentsLayout)
{
    const std::string path = makeContentsBundle(
        "Oxlade.bundle", {"English", "German"},
        infoPlist({{"CFBundleIdentifier", "com.tavix.Oxlade"}, {"CFBundleExecutable", "Oxlade"},
                   {"CFBundleDevelopmentRegion", "English"}}));
    const auto bundle = Bundle::bundleWithPath(path);
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->bundlePath(), path);
    EXPECT_EQ(bundle->bundleIdentifier(), "com.tavix.Oxlade");
    EXPECT_EQ(bundle->resourcePath(), path + "/Contents/Resources");
    EXPECT_EQ(bundle->executablePath(), path + "/Contents/MacOS/Oxlade");
    EXPECT_EQ(bundle->localizations(), (std::vector<std::string>{"English", "German"}));
    EXPECT_EQ(bundle->developmentLocalization(), "English");
    ASSERT_TRUE(bundle->objectForInfoDictionaryKey("CFBundleExecutable"));
    EXPECT_EQ(*bundle->objectForInfoDictionaryKey("CFBundleExecutable")->asString(), "Oxlade");
    EXPECT_FALSE(bundle->objectForInfoDictionaryKey("Missing"));
}

TEST_F(BundleTest, OnePathGivesOneObject)
{
    const std::string path = makeContentsBundle("Same.bundle", {}, infoPlist({}));
    const auto bundle = Bundle::bundleWithPath(path);
    EXPECT_EQ(Bundle::bundleWithPath(path + "/"), bundle);
    EXPECT_EQ(Bundle::bundleWithPath(m_temp.path() + "//./Same.bundle/Contents/.."), bundle);
    EXPECT_EQ(bundle->bundlePath(), path);
}

TEST_F(BundleTest, FrameworkLayouts)
{
    m_temp.write("lumapi2.framework/Versions/A/Resources/Info.plist",
                 infoPlist({{"CFBundleVersion", "2.10"}, {"CFBundleExecutable", "lumapi2"}}));
    std::filesystem::create_directory_symlink("A", m_temp / "lumapi2.framework/Versions/Current");
    const auto versioned = Bundle::bundleWithPath(m_temp / "lumapi2.framework");
    ASSERT_TRUE(versioned);
    EXPECT_EQ(*versioned->infoDictionary().stringForKey("CFBundleVersion"), "2.10");
    EXPECT_EQ(versioned->resourcePath(), m_temp / "lumapi2.framework/Versions/Current/Resources");
    EXPECT_FALSE(versioned->bundleIdentifier());

    m_temp.write("Shallow.framework/Resources/Info.plist", infoPlist({{"CFBundleIdentifier", "com.example.shallow"}}));
    const auto shallow = Bundle::bundleWithPath(m_temp / "Shallow.framework");
    ASSERT_TRUE(shallow);
    EXPECT_EQ(shallow->bundleIdentifier(), "com.example.shallow");
    EXPECT_EQ(shallow->resourcePath(), m_temp / "Shallow.framework/Resources");
}

TEST_F(BundleTest, AnyFolderIsAFlatBundleAndNothingElseIsOne)
{
    const std::string folder = m_temp.makeFolder("plain");
    m_temp.write("plain/Thing.txt", "x");
    const auto flat = Bundle::bundleWithPath(folder);
    ASSERT_TRUE(flat);
    EXPECT_TRUE(flat->infoDictionary().empty());
    EXPECT_FALSE(flat->bundleIdentifier());
    EXPECT_FALSE(flat->executablePath());
    EXPECT_EQ(flat->resourcePath(), folder);
    EXPECT_EQ(flat->pathForResource("Thing", "txt"), folder + "/Thing.txt");
    EXPECT_EQ(flat->developmentLocalization(), "en");

    EXPECT_FALSE(Bundle::bundleWithPath(m_temp / "missing"));
    EXPECT_FALSE(Bundle::bundleWithPath(m_temp.write("file.bundle", "x")));
    EXPECT_FALSE(Bundle::bundleWithPath(""));
}

TEST_F(BundleTest, UnreadableInfoPlistLeavesAnEmptyInfoDictionary)
{
    const std::string path = makeContentsBundle("Broken.bundle", {}, "<plist><dict><key>x</key>");
    const auto bundle = Bundle::bundleWithPath(path);
    ASSERT_TRUE(bundle);
    EXPECT_TRUE(bundle->infoDictionary().empty());
    EXPECT_FALSE(bundle->bundleIdentifier());
    EXPECT_EQ(bundle->resourcePath(), path + "/Contents/Resources");
}

TEST_F(BundleTest, LprojFolderOpenedAsABundleFindsItsTable)
{
    makeContentsBundle("Strings.bundle", {"German"}, infoPlist({}));
    const auto lproj = Bundle::bundleWithPath(m_temp / "Strings.bundle/Contents/Resources/German.lproj");
    ASSERT_TRUE(lproj);
    EXPECT_EQ(lproj->localizedStringForKey("Who"), "German");
    EXPECT_EQ(lproj->localizedStringForKey("Nobody"), "Nobody");
    EXPECT_EQ(lproj->localizedStringForKey("Nobody", "Fallback"), "Fallback");
    EXPECT_EQ(lproj->localizedStringForKey("Who", "", "Other"), "Who");
}

TEST_F(BundleTest, ResourceLookupOrder)
{
    const std::string path = makeContentsBundle("Order.bundle", {"English", "German", "fr"},
                                                infoPlist({{"CFBundleDevelopmentRegion", "English"}}));
    const std::string resources = path + "/Contents/Resources";
    for (const char* folder : {"English.lproj", "German.lproj", "fr.lproj"})
        m_temp.write("Order.bundle/Contents/Resources/" + std::string(folder) + "/Both.txt", folder);
    m_temp.write("Order.bundle/Contents/Resources/English.lproj/DevOnly.txt", "en");
    const auto bundle = Bundle::bundleWithPath(path);
    ASSERT_TRUE(bundle);

    setPreferredLanguagesOverride(std::vector<std::string>{"de-DE", "fr"});
    EXPECT_EQ(bundle->preferredLocalizations(), (std::vector<std::string>{"German", "fr", "English"}));
    EXPECT_EQ(bundle->pathForResource("Both", "txt"), resources + "/German.lproj/Both.txt");
    EXPECT_EQ(bundle->pathForResource("DevOnly", "txt"), resources + "/English.lproj/DevOnly.txt");
    EXPECT_FALSE(bundle->pathForResource("Nowhere", "txt"));

    // A non-localized resource wins over every localization.
    m_temp.write("Order.bundle/Contents/Resources/Both.txt", "plain");
    EXPECT_EQ(bundle->pathForResource("Both", "txt"), resources + "/Both.txt");

    setPreferredLanguagesOverride(std::vector<std::string>{"fr-CA", "de"});
    EXPECT_EQ(bundle->preferredLocalizations(), (std::vector<std::string>{"fr", "German", "English"}));
    EXPECT_EQ(bundle->localizedStringForKey("Who"), "fr");
    EXPECT_EQ(bundle->localizedStringForKey("Only_German"), "yes");
    EXPECT_EQ(bundle->localizedStringForKey("Only_Japanese"), "Only_Japanese");

    setPreferredLanguagesOverride(std::vector<std::string>{"ja"});
    EXPECT_EQ(bundle->preferredLocalizations(), (std::vector<std::string>{"English"}));
    EXPECT_EQ(bundle->localizedStringForKey("Who"), "English");
}

TEST_F(BundleTest, ResourceInOneNamedLocalization)
{
    const std::string path = makeContentsBundle("Named.bundle", {"English", "German", "zh_CN"}, infoPlist({}));
    const std::string resources = path + "/Contents/Resources";
    m_temp.write("Named.bundle/Contents/Resources/German.lproj/Sub/Deep.txt", "x");
    m_temp.write("Named.bundle/Contents/Resources/Localizable.strings", "\"Who\" = \"plain\";");
    const auto bundle = Bundle::bundleWithPath(path);
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->pathForResource("Localizable", "strings", "", "zh_CN"),
              resources + "/zh_CN.lproj/Localizable.strings");
    EXPECT_FALSE(bundle->pathForResource("Localizable", "strings", "", "Japanese"));
    EXPECT_FALSE(bundle->pathForResource("Localizable", "strings", "", "german"));
    EXPECT_EQ(bundle->pathForResource("Localizable", "strings", "", ""), resources + "/Localizable.strings");
    EXPECT_EQ(bundle->pathForResource("Deep", "txt", "Sub", "German"), resources + "/German.lproj/Sub/Deep.txt");
    EXPECT_FALSE(bundle->pathForResource("Deep", "txt", "", "German"));
}

TEST_F(BundleTest, LegacyAndScriptNamesMatchPreferredTags)
{
    const std::string path =
        makeContentsBundle("Legacy.bundle", {"English", "German", "Japanese", "zh_CN", "zh_TW", "ko"}, infoPlist({}));
    const auto bundle = Bundle::bundleWithPath(path);
    ASSERT_TRUE(bundle);
    const std::pair<const char*, const char*> cases[] = {
        {"de", "German"}, {"de-AT", "German"}, {"ja-JP", "Japanese"}, {"zh-Hans", "zh_CN"},
        {"zh-Hant", "zh_TW"}, {"zh-Hans-CN", "zh_CN"}, {"ko-KR", "ko"}, {"pt", "English"},
    };
    for (const auto& [tag, expected] : cases) {
        setPreferredLanguagesOverride(std::vector<std::string>{tag});
        EXPECT_EQ(bundle->localizedStringForKey("Who"), expected) << tag;
    }
}

TEST_F(BundleTest, EditedTableIsReadAgain)
{
    const std::string path = makeContentsBundle("Edit.bundle", {"English"}, infoPlist({}));
    const auto bundle = Bundle::bundleWithPath(path);
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->localizedStringForKey("Who"), "English");
    m_temp.write("Edit.bundle/Contents/Resources/English.lproj/Localizable.strings", "\"Who\" = \"Edited, longer\";");
    EXPECT_EQ(bundle->localizedStringForKey("Who"), "Edited, longer");
    m_temp.write("Edit.bundle/Contents/Resources/English.lproj/Localizable.strings", "\"Who\" = broken");
    EXPECT_EQ(bundle->localizedStringForKey("Who"), "Who");
}

TEST_F(BundleTest, MainBundleAndItsOverride)
{
    const auto main = Bundle::mainBundle();
    ASSERT_TRUE(main);
    // The test program is not inside an application bundle: its folder stands in.
    const std::string exe = std::filesystem::canonical("/proc/self/exe").string();
    EXPECT_EQ(main->bundlePath(), std::filesystem::path(exe).parent_path().string());
    EXPECT_EQ(Bundle::bundleForAddress(reinterpret_cast<const void*>(&functionInTheTestProgram)), main);

    const auto other = Bundle::bundleWithPath(m_temp.makeFolder("Host.app"));
    Bundle::setMainBundleOverride(other);
    EXPECT_EQ(Bundle::mainBundle(), other);
    EXPECT_EQ(Bundle::allBundles().front(), other);
    Bundle::setMainBundleOverride(nullptr);
    EXPECT_EQ(Bundle::mainBundle(), main);
}

TEST_F(BundleTest, RegisteredBundlesFollowTheMainOneInOrderWithoutDuplicates)
{
    const auto a = Bundle::bundleWithPath(m_temp.makeFolder("A.bundle"));
    const auto b = Bundle::bundleWithPath(m_temp.makeFolder("B.bundle"));
    registerLoadedBundle(b);
    registerLoadedBundle(a);
    registerLoadedBundle(b);
    registerLoadedBundle(Bundle::mainBundle());
    registerLoadedBundle(nullptr);
    EXPECT_EQ(Bundle::allBundles(), (std::vector<std::shared_ptr<Bundle>>{Bundle::mainBundle(), b, a}));
    resetLoadedBundles();
    EXPECT_EQ(Bundle::allBundles(), (std::vector<std::shared_ptr<Bundle>>{Bundle::mainBundle()}));
}

TEST_F(BundleTest, LoadingCodeRegistersTheBundleAndFindsItByAddress)
{
    const std::string path = makeContentsBundle(
        "Module.bundle", {}, infoPlist({{"CFBundleIdentifier", "com.example.module"}, {"CFBundleExecutable", "Module"}}));
    const auto bundle = Bundle::bundleWithPath(path);
    ASSERT_TRUE(bundle);
    EXPECT_FALSE(bundle->isLoaded());
    EXPECT_FALSE(bundle->symbol("foundationTestModuleAnswer"));
    EXPECT_FALSE(bundle->load()) << "no executable yet";

    std::filesystem::create_directories(path + "/Contents/MacOS");
    std::filesystem::copy_file(FOUNDATION_TEST_MODULE, path + "/Contents/MacOS/Module");
    ASSERT_TRUE(bundle->load()) << ::dlerror();
    EXPECT_TRUE(bundle->isLoaded());
    EXPECT_TRUE(bundle->load());

    using Answer = int (*)();
    void* symbol = bundle->symbol("foundationTestModuleAnswer");
    ASSERT_TRUE(symbol);
    EXPECT_EQ(reinterpret_cast<Answer>(symbol)(), 42);
    EXPECT_FALSE(bundle->symbol("noSuchSymbol"));

    const auto all = Bundle::allBundles();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1], bundle);
    EXPECT_EQ(Bundle::bundleForAddress(symbol), bundle);

    // Code of a library that belongs to no bundle.
    EXPECT_FALSE(Bundle::bundleForAddress(::dlsym(RTLD_DEFAULT, "dlopen")));
    EXPECT_FALSE(Bundle::bundleForAddress(nullptr));
}

TEST_F(BundleTest, BrokenExecutableDoesNotLoad)
{
    const std::string path = makeContentsBundle("Bad.bundle", {}, infoPlist({{"CFBundleExecutable", "Bad"}}));
    m_temp.write("Bad.bundle/Contents/MacOS/Bad", "not a shared object");
    const auto bundle = Bundle::bundleWithPath(path);
    ASSERT_TRUE(bundle);
    EXPECT_FALSE(bundle->load());
    EXPECT_FALSE(bundle->isLoaded());
    EXPECT_EQ(Bundle::allBundles().size(), 1u);
}
