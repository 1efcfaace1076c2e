#include "launchcore/windows/base/text_conversion.h"

#include <windows.h>

unsigned fileApiCodePage() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

std::wstring widenAnsi(std::string_view text)
{
    if (text.empty())
        return {};
    const UINT codePage = fileApiCodePage();
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return widenBytesW(text);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string narrowAnsi(std::wstring_view text, bool* exact)
{
    if (exact)
        *exact = true;
    if (text.empty())
        return {};
    const UINT codePage = fileApiCodePage();
    BOOL usedDefault = FALSE;
    const int length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, "?", &usedDefault);
    if (length <= 0) {
        if (exact)
            *exact = false;
        return {};
    }
    std::string narrow(static_cast<size_t>(length), '\0');
    usedDefault = FALSE;
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), narrow.data(),
                        length, "?", &usedDefault);
    if (exact && usedDefault)
        *exact = false;
    return narrow;
}

std::string narrowToCodePage(std::wstring_view text, unsigned codePage)
{
    if (text.empty())
        return {};
    const int length =
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr, nullptr);
    return bytes;
}

std::wstring widenBytesW(std::string_view text)
{
    std::wstring wide;
    wide.reserve(text.size());
    for (unsigned char c : text)
        wide.push_back(static_cast<wchar_t>(c));
    return wide;
}
