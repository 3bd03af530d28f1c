// The stand-in plug-in's code: a host loads the bundle's executable and asks what it is.

#include <cstdio>

extern "C" __attribute__((visibility("default"))) const char* PluginIdentity()
{
    static char identity[128];
    std::snprintf(identity, sizeof identity, "%s", PAYLOAD_IDENTITY);
    return identity;
}
