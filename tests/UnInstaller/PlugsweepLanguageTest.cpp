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

}  // namespace
