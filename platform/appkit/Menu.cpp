#include "platform/appkit/Menu.h"

namespace platform {

MenuItem::MenuItem(std::string title, std::string objectName)
    : m_title(std::move(title)), m_objectName(std::move(objectName))
{
}

Menu::Menu(std::string title) : m_title(std::move(title)) {}

MenuItem* Menu::itemAtIndex(std::size_t index) const
{
    return index < m_items.size() ? m_items[index].get() : nullptr;
}

MenuItem* Menu::addItem(std::string title, std::string objectName)
{
    m_items.push_back(std::make_unique<MenuItem>(std::move(title), std::move(objectName)));
    return m_items.back().get();
}

void Menu::update()
{
    ++m_updateCount;
    if (m_updateHandler) {
        m_updateHandler(*this);
    }
}

}  // namespace platform
