#include "UnInstaller/common/Controller.h"
#include "platform/appkit/Application.h"
#include "platform/appkit/NibClassRegistry.h"

#include <memory>

int main(int argc, char** argv)
{
    platform::registerNibClass(Controller::kClassName, [] { return std::make_unique<Controller>(); });
    return platform::NSApplicationMain(argc, const_cast<const char**>(argv));
}
