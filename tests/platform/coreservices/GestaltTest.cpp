#include "platform/coreservices/Gestalt.h"

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

}  // namespace
}  // namespace platform
