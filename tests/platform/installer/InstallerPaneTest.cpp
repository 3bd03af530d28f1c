#include "platform/installer/InstallerPane.h"
#include "platform/installer/InstallerSection.h"

#include <gtest/gtest.h>

#include <vector>

namespace platform {
namespace {

TEST(InstallerPane, InitWithSectionKeepsTheSectionAndAnswersThePane)
{
    InstallerSection section(nullptr, std::make_shared<PlistDictionary>());
    InstallerPane pane;
    EXPECT_EQ(pane.section(), nullptr);
    EXPECT_EQ(pane.initWithSection(&section), &pane);
    EXPECT_EQ(pane.section(), &section);
}

TEST(InstallerPane, SetNextEnabledStoresAndTellsTheHost)
{
    InstallerPane pane;
    pane.setNextEnabled(false);
    EXPECT_FALSE(pane.nextEnabled());

    std::vector<bool> told;
    pane.setNextEnabledHandler([&told](bool enabled) { told.push_back(enabled); });
    pane.setNextEnabled(true);
    pane.setNextEnabled(false);
    EXPECT_EQ(told, (std::vector<bool>{true, false}));
    EXPECT_FALSE(pane.nextEnabled());
}

TEST(InstallerPane, DefaultLifecycleLetsTheHostMoveOn)
{
    InstallerPane pane;
    EXPECT_TRUE(pane.shouldExitPane(kInstallerDirectionForward));
    EXPECT_TRUE(pane.shouldExitPane(kInstallerDirectionBackward));
    EXPECT_TRUE(pane.gotoNextPane());
    EXPECT_TRUE(pane.gotoPreviousPane());
    EXPECT_EQ(pane.contentView(), nullptr);
}

TEST(InstallerSection, SectionsOfOneInstallationShareOneDictionary)
{
    auto shared = std::make_shared<PlistDictionary>();
    InstallerSection first(nullptr, shared);
    InstallerSection second(nullptr, shared);
    first.sharedDictionary().set("selectionAPPKey", PlistValue(PlistArray{PlistValue("P")}));
    ASSERT_NE(second.sharedDictionary().arrayForKey("selectionAPPKey"), nullptr);
    EXPECT_EQ(second.sharedDictionary().arrayForKey("selectionAPPKey")->size(), 1u);
    EXPECT_EQ(&first.sharedDictionary(), shared.get());
}

TEST(InstallerSection, NoDictionaryGivesAnEmptyOneOfItsOwn)
{
    InstallerSection section(nullptr, nullptr);
    EXPECT_TRUE(section.sharedDictionary().empty());
    section.sharedDictionary().set("k", PlistValue("v"));
    EXPECT_NE(section.sharedDictionary().stringForKey("k"), nullptr);
}

}  // namespace
}  // namespace platform
