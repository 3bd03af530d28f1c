#pragma once

#include "platform/appkit/Interface.h"

#include <functional>
#include <memory>
#include <string>

namespace platform {

/// Creates one object of a class that an interface description names.
using NibClassFactory = std::function<std::unique_ptr<NibObject>()>;

/// Makes the class name known to interface loading (the root's "controllerClass"); a second
/// registration of the same name replaces the first.
void registerNibClass(const std::string& className, NibClassFactory factory);

/// Forgets a class name (for tests).
void unregisterNibClass(const std::string& className);

bool isNibClassRegistered(const std::string& className);

/// A new object of the registered class, or null when the name is unknown or the factory fails.
std::unique_ptr<NibObject> createNibObject(const std::string& className);

/// Registers T under a name when constructed; a static instance registers a class at load time.
template <class T>
class NibClassRegistration {
public:
    explicit NibClassRegistration(const std::string& className)
    {
        registerNibClass(className, [] { return std::unique_ptr<NibObject>(new T()); });
    }
};

}  // namespace platform
