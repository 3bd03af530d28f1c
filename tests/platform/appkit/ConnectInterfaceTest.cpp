#include "platform/appkit/Interface.h"
#include "platform/headless/HeadlessControls.h"
#include "platform/headless/HeadlessUi.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace platform {
namespace {

using headless::HeadlessButton;
using headless::HeadlessInterface;
using headless::HeadlessTableView;
using headless::HeadlessTextField;
using headless::HeadlessWindow;

// Knows the outlets "window", "closeButton" and "uiTableView" and the action "close:".
class Owner : public NibObject {
public:
    std::map<std::string, Control*> outlets;
    std::vector<std::string> unknownOutlets;
    std::vector<std::pair<std::string, Control*>> actions;

    bool connectOutlet(const std::string& name, Control* object) override
    {
        if (name == "window" || name == "closeButton" || name == "uiTableView") {
            outlets[name] = object;
            return true;
        }
        unknownOutlets.push_back(name);
        return false;
    }
    bool performAction(const std::string& selector, Control* sender) override
    {
        actions.emplace_back(selector, sender);
        return selector == "close:";
    }
};

class TableOwner : public Owner, public TableDataSource, public TableDelegate, public WindowDelegate {
public:
    NSInteger numberOfRowsInTableView(TableView*) override { return 0; }
    ObjectValue objectValueForTableColumn(TableView*, TableColumn*, NSInteger) override { return std::nullopt; }
    void setObjectValue(TableView*, const ObjectValue&, TableColumn*, NSInteger) override {}
    void willDisplayCell(TableView*, Cell*, TableColumn*, NSInteger) override {}
    void windowWillClose(Window*) override {}
};

class ConnectInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = interface.add(std::make_unique<HeadlessWindow>("window"));
        closeButton = interface.add(std::make_unique<HeadlessButton>("closeButton"));
        extraButton = interface.add(std::make_unique<HeadlessButton>("uninstallButton"));
        unnamed = interface.add(std::make_unique<HeadlessTextField>(""));
        table = interface.add(std::make_unique<HeadlessTableView>("uiTableView", std::vector<std::string>{"chk"}));
        interface.setProperty("closeButton", "action", "close:");
        interface.setProperty("uninstallButton", "action", "requestUnInstall:");
    }

    HeadlessInterface interface{"MainWindow"};
    HeadlessWindow* window = nullptr;
    HeadlessButton* closeButton = nullptr;
    HeadlessButton* extraButton = nullptr;
    HeadlessTextField* unnamed = nullptr;
    HeadlessTableView* table = nullptr;
};

TEST_F(ConnectInterfaceTest, ObjectIsFoundByName)
{
    EXPECT_EQ(interface.object("closeButton"), closeButton);
    EXPECT_EQ(interface.objectNamed<Button>("closeButton"), closeButton);
    EXPECT_EQ(interface.objectNamed<TableView>("closeButton"), nullptr);
    EXPECT_EQ(interface.object("nothing"), nullptr);
    EXPECT_EQ(interface.object(""), nullptr);
}

TEST_F(ConnectInterfaceTest, EveryNamedObjectIsOfferedToTheOutletOfItsName)
{
    Owner owner;
    connectInterface(interface, owner);
    EXPECT_EQ(owner.outlets["window"], window);
    EXPECT_EQ(owner.outlets["closeButton"], closeButton);
    EXPECT_EQ(owner.outlets["uiTableView"], table);
    EXPECT_EQ(owner.unknownOutlets, std::vector<std::string>{"uninstallButton"});
}

TEST_F(ConnectInterfaceTest, ButtonsSendTheirSelectorWithThemselvesAsSender)
{
    Owner owner;
    connectInterface(interface, owner);
    closeButton->click();
    extraButton->click();
    ASSERT_EQ(owner.actions.size(), 2u);
    EXPECT_EQ(owner.actions[0], (std::pair<std::string, Control*>("close:", closeButton)));
    EXPECT_EQ(owner.actions[1], (std::pair<std::string, Control*>("requestUnInstall:", extraButton)));
}

TEST_F(ConnectInterfaceTest, ButtonWithoutActionPropertySendsNothing)
{
    auto* plain = interface.add(std::make_unique<HeadlessButton>("allSelectChk", HeadlessButton::Kind::CheckBox));
    Owner owner;
    connectInterface(interface, owner);
    plain->click();
    EXPECT_TRUE(owner.actions.empty());
}

TEST_F(ConnectInterfaceTest, TableGetsTheOwnerOnlyForTheRolesTheDescriptionNames)
{
    interface.setProperty("uiTableView", "dataSource", "Controller");
    TableOwner owner;
    connectInterface(interface, owner);
    EXPECT_EQ(table->dataSource(), static_cast<TableDataSource*>(&owner));
    EXPECT_EQ(table->delegate(), nullptr);

    interface.setProperty("uiTableView", "delegate", "Controller");
    connectInterface(interface, owner);
    EXPECT_EQ(table->delegate(), static_cast<TableDelegate*>(&owner));
}

TEST_F(ConnectInterfaceTest, OwnerThatPlaysNoTableRoleLeavesTheTableAlone)
{
    interface.setProperty("uiTableView", "dataSource", "Controller");
    interface.setProperty("uiTableView", "delegate", "Controller");
    Owner owner;
    connectInterface(interface, owner);
    EXPECT_EQ(table->dataSource(), nullptr);
    EXPECT_EQ(table->delegate(), nullptr);
}

class ClosingOwner : public TableOwner {
public:
    int closes = 0;
    void windowWillClose(Window*) override { ++closes; }
};

TEST_F(ConnectInterfaceTest, WindowDelegatePropertyMakesTheOwnerTheWindowsDelegate)
{
    interface.setProperty("window", "delegate", "Controller");
    ClosingOwner owner;
    connectInterface(interface, owner);
    window->close();
    EXPECT_EQ(owner.closes, 1);
}

}  // namespace
}  // namespace platform
