#include "platform/coreservices/Gestalt.h"
#include "platform/foundation/TestSeams.h"

#include <cstdlib>

#include <gtest/gtest.h>

namespace platform {
namespace {

class GestaltTest : public ::testing::Test {
protected:
    void TearDown() override { setGestaltOverride({}); }
};

TEST_F(GestaltTest, SystemVersionAnswersTheEmulatedSystem)
{
    std::int32_t response = 0;
    EXPECT_EQ(Gestalt(gestaltSystemVersion, &response), noErr);
    EXPECT_EQ(response, kEmulatedSystemVersion);
    EXPECT_EQ(response, 0x1068);
}

TEST_F(GestaltTest, SysvSelectorIsTheFourCharacterCode)
{
    const OSType packed = (OSType('s') << 24) | (OSType('y') << 16) | (OSType('s') << 8) | OSType('v');
    EXPECT_EQ(gestaltSystemVersion, packed);
}

TEST_F(GestaltTest, UnknownSelectorFailsAndLeavesResponse)
{
    std::int32_t response = 77;
    EXPECT_EQ(Gestalt(0x71756b61 /* 'quka' */, &response), gestaltUndefSelectorErr);
    EXPECT_EQ(response, 77);
}

TEST_F(GestaltTest, NullResponseIsAParameterError)
{
    EXPECT_EQ(Gestalt(gestaltSystemVersion, nullptr), paramErr);
    setGestaltOverride([](OSType, std::int32_t* r) { *r = 1; return noErr; });
    EXPECT_EQ(Gestalt(gestaltSystemVersion, nullptr), paramErr);
}

TEST_F(GestaltTest, OverrideAnswersUntilCleared)
{
    OSType asked = 0;
    setGestaltOverride([&asked](OSType selector, std::int32_t* response) {
        asked = selector;
        *response = 0x105F;
        return noErr;
    });
    std::int32_t response = 0;
    EXPECT_EQ(Gestalt(gestaltSystemVersion, &response), noErr);
    EXPECT_EQ(response, 0x105F);
    EXPECT_EQ(asked, gestaltSystemVersion);

    setGestaltOverride([](OSType, std::int32_t*) { return OSErr(-1); });
    EXPECT_EQ(Gestalt(gestaltSystemVersion, &response), -1);

    setGestaltOverride({});
    EXPECT_EQ(Gestalt(gestaltSystemVersion, &response), noErr);
    EXPECT_EQ(response, kEmulatedSystemVersion);
}

struct PackedCase {
    const char* version;
    std::optional<std::int32_t> packed;
};

TEST(PackedSystemVersion, ReadsTenDotMinorDotPatch)
{
    const PackedCase cases[] = {
        {"10.6", 0x1060},      {"10.6.0", 0x1060},   {"10.5.8", 0x1058},  {"10.4.11", 0x1049},
        {"10.10.3", 0x1093},   {"10.15", 0x1090},    {"10.6.8", 0x1068},  {"10", std::nullopt},
        {"11.0", std::nullopt}, {"10.", std::nullopt}, {"10.6.", std::nullopt}, {"10.6.8.1", std::nullopt},
        {" 10.6", std::nullopt}, {"10.6x", std::nullopt}, {"10.100", std::nullopt}, {"", std::nullopt},
    };
    for (const PackedCase& c : cases) {
        EXPECT_EQ(packedSystemVersion(c.version), c.packed) << c.version;
    }
}

TEST_F(GestaltTest, SystemVersionOfTheRunComesFromTheSeam)
{
    if (!testSeamsEnabled()) {
        GTEST_SKIP() << "built without test seams";
    }
    std::int32_t response = 0;
    setenv("PLATFORM_SYSTEM_VERSION", "10.5.8", 1);
    EXPECT_EQ(Gestalt(gestaltSystemVersion, &response), noErr);
    EXPECT_EQ(response, 0x1058);
    setenv("PLATFORM_SYSTEM_VERSION", "fail", 1);
    EXPECT_NE(Gestalt(gestaltSystemVersion, &response), noErr);
    unsetenv("PLATFORM_SYSTEM_VERSION");
    EXPECT_EQ(Gestalt(gestaltSystemVersion, &response), noErr);
    EXPECT_EQ(response, kEmulatedSystemVersion);
}

}  // namespace
}  // namespace platform
