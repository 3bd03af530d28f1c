// MountTable: the mount table read from mountinfo text, and where else a folder is shown.

#include "UnInstaller/resources/ScriptHelper/MountTable.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <optional>
#include <string>

namespace {

using scripthelper::MountTable;

// The root file system at "/", its folder /srv/data shown at /data, one of its module folders
// shown read-only at /export, a file system of its own at /mnt/usb, and lines that do not read.
constexpr const char* kTable =
    "28 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw,discard\n"
    "40 28 254:0 /srv/data /data rw,relatime shared:1 - ext4 /dev/vda rw\n"
    "41 28 254:0 /srv/data/Modules/Alpha\\040One /export rw,relatime - ext4 /dev/vda rw\n"
    "42 28 8:17 / /mnt/usb\\040stick rw - vfat /dev/sdb1 rw\n"
    "43 28 8:17 /Modules/Beta /mnt/beta rw - vfat /dev/sdb1 rw\n"
    "not a mount line\n"
    "44 28 254:0 / /no-dash rw\n"
    "x 28 254:0 / /bad-id rw - ext4 /dev/vda rw\n"
    "45 28 254 / /bad-device rw - ext4 /dev/vda rw\n"
    "46 28 254:0 relative /bad-root rw - ext4 /dev/vda rw";

TEST(MountTable, ReadsEachMountWithItsEscapesDecodedAndLeavesOutWhatDoesNotRead)
{
    const MountTable table = MountTable::parse(kTable);
    ASSERT_EQ(table.mounts().size(), 5u);
    const MountTable::Mount* exported = table.byId(41);
    ASSERT_NE(exported, nullptr);
    EXPECT_EQ(exported->root, "/srv/data/Modules/Alpha One");
    EXPECT_EQ(exported->mountPoint, "/export");
    EXPECT_EQ(exported->device, "254:0");
    const MountTable::Mount* usb = table.byId(42);
    ASSERT_NE(usb, nullptr);
    EXPECT_EQ(usb->mountPoint, "/mnt/usb stick");
    EXPECT_EQ(usb->type, "vfat");
    EXPECT_EQ(usb->source, "/dev/sdb1");
    EXPECT_EQ(table.byId(28)->superOptions, "rw,discard");
    EXPECT_EQ(table.byId(28)->options, "rw,relatime");
    EXPECT_EQ(table.byId(44), nullptr);
    EXPECT_EQ(table.byId(7), nullptr);
}

struct ShownCase {
    const char* what;
    std::uint64_t mount;
    const char* path;
    const char* elsewhere;
};

class MountTableShown : public ::testing::TestWithParam<ShownCase> {};

TEST_P(MountTableShown, NamesTheOtherMountOrNone)
{
    const MountTable table = MountTable::parse(kTable);
    const ShownCase& c = GetParam();
    const std::optional<std::string> elsewhere = table.shownElsewhere(c.mount, c.path);
    EXPECT_EQ(elsewhere.value_or("none"), c.elsewhere) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MountTableShown,
    ::testing::Values(
        ShownCase{"the folder another mount shows", 28, "/srv/data/Modules/Alpha One", "/export"},
        ShownCase{"a folder holding what another mount shows", 28, "/srv/data/Modules", "/export"},
        ShownCase{"the same folder reached through the mount of its parent", 40, "/data/Modules/Alpha One", "/export"},
        ShownCase{"a folder below the one another mount shows", 28,
                  "/srv/data/Modules/Alpha One/Contents", "none"},
        ShownCase{"a sibling with a longer name", 28, "/srv/data/Modules/Alpha", "none"},
        ShownCase{"another file system's folder of the same name", 42, "/mnt/usb stick/srv/data/Modules", "none"},
        ShownCase{"a folder of the other file system shown twice", 42, "/mnt/usb stick/Modules", "/mnt/beta"},
        ShownCase{"a folder the mount of that id does not hold", 40, "/srv/data/Modules", "none"},
        ShownCase{"a mount not in the table", 99, "/srv/data/Modules", "none"}),
    [](const ::testing::TestParamInfo<ShownCase>& info) {
        std::string name;
        for (const char* c = info.param.what; *c != '\0'; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

TEST(MountTable, ThisProcessHasOneForItsRoot)
{
    std::string error;
    const std::optional<MountTable> table = MountTable::load(&error);
    ASSERT_TRUE(table) << error;
    bool root = false;
    for (const MountTable::Mount& mount : table->mounts())
        root = root || mount.mountPoint == "/";
    EXPECT_TRUE(root);
}

}  // namespace
