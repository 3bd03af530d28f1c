#include "UnInstaller/common/GestaltErr.h"

namespace {
constexpr const char* kName = "GestaltErr";
constexpr const char* kReason = "Gestalt_Err";
}  // namespace

GestaltErr::GestaltErr() : std::runtime_error(kReason) {}

std::string GestaltErr::name() const
{
    return kName;
}

std::string GestaltErr::reason() const
{
    return kReason;
}
