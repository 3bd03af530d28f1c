#include "platform/foundation/Path.h"

namespace platform {

namespace {

// The path without trailing "/", keeping a lone root "/".
std::string_view withoutTrailingSlashes(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

}  // namespace

std::string stringByAppendingPathComponent(std::string_view base, std::string_view component)
{
    while (!component.empty() && component.front() == '/')
        component.remove_prefix(1);
    if (base.empty())
        return std::string(component);
    if (component.empty())
        return std::string(base);
    std::string result(withoutTrailingSlashes(base));
    if (result != "/")
        result += '/';
    result += component;
    return result;
}

std::string stringByDeletingLastPathComponent(std::string_view path)
{
    path = withoutTrailingSlashes(path);
    if (path == "/")
        return "/";
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return std::string();
    // Drop the run of "/" before the last component, but keep the root.
    std::string_view rest = path.substr(0, slash);
    rest = withoutTrailingSlashes(rest);
    if (rest.empty())
        return "/";
    return std::string(rest);
}

std::string lastPathComponent(std::string_view path)
{
    path = withoutTrailingSlashes(path);
    if (path == "/")
        return "/";
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return std::string(path);
    return std::string(path.substr(slash + 1));
}

}  // namespace platform
