#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"

#include <gtest/gtest.h>

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

struct ProtectedCase {
    const char* path;
    bool refused;
};

class ProtectedFolders : public ::testing::TestWithParam<ProtectedCase> {};

TEST_P(ProtectedFolders, AreRefusedAsTheyStandAndUnderTheMachineRoot)
{
    const PathPolicy policy("/srv/sandbox/root/", "/home/ann");
    EXPECT_EQ(policy.protectedProblem(GetParam().path).has_value(), GetParam().refused) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ProtectedFolders,
    ::testing::Values(ProtectedCase{"/Library", true}, ProtectedCase{"/Library/", true},
                      ProtectedCase{"/Library/Printers", true}, ProtectedCase{"/usr", true},
                      ProtectedCase{"/usr/local", true}, ProtectedCase{"/etc", true}, ProtectedCase{"/bin", true},
                      ProtectedCase{"/System", true}, ProtectedCase{"/Applications", true},
                      ProtectedCase{"/home", true}, ProtectedCase{"/Users", true}, ProtectedCase{"/var", true},
                      ProtectedCase{"/opt", true}, ProtectedCase{"/tmp", true},
                      ProtectedCase{"/srv/sandbox/root", true}, ProtectedCase{"/srv/sandbox/root/Library", true},
                      ProtectedCase{"/srv/sandbox/root//Library/Printers/", true},
                      ProtectedCase{"/srv/sandbox/root/usr", true}, ProtectedCase{"/srv/sandbox", true},
                      ProtectedCase{"/home/ann", true}, ProtectedCase{"/home/ann/Library/Preferences", true},
                      ProtectedCase{"/srv/sandbox/root/Library/Printers/Tavix/Alpha.plugin", false},
                      ProtectedCase{"/Library/Printers/Tavix", false},
                      ProtectedCase{"/Library/Printers/Tavix/Alpha/Alpha.plugin", false},
                      ProtectedCase{"/home/ann/Library/Printers/Alpha", false},
                      ProtectedCase{"/usr/share/tavix", false}));

}  // namespace
