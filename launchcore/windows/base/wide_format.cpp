#include "launchcore/windows/base/wide_format.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

std::wstring formatWideV(const wchar_t* format, va_list args)
{
    // _vsnwprintf reports truncation with -1 and leaves the buffer unterminated, so grow
    // until the text fits with room for the terminator.
    std::vector<wchar_t> buffer(512);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        const int written = _vsnwprintf(buffer.data(), buffer.size() - 1, format, copy);
        va_end(copy);
        if (written >= 0 && static_cast<size_t>(written) < buffer.size() - 1)
            return std::wstring(buffer.data(), static_cast<size_t>(written));
        if (buffer.size() >= (size_t{1} << 26))
            return std::wstring(buffer.data(), buffer.size() - 1);
        buffer.resize(buffer.size() * 4);
    }
}

std::wstring formatWide(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = formatWideV(format, args);
    va_end(args);
    return text;
}

std::string formatNarrow(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (needed > 0) {
        text.resize(static_cast<size_t>(needed));
        const int written = std::vsnprintf(text.data(), text.size() + 1, format, args);
        text.resize(written > 0 ? std::min(static_cast<size_t>(written), text.size()) : 0);
    }
    va_end(args);
    return text;
}
