#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class Menu;

/// One item of a menu: a title, an optional submenu and an optional action.
class MenuItem {
public:
    MenuItem(std::string title, std::string objectName = std::string());

    const std::string& title() const { return m_title; }
    void setTitle(std::string title) { m_title = std::move(title); }
    const std::string& objectName() const { return m_objectName; }
    Menu* submenu() const { return m_submenu.get(); }
    void setSubmenu(std::shared_ptr<Menu> submenu) { m_submenu = std::move(submenu); }
    const std::function<void()>& action() const { return m_action; }
    void setAction(std::function<void()> action) { m_action = std::move(action); }

private:
    std::string m_title;
    std::string m_objectName;
    std::shared_ptr<Menu> m_submenu;
    std::function<void()> m_action;
};

/// A menu as plain data; a UI backend redraws it from this model when update() is called.
class Menu {
public:
    explicit Menu(std::string title = std::string());

    const std::string& title() const { return m_title; }
    void setTitle(std::string title) { m_title = std::move(title); }
    std::size_t numberOfItems() const { return m_items.size(); }
    MenuItem* itemAtIndex(std::size_t index) const;
    MenuItem* addItem(std::string title, std::string objectName = std::string());

    /// Redraws the menu; the callback is the backend's.
    void update();
    void setUpdateHandler(std::function<void(Menu&)> handler) { m_updateHandler = std::move(handler); }
    std::size_t updateCount() const { return m_updateCount; }

private:
    std::string m_title;
    std::vector<std::unique_ptr<MenuItem>> m_items;
    std::function<void(Menu&)> m_updateHandler;
    std::size_t m_updateCount = 0;
};

}  // namespace platform
