#include "platform/foundation/PlistSelection.h"

namespace platform {

const PlistSelection& PlistSelection::everything()
{
    static const PlistSelection selection;
    return selection;
}

PlistSelection PlistSelection::none()
{
    PlistSelection selection;
    selection.m_everything = false;
    return selection;
}

PlistSelection& PlistSelection::key(std::string name, PlistSelection below)
{
    m_everything = false;
    for (auto& entry : m_keys) {
        if (entry.first == name) {
            entry.second = std::move(below);
            return *this;
        }
    }
    m_keys.emplace_back(std::move(name), std::move(below));
    return *this;
}

PlistSelection& PlistSelection::anyOtherKey(PlistSelection below)
{
    m_everything = false;
    m_otherKeys.assign(1, std::move(below));
    return *this;
}

PlistSelection& PlistSelection::keepIf(std::function<bool(const PlistValue&)> test)
{
    m_test = std::move(test);
    return *this;
}

const PlistSelection* PlistSelection::below(std::string_view key) const
{
    if (m_everything)
        return &everything();
    for (const auto& entry : m_keys) {
        if (entry.first == key)
            return &entry.second;
    }
    return m_otherKeys.empty() ? nullptr : &m_otherKeys.front();
}

}  // namespace platform
