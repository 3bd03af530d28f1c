#include "platform/headless/HeadlessAuthorization.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace platform::headless {
namespace {

using Answer = HeadlessAuthorization::Answer;

class HeadlessAuthorizationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/headless-auth-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + m_dir + "'").c_str()); }

    std::string script(const std::string& name, const std::string& body, mode_t mode = 0755)
    {
        const std::string path = m_dir + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body;
        chmod(path.c_str(), mode);
        return path;
    }

    static std::vector<std::string> readLines(std::FILE* stream)
    {
        std::vector<std::string> lines;
        char buffer[1024];
        while (std::fgets(buffer, sizeof buffer, stream)) {
            lines.emplace_back(buffer);
        }
        return lines;
    }

    static bool hasChildren()
    {
        errno = 0;
        return !(waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD);
    }

    std::string m_dir;
};

TEST_F(HeadlessAuthorizationTest, AnswersFollowTheQueueThenGrant)
{
    HeadlessAuthorization authorization;
    authorization.queueAnswer(Answer::Deny);
    authorization.queueAnswer(Answer::Cancel);
    authorization.queueAnswer(Answer::Grant);
    std::vector<OSStatus> results;
    for (int i = 0; i < 4; ++i) {
        results.push_back(authorization.makeBackend()->acquire("/x/ScriptHelper", true));
    }
    EXPECT_EQ(results, (std::vector<OSStatus>{errAuthorizationDenied, errAuthorizationCanceled,
                                              errAuthorizationSuccess, errAuthorizationSuccess}));
    EXPECT_EQ(authorization.prompts(), std::vector<std::string>(4, "/x/ScriptHelper"));
}

TEST_F(HeadlessAuthorizationTest, WithoutInteractionNobodyIsAskedAndNothingIsGranted)
{
    HeadlessAuthorization authorization;
    EXPECT_EQ(authorization.makeBackend()->acquire("/x/tool", false), errAuthorizationDenied);
    EXPECT_TRUE(authorization.prompts().empty());
}

TEST_F(HeadlessAuthorizationTest, GrantedToolRunsAndItsOutputIsReadToTheEnd)
{
    const std::string tool = script("ScriptHelper", "echo \"removing one\"\necho \"args=$#\"\necho done\n");
    HeadlessAuthorization authorization;
    auto backend = authorization.makeBackend();
    ASSERT_EQ(backend->acquire(tool, true), errAuthorizationSuccess);
    std::FILE* stream = nullptr;
    ASSERT_EQ(backend->execute(tool, &stream), errAuthorizationSuccess);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(readLines(stream), (std::vector<std::string>{"removing one\n", "args=0\n", "done\n"}));
    std::fclose(stream);
    EXPECT_FALSE(hasChildren());
    backend->release();
    EXPECT_EQ(authorization.executions(), std::vector<std::string>{tool});
}

TEST_F(HeadlessAuthorizationTest, ClosingTheStreamEarlyEndsAndReapsAWriterThatNeverStops)
{
    const std::string tool = script("endless", "while :; do echo line; done\n");
    HeadlessAuthorization authorization;
    auto backend = authorization.makeBackend();
    ASSERT_EQ(backend->acquire(tool, true), errAuthorizationSuccess);
    std::FILE* stream = nullptr;
    ASSERT_EQ(backend->execute(tool, &stream), errAuthorizationSuccess);
    char buffer[64];
    ASSERT_NE(std::fgets(buffer, sizeof buffer, stream), nullptr);
    EXPECT_STREQ(buffer, "line\n");
    std::fclose(stream);
    EXPECT_FALSE(hasChildren());
}

TEST_F(HeadlessAuthorizationTest, ReleasingBeforeTheStreamIsClosedLeavesNoZombie)
{
    const std::string tool = script("quick", "echo hi\n");
    HeadlessAuthorization authorization;
    std::FILE* stream = nullptr;
    {
        auto backend = authorization.makeBackend();
        ASSERT_EQ(backend->acquire(tool, true), errAuthorizationSuccess);
        ASSERT_EQ(backend->execute(tool, &stream), errAuthorizationSuccess);
        EXPECT_EQ(readLines(stream), std::vector<std::string>{"hi\n"});
        backend->release();
    }
    std::fclose(stream);
    EXPECT_FALSE(hasChildren());
}

TEST_F(HeadlessAuthorizationTest, ToolThatCannotRunFailsWithoutStartingAnything)
{
    const std::string notExecutable = script("plain", "echo no\n", 0644);
    const std::string missing = m_dir + "/missing";
    HeadlessAuthorization authorization;
    for (const std::string& tool : {notExecutable, missing, m_dir}) {
        auto backend = authorization.makeBackend();
        ASSERT_EQ(backend->acquire(tool, true), errAuthorizationSuccess);
        std::FILE* stream = reinterpret_cast<std::FILE*>(1);
        EXPECT_EQ(backend->execute(tool, &stream), errAuthorizationToolExecuteFailure) << tool;
        EXPECT_EQ(stream, nullptr);
    }
    EXPECT_TRUE(authorization.executions().empty());
    EXPECT_FALSE(hasChildren());
}

TEST_F(HeadlessAuthorizationTest, OnlyTheGrantedToolRuns)
{
    const std::string granted = script("granted", "echo a\n");
    const std::string other = script("other", "echo b\n");
    HeadlessAuthorization authorization;
    authorization.queueAnswer(Answer::Deny);
    std::FILE* stream = nullptr;

    auto denied = authorization.makeBackend();
    EXPECT_EQ(denied->acquire(granted, true), errAuthorizationDenied);
    EXPECT_EQ(denied->execute(granted, &stream), errAuthorizationDenied);

    auto backend = authorization.makeBackend();
    ASSERT_EQ(backend->acquire(granted, true), errAuthorizationSuccess);
    EXPECT_EQ(backend->execute(other, &stream), errAuthorizationDenied);
    EXPECT_EQ(stream, nullptr);
    EXPECT_TRUE(authorization.executions().empty());
}

TEST_F(HeadlessAuthorizationTest, BackendOutlivingItsAuthorizationFails)
{
    std::unique_ptr<AuthorizationBackend> backend;
    {
        HeadlessAuthorization authorization;
        backend = authorization.makeBackend();
    }
    EXPECT_EQ(backend->acquire("/x/tool", true), errAuthorizationInternal);
}

// The installed factory serves the authorization calls, as the uninstaller makes them.
class InstalledHeadlessAuthorizationTest : public HeadlessAuthorizationTest {
protected:
    OSStatus copyRights(AuthorizationRef ref, const std::string& tool)
    {
        AuthorizationItem item;
        item.name = kAuthorizationRightExecute;
        item.value = tool.c_str();
        item.valueLength = tool.size();
        AuthorizationRights rights;
        rights.count = 1;
        rights.items = &item;
        return AuthorizationCopyRights(ref, &rights, nullptr,
                                       kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights, nullptr);
    }
};

TEST_F(InstalledHeadlessAuthorizationTest, GrantedRunStreamsTheToolsOutput)
{
    const std::string tool = script("ScriptHelper", "echo first\necho second\n");
    HeadlessAuthorization authorization;
    AuthorizationRef ref = nullptr;
    ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &ref), errAuthorizationSuccess);
    ASSERT_EQ(copyRights(ref, tool), errAuthorizationSuccess);
    std::FILE* stream = nullptr;
    ASSERT_EQ(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), kAuthorizationFlagDefaults, nullptr, &stream),
              errAuthorizationSuccess);
    EXPECT_EQ(readLines(stream), (std::vector<std::string>{"first\n", "second\n"}));
    std::fclose(stream);
    EXPECT_EQ(AuthorizationFree(ref, kAuthorizationFlagDefaults), errAuthorizationSuccess);
    EXPECT_EQ(authorization.prompts(), std::vector<std::string>{tool});
    EXPECT_EQ(authorization.executions(), std::vector<std::string>{tool});
    EXPECT_FALSE(hasChildren());
}

TEST_F(InstalledHeadlessAuthorizationTest, DeniedOrCancelledPromptStartsNothing)
{
    const std::string tool = script("ScriptHelper", "echo never\n");
    HeadlessAuthorization authorization;
    authorization.queueAnswer(Answer::Deny);
    authorization.queueAnswer(Answer::Cancel);
    for (OSStatus expected : {errAuthorizationDenied, errAuthorizationCanceled}) {
        AuthorizationRef ref = nullptr;
        ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &ref), errAuthorizationSuccess);
        EXPECT_EQ(copyRights(ref, tool), expected);
        std::FILE* stream = nullptr;
        EXPECT_NE(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), kAuthorizationFlagDefaults, nullptr, &stream),
                  errAuthorizationSuccess);
        EXPECT_EQ(stream, nullptr);
        AuthorizationFree(ref, kAuthorizationFlagDefaults);
    }
    EXPECT_EQ(authorization.prompts().size(), 2u);
    EXPECT_TRUE(authorization.executions().empty());
}

}  // namespace
}  // namespace platform::headless
