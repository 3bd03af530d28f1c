// The tree that `cmake --install` stages into a DESTDIR: the files the package ships, root-only
// write permissions, no RUNPATH or text that leads into the build tree, and a polkit action that
// names the installed launcher.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Kind { Program, File, Link, Folder };

struct Entry {
    const char* path;  // relative to the install folder when it does not start with '/'
    Kind kind;
};

const Entry kEntries[] = {
    {"Plugsweep.app/Contents/Resources/platform-auth-launcher", Kind::Program},
    {"Plugsweep.app/Contents/Info.plist", Kind::File},
    {"Plugsweep.app/Contents/MacOS/Plugsweep", Kind::Program},
    {"Plugsweep.app/Contents/Resources/ScriptHelper", Kind::Program},
    {"Plugsweep.app/Contents/Resources/MainMenu.ui", Kind::File},
    {"Plugsweep.app/Contents/Resources/English.lproj/Localizable.strings", Kind::File},
    {"Plugsweep.app/Contents/Resources/German.lproj/Localizable.strings", Kind::File},
    {"Plugsweep.app/Contents/Resources/zh_CN.lproj/Localizable.strings", Kind::File},
    {"Oxlade.bundle/Contents/Info.plist", Kind::File},
    {"Oxlade.bundle/Contents/MacOS/Oxlade", Kind::File},
    {"Oxlade.bundle/Contents/Resources/Applications.plist", Kind::File},
    {"Oxlade.bundle/Contents/Resources/InstallerPane.ui", Kind::File},
    {"lib/libplatform_foundation.so", Kind::File},
    {"lib/libplatform_security.so", Kind::File},
    {"lib", Kind::Folder},
    {"/bin/plugsweep", Kind::Link},
    {"/share/applications/com.tavix.Plugsweep.desktop", Kind::File},
    {"/share/metainfo/com.tavix.Plugsweep.metainfo.xml", Kind::File},
    {"/share/icons/hicolor/scalable/apps/com.tavix.Plugsweep.svg", Kind::File},
    {"/share/polkit-1/actions/com.tavix.plugsweep.policy", Kind::File},
    {"/share/icons/hicolor/128x128/apps/com.tavix.Plugsweep.png", Kind::File},
    {"/share/man/man1/plugsweep.1.gz", Kind::File},
    {"/share/man/man1/oxlade-installer.1.gz", Kind::File},
    {"/share/doc/plugsweep/copyright", Kind::File},
    {"/share/doc/plugsweep/changelog.gz", Kind::File},
    {"Plugsweep.app/Contents/Resources/Japanese.lproj/CommandLine.strings", Kind::File},
#if WITH_QT_WINDOWS
    {"installer-host", Kind::Program},
    {"/bin/oxlade-installer", Kind::Program},
    {"installer-host.resources/Contents/Info.plist", Kind::File},
    {"installer-host.resources/Contents/Resources/Japanese.lproj/Localizable.strings", Kind::File},
#endif
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string runCommand(const std::string& command)
{
    std::string output;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        ::pclose(pipe);
    }
    return output;
}

std::vector<std::string> g_files;

int collect(const char* path, const struct stat*, int type, struct FTW*)
{
    if (type == FTW_F || type == FTW_D || type == FTW_SL)
        g_files.emplace_back(path);
    return 0;
}

bool isElf(const std::string& path)
{
    return readFile(path).compare(0, 4, "\x7f" "ELF") == 0;
}

/// The RUNPATH (or RPATH) entries of an ELF file, read with readelf.
std::vector<std::string> runpathOf(const std::string& path)
{
    const std::string dynamic = runCommand("readelf -d '" + path + "' 2>/dev/null");
    std::vector<std::string> entries;
    std::istringstream lines(dynamic);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("(RUNPATH)") == std::string::npos && line.find("(RPATH)") == std::string::npos)
            continue;
        const auto open = line.find('[');
        const auto close = line.rfind(']');
        if (open == std::string::npos || close == std::string::npos || close < open)
            continue;
        std::istringstream list(line.substr(open + 1, close - open - 1));
        for (std::string entry; std::getline(list, entry, ':');)
            entries.push_back(entry);
    }
    return entries;
}

class InstallTree : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/install-tree-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        s_stage = pattern;
        const std::string log = s_stage + ".log";
        const std::string command = "DESTDIR='" + s_stage + "' '" CMAKE_COMMAND_PATH "' --install '" BUILD_DIR
                                    "' >'" + log + "' 2>&1";
        const int status = std::system(command.c_str());
        s_log = readFile(log);
        std::remove(log.c_str());
        ASSERT_EQ(status, 0) << s_log;
        g_files.clear();
        ::nftw(s_stage.c_str(), collect, 32, FTW_PHYS);
    }

    static void TearDownTestSuite()
    {
        std::system(("rm -rf '" + s_stage + "'").c_str());
    }

    /// Where an installed path lies in the staged tree.
    static std::string staged(const std::string& path)
    {
        if (!path.empty() && path[0] == '/')
            return s_stage + INSTALL_PREFIX + path;
        return s_stage + INSTALL_DIR + "/" + path;
    }

    static std::string s_stage;
    static std::string s_log;
};

std::string InstallTree::s_stage;
std::string InstallTree::s_log;

TEST(InstallLayout, LauncherAndScriptHelperAreWhereTheLauncherLooks)
{
    EXPECT_EQ(std::string(INSTALLED_LAUNCHER), std::string(INSTALL_DIR) + "/Plugsweep.app/Contents/Resources/platform-auth-launcher");
    EXPECT_EQ(std::string(INSTALLED_SCRIPTHELPER),
              std::string(INSTALL_DIR) + "/Plugsweep.app/Contents/Resources/ScriptHelper");
    EXPECT_EQ(std::string(INSTALL_DIR).rfind(BUILD_DIR, 0), std::string::npos);
}

TEST_F(InstallTree, ShipsEveryExpectedEntryWithRootOnlyWrites)
{
    for (const Entry& entry : kEntries) {
        SCOPED_TRACE(entry.path);
        const std::string path = staged(entry.path);
        struct stat info {};
        ASSERT_EQ(::lstat(path.c_str(), &info), 0) << "missing: " << path << "\n" << s_log;
        switch (entry.kind) {
        case Kind::Program:
            EXPECT_TRUE(S_ISREG(info.st_mode));
            EXPECT_EQ(info.st_mode & 0555, 0555u) << "not runnable by everyone";
            break;
        case Kind::File:
            EXPECT_TRUE(S_ISREG(info.st_mode));
            EXPECT_EQ(info.st_mode & 0444, 0444u);
            break;
        case Kind::Folder:
            EXPECT_TRUE(S_ISDIR(info.st_mode));
            break;
        case Kind::Link:
            EXPECT_TRUE(S_ISLNK(info.st_mode));
            break;
        }
    }
    for (const std::string& file : g_files) {
        struct stat info {};
        ASSERT_EQ(::lstat(file.c_str(), &info), 0);
        if (!S_ISLNK(info.st_mode)) {
            EXPECT_EQ(info.st_mode & 022, 0u) << "group or others may write " << file;
            EXPECT_EQ(info.st_mode & 06000, 0u) << "set-id bit on " << file;
        }
    }
}

TEST_F(InstallTree, ModuleFoldersSettingIsInstalledWithItsDefault)
{
    const std::string path = s_stage + "/etc/plugsweep/module-folders";
    struct stat info {};
    ASSERT_EQ(::lstat(path.c_str(), &info), 0) << s_log;
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    // Comment lines explain the setting; the one folder line is the default.
    std::istringstream text(readFile(path));
    std::vector<std::string> folders;
    for (std::string line; std::getline(text, line);)
        if (!line.empty() && line[0] != '#')
            folders.push_back(line);
    EXPECT_EQ(folders, std::vector<std::string> {"/Library/Printers/Tavix"});
}

TEST_F(InstallTree, DesktopEntryNamesTheWindowClassTheProgramSets)
{
    const std::string entry = readFile(staged("/share/applications/com.tavix.Plugsweep.desktop"));
    const std::string info = readFile(staged("Plugsweep.app/Contents/Info.plist"));
    // The toolkit takes the window class from CFBundleExecutable.
    EXPECT_NE(info.find("<key>CFBundleExecutable</key>\n\t<string>Plugsweep</string>"), std::string::npos);
    EXPECT_NE(entry.find("\nStartupWMClass=Plugsweep\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=com.tavix.Plugsweep\n"), std::string::npos) << entry;
}

TEST_F(InstallTree, PlugsweepCommandLeadsToTheInstalledProgram)
{
    char target[4096] = {};
    const std::string link = staged("/bin/plugsweep");
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    ASSERT_GT(n, 0);
    ASSERT_NE(target[0], '/') << "an absolute link would leave a staged tree";
    const std::string resolved = staged("/bin/") + target;
    char real[4096] = {};
    ASSERT_NE(::realpath(resolved.c_str(), real), nullptr) << resolved;
    char expected[4096] = {};
    ASSERT_NE(::realpath(staged("Plugsweep.app/Contents/MacOS/Plugsweep").c_str(), expected), nullptr);
    EXPECT_STREQ(real, expected);
}

TEST_F(InstallTree, NothingLeadsIntoTheBuildTree)
{
    std::size_t programs = 0;
    for (const std::string& file : g_files) {
        struct stat info {};
        if (::lstat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        SCOPED_TRACE(file);
        if (isElf(file)) {
            ++programs;
            for (const std::string& entry : runpathOf(file)) {
                EXPECT_EQ(entry.rfind(std::string(INSTALL_DIR) + "/", 0), 0u) << "RUNPATH entry " << entry;
                EXPECT_EQ(entry.find(BUILD_DIR), std::string::npos) << "RUNPATH entry " << entry;
            }
        } else {
            const std::string text = readFile(file);
            EXPECT_EQ(text.find(BUILD_DIR), std::string::npos);
            EXPECT_EQ(text.find(SOURCE_DIR), std::string::npos);
        }
    }
    EXPECT_GE(programs, 5u) << "the launcher, Plugsweep, ScriptHelper, Oxlade and the libraries are ELF files";
    EXPECT_TRUE(runpathOf(staged("Plugsweep.app/Contents/Resources/platform-auth-launcher")).empty()) << "the root launcher needs no RUNPATH";
}

TEST_F(InstallTree, PolicyNamesTheInstalledLauncherAndSaysWhatHappens)
{
    const std::string policy = readFile(staged("/share/polkit-1/actions/com.tavix.plugsweep.policy"));
    EXPECT_NE(policy.find("<action id=\"com.tavix.plugsweep.remove-modules\">"), std::string::npos);
    EXPECT_NE(policy.find("<annotate key=\"org.freedesktop.policykit.exec.path\">" INSTALLED_LAUNCHER
                          "</annotate>"),
              std::string::npos);
    EXPECT_NE(policy.find("<allow_active>auth_admin</allow_active>"), std::string::npos);
    EXPECT_NE(policy.find("<allow_any>auth_admin</allow_any>"), std::string::npos);
    EXPECT_NE(policy.find("<message>Authentication is required to remove print plug-in modules</message>"),
              std::string::npos);
    for (const char* language : {"de", "fr", "it", "es", "ja", "ko", "zh_CN"}) {
        SCOPED_TRACE(language);
        EXPECT_NE(policy.find(std::string("<message xml:lang=\"") + language + "\">"), std::string::npos);
        EXPECT_NE(policy.find(std::string("<description xml:lang=\"") + language + "\">"), std::string::npos);
    }

    const std::string desktop = readFile(staged("/share/applications/com.tavix.Plugsweep.desktop"));
    EXPECT_NE(desktop.find("\nExec=" INSTALL_PREFIX "/bin/plugsweep\n"), std::string::npos) << desktop;
    EXPECT_NE(desktop.find("\nIcon=com.tavix.Plugsweep\n"), std::string::npos);
    const std::string metainfo = readFile(staged("/share/metainfo/com.tavix.Plugsweep.metainfo.xml"));
    EXPECT_NE(metainfo.find("<launchable type=\"desktop-id\">com.tavix.Plugsweep.desktop</launchable>"),
              std::string::npos);
}

}  // namespace
