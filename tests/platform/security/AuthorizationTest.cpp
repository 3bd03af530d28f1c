#include "platform/security/Authorization.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace platform;

namespace {

/// What the backends created by the fixture's factory were asked.
struct BackendLog {
    int created = 0;
    int destroyed = 0;
    int releases = 0;
    std::vector<std::string> acquired;
    std::vector<bool> interaction;
    std::vector<std::string> executed;
    OSStatus acquireAnswer = errAuthorizationSuccess;
    OSStatus executeAnswer = errAuthorizationSuccess;
};

class RecordingBackend : public AuthorizationBackend {
public:
    explicit RecordingBackend(BackendLog& log) : m_log(log) { ++m_log.created; }
    ~RecordingBackend() override { ++m_log.destroyed; }

    OSStatus acquire(const std::string& toolPath, bool interactionAllowed) override
    {
        m_log.acquired.push_back(toolPath);
        m_log.interaction.push_back(interactionAllowed);
        return m_log.acquireAnswer;
    }

    OSStatus execute(const std::string& toolPath, std::FILE** stream) override
    {
        m_log.executed.push_back(toolPath);
        if (m_log.executeAnswer != errAuthorizationSuccess)
            return m_log.executeAnswer;
        std::FILE* file = std::tmpfile();
        std::fputs("output of ", file);
        std::fputs(toolPath.c_str(), file);
        std::fputs("\n", file);
        std::rewind(file);
        *stream = file;
        return errAuthorizationSuccess;
    }

    void release() override { ++m_log.releases; }

private:
    BackendLog& m_log;
};

/// A one-item execute-right set over a path of its own.
struct ExecuteRight {
    explicit ExecuteRight(std::string toolPath) : path(std::move(toolPath))
    {
        item.name = kAuthorizationRightExecute;
        item.value = path.data();
        item.valueLength = path.size();
        item.flags = 0;
        rights.count = 1;
        rights.items = &item;
    }
    ExecuteRight(const ExecuteRight&) = delete;
    ExecuteRight& operator=(const ExecuteRight&) = delete;

    std::string path;
    AuthorizationItem item;
    AuthorizationRights rights;
};

constexpr AuthorizationFlags kAskUser = kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights;

class AuthorizationApi : public ::testing::Test {
protected:
    void SetUp() override
    {
        setAuthorizationBackendFactory([this] { return std::make_unique<RecordingBackend>(log); });
        ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &ref), errAuthorizationSuccess);
        ASSERT_NE(ref, nullptr);
    }

    void TearDown() override
    {
        if (ref != nullptr)
            AuthorizationFree(ref, kAuthorizationFlagDefaults);
        setAuthorizationBackendFactory({});
    }

    std::string readAll(std::FILE* stream)
    {
        std::string text;
        char buffer[1024];
        while (std::fgets(buffer, sizeof buffer, stream) != nullptr)
            text += buffer;
        return text;
    }

    BackendLog log;
    AuthorizationRef ref = nullptr;
};

TEST_F(AuthorizationApi, NullReferenceIsInvalidEverywhere)
{
    ExecuteRight right("/opt/tool");
    std::FILE* stream = reinterpret_cast<std::FILE*>(&log);
    EXPECT_EQ(AuthorizationCopyRights(nullptr, &right.rights, nullptr, kAskUser, nullptr), errAuthorizationInvalidRef);
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(nullptr, "/opt/tool", 0, nullptr, &stream),
              errAuthorizationInvalidRef);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(AuthorizationFree(nullptr, kAuthorizationFlagDefaults), errAuthorizationInvalidRef);
    EXPECT_EQ(AuthorizationCreate(nullptr, nullptr, 0, nullptr), errAuthorizationInvalidPointer);
    EXPECT_TRUE(log.acquired.empty());
}

struct BadSet {
    const char* what;
    std::uint32_t count;
    bool withItems;
    const char* name;
    const void* value;
    std::size_t valueLength;
};

class AuthorizationBadSets : public AuthorizationApi, public ::testing::WithParamInterface<BadSet> {};

TEST_P(AuthorizationBadSets, AreRefusedWithoutAsking)
{
    const BadSet& bad = GetParam();
    AuthorizationItem items[2];
    for (AuthorizationItem& item : items) {
        item.name = bad.name;
        item.value = bad.value;
        item.valueLength = bad.valueLength;
    }
    AuthorizationRights rights{bad.count, bad.withItems ? items : nullptr};
    AuthorizationRights* granted = &rights;
    EXPECT_EQ(AuthorizationCopyRights(ref, &rights, nullptr, kAskUser, &granted), errAuthorizationInvalidSet)
        << bad.what;
    EXPECT_EQ(granted, nullptr);
    EXPECT_TRUE(log.acquired.empty());
}

const char kEmbeddedNul[] = "/opt/a\0b";

INSTANTIATE_TEST_SUITE_P(
    Sets, AuthorizationBadSets,
    ::testing::Values(BadSet{"no items", 0, true, kAuthorizationRightExecute, "/opt/tool", 9},
                      BadSet{"two items", 2, true, kAuthorizationRightExecute, "/opt/tool", 9},
                      BadSet{"null items", 1, false, kAuthorizationRightExecute, "/opt/tool", 9},
                      BadSet{"null name", 1, true, nullptr, "/opt/tool", 9},
                      BadSet{"another right", 1, true, "system.privilege.taskport", "/opt/tool", 9},
                      BadSet{"null value with a length", 1, true, kAuthorizationRightExecute, nullptr, 4},
                      BadSet{"embedded NUL", 1, true, kAuthorizationRightExecute, kEmbeddedNul, 8},
                      BadSet{"longer than any path", 1, true, kAuthorizationRightExecute, kEmbeddedNul,
                             100000}));

TEST_F(AuthorizationApi, NullRightsSetIsInvalid)
{
    EXPECT_EQ(AuthorizationCopyRights(ref, nullptr, nullptr, kAskUser, nullptr), errAuthorizationInvalidSet);
    EXPECT_TRUE(log.acquired.empty());
}

TEST_F(AuthorizationApi, ValueIsReadByItsLengthAndTrailingNulIgnored)
{
    const char bytes[] = "/opt/tool/extra";
    AuthorizationItem item{kAuthorizationRightExecute, 9, bytes, 0};
    AuthorizationRights rights{1, &item};
    ASSERT_EQ(AuthorizationCopyRights(ref, &rights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);

    AuthorizationRef second = nullptr;
    ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, 0, &second), errAuthorizationSuccess);
    const char withNul[] = "/opt/other";
    AuthorizationItem nulItem{kAuthorizationRightExecute, sizeof withNul, withNul, 0};
    AuthorizationRights nulRights{1, &nulItem};
    ASSERT_EQ(AuthorizationCopyRights(second, &nulRights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);
    AuthorizationFree(second, 0);

    EXPECT_EQ(log.acquired, (std::vector<std::string>{"/opt/tool", "/opt/other"}));
}

TEST_F(AuthorizationApi, EmptyPathIsAskedForAndFailsOnlyWhenStarted)
{
    AuthorizationItem item{kAuthorizationRightExecute, 0, nullptr, 0};
    AuthorizationRights rights{1, &item};
    ASSERT_EQ(AuthorizationCopyRights(ref, &rights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);
    std::FILE* stream = nullptr;
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, "", 0, nullptr, &stream), errAuthorizationToolExecuteFailure);
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, nullptr, 0, nullptr, &stream),
              errAuthorizationToolExecuteFailure);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(log.acquired, (std::vector<std::string>{""}));
    EXPECT_TRUE(log.executed.empty());
}

TEST_F(AuthorizationApi, InteractionFlagReachesTheBackend)
{
    ExecuteRight right("/opt/tool");
    ASSERT_EQ(AuthorizationCopyRights(ref, &right.rights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);
    ExecuteRight other("/opt/other");
    ASSERT_EQ(AuthorizationCopyRights(ref, &other.rights, nullptr, kAuthorizationFlagExtendRights, nullptr),
              errAuthorizationSuccess);
    EXPECT_EQ(log.interaction, (std::vector<bool>{true, false}));
}

class AuthorizationRefusals : public AuthorizationApi, public ::testing::WithParamInterface<OSStatus> {};

TEST_P(AuthorizationRefusals, LeaveNothingToExecute)
{
    log.acquireAnswer = GetParam();
    ExecuteRight right("/opt/tool");
    EXPECT_EQ(AuthorizationCopyRights(ref, &right.rights, nullptr, kAskUser, nullptr), GetParam());
    std::FILE* stream = nullptr;
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, "/opt/tool", 0, nullptr, &stream), errAuthorizationDenied);
    EXPECT_EQ(stream, nullptr);
    EXPECT_TRUE(log.executed.empty());
}

INSTANTIATE_TEST_SUITE_P(Statuses, AuthorizationRefusals,
                         ::testing::Values(errAuthorizationDenied, errAuthorizationCanceled,
                                           errAuthorizationInternal));

TEST_F(AuthorizationApi, GrantedToolRunsAndHandsOverItsOutput)
{
    ExecuteRight right("/opt/tool");
    ASSERT_EQ(AuthorizationCopyRights(ref, &right.rights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);
    std::FILE* stream = nullptr;
    char* noArguments[] = {nullptr};
    ASSERT_EQ(AuthorizationExecuteWithPrivileges(ref, "/opt/tool", 0, noArguments, &stream), errAuthorizationSuccess);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(readAll(stream), "output of /opt/tool\n");
    std::fclose(stream);
    EXPECT_EQ(log.executed, (std::vector<std::string>{"/opt/tool"}));
}

TEST_F(AuthorizationApi, AGrantServesOneStart)
{
    ExecuteRight right("/opt/tool");
    ASSERT_EQ(AuthorizationCopyRights(ref, &right.rights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);
    ASSERT_EQ(AuthorizationExecuteWithPrivileges(ref, "/opt/tool", 0, nullptr, nullptr), errAuthorizationSuccess);
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, "/opt/tool", 0, nullptr, nullptr), errAuthorizationDenied);
    ASSERT_EQ(AuthorizationCopyRights(ref, &right.rights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);
    EXPECT_EQ(log.acquired.size(), 2u);
}

TEST_F(AuthorizationApi, AnotherToolIsDeniedAndTheGrantStaysUsable)
{
    ExecuteRight right("/opt/tool");
    ASSERT_EQ(AuthorizationCopyRights(ref, &right.rights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);
    std::FILE* stream = nullptr;
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, "/opt/tool2", 0, nullptr, &stream), errAuthorizationDenied);
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, "/opt/tool/", 0, nullptr, &stream), errAuthorizationDenied);
    EXPECT_TRUE(log.executed.empty());
    ASSERT_EQ(AuthorizationExecuteWithPrivileges(ref, "/opt/tool", 0, nullptr, &stream), errAuthorizationSuccess);
    std::fclose(stream);
}

TEST_F(AuthorizationApi, ArgumentsAreRefused)
{
    ExecuteRight right("/opt/tool");
    ASSERT_EQ(AuthorizationCopyRights(ref, &right.rights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);
    char argument[] = "--dry-run";
    char* arguments[] = {argument, nullptr};
    std::FILE* stream = nullptr;
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, "/opt/tool", 0, arguments, &stream),
              errAuthorizationToolExecuteFailure);
    EXPECT_EQ(stream, nullptr);
    EXPECT_TRUE(log.executed.empty());
}

TEST_F(AuthorizationApi, ExecuteFailureIsPassedOn)
{
    log.executeAnswer = errAuthorizationToolExecuteFailure;
    ExecuteRight right("/opt/tool");
    ASSERT_EQ(AuthorizationCopyRights(ref, &right.rights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);
    std::FILE* stream = nullptr;
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, "/opt/tool", 0, nullptr, &stream),
              errAuthorizationToolExecuteFailure);
    EXPECT_EQ(stream, nullptr);
}

TEST_F(AuthorizationApi, AskingAgainForAnUnusedGrantDoesNotPromptAgain)
{
    ExecuteRight right("/opt/tool");
    ASSERT_EQ(AuthorizationCopyRights(ref, &right.rights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);
    ASSERT_EQ(AuthorizationCopyRights(ref, &right.rights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);
    EXPECT_EQ(log.acquired.size(), 1u);
    ExecuteRight other("/opt/other");
    ASSERT_EQ(AuthorizationCopyRights(ref, &other.rights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);
    EXPECT_EQ(log.acquired.size(), 2u);
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, "/opt/tool", 0, nullptr, nullptr), errAuthorizationDenied);
}

TEST_F(AuthorizationApi, GrantedRightsAreCopiedOut)
{
    ExecuteRight right("/opt/tool");
    AuthorizationRights* granted = nullptr;
    ASSERT_EQ(AuthorizationCopyRights(ref, &right.rights, nullptr, kAskUser, &granted), errAuthorizationSuccess);
    ASSERT_NE(granted, nullptr);
    ASSERT_EQ(granted->count, 1u);
    EXPECT_STREQ(granted->items[0].name, kAuthorizationRightExecute);
    EXPECT_EQ(std::string(static_cast<const char*>(granted->items[0].value), granted->items[0].valueLength),
              "/opt/tool");
    EXPECT_EQ(AuthorizationFreeItemSet(granted), errAuthorizationSuccess);
}

TEST_F(AuthorizationApi, FreeReleasesAndDestroysTheBackend)
{
    ExecuteRight right("/opt/tool");
    ASSERT_EQ(AuthorizationCopyRights(ref, &right.rights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);
    EXPECT_EQ(AuthorizationFree(ref, kAuthorizationFlagDefaults), errAuthorizationSuccess);
    ref = nullptr;
    EXPECT_EQ(log.releases, 1);
    EXPECT_EQ(log.created, 1);
    EXPECT_EQ(log.destroyed, 1);
}

TEST_F(AuthorizationApi, CreateWithRightsAsksWhenExtendingAndFailsCleanly)
{
    ExecuteRight right("/opt/tool");
    AuthorizationRef withRights = nullptr;
    ASSERT_EQ(AuthorizationCreate(&right.rights, nullptr, kAskUser, &withRights), errAuthorizationSuccess);
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(withRights, "/opt/tool", 0, nullptr, nullptr),
              errAuthorizationSuccess);
    AuthorizationFree(withRights, 0);

    log.acquireAnswer = errAuthorizationCanceled;
    AuthorizationRef refused = reinterpret_cast<AuthorizationRef>(&log);
    EXPECT_EQ(AuthorizationCreate(&right.rights, nullptr, kAskUser, &refused), errAuthorizationCanceled);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(log.created, 3);
    EXPECT_EQ(log.destroyed, 2);

    AuthorizationRights bad{1, nullptr};
    EXPECT_EQ(AuthorizationCreate(&bad, nullptr, 0, &refused), errAuthorizationInvalidSet);
    EXPECT_EQ(log.acquired.size(), 2u);
}

}  // namespace
