#pragma once

#include "platform/foundation/PlistValue.h"
#include "platform/foundation/Types.h"

#include <optional>

namespace platform {

/// A value a table cell shows or that an edit hands in; none is the platform's nil.
using ObjectValue = std::optional<PlistValue>;

/// The integer value of a cell value: integers as they are, reals truncated, booleans 0 or 1,
/// strings by their leading decimal integer, anything else 0.
NSInteger intValue(const ObjectValue& value);

}  // namespace platform
