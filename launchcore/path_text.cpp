#include "launchcore/path_text.h"

#include "launchcore/text.h"

// One implementation per rule, instantiated for 8-bit and UTF-16 text.
namespace {

template <typename CharT>
using View = std::basic_string_view<CharT>;
template <typename CharT>
using String = std::basic_string<CharT>;

template <typename CharT>
bool isSeparator(CharT c)
{
    return c == CharT('\\') || c == CharT('/');
}

template <typename CharT>
bool isRelative(View<CharT> path)
{
    // A quoted path needs four characters, quote included; an unquoted one three.
    if (!path.empty() && path.front() == CharT('"'))
        path.remove_prefix(1);
    if (path.size() < 3)
        return true;
    // "C:/dir" is absolute too: Windows accepts either separator after the drive.
    if (path[1] == CharT(':') && isSeparator(path[2]))
        return false;
    if (path[0] == CharT('\\') && path[1] == CharT('\\'))
        return false;
    return true;
}

template <typename CharT>
String<CharT> collapse(View<CharT> path)
{
    String<CharT> out;
    out.reserve(path.size());
    size_t i = 0;
    // A UNC prefix keeps exactly two backslashes, however many there were.
    if (path.size() >= 2 && path[0] == CharT('\\') && path[1] == CharT('\\')) {
        out.append(2, CharT('\\'));
        while (i < path.size() && path[i] == CharT('\\'))
            ++i;
    }
    for (; i < path.size(); ++i) {
        if (path[i] == CharT('\\') && !out.empty() && out.back() == CharT('\\'))
            continue;
        out.push_back(path[i]);
    }
    return out;
}

template <typename CharT>
bool endsWithExeImpl(View<CharT> path)
{
    if (path.size() < 5)
        return false;
    const View<CharT> tail = path.substr(path.size() - 4);
    const CharT exe[] = {CharT('.'), CharT('e'), CharT('x'), CharT('e')};
    for (size_t i = 0; i < 4; ++i) {
        if (asciiLower(tail[i]) != exe[i])
            return false;
    }
    return true;
}

template <typename CharT>
bool equalsAscii(View<CharT> text, const char* ascii)
{
    size_t i = 0;
    for (; ascii[i] != '\0'; ++i) {
        if (i >= text.size() || text[i] != CharT(ascii[i]))
            return false;
    }
    return i == text.size();
}

template <typename CharT>
bool isDriveRoot(View<CharT> path)
{
    if (path.empty())
        return false;
    const View<CharT> rest = path.substr(1);
    return equalsAscii(rest, ":\\") || equalsAscii(rest, ":\\.") || equalsAscii(rest, ":\\.\\.");
}

template <typename CharT>
bool hasWildcardImpl(View<CharT> path)
{
    for (CharT c : path) {
        if (c == CharT('*') || c == CharT('?'))
            return true;
    }
    return false;
}

template <typename CharT>
String<CharT> withoutTrailing(View<CharT> path)
{
    const bool driveRoot = path.size() == 3 && path[1] == CharT(':') && path[2] == CharT('\\');
    if (!path.empty() && path.back() == CharT('\\') && !driveRoot)
        path.remove_suffix(1);
    return String<CharT>(path);
}

template <typename CharT>
String<CharT> directory(View<CharT> path)
{
    for (size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1]))
            return String<CharT>(path.substr(0, i));
    }
    return {};
}

template <typename CharT>
String<CharT> withSeparator(View<CharT> path)
{
    String<CharT> out(path);
    if (!out.empty() && !isSeparator(out.back()))
        out.push_back(CharT('\\'));
    return out;
}

} // namespace

bool isRelativePath(std::string_view path) { return isRelative(path); }
bool isRelativePath(std::u16string_view path) { return isRelative(path); }

std::string collapseBackslashes(std::string_view path) { return collapse(path); }
std::u16string collapseBackslashes(std::u16string_view path) { return collapse(path); }

bool endsWithExe(std::string_view path) { return endsWithExeImpl(path); }
bool endsWithExe(std::u16string_view path) { return endsWithExeImpl(path); }

bool isDriveRootPath(std::string_view path) { return isDriveRoot(path); }
bool isDriveRootPath(std::u16string_view path) { return isDriveRoot(path); }

bool hasWildcard(std::string_view path) { return hasWildcardImpl(path); }
bool hasWildcard(std::u16string_view path) { return hasWildcardImpl(path); }

std::string withoutTrailingBackslash(std::string_view path) { return withoutTrailing(path); }
std::u16string withoutTrailingBackslash(std::u16string_view path) { return withoutTrailing(path); }

std::string directoryPart(std::string_view path) { return directory(path); }
std::u16string directoryPart(std::u16string_view path) { return directory(path); }

std::string withTrailingSeparator(std::string_view path) { return withSeparator(path); }
std::u16string withTrailingSeparator(std::u16string_view path) { return withSeparator(path); }
