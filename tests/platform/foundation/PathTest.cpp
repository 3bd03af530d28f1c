#include "platform/foundation/Path.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

struct JoinCase {
    const char* base;
    const char* component;
    const char* joined;
};

struct PathCase {
    const char* path;
    const char* withoutLast;
    const char* last;
};

}  // namespace

TEST(PathJoining, JoinsWithExactlyOneSlash)
{
    const JoinCase cases[] = {
        {"", "b", "b"},
        {"/", "b", "/b"},
        {"a", "b", "a/b"},
        {"a/", "b", "a/b"},
        {"/a", "b", "/a/b"},
        {"/a/b/", "c", "/a/b/c"},
        {"a//b", "c", "a//b/c"},
        {"a", "/b", "a/b"},
        {"a/", "/b", "a/b"},
        {"/Users/x/Library", "Preferences", "/Users/x/Library/Preferences"},
        {"a", "b/c", "a/b/c"},
    };
    for (const JoinCase& c : cases)
        EXPECT_EQ(stringByAppendingPathComponent(c.base, c.component), c.joined)
            << "\"" << c.base << "\" + \"" << c.component << "\"";
}

TEST(PathJoining, RemovesTheLastComponent)
{
    const PathCase cases[] = {
        {"", "", ""},
        {"/", "/", "/"},
        {"a", "", "a"},
        {"a/", "", "a"},
        {"/a", "/", "a"},
        {"/a/b/", "/a", "b"},
        {"a//b", "a", "b"},
        {"/a/b/c.plist", "/a/b", "c.plist"},
        {"Oxlade.bundle/Contents/Resources/German.lproj/Localizable.strings",
         "Oxlade.bundle/Contents/Resources/German.lproj", "Localizable.strings"},
    };
    for (const PathCase& c : cases) {
        EXPECT_EQ(stringByDeletingLastPathComponent(c.path), c.withoutLast) << "\"" << c.path << "\"";
        EXPECT_EQ(lastPathComponent(c.path), c.last) << "\"" << c.path << "\"";
    }
}
