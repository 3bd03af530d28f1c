// The built Plugsweep.app run once per shipped language: every text on the screen is in that
// language, and the Japanese screen has a glyph for every character.

#include "installer-host/HostProcess.h"
#include "support/GlyphCoverage.h"
#include "support/ShownTexts.h"

#include <QFont>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

using installerhost::testing::HostResult;
using installerhost::testing::runProcess;

namespace {

const std::string kApp = PLUGSWEEP_APP_DIR;
const std::string kProgram = kApp + "/Contents/MacOS/Plugsweep";
const std::vector<std::string> kResourceFolders = {kApp + "/Contents/Resources"};

class PlugsweepLanguage : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "plugsweep_app_tests";
        static char* argv[] = {name, nullptr};
        if (!QGuiApplication::instance())
            s_application = std::make_unique<QGuiApplication>(argc, argv);
    }
    // Before the program's own statics go: Qt's application must not outlive main.
    static void TearDownTestSuite() { s_application.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::exists(kProgram)) << kProgram;
        char pattern[] = "/tmp/plugsweep-lang-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        const std::string modules = m_dir + "/root/Library/Printers/Tavix/Modules";
        std::filesystem::create_directories(m_dir + "/home/Library/Preferences");
        std::filesystem::create_directories(modules + "/Alpha/Alpha.plugin");
        std::filesystem::create_directories(m_dir + "/root/Library/Preferences");
        std::ofstream(m_dir + "/root/Library/Preferences/com.tavix.KEPL2.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
               "<key>KEP2_KEY_MODULES</key>\n<dict>\n<key>A0000000-0000-4000-8000-000000000001</key>\n<dict>\n"
               "<key>ModuleName</key><string>Alpha vLX</string>\n"
               "<key>InstallPath</key><string>"
            << modules << "/Alpha/Alpha.plugin</string>\n</dict>\n</dict>\n</dict>\n</plist>\n";
        // The list, then the window after every row was ticked (the box's other title).
        std::ofstream(m_dir + "/script.txt") << "show\nclick allSelectChk\nshow\n";
    }

    void TearDown() override { std::filesystem::remove_all(m_dir); }

    HostResult runIn(const std::string& language)
    {
        return runProcess(kProgram, {},
                          {{"HOME", m_dir + "/home"},
                           {"PLATFORM_ROOT", m_dir + "/root"},
                           {"QT_QPA_PLATFORM", "offscreen"},
                           {"LANG", "C.UTF-8"},
                           {"LANGUAGE", language},
                           {"XDG_RUNTIME_DIR", m_dir},
                           {"PLATFORM_UI_SCRIPT", m_dir + "/script.txt"}},
                          m_dir);
    }

    static std::unique_ptr<QGuiApplication> s_application;
    std::string m_dir;
};

std::unique_ptr<QGuiApplication> PlugsweepLanguage::s_application;

TEST_F(PlugsweepLanguage, EveryShippedLanguageLeavesNoEnglishTextOnTheScreen)
{
    for (const testsupport::Language& language : testsupport::shippedLanguages()) {
        SCOPED_TRACE(language.localization);
        const HostResult result = runIn(language.tag);
        const std::vector<std::string> shown = testsupport::shownTexts(result.out);
        ASSERT_FALSE(shown.empty()) << result.out << result.err;

        const std::set<std::string> english =
            testsupport::englishTextsTranslatedIn(kResourceFolders, language.localization);
        if (language.localization != "English") {
            EXPECT_FALSE(english.empty());
        }
        for (const std::string& text : shown)
            EXPECT_EQ(english.count(text), 0u) << "English text left: \"" << text << "\"\n" << result.out;

        const std::set<std::string> own = testsupport::localizedTexts(kResourceFolders, language.localization);
        const auto ownShown =
            std::count_if(shown.begin(), shown.end(), [&](const std::string& t) { return own.count(t) > 0; });
        EXPECT_GE(ownShown, 4) << result.out;
    }
}

TEST_F(PlugsweepLanguage, JapaneseScreenHasAGlyphForEveryCharacter)
{
    const HostResult result = runIn("ja");
    const std::vector<std::string> shown = testsupport::shownTexts(result.out);
    const bool anyJapanese = std::any_of(shown.begin(), shown.end(), [](const std::string& t) {
        return QString::fromStdString(t).contains(QChar(0x30A2));  // "ア" of "アンインストール"
    });
    ASSERT_TRUE(anyJapanese) << result.out << result.err;
    for (const std::string& text : shown) {
        EXPECT_EQ(testsupport::charactersWithoutGlyph(QGuiApplication::font(), text), "")
            << "\"" << text << "\" drawn with " << testsupport::fontFamiliesDrawing(QGuiApplication::font(), text);
    }
}

/// The columns a line takes on a terminal: two for each Chinese, Japanese or Korean character.
std::size_t columns(const QString& line)
{
    std::size_t width = 0;
    for (const uint c : line.toUcs4()) {
        const bool wide = (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0xa4cf) || (c >= 0xac00 && c <= 0xd7a3) ||
                          (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f) || (c >= 0xff00 && c <= 0xff60) ||
                          (c >= 0xffe0 && c <= 0xffe6);
        width += wide ? 2 : 1;
    }
    return width;
}

TEST_F(PlugsweepLanguage, HelpFitsEightyColumnsInEveryShippedLanguage)
{
    for (const testsupport::Language& language : testsupport::shippedLanguages()) {
        SCOPED_TRACE(language.localization);
        const HostResult result = runProcess(kProgram, {"--help"},
                                             {{"HOME", m_dir + "/home"}, {"LANG", "C.UTF-8"}, {"LANGUAGE", language.tag}},
                                             m_dir);
        ASSERT_EQ(result.status, 0) << result.err;
        const QStringList lines = QString::fromStdString(result.out).split(QLatin1Char('\n'));
        ASSERT_GT(lines.size(), 20) << result.out;
        for (const QString& line : lines)
            EXPECT_LE(columns(line), 80u) << line.toStdString();
        EXPECT_NE(result.out.find("--strict"), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("65"), std::string::npos) << result.out;
    }
}

}  // namespace
