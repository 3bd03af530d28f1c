// The built installer host with the built pane, run once per shipped language: every text on the
// screen is in that language, and the Japanese screen has a glyph for every character.

#include "installer-host/HostProcess.h"
#include "support/GlyphCoverage.h"
#include "support/ShownTexts.h"

#include <QFont>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

using installerhost::testing::HostResult;
using installerhost::testing::runProcess;

namespace {

const std::string kHost = std::string(BUILD_DIR) + "/bin/installer-host";
const std::string kBundle = std::string(BUILD_DIR) + "/Oxlade.bundle";
const std::vector<std::string> kResourceFolders = {
    std::string(BUILD_DIR) + "/bin/installer-host.resources/Contents/Resources",
    kBundle + "/Contents/Resources",
};

class InstallerHostLanguage : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "installer_host_ui_tests";
        static char* argv[] = {name, nullptr};
        if (!QGuiApplication::instance())
            s_application = std::make_unique<QGuiApplication>(argc, argv);
    }
    // Before the program's own statics go: Qt's application must not outlive main.
    static void TearDownTestSuite() { s_application.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::exists(kHost)) << kHost;
        char pattern[] = "/tmp/installer-host-lang-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        std::filesystem::create_directories(m_dir + "/home/Library/Preferences");
        std::filesystem::create_directories(m_dir + "/root");
        std::ofstream(m_dir + "/script.txt") << "show\n";
    }

    void TearDown() override { std::filesystem::remove_all(m_dir); }

    // One windowed run in the language that LANGUAGE names; the script shows the screen.
    HostResult runIn(const std::string& language)
    {
        return runProcess(kHost, {kBundle},
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

std::unique_ptr<QGuiApplication> InstallerHostLanguage::s_application;

TEST_F(InstallerHostLanguage, EveryShippedLanguageLeavesNoEnglishTextOnTheScreen)
{
    for (const testsupport::Language& language : testsupport::shippedLanguages()) {
        SCOPED_TRACE(language.localization);
        const HostResult result = runIn(language.tag);
        const std::vector<std::string> shown = testsupport::shownTexts(result.out);
        ASSERT_FALSE(shown.empty()) << result.out << result.err;

        const std::set<std::string> english =
            testsupport::englishTextsTranslatedIn(kResourceFolders, language.localization);
        if (language.localization != "English") {
            EXPECT_FALSE(english.empty()) << "the language's tables translate the English texts";
        }
        for (const std::string& text : shown)
            EXPECT_EQ(english.count(text), 0u) << "English text left: \"" << text << "\"\n" << result.out;

        // The screen shows the language's own texts, not only texts that no table holds.
        const std::set<std::string> own = testsupport::localizedTexts(kResourceFolders, language.localization);
        const auto ownShown = std::count_if(shown.begin(), shown.end(), [&](const std::string& t) { return own.count(t) > 0; });
        EXPECT_GE(ownShown, 3) << result.out;
    }
}

TEST_F(InstallerHostLanguage, JapaneseScreenHasAGlyphForEveryCharacter)
{
    const HostResult result = runIn("ja");
    const std::vector<std::string> shown = testsupport::shownTexts(result.out);
    ASSERT_FALSE(shown.empty()) << result.out << result.err;
    const bool anyJapanese = std::any_of(shown.begin(), shown.end(), [](const std::string& t) {
        return QString::fromStdString(t).contains(QChar(0x30D7));  // "プ" of "プラグイン"
    });
    ASSERT_TRUE(anyJapanese) << result.out;

    QFont heading = QGuiApplication::font();
    heading.setBold(true);
    for (const QFont& font : {QGuiApplication::font(), heading}) {
        for (const std::string& text : shown) {
            EXPECT_EQ(testsupport::charactersWithoutGlyph(font, text), "")
                << "\"" << text << "\" in " << font.family().toStdString() << " (drawn with "
                << testsupport::fontFamiliesDrawing(font, text) << ")";
        }
    }
}

}  // namespace
