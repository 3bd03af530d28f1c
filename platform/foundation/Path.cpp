#include "platform/foundation/Path.h"

namespace platform {

std::string stringByAppendingPathComponent(std::string_view base, std::string_view component)
{
    std::string result(base);
    while (!result.empty() && result.back() == '/' && result.size() > 0)
        result.pop_back();
    std::size_t skip = 0;
    while (skip < component.size() && component[skip] == '/')
        ++skip;
    component.remove_prefix(skip);
    if (result.empty() && base.empty())
        return std::string(component);
    result += '/';
    result += component;
    return result;
}

std::string stringByDeletingLastPathComponent(std::string_view path)
{
    if (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    if (path == "/")
        return "/";
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return std::string();
    if (slash == 0)
        return "/";
    return std::string(path.substr(0, slash));
}

std::string lastPathComponent(std::string_view path)
{
    if (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    if (path == "/")
        return "/";
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return std::string(path);
    return std::string(path.substr(slash + 1));
}

}  // namespace platform
