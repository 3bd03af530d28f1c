#include "platform/foundation/PlistValue.h"

namespace platform {

PlistDictionary::PlistDictionary() = default;
PlistDictionary::PlistDictionary(const PlistDictionary&) = default;
PlistDictionary::PlistDictionary(PlistDictionary&&) noexcept = default;
PlistDictionary& PlistDictionary::operator=(const PlistDictionary&) = default;
PlistDictionary& PlistDictionary::operator=(PlistDictionary&&) noexcept = default;
PlistDictionary::~PlistDictionary() = default;

const PlistValue& PlistDictionary::valueAt(std::size_t index) const
{
    return m_values.at(index);
}

const PlistValue* PlistDictionary::find(std::string_view key) const
{
    const auto it = m_index.find(std::string(key));
    return it == m_index.end() ? nullptr : &m_values[it->second];
}

PlistValue* PlistDictionary::find(std::string_view key)
{
    const auto it = m_index.find(std::string(key));
    return it == m_index.end() ? nullptr : &m_values[it->second];
}

const std::string* PlistDictionary::stringForKey(std::string_view key) const
{
    const PlistValue* value = find(key);
    return value ? value->asString() : nullptr;
}

const PlistArray* PlistDictionary::arrayForKey(std::string_view key) const
{
    const PlistValue* value = find(key);
    return value ? value->asArray() : nullptr;
}

const PlistDictionary* PlistDictionary::dictionaryForKey(std::string_view key) const
{
    const PlistValue* value = find(key);
    return value ? value->asDictionary() : nullptr;
}

void PlistDictionary::set(std::string key, PlistValue value)
{
    if (PlistValue* existing = find(key)) {
        *existing = std::move(value);
        return;
    }
    m_index.emplace(key, m_keys.size());
    m_keys.push_back(std::move(key));
    m_values.push_back(std::move(value));
}

void PlistDictionary::addEntriesFromDictionary(const PlistDictionary& other)
{
    for (std::size_t i = 0; i < other.size(); ++i)
        set(other.m_keys[i], other.m_values[i]);
}

bool PlistDictionary::erase(std::string_view key)
{
    const auto it = m_index.find(std::string(key));
    if (it == m_index.end())
        return false;
    const std::size_t index = it->second;
    m_keys.erase(m_keys.begin() + static_cast<std::ptrdiff_t>(index));
    m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(index));
    reindex();
    return true;
}

void PlistDictionary::clear()
{
    m_keys.clear();
    m_values.clear();
    m_index.clear();
}

bool PlistDictionary::operator==(const PlistDictionary& other) const
{
    if (size() != other.size())
        return false;
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
        const PlistValue* theirs = other.find(m_keys[i]);
        if (!theirs || !(*theirs == m_values[i]))
            return false;
    }
    return true;
}

void PlistDictionary::reindex()
{
    m_index.clear();
    for (std::size_t i = 0; i < m_keys.size(); ++i)
        m_index.emplace(m_keys[i], i);
}

}  // namespace platform
