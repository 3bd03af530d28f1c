#include "platform/foundation/Log.h"

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

TEST(Log, FormatsPlaceholdersInOrder)
{
    std::vector<std::string> lines;
    setLogSink([&](const std::string& line) { lines.push_back(line); });
    NSLog("%@", {"\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF"});
    NSLog("GestaltErr");
    NSLog("%@ and %@, 100%% %@", {"one", "two"});
    NSLog("trailing %");
    setLogSink({});
    EXPECT_EQ(lines, (std::vector<std::string>{"\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF", "GestaltErr",
                                               "one and two, 100% (null)", "trailing %"}));
}

TEST(Log, SinkMayLogItself)
{
    std::vector<std::string> lines;
    setLogSink([&](const std::string& line) {
        lines.push_back(line);
        if (lines.size() == 1)
            NSLog("again");
    });
    NSLog("first");
    setLogSink({});
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "again"}));
}

TEST(Log, IdentityNamesTheProgramUntilOneIsSet)
{
    const std::string started = platform::logIdentity();
    EXPECT_FALSE(started.empty());
    EXPECT_EQ(started.find('/'), std::string::npos) << started;
    platform::setLogIdentity("Plugsweep");
    EXPECT_EQ(platform::logIdentity(), "Plugsweep");
    platform::setLogIdentity("");
    EXPECT_EQ(platform::logIdentity(), started);
}
