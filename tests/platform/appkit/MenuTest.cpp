#include "platform/appkit/Menu.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(Menu, ItemsKeepOrderTitlesAndNames)
{
    Menu menu("Main");
    MenuItem* app = menu.addItem("Plugsweep", "appItem");
    menu.addItem("Edit");
    ASSERT_EQ(menu.numberOfItems(), 2u);
    EXPECT_EQ(menu.itemAtIndex(0), app);
    EXPECT_EQ(menu.itemAtIndex(0)->objectName(), "appItem");
    EXPECT_EQ(menu.itemAtIndex(1)->title(), "Edit");
    EXPECT_EQ(menu.itemAtIndex(2), nullptr);
}

TEST(Menu, SubmenuAndActionAreHeldByTheItem)
{
    Menu menu;
    MenuItem* item = menu.addItem("MENU_APP");
    auto submenu = std::make_shared<Menu>("MENU_APP");
    item->setSubmenu(submenu);
    submenu->addItem("MENU_QUIT")->setTitle("Quit");
    int runs = 0;
    submenu->itemAtIndex(0)->setAction([&runs] { ++runs; });
    EXPECT_EQ(item->submenu(), submenu.get());
    EXPECT_EQ(item->submenu()->itemAtIndex(0)->title(), "Quit");
    submenu->itemAtIndex(0)->action()();
    EXPECT_EQ(runs, 1);
}

TEST(Menu, UpdateIsCountedAndReachesTheBackend)
{
    Menu menu;
    menu.update();
    EXPECT_EQ(menu.updateCount(), 1u);
    std::vector<std::string> drawn;
    menu.setUpdateHandler([&drawn](Menu& m) { drawn.push_back(m.title()); });
    menu.setTitle("Retitled");
    menu.update();
    EXPECT_EQ(menu.updateCount(), 2u);
    EXPECT_EQ(drawn, std::vector<std::string>{"Retitled"});
}

}  // namespace
}  // namespace platform
