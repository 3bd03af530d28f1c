#include "platform/appkit/NibClassRegistry.h"

#include <map>

namespace platform {

namespace {

std::map<std::string, NibClassFactory>& registry()
{
    static std::map<std::string, NibClassFactory> classes;
    return classes;
}

}  // namespace

void registerNibClass(const std::string& className, NibClassFactory factory)
{
    if (!factory) {
        registry().erase(className);
        return;
    }
    registry()[className] = std::move(factory);
}

void unregisterNibClass(const std::string& className)
{
    registry().erase(className);
}

bool isNibClassRegistered(const std::string& className)
{
    return registry().count(className) != 0;
}

std::unique_ptr<NibObject> createNibObject(const std::string& className)
{
    auto it = registry().find(className);
    if (it == registry().end()) {
        return nullptr;
    }
    return it->second();
}

}  // namespace platform
