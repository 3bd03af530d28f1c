#pragma once

#include <string_view>

namespace platform {

/// Reads a string as a decimal number: leading white space skipped, the longest leading decimal
/// floating-point number taken (sign, digits, one ".", exponent), 0 when there is none.
/// Independent of the process locale.
double CFStringGetDoubleValue(std::string_view text);

}  // namespace platform
