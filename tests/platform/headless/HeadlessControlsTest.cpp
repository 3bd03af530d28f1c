#include "platform/headless/HeadlessControls.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace platform::headless {
namespace {

// Rows of ticks and names; rows listed in m_disabled are shown disabled.
class FakeChecklist : public TableDataSource, public TableDelegate {
public:
    std::vector<NSInteger> ticks{0, 1, 0};
    std::vector<std::string> names{"A", "B", "C"};
    std::vector<NSInteger> disabledRows;
    std::vector<std::pair<std::string, NSInteger>> displayed;
    std::vector<std::pair<NSInteger, NSInteger>> edits;

    NSInteger numberOfRowsInTableView(TableView*) override { return static_cast<NSInteger>(ticks.size()); }
    ObjectValue objectValueForTableColumn(TableView*, TableColumn* column, NSInteger row) override
    {
        if (column->identifier() == "chk") {
            return PlistValue(static_cast<std::int64_t>(ticks[static_cast<std::size_t>(row)]));
        }
        if (column->identifier() == "name") {
            return PlistValue(names[static_cast<std::size_t>(row)]);
        }
        return std::nullopt;
    }
    void setObjectValue(TableView*, const ObjectValue& value, TableColumn* column, NSInteger row) override
    {
        if (column->identifier() == "chk") {
            ticks[static_cast<std::size_t>(row)] = intValue(value);
            edits.emplace_back(row, intValue(value));
        }
    }
    void willDisplayCell(TableView*, Cell* cell, TableColumn* column, NSInteger row) override
    {
        displayed.emplace_back(column->identifier(), row);
        for (NSInteger disabled : disabledRows) {
            if (disabled == row) {
                cell->setEnabled(false);
            }
        }
    }
};

class HeadlessTableViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        table.setDataSource(&rows);
        table.setDelegate(&rows);
    }
    FakeChecklist rows;
    HeadlessTableView table{"uiTableView", {"chk", "name"}};
};

TEST_F(HeadlessTableViewTest, ColumnsKeepTheirIdentifiersAndOrder)
{
    auto columns = table.tableColumns();
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns[0]->identifier(), "chk");
    EXPECT_EQ(columns[1]->identifier(), "name");
    EXPECT_EQ(table.tableColumnWithIdentifier("name"), columns[1]);
    EXPECT_EQ(table.tableColumnWithIdentifier("Name"), nullptr);
}

TEST_F(HeadlessTableViewTest, ValuesComeFromTheDataSource)
{
    EXPECT_EQ(table.numberOfRows(), 3);
    EXPECT_EQ(intValue(table.valueAt("chk", 1)), 1);
    ASSERT_TRUE(table.valueAt("name", 2).has_value());
    EXPECT_EQ(*table.valueAt("name", 2)->asString(), "C");
    EXPECT_FALSE(table.valueAt("name", 3).has_value());
    EXPECT_FALSE(table.valueAt("name", -1).has_value());
    EXPECT_FALSE(table.valueAt("other", 0).has_value());
}

TEST_F(HeadlessTableViewTest, EditOfAnEnabledCellReachesTheDataSourceAfterTheDelegateWasAsked)
{
    EXPECT_TRUE(table.userEdit("chk", 2, PlistValue(1)));
    EXPECT_EQ(rows.ticks[2], 1);
    ASSERT_FALSE(rows.displayed.empty());
    EXPECT_EQ(rows.displayed.back(), (std::pair<std::string, NSInteger>("chk", 2)));
}

TEST_F(HeadlessTableViewTest, DisabledRowCanBeNeitherTickedNorUnticked)
{
    rows.disabledRows = {0, 1};
    EXPECT_FALSE(table.isCellEnabled("chk", 0));
    EXPECT_FALSE(table.userEdit("chk", 0, PlistValue(1)));
    EXPECT_FALSE(table.userToggle(1));
    EXPECT_EQ(rows.ticks, (std::vector<NSInteger>{0, 1, 0}));
    EXPECT_TRUE(rows.edits.empty());
    EXPECT_TRUE(table.userToggle(2));
    EXPECT_EQ(rows.ticks[2], 1);
}

TEST_F(HeadlessTableViewTest, DisabledOrHiddenTableRefusesEveryEdit)
{
    table.setEnabled(false);
    EXPECT_FALSE(table.isCellEnabled("chk", 0));
    EXPECT_FALSE(table.userToggle(0));
    table.setEnabled(true);
    table.setHidden(true);
    EXPECT_FALSE(table.userToggle(0));
    EXPECT_TRUE(rows.edits.empty());
}

TEST_F(HeadlessTableViewTest, EditOutsideTheRowsOrColumnsIsRefused)
{
    EXPECT_FALSE(table.userEdit("chk", 3, PlistValue(1)));
    EXPECT_FALSE(table.userEdit("chk", -1, PlistValue(1)));
    EXPECT_FALSE(table.userEdit("size", 0, PlistValue(1)));
    EXPECT_TRUE(rows.edits.empty());
}

TEST_F(HeadlessTableViewTest, ToggleWritesOneForZeroAndZeroForAnythingElse)
{
    rows.ticks = {0, 1, -1};
    EXPECT_TRUE(table.userToggle(0));
    EXPECT_TRUE(table.userToggle(1));
    EXPECT_TRUE(table.userToggle(2));
    EXPECT_EQ(rows.edits, (std::vector<std::pair<NSInteger, NSInteger>>{{0, 1}, {1, 0}, {2, 0}}));
}

TEST(HeadlessTableView, WithoutDataSourceThereAreNoRowsAndNoEdits)
{
    HeadlessTableView table("t", {"chk"});
    EXPECT_EQ(table.numberOfRows(), 0);
    EXPECT_FALSE(table.userToggle(0));
    table.reloadData();
    table.reloadData();
    EXPECT_EQ(table.reloadCount(), 2u);
}

TEST(HeadlessButton, CheckBoxClickTogglesBeforeTheActionIsSent)
{
    HeadlessButton box("allSelectChk", HeadlessButton::Kind::CheckBox);
    std::vector<NSInteger> seen;
    box.setAction([&seen](Button* sender) { seen.push_back(sender->state()); });
    EXPECT_TRUE(box.click());
    EXPECT_TRUE(box.click());
    box.setState(-1);
    EXPECT_TRUE(box.click());
    EXPECT_EQ(seen, (std::vector<NSInteger>{1, 0, 1}));
    EXPECT_EQ(box.stateHistory(), (std::vector<NSInteger>{-1}));
}

TEST(HeadlessButton, DisabledOrHiddenButtonIgnoresClicks)
{
    HeadlessButton button("uninstallButton");
    int actions = 0;
    button.setAction([&actions](Button*) { ++actions; });
    button.setEnabled(false);
    EXPECT_FALSE(button.click());
    button.setEnabled(true);
    button.setHidden(true);
    EXPECT_FALSE(button.click());
    button.setHidden(false);
    EXPECT_TRUE(button.click());
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(button.state(), 0);
}

TEST(HeadlessButton, RecordsTitlesInOrder)
{
    HeadlessButton button("b");
    button.setTitle("MENU_QUIT");
    button.setTitle("Quit");
    EXPECT_EQ(button.title(), "Quit");
    EXPECT_EQ(button.titleHistory(), (std::vector<std::string>{"MENU_QUIT", "Quit"}));
}

class RecordingWindowDelegate : public WindowDelegate {
public:
    std::vector<bool> visibleWhenTold;
    void windowWillClose(Window* window) override
    {
        visibleWhenTold.push_back(static_cast<HeadlessWindow*>(window)->isVisible());
    }
};

TEST(HeadlessWindow, CloseTellsTheDelegateWhileStillShown)
{
    HeadlessWindow window("window");
    RecordingWindowDelegate delegate;
    window.setDelegate(&delegate);
    window.makeKeyAndOrderFront();
    window.center();
    window.close();
    EXPECT_EQ(delegate.visibleWhenTold, (std::vector<bool>{true}));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.centerCount(), 1u);
}

}  // namespace
}  // namespace platform::headless
