#include "platform/foundation/Number.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace platform {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

}  // namespace

double CFStringGetDoubleValue(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        std::size_t j = i + 1;
        std::size_t fraction = 0;
        while (j < text.size() && isDigit(text[j])) {
            ++j;
            ++fraction;
        }
        if (digits + fraction > 0) {
            i = j;
            digits += fraction;
        }
    }
    if (digits == 0)
        return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        const std::size_t exponentStart = j;
        while (j < text.size() && isDigit(text[j]))
            ++j;
        if (j > exponentStart)
            i = j;
    }
    // from_chars is locale-independent; it does not accept a leading '+'.
    std::string number(text.substr(start, i - start));
    if (!number.empty() && number.front() == '+')
        number.erase(0, 1);
    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Out of range: strtod in the "C" locale saturates to infinity or zero as it should.
        const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        if (!cLocale)
            return 0;
        value = ::strtod_l(number.c_str(), nullptr, cLocale);
        ::freelocale(cLocale);
    }
    return value;
}

}  // namespace platform
