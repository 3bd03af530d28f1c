#include "RemovalRunFixture.h"

#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>

#include "ScopedMount.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::PlistFormat;

namespace {

/// The snapshot's paths at or below path, in the snapshot's order.
std::vector<std::string> under(const std::map<std::string, char>& snapshot, const std::string& path)
{
    std::vector<std::string> result;
    for (const auto& [p, kind] : snapshot) {
        if (p == path || p.rfind(path + "/", 0) == 0)
            result.push_back(p);
    }
    return result;
}

std::vector<std::string> sorted(std::vector<std::string> paths)
{
    std::sort(paths.begin(), paths.end());
    return paths;
}


TEST_F(RemovalRun, RemovesThePlannedModulesWithTheirEmptyFoldersAndNothingElse)
{
    writeRegistry(modules);
    writePlan({{"UUID-ALPHA", at("/Library/Printers/Tavix/Alpha")}, {"UUID-BETA", at("/Library/Printers/Tavix/Beta")}});
    const auto before = snapshot();

    const Result result = run();

    EXPECT_EQ(result.exitCode, 0) << joinLines(result.lines);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"removed UUID-ALPHA " + alpha,
                                                      "folder-removed " + at("/Library/Printers/Tavix/Alpha"),
                                                      "removed UUID-BETA " + beta,
                                                      "folder-removed " + at("/Library/Printers/Tavix/Beta"),
                                                      "registry-updated"}));
    std::vector<std::string> expected = under(before, at("/Library/Printers/Tavix/Alpha"));
    const std::vector<std::string> betaPaths = under(before, at("/Library/Printers/Tavix/Beta"));
    expected.insert(expected.end(), betaPaths.begin(), betaPaths.end());
    EXPECT_EQ(removedSince(before), sorted(expected));
    EXPECT_TRUE(fs::exists(gamma + "/Contents/Info.plist"));
    EXPECT_TRUE(fs::is_directory(at("/Library/Printers/Tavix")));
}

class RegistryFormats : public RemovalRun, public ::testing::WithParamInterface<PlistFormat> {};

TEST_P(RegistryFormats, RegistryKeepsItsFormatAndEveryOtherKey)
{
    writeRegistry(modules, GetParam());
    ASSERT_EQ(::chmod(registryPath.c_str(), 0640), 0);
    writePlan({{"UUID-BETA", at("/Library/Printers/Tavix/Beta")}});

    const Result result = run();
    ASSERT_EQ(result.exitCode, 0) << joinLines(result.lines);

    PlistFormat format = GetParam() == PlistFormat::Xml ? PlistFormat::Binary : PlistFormat::Xml;
    const platform::PlistDictionary rootDict = registryRoot(&format);
    EXPECT_EQ(format, GetParam());
    ASSERT_NE(rootDict.find("KEP2_KEY_VERSION"), nullptr);
    EXPECT_EQ(*rootDict.find("KEP2_KEY_VERSION"), platform::PlistValue(3));
    ASSERT_NE(rootDict.arrayForKey("KEP2_KEY_DRIVERS"), nullptr);
    EXPECT_EQ(rootDict.arrayForKey("KEP2_KEY_DRIVERS")->size(), 1u);
    const platform::PlistDictionary* left = rootDict.dictionaryForKey("KEP2_KEY_MODULES");
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->size(), 2u);
    EXPECT_FALSE(left->contains("UUID-BETA"));
    ASSERT_NE(left->dictionaryForKey("UUID-ALPHA"), nullptr);
    EXPECT_EQ(*left->dictionaryForKey("UUID-ALPHA")->stringForKey("Version"), "2.1");
    EXPECT_EQ(*left->dictionaryForKey("UUID-GAMMA")->stringForKey("InstallPath"), gamma);

    struct stat st {};
    ASSERT_EQ(::lstat(registryPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_uid, ::geteuid());
    // Only the registry and the removal lock stay beside it.
    for (const auto& entry : fs::directory_iterator(at("/Library/Preferences"))) {
        if (entry.path().filename() != ".com.tavix.KEPL2.plist.lock") {
            EXPECT_EQ(entry.path().string(), registryPath) << "left behind";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, RegistryFormats, ::testing::Values(PlistFormat::Xml, PlistFormat::Binary),
                         [](const ::testing::TestParamInfo<PlistFormat>& info) {
                             return std::string(info.param == PlistFormat::Xml ? "Xml" : "Binary");
                         });

TEST_F(RemovalRun, ParentFolderStaysWhenItHoldsSomethingElse)
{
    writeText(at("/Library/Printers/Tavix/Alpha/ReadMe.txt"), "keep me");
    writeRegistry(modules);
    writePlan({{"UUID-ALPHA", at("/Library/Printers/Tavix/Alpha")}});
    const auto before = snapshot();

    const Result result = run();

    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"removed UUID-ALPHA " + alpha, "registry-updated"}));
    EXPECT_EQ(removedSince(before), sorted(under(before, alpha)));
}

TEST_F(RemovalRun, ProtectedParentFolderStaysEvenWhenEmpty)
{
    // The folder where modules may live stays, even when its last module goes.
    const std::string solo = at("/Library/Printers/Tavix/Solo.plugin");
    fs::remove_all(at("/Library/Printers/Tavix"));
    makeModuleFolder(solo);
    writeRegistry({{"UUID-SOLO", "Solo vLX", solo}});
    writePlan({{"UUID-SOLO", at("/Library/Printers/Tavix")}});

    const Result result = run();

    EXPECT_EQ(result.exitCode, 0) << joinLines(result.lines);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"removed UUID-SOLO " + solo, "registry-updated"}));
    EXPECT_TRUE(fs::is_directory(at("/Library/Printers/Tavix")));
}

TEST_F(RemovalRun, ParentFolderStaysWhenItIsAnotherModulesFolder)
{
    const std::string outer = at("/Library/Printers/Tavix/Outer");
    const std::string inner = outer + "/Inner.plugin";
    makeModuleFolder(inner);
    writeRegistry({{"UUID-OUTER", "Outer vLX", outer}, {"UUID-INNER", "Inner vLX", inner}});
    writePlan({{"UUID-INNER", outer}});

    const Result result = run();

    EXPECT_EQ(result.exitCode, 0) << joinLines(result.lines);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"removed UUID-INNER " + inner, "registry-updated"}));
    EXPECT_TRUE(fs::is_directory(outer));
}

TEST_F(RemovalRun, SymbolicLinksInsideAreRemovedAsLinksAndTheirTargetsSurvive)
{
    const std::string outside = dir + "/outside";
    makeFolder(outside + "/folder");
    writeText(outside + "/folder/precious.txt", "precious");
    writeText(outside + "/file.txt", "precious");
    ASSERT_EQ(::symlink((outside + "/folder").c_str(), (alpha + "/Contents/LinkToFolder").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "/file.txt").c_str(), (alpha + "/Contents/LinkToFile").c_str()), 0);
    ASSERT_EQ(::symlink("/", (alpha + "/Contents/Resources/LinkToRoot").c_str()), 0);
    ASSERT_EQ(::symlink("missing", (alpha + "/Dangling").c_str()), 0);
    writeRegistry(modules);
    writePlan({{"UUID-ALPHA", at("/Library/Printers/Tavix/Alpha")}});
    const auto before = snapshot();

    const Result result = run();

    EXPECT_EQ(result.exitCode, 0) << joinLines(result.lines);
    EXPECT_EQ(removedSince(before), sorted(under(before, at("/Library/Printers/Tavix/Alpha"))));
    EXPECT_TRUE(fs::exists(outside + "/folder/precious.txt"));
    EXPECT_TRUE(fs::exists(outside + "/file.txt"));
}

TEST_F(RemovalRun, ModuleFileIsRemovedLikeAFolder)
{
    const std::string file = at("/Library/Printers/Tavix/Single/Single.dylib");
    makeFolder(at("/Library/Printers/Tavix/Single"));
    writeText(file, "code");
    writeRegistry({{"UUID-SINGLE", "Single vLX", file}});
    writePlan({{"UUID-SINGLE", at("/Library/Printers/Tavix/Single")}});

    const Result result = run();

    EXPECT_EQ(result.exitCode, 0) << joinLines(result.lines);
    EXPECT_FALSE(fs::exists(at("/Library/Printers/Tavix/Single")));
}

TEST_F(RemovalRun, ModuleAlreadyGoneIsDroppedFromTheRegistry)
{
    fs::remove_all(at("/Library/Printers/Tavix/Beta"));
    writeRegistry(modules);
    writePlan({{"UUID-BETA", at("/Library/Printers/Tavix/Beta")}});

    const Result result = run();

    EXPECT_EQ(result.exitCode, 0) << joinLines(result.lines);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"absent UUID-BETA " + beta, "registry-updated"}));
    EXPECT_FALSE(registryRoot().dictionaryForKey("KEP2_KEY_MODULES")->contains("UUID-BETA"));
}

TEST_F(RemovalRun, NestedModulesPlannedTogetherAreBothRemoved)
{
    const std::string outer = at("/Library/Printers/Tavix/Outer");
    const std::string inner = outer + "/Inner.plugin";
    makeModuleFolder(inner);
    writeRegistry({{"UUID-OUTER", "Outer vLX", outer}, {"UUID-INNER", "Inner vLX", inner}});
    writePlan({{"UUID-OUTER", at("/Library/Printers/Tavix")}, {"UUID-INNER", outer}});

    const Result result = run();

    EXPECT_EQ(result.exitCode, 0) << joinLines(result.lines);
    EXPECT_FALSE(fs::exists(outer));
    EXPECT_TRUE(fs::is_directory(at("/Library/Printers/Tavix")));
    EXPECT_TRUE(registryRoot().dictionaryForKey("KEP2_KEY_MODULES")->empty());
}

TEST_F(RemovalRun, EntriesTheRegistryNoLongerListsAreAbsentBesideRemovedOnes)
{
    writeRegistry(modules);
    writePlan({{"UUID-NOPE", at("/Library/Printers/Tavix/Alpha")}, {"UUID-BETA", at("/Library/Printers/Tavix/Beta")}});

    const Result result = run();

    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"absent UUID-NOPE -", "removed UUID-BETA " + beta,
                                                      "folder-removed " + at("/Library/Printers/Tavix/Beta"),
                                                      "registry-updated"}));
    EXPECT_TRUE(fs::exists(alpha));
    const platform::PlistDictionary rootDict = registryRoot();
    const platform::PlistDictionary* left = rootDict.dictionaryForKey("KEP2_KEY_MODULES");
    ASSERT_NE(left, nullptr);
    EXPECT_TRUE(left->contains("UUID-ALPHA"));
    EXPECT_FALSE(left->contains("UUID-BETA"));
}

TEST_F(RemovalRun, EntryListedTwiceIsDoneOnce)
{
    writeRegistry(modules);
    writePlan({{"UUID-BETA", at("/Library/Printers/Tavix/Beta")}, {"UUID-BETA", at("/Library/Printers/Tavix/Beta")}});

    const Result result = run();

    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"removed UUID-BETA " + beta,
                                                      "folder-removed " + at("/Library/Printers/Tavix/Beta"),
                                                      "registry-updated"}));
    EXPECT_EQ(result.allLines.back(), "end 1 0 0");
    EXPECT_FALSE(fs::exists(beta));
}

TEST_F(RemovalRun, DryRunReportsAndChangesNothing)
{
    writeRegistry(modules);
    writePlan({{"UUID-ALPHA", at("/Library/Printers/Tavix/Alpha")}, {"UUID-NOPE", at("/x")}});
    const std::string registry = registryBytes();
    const auto before = snapshot();

    const Result result = run(true);

    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"would-remove UUID-ALPHA " + alpha,
                                                      "would-remove-folder " + at("/Library/Printers/Tavix/Alpha"),
                                                      "absent UUID-NOPE -"}));
    EXPECT_TRUE(removedSince(before).empty());
    EXPECT_EQ(registryBytes(), registry);
}

TEST_F(RemovalRun, EmptyPlanHasNothingToRemove)
{
    writeRegistry(modules);
    writePlan({});
    const std::string registry = registryBytes();

    const Result result = run();

    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.allLines, (std::vector<std::string>{"total 0", "end 0 0 0"}));
    EXPECT_EQ(registryBytes(), registry);
}

TEST_F(RemovalRun, OutputStaysOneLinePerActionWhateverThePlanHolds)
{
    writeRegistry(modules);
    writePlan({{"UUID\nremoved /etc", at("/Library/Printers/Tavix/Alpha")}});

    const Result result = run();

    EXPECT_EQ(result.lines, (std::vector<std::string>{"absent UUID%0Aremoved%20/etc -"}));
    const auto event = scripthelper::RemovalEvent::parse(result.lines[0]);
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(event->id, "UUID\nremoved /etc");
}

/// A test name made of the words of a case's description.
std::string testName(const std::string& what)
{
    std::string name;
    bool upper = true;
    for (char c : what) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
            upper = false;
        } else {
            upper = true;
        }
    }
    return name;
}

/// One unsafe plan: the registry's install path and the plan's UnInstallPath for module
/// "UUID-X" (see expand), made ready by prepare, and the reason expected.
struct UnsafeCase {
    const char* what;
    const char* installPath;
    const char* unInstallPath;
    const char* reason;
    void (*prepare)(ScriptHelperSandbox& sandbox, const std::string& root);
};

/// "@" stands for the machine root, "%" for the sandbox folder holding it.
std::string expand(const std::string& text, const std::string& root)
{
    const std::string sandbox = root.substr(0, root.rfind('/'));
    std::string result;
    for (char c : text) {
        if (c == '@')
            result += root;
        else if (c == '%')
            result += sandbox;
        else
            result += c;
    }
    return result;
}

class UnsafePlans : public RemovalRun, public ::testing::WithParamInterface<UnsafeCase> {};

TEST_P(UnsafePlans, AreRefusedWithNothingRemoved)
{
    const UnsafeCase& c = GetParam();
    if (c.prepare)
        c.prepare(*this, root);
    std::vector<Module> withX = modules;
    withX.push_back({"UUID-X", "X vLX Module", expand(c.installPath, root)});
    writeRegistry(withX);
    writePlan({{"UUID-X", expand(c.unInstallPath, root)}});
    const std::string registry = registryBytes();
    const auto before = snapshot();

    const Result result = run();

    EXPECT_EQ(result.exitCode, 1) << c.what;
    ASSERT_EQ(result.lines.size(), 1u) << c.what << "\n" << joinLines(result.lines);
    EXPECT_EQ(result.lines[0].rfind("kept UUID-X ", 0), 0u) << result.lines[0];
    EXPECT_NE(result.lines[0].find(expand(c.reason, root)), std::string::npos) << c.what << ": " << result.lines[0];
    EXPECT_TRUE(removedSince(before).empty()) << c.what;
    EXPECT_EQ(registryBytes(), registry) << c.what;
}

void linkTavixAsVia(ScriptHelperSandbox&, const std::string& root)
{
    ::symlink((root + "/Library/Printers/Tavix").c_str(), (root + "/Library/Printers/Tavix/Via").c_str());
}

void linkAlphaAsLinkPlugin(ScriptHelperSandbox&, const std::string& root)
{
    ::symlink((root + "/Library/Printers/Tavix/Alpha/Alpha.plugin").c_str(),
              (root + "/Library/Printers/Tavix/Link.plugin").c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnsafePlans,
    ::testing::Values(
        UnsafeCase{"empty UnInstallPath of a one-component install path", "Alpha.plugin", "",
                   "UnInstallPath \"\" is empty", nullptr},
        UnsafeCase{"root folder as UnInstallPath", "/usr", "/", "UnInstallPath \"/\" is the root folder", nullptr},
        UnsafeCase{"relative path", "Library/Printers/Tavix/Alpha/Alpha.plugin", "Library/Printers/Tavix/Alpha",
                   "is not an absolute path", nullptr},
        UnsafeCase{"a .. component", "@/Library/Printers/Tavix/Alpha/../Beta/Beta.plugin",
                   "@/Library/Printers/Tavix/Alpha/../Beta", "has a \".\" or \"..\" component", nullptr},
        UnsafeCase{"a . component", "@/Library/Printers/Tavix/./Beta", "@/Library/Printers/Tavix/.",
                   "has a \".\" or \"..\" component", nullptr},
        UnsafeCase{"the system's /Library", "/Library", "/", "UnInstallPath \"/\" is the root folder", nullptr},
        UnsafeCase{"/Library/Printers", "/Library/Printers", "/Library", "/Library/Printers is outside the folders where modules may live", nullptr},
        UnsafeCase{"/usr/local", "/usr/local", "/usr", "/usr/local is outside the folders where modules may live", nullptr},
        UnsafeCase{"/etc/ssh", "/etc/ssh", "/etc", "/etc/ssh is outside the folders where modules may live", nullptr},
        UnsafeCase{"/var/lib/dpkg", "/var/lib/dpkg", "/var/lib", "/var/lib/dpkg is outside the folders where modules may live", nullptr},
        UnsafeCase{"the user's Preferences folder", "%/home/Library/Preferences", "%/home/Library",
                   "%/home/Library/Preferences is outside the folders where modules may live", nullptr},
        UnsafeCase{"Library under the machine root", "@/Library", "@", "@/Library is outside the folders where modules may live", nullptr},
        UnsafeCase{"Library/Printers under the machine root", "@/Library/Printers", "@/Library",
                   "@/Library/Printers is outside the folders where modules may live", nullptr},
        UnsafeCase{"another maker's folder under the machine root", "@/Library/Printers/Other/Other.plugin",
                   "@/Library/Printers/Other", "@/Library/Printers/Other/Other.plugin is outside the folders where modules may live", nullptr},
        UnsafeCase{"usr under the machine root", "@/usr", "@", "@/usr is outside the folders where modules may live", nullptr},
        UnsafeCase{"the machine root itself", "@", "%", "@ is outside the folders where modules may live", nullptr},
        UnsafeCase{"a folder holding the machine root", "%", "/tmp", "% is outside the folders where modules may live", nullptr},
        UnsafeCase{"a line feed in the install path", "@/Library/Printers/Tavix/A\nB/X.plugin",
                   "@/Library/Printers/Tavix/A\nB", "holds a NUL or control character", nullptr},
        UnsafeCase{"a C1 control in the install path", "@/Library/Printers/Tavix/A\xc2\x9b" "B/X.plugin",
                   "@/Library/Printers/Tavix/A\xc2\x9b" "B", "holds a NUL or control character", nullptr},
        UnsafeCase{"the install path is a symbolic link", "@/Library/Printers/Tavix/Link.plugin",
                   "@/Library/Printers/Tavix", "is a symbolic link", linkAlphaAsLinkPlugin},
        UnsafeCase{"a link to a folder named with a trailing slash", "@/Library/Printers/Tavix/Link.plugin/",
                   "@/Library/Printers/Tavix", "is a symbolic link", linkAlphaAsLinkPlugin},
        UnsafeCase{"a symbolic link on the way", "@/Library/Printers/Tavix/Via/Alpha/Alpha.plugin",
                   "@/Library/Printers/Tavix/Via/Alpha", "passes through the symbolic link @/Library/Printers/Tavix/Via",
                   linkTavixAsVia},
        UnsafeCase{"a folder holding another registered module", "@/Library/Printers/Tavix/Alpha",
                   "@/Library/Printers/Tavix", "holds module UUID-ALPHA", nullptr},
        UnsafeCase{"the folder holding every module", "@/Library/Printers/Tavix", "@/Library/Printers",
                   "@/Library/Printers/Tavix is outside the folders where modules may live", nullptr},
        UnsafeCase{"the same folder as another module", "@/Library/Printers/Tavix/Beta/Beta.plugin/",
                   "@/Library/Printers/Tavix/Beta", "is also the install path of module UUID-BETA", nullptr},
        UnsafeCase{"a mismatching UnInstallPath", "@/Library/Printers/Tavix/Gamma/Gamma.plugin",
                   "@/Library/Printers/Tavix/Beta",
                   "UnInstallPath @/Library/Printers/Tavix/Beta does not match the registry's install path", nullptr},
        UnsafeCase{"an UnInstallPath above the parent", "@/Library/Printers/Tavix/Gamma/Gamma.plugin",
                   "@/Library/Printers/Tavix", "does not match", nullptr}),
    [](const ::testing::TestParamInfo<UnsafeCase>& info) { return testName(info.param.what) + std::to_string(info.index); });

TEST_F(RemovalRun, ALinkFromAModuleThatStaysDoesNotHoldBackTheModuleItLeadsTo)
{
    // Alpha is registered at a link into Host's tree: what is Host's goes with Host, and only
    // that; Alpha's link and entry are left as they are.
    const std::string host = at("/Library/Printers/Tavix/Host/Host.plugin");
    makeModuleFolder(host);
    fs::remove_all(alpha);
    ASSERT_EQ(::symlink((host + "/Contents").c_str(), alpha.c_str()), 0);
    std::vector<Module> withHost = modules;
    withHost.push_back({"UUID-HOST", "Host vLX Module", host});
    writeRegistry(withHost);
    writePlan({{"UUID-HOST", at("/Library/Printers/Tavix/Host")}});
    const auto before = snapshot();

    const Result result = run();

    EXPECT_EQ(result.exitCode, 0) << joinLines(result.lines);
    EXPECT_EQ(removedSince(before), under(before, at("/Library/Printers/Tavix/Host")));
    EXPECT_TRUE(fs::is_symlink(alpha));
    const std::string registry = registryBytes();
    EXPECT_NE(registry.find("UUID-ALPHA"), std::string::npos);
    EXPECT_EQ(registry.find("UUID-HOST"), std::string::npos);
}

TEST_F(RemovalRun, ModuleThatAnotherMountShowsIsKept)
{
    const std::string view = at("/View");
    makeFolder(view);
    const ScopedMount bound(alpha + "/Contents", view, nullptr, MS_BIND);
    if (!bound.mounted())
        GTEST_SKIP() << "cannot bind-mount here";
    writeRegistry(modules);
    writePlan({{"UUID-ALPHA", at("/Library/Printers/Tavix/Alpha")}});
    const std::string registry = registryBytes();
    const auto before = snapshot();

    const Result result = run();

    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"kept UUID-ALPHA " + alpha + " is mounted at " + view +
                                                      " as well (there, or a folder inside it)"}));
    EXPECT_TRUE(removedSince(before).empty());
    EXPECT_EQ(registryBytes(), registry);
}

TEST_F(RemovalRun, UnknownUuidIsAbsentWithNothingRemoved)
{
    writeRegistry(modules);
    writePlan({{"UUID-UNKNOWN", at("/Library/Printers/Tavix/Alpha")}});
    const std::string registry = registryBytes();
    const auto before = snapshot();

    const Result result = run();

    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"absent UUID-UNKNOWN -"}));
    EXPECT_TRUE(removedSince(before).empty());
    EXPECT_EQ(registryBytes(), registry);
}

TEST_F(RemovalRun, PlanEntriesWithoutTheirKeysAreRefused)
{
    writeRegistry(modules);
    platform::PlistDictionary noUuid;
    noUuid.set("UnInstallPath", at("/Library/Printers/Tavix/Alpha"));
    platform::PlistDictionary noPath;
    noPath.set("UUID", "UUID-ALPHA");
    platform::PlistDictionary plan;
    plan.set("UnInstallApps", platform::PlistArray{noUuid, noPath, platform::PlistValue("UUID-BETA")});
    writeText(planPath, platform::xmlPropertyList(plan));
    const auto before = snapshot();

    const Result result = run();

    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"kept - entry 1 has no UUID",
                                                      "kept UUID-ALPHA has no UnInstallPath",
                                                      "kept - entry 3 has no UUID"}));
    EXPECT_TRUE(removedSince(before).empty());
}

TEST_F(RemovalRun, PlanLongerThanTheRegistryAllowsIsRefusedWithItsCount)
{
    writeRegistry(modules);
    platform::PlistArray entries;
    for (int i = 0; i < 65537; ++i) {
        platform::PlistDictionary entry;
        entry.set("UUID", "U" + std::to_string(i));
        entry.set("UnInstallPath", "/p");
        entries.push_back(std::move(entry));
    }
    platform::PlistDictionary plan;
    plan.set("UnInstallApps", std::move(entries));
    writeText(planPath, platform::binaryPropertyList(plan));
    const auto before = snapshot();

    const Result result = run();

    EXPECT_EQ(result.exitCode, scripthelper::kExitPlanUnusable);
    ASSERT_EQ(result.lines.size(), 1u) << joinLines(result.lines);
    EXPECT_NE(result.lines[0].find(" names 65537 entries, more than the " + std::to_string(modules.size()) +
                                   " modules the registry holds"),
              std::string::npos)
        << result.lines[0];
    EXPECT_TRUE(removedSince(before).empty());
}

TEST_F(RemovalRun, PlanLargerThanAPlanMayBeIsRefusedForItsSize)
{
    writeRegistry(modules);
    writeText(planPath, "");
    ASSERT_EQ(::truncate(planPath.c_str(), static_cast<off_t>(platform::kMaxPropertyListBytes) + 1), 0);

    const Result result = run();

    EXPECT_EQ(result.exitCode, scripthelper::kExitPlanUnusable);
    ASSERT_EQ(result.lines.size(), 1u) << joinLines(result.lines);
    EXPECT_NE(result.lines[0].find("is larger than the 64 MiB a plan may hold"), std::string::npos) << result.lines[0];
}

/// Spoils the registry or the plan; the whole run is then refused.
struct UntrustedCase {
    const char* what;
    const char* linePrefix;
    bool rootOnly;
    void (*spoil)(ScriptHelperSandbox& sandbox, const std::string& registry, const std::string& plan);
};

class UntrustedFiles : public RemovalRun, public ::testing::WithParamInterface<UntrustedCase> {};

TEST_P(UntrustedFiles, RefuseTheWholeRun)
{
    const UntrustedCase& c = GetParam();
    if (c.rootOnly && ::geteuid() != 0)
        GTEST_SKIP() << "only checked when running as root";
    writeRegistry(modules);
    writePlan({{"UUID-ALPHA", at("/Library/Printers/Tavix/Alpha")}});
    c.spoil(*this, registryPath, planPath);
    const auto before = snapshot();

    const Result result = run();

    const bool planRefused = std::string(c.linePrefix).rfind("refused plan", 0) == 0;
    EXPECT_EQ(result.exitCode, planRefused ? scripthelper::kExitPlanUnusable : scripthelper::kExitRegistryUnusable)
        << c.what;
    ASSERT_EQ(result.lines.size(), 1u) << c.what << "\n" << joinLines(result.lines);
    EXPECT_EQ(result.lines[0].rfind(c.linePrefix, 0), 0u) << c.what << ": " << result.lines[0];
    EXPECT_TRUE(removedSince(before).empty()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UntrustedFiles,
    ::testing::Values(
        UntrustedCase{"world-writable registry", "refused registry", false,
                      [](ScriptHelperSandbox&, const std::string& registry, const std::string&) {
                          ::chmod(registry.c_str(), 0666);
                      }},
        UntrustedCase{"group-writable registry", "refused registry", false,
                      [](ScriptHelperSandbox&, const std::string& registry, const std::string&) {
                          ::chmod(registry.c_str(), 0664);
                      }},
        UntrustedCase{"registry that is a symbolic link", "refused registry", false,
                      [](ScriptHelperSandbox&, const std::string& registry, const std::string&) {
                          std::filesystem::rename(registry, registry + ".real");
                          ::symlink((registry + ".real").c_str(), registry.c_str());
                      }},
        UntrustedCase{"missing registry", "refused registry", false,
                      [](ScriptHelperSandbox&, const std::string& registry, const std::string&) {
                          std::filesystem::remove(registry);
                      }},
        UntrustedCase{"registry that is no property list", "refused registry", false,
                      [](ScriptHelperSandbox& sandbox, const std::string& registry, const std::string&) {
                          sandbox.writeText(registry, "KEP2_KEY_MODULES");
                      }},
        UntrustedCase{"registry without its module dictionary", "refused registry", false,
                      [](ScriptHelperSandbox& sandbox, const std::string& registry, const std::string&) {
                          platform::PlistDictionary other;
                          other.set("KEP2_KEY_MODULES", "not a dictionary");
                          sandbox.writeText(registry, platform::xmlPropertyList(other));
                      }},
        UntrustedCase{"registry owned by another user", "refused registry", true,
                      [](ScriptHelperSandbox&, const std::string& registry, const std::string&) {
                          ::chown(registry.c_str(), 65534, 65534);
                      }},
        UntrustedCase{"registry in a folder others may write to", "refused registry", true,
                      [](ScriptHelperSandbox&, const std::string& registry, const std::string&) {
                          ::chmod(std::filesystem::path(registry).parent_path().c_str(), 0777);
                      }},
        UntrustedCase{"registry in a folder owned by another user", "refused registry", true,
                      [](ScriptHelperSandbox&, const std::string& registry, const std::string&) {
                          ::chown(std::filesystem::path(registry).parent_path().parent_path().c_str(), 65534, 65534);
                      }},
        UntrustedCase{"missing plan", "refused plan", false,
                      [](ScriptHelperSandbox&, const std::string&, const std::string& plan) {
                          std::filesystem::remove(plan);
                      }},
        UntrustedCase{"plan that is a symbolic link", "refused plan", false,
                      [](ScriptHelperSandbox&, const std::string&, const std::string& plan) {
                          std::filesystem::rename(plan, plan + ".real");
                          ::symlink((plan + ".real").c_str(), plan.c_str());
                      }},
        UntrustedCase{"plan without UnInstallApps", "refused plan", false,
                      [](ScriptHelperSandbox& sandbox, const std::string&, const std::string& plan) {
                          platform::PlistDictionary other;
                          other.set("InstallApps", platform::PlistArray{});
                          sandbox.writeText(plan, platform::xmlPropertyList(other));
                      }},
        UntrustedCase{"~/Library/Preferences that is a symbolic link", "refused plan", false,
                      [](ScriptHelperSandbox&, const std::string&, const std::string& plan) {
                          const std::filesystem::path preferences = std::filesystem::path(plan).parent_path();
                          std::filesystem::rename(preferences, preferences.string() + ".real");
                          ::symlink((preferences.string() + ".real").c_str(), preferences.c_str());
                      }},
        UntrustedCase{"~/Library that is a symbolic link", "refused plan", false,
                      [](ScriptHelperSandbox&, const std::string&, const std::string& plan) {
                          const std::filesystem::path library = std::filesystem::path(plan).parent_path().parent_path();
                          std::filesystem::rename(library, library.string() + ".real");
                          ::symlink((library.string() + ".real").c_str(), library.c_str());
                      }},
        UntrustedCase{"~/Library/Preferences of another user", "refused plan", true,
                      [](ScriptHelperSandbox&, const std::string&, const std::string& plan) {
                          ::chown(std::filesystem::path(plan).parent_path().c_str(), 65534, 65534);
                      }},
        UntrustedCase{"plan of another user", "refused plan", true,
                      [](ScriptHelperSandbox&, const std::string&, const std::string& plan) {
                          ::chown(plan.c_str(), 65534, 65534);
                      }}),
    [](const ::testing::TestParamInfo<UntrustedCase>& info) { return testName(info.param.what) + std::to_string(info.index); });

TEST_F(RemovalRun, MountPointInsideIsNeverEntered)
{
    const std::string mountPoint = alpha + "/Contents/Mounted";
    makeFolder(mountPoint);
    const ScopedMount mounted("scripthelper-test", mountPoint, "tmpfs", 0, "size=64k");
    if (!mounted.mounted())
        GTEST_SKIP() << "cannot mount a file system here";
    writeText(mountPoint + "/on-another-fs", "keep");
    writeRegistry(modules);
    writePlan({{"UUID-ALPHA", at("/Library/Printers/Tavix/Alpha")}});
    const auto before = snapshot();

    const Result result = run();

    EXPECT_EQ(result.exitCode, 1);
    ASSERT_EQ(result.lines.size(), 1u) << joinLines(result.lines);
    EXPECT_NE(result.lines[0].find("on another file system"), std::string::npos) << result.lines[0];
    EXPECT_TRUE(removedSince(before).empty());
    EXPECT_TRUE(fs::exists(mountPoint + "/on-another-fs"));
}

}  // namespace
