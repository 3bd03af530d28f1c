#include "platform/foundation/PlistValue.h"

#include <functional>
#include <limits>

namespace platform {

PlistValue::PlistValue(std::uint64_t u)
{
    if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        m_value = static_cast<std::int64_t>(u);
    else
        m_value = u;
}

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

PlistValue& PlistDictionary::valueAt(std::size_t index)
{
    return m_values.at(index);
}

std::size_t PlistDictionary::positionOf(std::string_view key) const
{
    if (m_slots.empty()) {
        for (std::size_t i = 0; i < m_keys.size(); ++i) {
            if (m_keys[i] == key)
                return i;
        }
        return kNotFound;
    }
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = std::hash<std::string_view>{}(key) & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t entry = m_slots[slot];
        if (entry == 0)
            return kNotFound;
        if (m_keys[entry - 1] == key)
            return entry - 1;
    }
}

void PlistDictionary::insertIntoIndex(std::size_t position)
{
    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = std::hash<std::string_view>{}(m_keys[position]) & mask;
    while (m_slots[slot] != 0)
        slot = (slot + 1) & mask;
    m_slots[slot] = static_cast<std::uint32_t>(position + 1);
}

void PlistDictionary::rebuildIndex(std::size_t keyCount)
{
    if (keyCount <= kIndexedSize) {
        m_slots.clear();
        m_slots.shrink_to_fit();
        return;
    }
    // At most half full, so that probe runs stay short.
    std::size_t slots = 64;
    while (slots < 2 * keyCount)
        slots *= 2;
    m_slots.assign(slots, 0);
    for (std::size_t i = 0; i < m_keys.size(); ++i)
        insertIntoIndex(i);
}

const PlistValue* PlistDictionary::find(std::string_view key) const
{
    const std::size_t position = positionOf(key);
    return position == kNotFound ? nullptr : &m_values[position];
}

PlistValue* PlistDictionary::find(std::string_view key)
{
    const std::size_t position = positionOf(key);
    return position == kNotFound ? nullptr : &m_values[position];
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
    m_keys.push_back(std::move(key));
    m_values.push_back(std::move(value));
    if (!m_slots.empty() || m_keys.size() > kIndexedSize) {
        if (2 * m_keys.size() > m_slots.size())
            rebuildIndex(2 * m_keys.size());
        else
            insertIntoIndex(m_keys.size() - 1);
    }
}

void PlistDictionary::reserve(std::size_t count)
{
    m_keys.reserve(count);
    m_values.reserve(count);
    if (count > kIndexedSize && 2 * count > m_slots.size())
        rebuildIndex(count);
}

void PlistDictionary::addEntriesFromDictionary(const PlistDictionary& other)
{
    reserve(size() + other.size());
    for (std::size_t i = 0; i < other.size(); ++i)
        set(other.m_keys[i], other.m_values[i]);
}

bool PlistDictionary::erase(std::string_view key)
{
    const std::size_t position = positionOf(key);
    if (position == kNotFound)
        return false;
    m_keys.erase(m_keys.begin() + static_cast<std::ptrdiff_t>(position));
    m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(position));
    rebuildIndex(m_keys.size());
    return true;
}

void PlistDictionary::clear()
{
    m_keys.clear();
    m_values.clear();
    m_slots.clear();
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

}  // namespace platform
