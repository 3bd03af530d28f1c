#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using scripthelper::PathPolicy;

namespace {

struct SyntaxCase {
    const char* path;
    const char* problem;
};

class PathSyntax : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(PathSyntax, NamesTheProblemOrNone)
{
    const auto problem = PathPolicy::syntaxProblem(GetParam().path);
    if (GetParam().problem == nullptr)
        EXPECT_FALSE(problem) << GetParam().path << ": " << problem.value_or("");
    else
        EXPECT_EQ(problem.value_or("none"), GetParam().problem) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathSyntax,
    ::testing::Values(SyntaxCase{"", "is empty"}, SyntaxCase{"/", "is the root folder"},
                      SyntaxCase{"//", "is the root folder"}, SyntaxCase{"Library/Alpha", "is not an absolute path"},
                      SyntaxCase{"./Alpha", "is not an absolute path"},
                      SyntaxCase{"/Library/../etc", "has a \".\" or \"..\" component"},
                      SyntaxCase{"/Library/./Alpha", "has a \".\" or \"..\" component"},
                      SyntaxCase{"/Library/Alpha/..", "has a \".\" or \"..\" component"},
                      SyntaxCase{"/Library/Alpha/.", "has a \".\" or \"..\" component"},
                      SyntaxCase{"/Library/Alpha", nullptr}, SyntaxCase{"/Library//Alpha/", nullptr},
                      SyntaxCase{"/Library/..Alpha", nullptr}, SyntaxCase{"/Library/Alpha.../x", nullptr}));

TEST(PathPolicy, NormalizesRepeatedAndTrailingSlashes)
{
    EXPECT_EQ(PathPolicy::normalized("/a//b/"), "/a/b");
    EXPECT_EQ(PathPolicy::normalized("/"), "/");
    EXPECT_EQ(PathPolicy::normalized("a/b/"), "a/b");
}

TEST(PathPolicy, InsideComparesWholeComponents)
{
    EXPECT_TRUE(PathPolicy::isInsideOrSame("/a/b/c", "/a/b"));
    EXPECT_TRUE(PathPolicy::isInsideOrSame("/a/b/", "/a//b"));
    EXPECT_FALSE(PathPolicy::isInsideOrSame("/a/bc", "/a/b"));
    EXPECT_FALSE(PathPolicy::isInsideOrSame("/a", "/a/b"));
    EXPECT_FALSE(PathPolicy::isInsideOrSame("a/b", "/a"));
    EXPECT_TRUE(PathPolicy::isInsideOrSame("/anything", "/"));
}

struct PlaceCase {
    const char* root;
    const char* path;
    bool refused;
};

class ModuleFolders : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(ModuleFolders, AllowOnlyWhatLiesStrictlyInsideUnderTheMachineRoot)
{
    const PathPolicy policy(GetParam().root, {"/Library/Printers/Tavix"});
    EXPECT_EQ(policy.placeProblem(GetParam().path).has_value(), GetParam().refused)
        << GetParam().root << " " << GetParam().path;
    EXPECT_EQ(policy.isInsideModuleFolder(GetParam().path), !GetParam().refused);
}

constexpr const char* kSandbox = "/srv/sandbox/root/";

INSTANTIATE_TEST_SUITE_P(
    Paths, ModuleFolders,
    ::testing::Values(PlaceCase{kSandbox, "/Library", true}, PlaceCase{kSandbox, "/Library/", true},
                      PlaceCase{kSandbox, "/Library/Printers", true}, PlaceCase{kSandbox, "/usr", true},
                      PlaceCase{kSandbox, "/usr/local", true}, PlaceCase{kSandbox, "/etc", true},
                      PlaceCase{kSandbox, "/System", true}, PlaceCase{kSandbox, "/home", true},
                      PlaceCase{kSandbox, "/srv/sandbox/root", true}, PlaceCase{kSandbox, "/srv/sandbox/root/Library", true},
                      PlaceCase{kSandbox, "/srv/sandbox/root//Library/Printers/", true},
                      PlaceCase{kSandbox, "/srv/sandbox/root/Library/Printers/Tavix", true},
                      PlaceCase{kSandbox, "/srv/sandbox/root/Library/Printers/Tavix/", true},
                      PlaceCase{kSandbox, "/srv/sandbox/root/Library/Printers/TavixOther/A.plugin", true},
                      PlaceCase{kSandbox, "/srv/sandbox", true}, PlaceCase{kSandbox, "/home/ann", true},
                      PlaceCase{kSandbox, "/home/ann/Library/Preferences", true},
                      PlaceCase{kSandbox, "/Library/Printers/Tavix/Alpha/Alpha.plugin", true},
                      PlaceCase{kSandbox, "/srv/sandbox/root/Library/Printers/Tavix/Alpha.plugin", false},
                      PlaceCase{kSandbox, "/srv/sandbox/root/Library/Printers/Tavix//Alpha/Alpha.plugin/", false},
                      PlaceCase{"/", "/etc/ssh", true}, PlaceCase{"/", "/var/lib/dpkg", true},
                      PlaceCase{"/", "/home/other", true}, PlaceCase{"/", "/usr/libexec/plugsweep/ScriptHelper", true},
                      PlaceCase{"/", "/Library/Preferences", true}, PlaceCase{"/", "/Library/Printers/Other/X", true},
                      PlaceCase{"/", "/Library/Printers/Tavix", true},
                      PlaceCase{"/", "/Library/Printers/Tavix/Alpha/Alpha.plugin", false},
                      PlaceCase{"", "/Library/Printers/Tavix/Alpha", false}));

TEST(PathPolicy, BuiltModuleFoldersAreAbsoluteLibraryFolders)
{
    const std::vector<std::string> folders = PathPolicy::builtModuleFolders();
    ASSERT_FALSE(folders.empty());
    for (const std::string& folder : folders) {
        EXPECT_FALSE(PathPolicy::syntaxProblem(folder)) << folder;
        EXPECT_EQ(folder.rfind("/Library/", 0), 0u) << folder;
    }
}

TEST(PathPolicy, ControlCharactersAndNulAreRefusedWhereverTheyStand)
{
    using namespace std::string_literals;
    const std::string refused[] = {
        "/Library/Printers/Tavix/Alpha/..\0/Preferences"s, "/\0"s, "/Library/Printers/Tavix/A\0"s,
        "/Library/Printers/Tavix/A\nB"s, "/Library/Printers/Tavix/A\tB"s, "/Library/Printers/Tavix/A\x7f"s,
        "/Library/Printers/Tavix/A\x1b[2J"s, "/Library/Printers/Tavix/A\xc2\x9b" "31m"s,
        "/Library/Printers/Tavix/A\xc2\x80"s, "/Library/Printers/Tavix/A\x9b"s, "/Library/Printers/Tavix/\x85"s};
    for (const std::string& path : refused) {
        EXPECT_TRUE(PathPolicy::holdsControlCharacter(path)) << path;
        EXPECT_EQ(PathPolicy::syntaxProblem(path).value_or("none"), "holds a NUL or control character") << path;
    }
    const std::string accepted[] = {"/Library/Printers/Tavix/Caf\xc3\xa9"s, "/Library/Printers/Tavix/\xe2\x82\xac"s,
                                    "/Library/Printers/Tavix/\xe3\x83\x97\xe3\x83\xaa"s,
                                    "/Library/Printers/Tavix/\xc2\xa0"s, "/Library/Printers/Tavix/\xf0\x9f\x96\xa8"s};
    for (const std::string& path : accepted)
        EXPECT_FALSE(PathPolicy::syntaxProblem(path)) << path;
}

TEST(PathPolicy, HostilePathTextsWithANulAreRefused)
{
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SOURCE_DIR "/../shared/hostile-inputs")) {
        if (entry.path().filename().string().rfind("F5-", 0) != 0)
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string path((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_NE(path.find('\0'), std::string::npos) << entry.path();
        EXPECT_TRUE(PathPolicy::syntaxProblem(path).has_value()) << entry.path();
        EXPECT_EQ(PathPolicy::syntaxProblem(path).value_or("none"), "holds a NUL or control character");
        ++seen;
    }
    EXPECT_GE(seen, 2);
}

}  // namespace
