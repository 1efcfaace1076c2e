#include "setuplauncher/tar_member_name.h"

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Windows drops trailing dots and spaces from a path component, so ".. " or "..." may name
// the parent as well as "..".
bool isParentComponent(std::string_view component)
{
    int dots = 0;
    for (const char c : component) {
        if (c == '.')
            ++dots;
        else if (c != ' ')
            return false;
    }
    return dots >= 2;
}

std::string_view withoutCurrentDirectoryPieces(std::string_view name)
{
    while (name.size() >= 2 && name[0] == '.' && isSeparator(name[1]))
        name.remove_prefix(2);
    return name;
}

} // namespace

bool namesTargetItself(std::string_view name)
{
    name = withoutCurrentDirectoryPieces(name);
    return name.empty() || name == ".";
}

bool isSafeMemberName(std::string_view name)
{
    name = withoutCurrentDirectoryPieces(name);
    if (name.empty() || isSeparator(name.front()) || name.find(':') != std::string_view::npos)
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !isSeparator(name[end]))
            ++end;
        if (isParentComponent(name.substr(start, end - start)))
            return false;
        start = end + 1;
    }
    return true;
}
