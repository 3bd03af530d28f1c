#include "platform/foundation/FileManager.h"

#include "platform/foundation/SearchPaths.h"
#include "platform/foundation/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

using namespace platform;
using foundation_test::TempFolder;

TEST(FileManager, ExistenceAndKind)
{
    TempFolder temp;
    bool isDirectory = false;
    EXPECT_TRUE(fileExistsAtPath(temp.path(), &isDirectory));
    EXPECT_TRUE(isDirectory);
    EXPECT_TRUE(fileExistsAtPath(temp.write("f", "x"), &isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_FALSE(fileExistsAtPath(temp / "missing"));
    EXPECT_FALSE(fileExistsAtPath(""));
}

TEST(FileManager, ContentsOfRegularFileOnly)
{
    TempFolder temp;
    EXPECT_EQ(contentsOfRegularFile(temp.write("f", "hello"), 5), "hello");
    EXPECT_EQ(contentsOfRegularFile(temp.write("e", ""), 5), "");
    EXPECT_FALSE(contentsOfRegularFile(temp / "f", 4));
    EXPECT_FALSE(contentsOfRegularFile(temp.path(), 100));
    EXPECT_FALSE(contentsOfRegularFile(temp / "missing", 100));
    const std::string fifo = temp / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(contentsOfRegularFile(fifo, 100));
    EXPECT_FALSE(contentsOfRegularFile("/dev/zero", 100));
}

TEST(SearchPaths, FollowHomeAndPlatformRoot)
{
    const char* savedHome = std::getenv("HOME");
    const char* savedRoot = std::getenv("PLATFORM_ROOT");
    const std::string home = savedHome ? savedHome : "";
    const std::string root = savedRoot ? savedRoot : "";
    ::setenv("HOME", "/tmp/some-home", 1);
    ::setenv("PLATFORM_ROOT", "/tmp/some-root/", 1);
    EXPECT_EQ(NSHomeDirectory(), "/tmp/some-home");
    EXPECT_EQ(userLibraryDirectory(), "/tmp/some-home/Library");
    EXPECT_EQ(preferencesDirectory(), "/tmp/some-home/Library/Preferences");
    EXPECT_EQ(resolveSystemPath("/Library/Preferences/com.tavix.KEPL2.plist"),
              "/tmp/some-root/Library/Preferences/com.tavix.KEPL2.plist");
    ::unsetenv("PLATFORM_ROOT");
    EXPECT_EQ(platformRoot(), "/");
    EXPECT_EQ(resolveSystemPath("/Library/Printers"), "/Library/Printers");
    if (savedHome)
        ::setenv("HOME", home.c_str(), 1);
    else
        ::unsetenv("HOME");
    if (savedRoot)
        ::setenv("PLATFORM_ROOT", root.c_str(), 1);
}
