#pragma once

#include <stdexcept>
#include <string>

/// Raised when the system version cannot be read; caught by the operation that raises it.
class GestaltErr : public std::runtime_error {
public:
    GestaltErr();

    /// The exception's name, "GestaltErr".
    std::string name() const;
    /// The exception's reason, "Gestalt_Err"; what() answers the same text.
    std::string reason() const;
};
