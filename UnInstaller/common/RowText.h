#pragma once

#include "platform/foundation/PlistValue.h"

#include <ostream>
#include <string>
#include <string_view>

/// The text of one row of a list: a string that shares the registry's own string where it was
/// taken from it, as the list's arrays hold the registry's strings rather than copies of them.
/// It is never changed in place; a row's text is changed by giving the row another.
class RowText {
public:
    RowText() = default;
    RowText(std::string text) : m_value(std::move(text)) {}
    RowText(const char* text) : m_value(std::string(text)) {}
    /// Shares the string of value; a value that is not a string gives the empty text.
    explicit RowText(const platform::PlistValue& value) : m_value(value.asString() ? value : platform::PlistValue()) {}

    const std::string& str() const
    {
        static const std::string kEmpty;
        const std::string* text = m_value.asString();
        return text ? *text : kEmpty;
    }
    operator const std::string&() const { return str(); }
    /// The text as a property-list value, sharing it.
    const platform::PlistValue& value() const { return m_value; }
    bool empty() const { return str().empty(); }

    friend bool operator==(const RowText& a, const RowText& b) { return a.str() == b.str(); }
    friend bool operator==(const RowText& a, std::string_view b) { return a.str() == b; }
    friend bool operator==(const RowText& a, const std::string& b) { return a.str() == b; }
    friend bool operator==(const RowText& a, const char* b) { return a.str() == b; }
    friend std::ostream& operator<<(std::ostream& out, const RowText& text) { return out << text.str(); }

private:
    platform::PlistValue m_value;
};
