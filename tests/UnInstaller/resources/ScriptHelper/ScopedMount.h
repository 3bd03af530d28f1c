#pragma once

#include <string>

#include <sys/mount.h>

/// A mount made for one test and taken down when the test ends; mounted() is false when this
/// machine would not make it (no privilege), and the test should then be skipped.
class ScopedMount {
public:
    ScopedMount(const std::string& source, const std::string& target, const char* type, unsigned long flags,
                const char* data = nullptr)
        : m_target(target), m_mounted(::mount(source.c_str(), target.c_str(), type, flags, data) == 0)
    {
    }
    ~ScopedMount()
    {
        if (m_mounted)
            ::umount2(m_target.c_str(), MNT_DETACH);
    }
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;

    bool mounted() const { return m_mounted; }

private:
    std::string m_target;
    bool m_mounted;
};
