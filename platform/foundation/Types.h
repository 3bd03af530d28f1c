#pragma once

#include <cstddef>

namespace platform {

/// The platform's word-size signed integer, used for row counts, row indices and control states.
using NSInteger = std::ptrdiff_t;

}  // namespace platform
