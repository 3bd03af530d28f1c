// The pkexec backend and its launcher, driven through the authorization functions with a stand-in
// for pkexec: a script that exits as pkexec does when the prompt is dismissed or refused, or that
// starts the launcher as the current user. Each test runs a copy of the built launcher with the
// program it runs beside it, in a folder of the test's own.

#include "platform/security/Authorization.h"
#include "platform/security/PkexecAuthorizationBackend.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

namespace {

constexpr AuthorizationFlags kAskUser = kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights;

bool noChildLeft()
{
    int status = 0;
    errno = 0;
    return ::waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

void writeFile(const std::string& path, const std::string& text, mode_t mode)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> readLines(std::FILE* stream)
{
    std::vector<std::string> lines;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, stream) != nullptr) {
        std::string line = buffer;
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

class PkexecBackend : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/platform-security-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        home = dir + "/home";
        root = dir + "/root";
        ASSERT_EQ(::mkdir(home.c_str(), 0755), 0);
        ASSERT_EQ(::chmod(home.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
        marker = dir + "/tool-ran";
        pkexecCalled = dir + "/pkexec-called";
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("PLATFORM_ROOT", root.c_str(), 1);
        ::setenv("SEC_TEST_MARKER", "inherited", 1);
        ::unsetenv("PKEXEC_UID");
        ::unsetenv("PLATFORM_AUTH_RUN_TIMEOUT_MS");
        setAuthorizationBackendFactory({});
        usePkexec("exec \"$@\"\n");
        app = dir + "/app";
        ASSERT_EQ(::mkdir(app.c_str(), 0755), 0);
        ASSERT_EQ(::chmod(app.c_str(), 0755), 0);
        launcher = app + "/platform-auth-launcher";
        std::filesystem::copy_file(PLATFORM_AUTH_BUILT_LAUNCHER, launcher);
        ASSERT_EQ(::chmod(launcher.c_str(), 0755), 0);
        ::setenv("PLATFORM_AUTH_LAUNCHER", launcher.c_str(), 1);
        tool = app + "/" PLATFORM_AUTH_TOOL_NAME;
        writeTool(tool);
    }

    void TearDown() override
    {
        if (ref != nullptr)
            AuthorizationFree(ref, 0);
        std::system(("chmod -R u+rwx '" + dir + "' 2>/dev/null; rm -rf '" + dir + "'").c_str());
        ::unsetenv("PLATFORM_PKEXEC");
        ::unsetenv("PLATFORM_AUTH_LAUNCHER");
        ::unsetenv("SEC_TEST_MARKER");
        ::unsetenv("PKEXEC_UID");
    }

    /// Installs a stand-in for pkexec that notes its call and then runs body.
    void usePkexec(const std::string& body)
    {
        const std::string path = dir + "/pkexec";
        writeFile(path, "#!/bin/sh\necho called > '" + pkexecCalled + "'\n" + body, 0755);
        ::setenv("PLATFORM_PKEXEC", path.c_str(), 1);
    }

    void writeTool(const std::string& path, mode_t mode = 0755)
    {
        writeFile(path,
                  "#!/bin/sh\n"
                  "echo \"args=$#\"\n"
                  "echo \"HOME=$HOME\"\n"
                  "echo \"PATH=$PATH\"\n"
                  "echo \"ROOT=${PLATFORM_ROOT-unset}\"\n"
                  "echo \"MARKER=${SEC_TEST_MARKER-unset}\"\n"
                  "echo \"PWD=$(pwd)\"\n"
                  "echo \"to stderr\" >&2\n"
                  "echo ran > '" + marker + "'\n",
                  mode);
    }

    OSStatus copyRights(const std::string& toolPath)
    {
        if (ref == nullptr && AuthorizationCreate(nullptr, nullptr, 0, &ref) != errAuthorizationSuccess)
            return errAuthorizationInternal;
        AuthorizationItem item{kAuthorizationRightExecute, toolPath.size(), toolPath.data(), 0};
        AuthorizationRights rights{1, &item};
        return AuthorizationCopyRights(ref, &rights, nullptr, kAskUser, nullptr);
    }

    void freeRef()
    {
        EXPECT_EQ(AuthorizationFree(ref, 0), errAuthorizationSuccess);
        ref = nullptr;
    }

    /// Reads the stream to its end, closes it and answers the program's exit status (-1 when none).
    int runToTheEnd(std::vector<std::string>* lines = nullptr)
    {
        std::FILE* stream = nullptr;
        if (AuthorizationExecuteWithPrivileges(ref, tool.c_str(), 0, nullptr, &stream) != errAuthorizationSuccess)
            return -1;
        const std::vector<std::string> read = readLines(stream);
        if (lines != nullptr)
            *lines = read;
        int status = -1;
        if (AuthorizationCopyToolExitStatus(ref, &status) != errAuthorizationSuccess)
            status = -1;
        std::fclose(stream);
        return status;
    }

    std::string dir, home, root, app, launcher, tool, marker, pkexecCalled;
    AuthorizationRef ref = nullptr;
};

struct ExitCase {
    const char* pkexecBody;
    OSStatus expected;
};

class PkexecExits : public PkexecBackend, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(PkexecExits, BeforeReadyAreDecodedFromTheExitStatus)
{
    usePkexec(GetParam().pkexecBody);
    EXPECT_EQ(copyRights(tool), GetParam().expected);
    EXPECT_TRUE(exists(pkexecCalled));
    EXPECT_TRUE(noChildLeft());
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), 0, nullptr, nullptr), errAuthorizationDenied);
    freeRef();
    EXPECT_FALSE(exists(marker));
    EXPECT_TRUE(noChildLeft());
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, PkexecExits,
    ::testing::Values(ExitCase{"exit 126\n", errAuthorizationCanceled},
                      ExitCase{"exit 127\n", errAuthorizationDenied},
                      ExitCase{"exit 1\n", errAuthorizationDenied},
                      ExitCase{"exit 0\n", errAuthorizationDenied},
                      ExitCase{"echo 'Error executing command as another user: Not authorized' >&2; exit 127\n",
                               errAuthorizationDenied},
                      // pkexec's messages are read in the C locale, whatever the user's language.
                      ExitCase{"[ \"$LC_ALL\" = C ] || exit 1\n"
                               "echo 'Error executing command as another user: No authentication agent found.' >&2\n"
                               "exit 127\n",
                               errAuthorizationInteractionNotAllowed},
                      // No agent registered and no terminal for pkexec's own text agent.
                      ExitCase{"echo 'Error creating textual authentication agent: Error opening current "
                               "controlling terminal for the process (`/dev/tty'\'): No such device or "
                               "address' >&2; exit 127\n",
                               errAuthorizationInteractionNotAllowed},
                      ExitCase{"echo 'Error checking for authorization org.freedesktop.policykit.exec: "
                               "GDBus.Error:org.freedesktop.DBus.Error.ServiceUnknown: The name "
                               "org.freedesktop.PolicyKit1 was not provided by any .service files' >&2; exit 127\n",
                               errAuthorizationInternal},
                      ExitCase{"echo 'Request dismissed' >&2; exit 1\n", errAuthorizationDenied},
                      ExitCase{"echo ready-ish; exit 126\n", errAuthorizationDenied},
                      ExitCase{"kill -9 $$\n", errAuthorizationDenied}));

TEST_F(PkexecBackend, GrantedToolRunsWithACleanEnvironmentAndItsOutputOnTheStream)
{
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    EXPECT_FALSE(exists(marker));
    std::FILE* stream = nullptr;
    ASSERT_EQ(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), 0, nullptr, &stream), errAuthorizationSuccess);
    ASSERT_NE(stream, nullptr);
    const std::vector<std::string> lines = readLines(stream);
    EXPECT_EQ(lines, (std::vector<std::string>{"args=0", "HOME=" + home, "PATH=/usr/sbin:/usr/bin:/sbin:/bin",
                                               "ROOT=" + root, "MARKER=unset", "PWD=/", "to stderr"}));
    std::fclose(stream);
    freeRef();
    EXPECT_TRUE(exists(marker));
    EXPECT_TRUE(noChildLeft());
}

TEST_F(PkexecBackend, StopAsksTheRunningProgramToEndAndItsStatusStillComes)
{
    writeFile(tool,
              "#!/bin/sh\n"
              "trap 'echo stopping; exit 3' TERM\n"
              "echo working\n"
              "while :; do sleep 0.05; done\n",
              0755);
    EXPECT_EQ(AuthorizationStopTool(ref), errAuthorizationInvalidRef);
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    EXPECT_EQ(AuthorizationStopTool(ref), errAuthorizationInternal);
    std::FILE* stream = nullptr;
    ASSERT_EQ(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), 0, nullptr, &stream), errAuthorizationSuccess);
    char line[64];
    ASSERT_NE(std::fgets(line, sizeof line, stream), nullptr);
    EXPECT_STREQ(line, "working\n");
    EXPECT_EQ(AuthorizationStopTool(ref), errAuthorizationSuccess);
    ASSERT_NE(std::fgets(line, sizeof line, stream), nullptr);
    EXPECT_STREQ(line, "stopping\n");
    EXPECT_EQ(std::fgets(line, sizeof line, stream), nullptr);
    int status = -1;
    EXPECT_EQ(AuthorizationCopyToolExitStatus(ref, &status), errAuthorizationSuccess);
    EXPECT_EQ(status, 3);
    std::fclose(stream);
    freeRef();
    EXPECT_TRUE(noChildLeft());
}

TEST_F(PkexecBackend, MachineRootIsPassedOnlyWhenSet)
{
    ::unsetenv("PLATFORM_ROOT");
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    std::FILE* stream = nullptr;
    ASSERT_EQ(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), 0, nullptr, &stream), errAuthorizationSuccess);
    const std::vector<std::string> lines = readLines(stream);
    std::fclose(stream);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[3], "ROOT=unset");
    freeRef();
    EXPECT_TRUE(noChildLeft());
}

TEST_F(PkexecBackend, FreeWithoutExecuteEndsTheLauncherAndRunsNothing)
{
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    EXPECT_FALSE(noChildLeft());
    freeRef();
    EXPECT_TRUE(noChildLeft());
    EXPECT_FALSE(exists(marker));
}

TEST_F(PkexecBackend, ProgramIsReapedWhenTheStreamIsClosedBeforeItsEnd)
{
    writeFile(tool, "#!/bin/sh\necho first\nwhile :; do echo more; done\n", 0755);
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    std::FILE* stream = nullptr;
    ASSERT_EQ(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), 0, nullptr, &stream), errAuthorizationSuccess);
    char buffer[1024];
    ASSERT_NE(std::fgets(buffer, sizeof buffer, stream), nullptr);
    EXPECT_STREQ(buffer, "first\n");
    std::fclose(stream);
    freeRef();
    EXPECT_TRUE(noChildLeft());
}

TEST_F(PkexecBackend, WithoutAStreamTheProgramStillRunsAndIsReaped)
{
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    ASSERT_EQ(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), 0, nullptr, nullptr), errAuthorizationSuccess);
    freeRef();
    EXPECT_TRUE(noChildLeft());
}

TEST_F(PkexecBackend, AnotherToolPathIsDeniedAndNotRun)
{
    const std::string other = dir + "/other";
    const std::string otherMarker = dir + "/other-ran";
    writeFile(other, "#!/bin/sh\necho ran > '" + otherMarker + "'\n", 0755);
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    std::FILE* stream = nullptr;
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, other.c_str(), 0, nullptr, &stream), errAuthorizationDenied);
    EXPECT_EQ(stream, nullptr);
    ASSERT_EQ(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), 0, nullptr, &stream), errAuthorizationSuccess);
    readLines(stream);
    std::fclose(stream);
    freeRef();
    EXPECT_FALSE(exists(otherMarker));
    EXPECT_TRUE(exists(marker));
    EXPECT_TRUE(noChildLeft());
}

TEST_F(PkexecBackend, ArgumentsAreRefusedAndNothingRuns)
{
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    char argument[] = "--dry-run";
    char* arguments[] = {argument, nullptr};
    std::FILE* stream = nullptr;
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), 0, arguments, &stream),
              errAuthorizationToolExecuteFailure);
    EXPECT_EQ(stream, nullptr);
    freeRef();
    EXPECT_FALSE(exists(marker));
    EXPECT_TRUE(noChildLeft());
}

/// Prepares an unsafe tool (or home) in the fixture's folder and answers the path to ask for.
struct UnsafeTool {
    const char* what;
    std::string (*prepare)(PkexecBackend& fixture, const std::string& dir, const std::string& tool);
};

class PkexecUnsafeTools : public PkexecBackend, public ::testing::WithParamInterface<UnsafeTool> {
public:
    using PkexecBackend::writeTool;
};

TEST_P(PkexecUnsafeTools, AreGrantedButNeverStarted)
{
    const std::string path = GetParam().prepare(*this, dir, tool);
    marker = dir + "/tool-ran";
    ::unlink(marker.c_str());
    ASSERT_EQ(copyRights(path), errAuthorizationSuccess) << GetParam().what;
    EXPECT_TRUE(noChildLeft()) << GetParam().what;
    std::FILE* stream = nullptr;
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, path.c_str(), 0, nullptr, &stream),
              errAuthorizationToolExecuteFailure)
        << GetParam().what;
    EXPECT_EQ(stream, nullptr);
    freeRef();
    EXPECT_FALSE(exists(marker)) << GetParam().what;
    EXPECT_TRUE(noChildLeft());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PkexecUnsafeTools,
    ::testing::Values(
        UnsafeTool{"a symbolic link to the program beside the launcher",
                   [](PkexecBackend&, const std::string& dir, const std::string& tool) {
                       const std::string link = dir + "/link";
                       EXPECT_EQ(::symlink(tool.c_str(), link.c_str()), 0);
                       return link;
                   }},
        UnsafeTool{"a folder on the way that is a symbolic link",
                   [](PkexecBackend&, const std::string& dir, const std::string&) {
                       EXPECT_EQ(::symlink((dir + "/app").c_str(), (dir + "/via").c_str()), 0);
                       return dir + "/via/" PLATFORM_AUTH_TOOL_NAME;
                   }},
        UnsafeTool{"a program of the caller's elsewhere",
                   [](PkexecBackend& fixture, const std::string& dir, const std::string&) {
                       static_cast<PkexecUnsafeTools&>(fixture).writeTool(dir + "/own-tool");
                       return dir + "/own-tool";
                   }},
        UnsafeTool{"a world-writable program",
                   [](PkexecBackend&, const std::string&, const std::string& tool) {
                       EXPECT_EQ(::chmod(tool.c_str(), 0757), 0);
                       return tool;
                   }},
        UnsafeTool{"a group-writable program",
                   [](PkexecBackend&, const std::string&, const std::string& tool) {
                       EXPECT_EQ(::chmod(tool.c_str(), 0775), 0);
                       return tool;
                   }},
        UnsafeTool{"a launcher and program in a world-writable folder",
                   [](PkexecBackend&, const std::string& dir, const std::string& tool) {
                       EXPECT_EQ(::chmod((dir + "/app").c_str(), 0777), 0);
                       return tool;
                   }},
        UnsafeTool{"a world-writable folder above the launcher",
                   [](PkexecBackend&, const std::string& dir, const std::string& tool) {
                       EXPECT_EQ(::chmod(dir.c_str(), 0777), 0);
                       return tool;
                   }},
        UnsafeTool{"a program that is not executable",
                   [](PkexecBackend&, const std::string&, const std::string& tool) {
                       EXPECT_EQ(::chmod(tool.c_str(), 0644), 0);
                       return tool;
                   }},
        UnsafeTool{"a folder instead of the program",
                   [](PkexecBackend&, const std::string&, const std::string& tool) {
                       EXPECT_EQ(::unlink(tool.c_str()), 0);
                       EXPECT_EQ(::mkdir(tool.c_str(), 0755), 0);
                       return tool;
                   }},
        UnsafeTool{"a missing program",
                   [](PkexecBackend&, const std::string&, const std::string& tool) {
                       EXPECT_EQ(::unlink(tool.c_str()), 0);
                       return tool;
                   }},
        UnsafeTool{"a symbolic link as the program beside the launcher",
                   [](PkexecBackend& fixture, const std::string& dir, const std::string& tool) {
                       static_cast<PkexecUnsafeTools&>(fixture).writeTool(dir + "/real-tool");
                       EXPECT_EQ(::unlink(tool.c_str()), 0);
                       EXPECT_EQ(::symlink((dir + "/real-tool").c_str(), tool.c_str()), 0);
                       return tool;
                   }},
        UnsafeTool{"an empty path", [](PkexecBackend&, const std::string&, const std::string&) { return std::string(); }},
        UnsafeTool{"a relative path",
                   [](PkexecBackend&, const std::string&, const std::string& tool) { return tool.substr(1); }},
        UnsafeTool{"a path with ..",
                   [](PkexecBackend&, const std::string& dir, const std::string&) {
                       return dir + "/home/../app/" PLATFORM_AUTH_TOOL_NAME;
                   }}));

TEST_F(PkexecBackend, ProgramThatCannotBeExecutedFailsToStart)
{
    writeFile(tool, "this is no program\n", 0755);
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    std::FILE* stream = nullptr;
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), 0, nullptr, &stream),
              errAuthorizationToolExecuteFailure);
    EXPECT_EQ(stream, nullptr);
    EXPECT_TRUE(noChildLeft());
    freeRef();
}

TEST_F(PkexecBackend, ToolOwnedByAnotherUserIsNeverStarted)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the tool to another user";
    ASSERT_EQ(::chown(tool.c_str(), 65534, 65534), 0);
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), 0, nullptr, nullptr),
              errAuthorizationToolExecuteFailure);
    freeRef();
    EXPECT_FALSE(exists(marker));
    EXPECT_TRUE(noChildLeft());
}

TEST_F(PkexecBackend, WithoutInteractionNothingIsStarted)
{
    ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, 0, &ref), errAuthorizationSuccess);
    AuthorizationItem item{kAuthorizationRightExecute, tool.size(), tool.data(), 0};
    AuthorizationRights rights{1, &item};
    EXPECT_EQ(AuthorizationCopyRights(ref, &rights, nullptr, kAuthorizationFlagExtendRights, nullptr),
              errAuthorizationInteractionNotAllowed);
    EXPECT_FALSE(exists(pkexecCalled));
    freeRef();
}

TEST_F(PkexecBackend, MissingPkexecIsAnInternalFailure)
{
    ::setenv("PLATFORM_PKEXEC", (dir + "/no-pkexec").c_str(), 1);
    EXPECT_EQ(copyRights(tool), errAuthorizationInternal);
    EXPECT_TRUE(noChildLeft());
}

TEST_F(PkexecBackend, MissingLauncherIsNoPrompt)
{
    // pkexec exits 127 when it cannot run the program, as when nobody could be asked; its
    // message tells a broken installation from a refusal.
    usePkexec("[ -x \"$1\" ] || { echo \"Cannot run program $1: No such file or directory\" >&2; exit 127; }\n"
              "exec \"$@\"\n");
    ::setenv("PLATFORM_AUTH_LAUNCHER", (dir + "/no-launcher").c_str(), 1);
    EXPECT_EQ(copyRights(tool), errAuthorizationInternal);
    EXPECT_TRUE(noChildLeft());
}

TEST_F(PkexecBackend, PkexecIsStartedWithTheLauncherAndTheRequest)
{
    const std::string argsFile = dir + "/pkexec-args";
    usePkexec("for a in \"$@\"; do echo \"$a\"; done > '" + argsFile + "'\nexit 126\n");
    EXPECT_EQ(copyRights(tool), errAuthorizationCanceled);
    std::ifstream in(argsFile);
    std::vector<std::string> args;
    for (std::string line; std::getline(in, line);)
        args.push_back(line);
    EXPECT_EQ(args, (std::vector<std::string>{launcher}));
    EXPECT_EQ(args.front().front(), '/');
}

TEST_F(PkexecBackend, LauncherActingForAnotherUserUnprivilegedRefuses)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may act for any user";
    ::setenv("PKEXEC_UID", std::to_string(::getuid() + 1).c_str(), 1);
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), 0, nullptr, nullptr),
              errAuthorizationToolExecuteFailure);
    ::unsetenv("PKEXEC_UID");
    freeRef();
    EXPECT_FALSE(exists(marker));
}

TEST_F(PkexecBackend, EachReferenceRunsItsOwnLauncher)
{
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    AuthorizationRef second = nullptr;
    ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, 0, &second), errAuthorizationSuccess);
    AuthorizationItem item{kAuthorizationRightExecute, tool.size(), tool.data(), 0};
    AuthorizationRights rights{1, &item};
    ASSERT_EQ(AuthorizationCopyRights(second, &rights, nullptr, kAskUser, nullptr), errAuthorizationSuccess);
    EXPECT_EQ(AuthorizationFree(second, 0), errAuthorizationSuccess);
    EXPECT_FALSE(exists(marker));
    std::FILE* stream = nullptr;
    ASSERT_EQ(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), 0, nullptr, &stream), errAuthorizationSuccess);
    EXPECT_EQ(readLines(stream).size(), 7u);
    std::fclose(stream);
    freeRef();
    EXPECT_TRUE(noChildLeft());
}

struct ExitStatusCase {
    const char* body;
    int expected;
};

class PkexecExitStatuses : public PkexecBackend, public ::testing::WithParamInterface<ExitStatusCase> {};

TEST_P(PkexecExitStatuses, AreRelayedAfterTheOutputEnds)
{
    writeFile(tool, std::string("#!/bin/sh\necho working\n") + GetParam().body, 0755);
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    std::vector<std::string> lines;
    EXPECT_EQ(runToTheEnd(&lines), GetParam().expected) << GetParam().body;
    EXPECT_EQ(lines, std::vector<std::string>{"working"});
    int again = -1;
    EXPECT_EQ(AuthorizationCopyToolExitStatus(ref, &again), errAuthorizationSuccess);
    EXPECT_EQ(again, GetParam().expected);
    freeRef();
    EXPECT_TRUE(noChildLeft());
}

INSTANTIATE_TEST_SUITE_P(Cases, PkexecExitStatuses,
                         ::testing::Values(ExitStatusCase{"exit 0\n", 0}, ExitStatusCase{"exit 1\n", 1},
                                           ExitStatusCase{"exit 42\n", 42}, ExitStatusCase{"exit 255\n", 255},
                                           ExitStatusCase{"kill -TERM $$\n", 128 + SIGTERM},
                                           ExitStatusCase{"kill -KILL $$\n", 128 + SIGKILL}));

TEST_F(PkexecBackend, NoExitStatusBeforeAnythingRan)
{
    int status = -1;
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    EXPECT_EQ(AuthorizationCopyToolExitStatus(ref, &status), errAuthorizationInternal);
    EXPECT_EQ(AuthorizationCopyToolExitStatus(ref, nullptr), errAuthorizationInvalidPointer);
    EXPECT_EQ(AuthorizationCopyToolExitStatus(nullptr, &status), errAuthorizationInvalidRef);
    freeRef();
}

TEST_F(PkexecBackend, ProgramRunsInASessionOfItsOwnWithTerminalSignalsIgnored)
{
    writeFile(tool,
              "#!/bin/sh\n"
              "echo \"pid=$$\"\n"
              "echo \"sid=$(cut -d' ' -f6 /proc/$$/stat)\"\n"
              "sed -n 's/^SigIgn:[[:space:]]*/ignored=/p' /proc/$$/status\n",
              0755);
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    std::vector<std::string> lines;
    ASSERT_EQ(runToTheEnd(&lines), 0);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "sid=" + lines[0].substr(4)) << "the program leads a session of its own";
    ASSERT_EQ(lines[2].rfind("ignored=", 0), 0u);
    const unsigned long long ignored = std::stoull(lines[2].substr(8), nullptr, 16);
    for (int sig : {SIGINT, SIGQUIT, SIGTSTP, SIGTTIN, SIGTTOU, SIGHUP})
        EXPECT_NE(ignored & (1ull << (sig - 1)), 0u) << "signal " << sig << " is not ignored";
    freeRef();
    EXPECT_TRUE(noChildLeft());
}

TEST_F(PkexecBackend, StartedByPkexecTheHomeComesFromTheAccountAndNoMachineRootIsPassed)
{
    ::setenv("PKEXEC_UID", std::to_string(::getuid()).c_str(), 1);
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    const std::string accountHome = entry->pw_dir;
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    std::vector<std::string> lines;
    ASSERT_EQ(runToTheEnd(&lines), 0);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], "HOME=" + accountHome);
    EXPECT_EQ(lines[3], "ROOT=unset");
    freeRef();
}

TEST_F(PkexecBackend, LauncherGivesUpWhenRunDoesNotComeInTime)
{
    ::setenv("PLATFORM_AUTH_RUN_TIMEOUT_MS", "100", 1);
    ASSERT_EQ(copyRights(tool), errAuthorizationSuccess);
    ::usleep(600 * 1000);
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, tool.c_str(), 0, nullptr, nullptr),
              errAuthorizationToolExecuteFailure);
    freeRef();
    EXPECT_FALSE(exists(marker));
    EXPECT_TRUE(noChildLeft());
}

TEST_F(PkexecBackend, LauncherDeadlineCoversTheWholeCommandHoweverSlowlyItComes)
{
    // Each byte arrives well within the limit, the whole command well after it.
    const std::string out = dir + "/launcher-out";
    const int raw = std::system(("(printf r; sleep 0.2; printf u; sleep 0.2; printf n; sleep 0.2; echo) | "
                                 "PLATFORM_AUTH_RUN_TIMEOUT_MS=300 '" + launcher + "' > '" + out + "' 2>/dev/null")
                                    .c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 5);
    EXPECT_FALSE(exists(marker));
}

TEST_F(PkexecBackend, LauncherTakesNoArgumentsButHelpAndVersion)
{
    struct Case {
        const char* args;
        int status;
        const char* start;
    };
    for (const Case& c : {Case{"--version", 0, "platform-auth-launcher "}, Case{"--help", 0, "usage: "},
                          Case{"--tool /bin/sh", 3, "refused "}, Case{"--root /", 3, "refused "}}) {
        const std::string out = dir + "/launcher-out";
        const int raw = std::system(("'" + launcher + "' " + c.args + " > '" + out + "' 2>/dev/null </dev/null").c_str());
        ASSERT_TRUE(WIFEXITED(raw)) << c.args;
        EXPECT_EQ(WEXITSTATUS(raw), c.status) << c.args;
        std::ifstream in(out);
        std::string first;
        std::getline(in, first);
        EXPECT_EQ(first.rfind(c.start, 0), 0u) << c.args << ": " << first;
    }
    EXPECT_FALSE(exists(marker));
}

}  // namespace
