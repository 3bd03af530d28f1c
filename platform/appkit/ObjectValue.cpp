#include "platform/appkit/ObjectValue.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace platform {

namespace {

constexpr NSInteger kMax = std::numeric_limits<NSInteger>::max();
constexpr NSInteger kMin = std::numeric_limits<NSInteger>::min();

NSInteger clampToInteger(std::int64_t value)
{
    if (value > static_cast<std::int64_t>(kMax)) {
        return kMax;
    }
    if (value < static_cast<std::int64_t>(kMin)) {
        return kMin;
    }
    return static_cast<NSInteger>(value);
}

NSInteger truncateReal(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= static_cast<double>(kMax)) {
        return kMax;
    }
    if (value <= static_cast<double>(kMin)) {
        return kMin;
    }
    return static_cast<NSInteger>(value);
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Leading white space, an optional sign, then decimal digits; saturates instead of overflowing.
NSInteger leadingInteger(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t magnitude = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (saturated) {
            continue;
        }
        const int digit = text[i] - '0';
        if (magnitude > (static_cast<std::int64_t>(kMax) - digit) / 10) {
            saturated = true;
            continue;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (saturated) {
        return negative ? kMin : kMax;
    }
    return clampToInteger(negative ? -magnitude : magnitude);
}

}  // namespace

NSInteger intValue(const ObjectValue& value)
{
    if (!value) {
        return 0;
    }
    if (const auto* i = value->asInteger()) {
        return clampToInteger(*i);
    }
    if (const auto* d = value->asReal()) {
        return truncateReal(*d);
    }
    if (const auto* b = value->asBoolean()) {
        return *b ? 1 : 0;
    }
    if (const auto* s = value->asString()) {
        return leadingInteger(*s);
    }
    return 0;
}

}  // namespace platform
