// The conversions between 8-bit and UTF-16 text, each naming its code page.
#pragma once

#include <string>
#include <string_view>

#include "launchcore/text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

// The code page the file APIs use: CP_ACP, or CP_OEMCP when AreFileApisANSI is false.
unsigned fileApiCodePage();

// 8-bit text in the file-API code page to UTF-16 (the exact inverse of narrowAnsi).
std::wstring widenAnsi(std::string_view text);

// UTF-16 to the file-API code page without best-fit mapping; unmappable characters become
// "?" and clear *exact when given.
std::string narrowAnsi(std::wstring_view text, bool* exact = nullptr);

// UTF-16 to the given code page as WideCharToMultiByte does it by default (best fit allowed);
// for text a console shows. Empty on failure.
std::string narrowToCodePage(std::wstring_view text, unsigned codePage);

// Every byte becomes the UTF-16 unit of the same value ("%S" formatting); for log texts.
std::wstring widenBytesW(std::string_view text);

inline std::wstring toWide(std::u16string_view text)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}
inline std::u16string toU16(std::wstring_view text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}
