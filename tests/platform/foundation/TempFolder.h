#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace foundation_test {

/// A fresh folder under /tmp, removed with everything in it when the object goes.
class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = "/tmp/foundation-test-XXXXXX";
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempFolder()
    {
        if (m_path.empty())
            return;
        std::error_code ignored;
        // Restore permissions that a test took away so that removal succeeds.
        for (auto it = std::filesystem::recursive_directory_iterator(
                 m_path, std::filesystem::directory_options::skip_permission_denied, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(std::string_view relative) const { return m_path + "/" + std::string(relative); }

    /// Writes bytes to a file below the folder, making the folders on the way.
    std::string write(std::string_view relative, std::string_view bytes) const
    {
        const std::string full = *this / relative;
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream out(full, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return full;
    }

    std::string makeFolder(std::string_view relative) const
    {
        const std::string full = *this / relative;
        std::filesystem::create_directories(full);
        return full;
    }

private:
    std::string m_path;
};

inline std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace foundation_test
