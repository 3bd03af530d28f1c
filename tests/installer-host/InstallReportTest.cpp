// What the Install step's result comes to: the exit status and the English lines of the command
// line, and the window's texts in the user's language from the shipped strings tables.

#include "installer-host/HostExitStatus.h"
#include "installer-host/HostStrings.h"
#include "installer-host/InstallReport.h"
#include "installer-host/InstallTexts.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Locale.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

using installerhost::HostOutcome;
using installerhost::HostStrings;
using installerhost::InstallReport;
using installerhost::InstallStep;
using installerhost::InstallTexts;
using Outcome = InstallStep::Outcome;
using State = HostOutcome::State;

namespace {

InstallStep::Result resultWith(Outcome outcome, std::vector<State> states = {}, std::optional<int> toolStatus = {},
                               std::string detail = {})
{
    InstallStep::Result result;
    result.outcome = outcome;
    result.toolStatus = toolStatus;
    result.detail = std::move(detail);
    result.planPath = "/home/u/Library/Preferences/com.tavix.pluginInstall.plist";
    for (std::size_t i = 0; i < states.size(); ++i)
        result.hosts.push_back({"/apps/Host " + std::to_string(i + 1), "m" + std::to_string(i), states[i],
                                states[i] == State::Skipped ? "the folder is gone" : ""});
    return result;
}

struct StatusCase {
    const char* name;
    InstallStep::Result result;
    int exitStatus;
    std::string summary;
};

void PrintTo(const StatusCase& c, std::ostream* os)
{
    *os << c.name;
}

class InstallReportStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(InstallReportStatus, MapsTheOutcomeToAnExitStatusAndASummary)
{
    EXPECT_EQ(InstallReport::exitStatus(GetParam().result), GetParam().exitStatus);
    EXPECT_EQ(InstallReport::summary(GetParam().result), GetParam().summary);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, InstallReportStatus,
    ::testing::Values(
        StatusCase{"AllInstalled", resultWith(Outcome::AllInstalled, {State::Installed, State::Updated}, 0),
                   installerhost::kExitDone, "installed into 2 host applications"},
        StatusCase{"SomeSkipped", resultWith(Outcome::SomeSkipped, {State::Skipped, State::Installed}, 1),
                   installerhost::kExitSomeSkipped, "installed into 1 of 2 host applications; 1 skipped"},
        StatusCase{"NothingSelected", resultWith(Outcome::NothingSelected), installerhost::kExitDone,
                   "no host application was selected; nothing was installed"},
        StatusCase{"PlanMissing", resultWith(Outcome::PlanMissing), installerhost::kExitPlanUnusable,
                   "the install plan /home/u/Library/Preferences/com.tavix.pluginInstall.plist does not exist; "
                   "nothing was installed"},
        StatusCase{"RefusedSetting", resultWith(Outcome::Refused, {State::NotInstalled}, 78, "no module folder"),
                   installerhost::kExitSetting, "InstallHelper refused (status 78): no module folder; nothing was installed"},
        StatusCase{"RefusedWithOddStatus", resultWith(Outcome::Refused, {State::NotInstalled}, 9, "bad"),
                   installerhost::kExitSoftware, "InstallHelper refused (status 9): bad; nothing was installed"},
        StatusCase{"Busy", resultWith(Outcome::Busy, {State::NotInstalled}, 75), installerhost::kExitBusy,
                   "another install or removal is running; nothing was installed"},
        StatusCase{"NotAuthorized", resultWith(Outcome::NotAuthorized, {State::NotInstalled}),
                   installerhost::kExitNotAuthorized, "not authorized; nothing was installed"},
        StatusCase{"Dismissed", resultWith(Outcome::Dismissed, {State::NotInstalled}),
                   installerhost::kExitNotAuthorized, "the authentication was dismissed; nothing was installed"},
        StatusCase{"Unavailable", resultWith(Outcome::Unavailable, {State::NotInstalled}),
                   installerhost::kExitUnavailable,
                   "polkit cannot be asked or InstallHelper cannot be started; nothing was installed"},
        StatusCase{"FailedWithoutStatus", resultWith(Outcome::Failed, {State::Installed, State::NotInstalled}),
                   installerhost::kExitSoftware,
                   "InstallHelper failed (no exit status); installed into 1 of 2 host applications"}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

class InstallTextsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resources = platform::Bundle::bundleWithPath(std::string(SOURCE_DIR) + "/installer-host/resources");
        ASSERT_TRUE(resources);
    }
    void TearDown() override { platform::setPreferredLanguagesOverride(std::nullopt); }

    std::shared_ptr<platform::Bundle> resources;
};

// The window's texts of one result in one language.
struct TextCase {
    const char* name;
    std::string language;
    InstallStep::Result result;
    std::string summary;
    std::string finalMessage;
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    *os << c.name;
}

class InstallTextsLanguages : public InstallTextsTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(InstallTextsLanguages, SayWhatTheInstallationCameTo)
{
    platform::setPreferredLanguagesOverride(std::vector<std::string>{GetParam().language});
    const HostStrings strings(resources);
    const InstallTexts texts(strings);
    EXPECT_EQ(texts.summary(GetParam().result), GetParam().summary);
    EXPECT_EQ(texts.finalMessage(GetParam().result), GetParam().finalMessage);
}

INSTANTIATE_TEST_SUITE_P(
    Results, InstallTextsLanguages,
    ::testing::Values(
        TextCase{"EnglishOne", "en", resultWith(Outcome::AllInstalled, {State::Installed}, 0),
                 "The print plug-in was installed into 1 host application.",
                 "The print plug-in was installed into 1 host application.\n\nYou can close the installer now."},
        TextCase{"EnglishSkipped", "en", resultWith(Outcome::SomeSkipped, {State::Installed, State::Updated, State::Skipped}, 1),
                 "The print plug-in was installed into 2 host applications.\n1 host application was skipped.",
                 "The print plug-in was installed into 2 host applications.\n1 host application was skipped.\n\n"
                 "You can close the installer now."},
        TextCase{"EnglishAllSkipped", "en", resultWith(Outcome::SomeSkipped, {State::Skipped, State::Skipped}, 1),
                 "The print plug-in was not installed.\n2 host applications were skipped.",
                 "The print plug-in was not installed.\n2 host applications were skipped.\n\n"
                 "You can close the installer now."},
        TextCase{"EnglishDismissed", "en", resultWith(Outcome::Dismissed, {State::NotInstalled}),
                 "The request for an administrator's password was closed, so nothing was installed. Choose Install "
                 "Again to be asked again.",
                 "The print plug-in was not installed.\n\nYou can close the installer now."},
        TextCase{"EnglishNothingSelected", "en", resultWith(Outcome::NothingSelected),
                 "No host application was selected, so nothing was installed.",
                 "No host application was selected, so nothing was installed.\n\nYou can close the installer now."},
        TextCase{"GermanPlural", "de", resultWith(Outcome::AllInstalled, {State::Installed, State::Installed}, 0),
                 "Das Druck-Plug-in wurde in 2 Programme installiert.",
                 "Das Druck-Plug-in wurde in 2 Programme installiert.\n\n"
                 "Sie können das Installationsprogramm jetzt schließen."},
        TextCase{"FrenchBusy", "fr", resultWith(Outcome::Busy, {State::NotInstalled}, 75, "locked"),
                 "Une autre installation ou suppression de modules est en cours ; rien n’a donc été installé. "
                 "Réessayez lorsqu’elle sera terminée.",
                 "Le module d’impression n’a pas été installé.\n\n"
                 "Vous pouvez maintenant fermer le programme d’installation."},
        TextCase{"JapaneseFailed", "ja", resultWith(Outcome::Failed, {State::NotInstalled}, 3),
                 "インストールプログラムが予期せず終了しました（ステータス 3）。インストールされたものは一覧に表示されています。",
                 "プリントプラグインはインストールされませんでした。\n\nインストーラを閉じてもかまいません。"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST_F(InstallTextsTest, HostStatesAndProgressAreLocalized)
{
    platform::setPreferredLanguagesOverride(std::vector<std::string>{"de"});
    const HostStrings strings(resources);
    const InstallTexts texts(strings);
    EXPECT_EQ(texts.hostState({"/a", "m", State::Skipped, "the folder is gone"}), "Übersprungen: the folder is gone")
        << "InstallHelper's reason stays as it wrote it";
    EXPECT_EQ(texts.hostState({"/a", "m", State::NotInstalled, ""}), "Nicht installiert");
    InstallStep::Progress progress;
    progress.phase = InstallStep::Progress::Phase::Host;
    progress.index = 2;
    progress.count = 1200;
    progress.folder = "/apps/B";
    EXPECT_EQ(texts.progress(progress), "Programm 2 von 1.200: /apps/B");
    EXPECT_EQ(texts.detail(resultWith(Outcome::Refused, {}, 74, "registry unreadable")), "registry unreadable");
    EXPECT_EQ(texts.detail(resultWith(Outcome::NotAuthorized)), "");
}

}  // namespace
