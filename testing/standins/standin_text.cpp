// The stand-in's shared pieces outside the function table: the pending exception (one
// thread uses the VM), the environment and the text conversions. Compiled into the jvm.dll
// stand-in and into the in-process natives harness alike.
#include "standin_vm.h"

namespace standin {
namespace {

Object* g_pending = nullptr;

} // namespace
Object* pendingException() { return g_pending; }
void setPendingException(Object* throwable) { g_pending = throwable; }

void throwException(std::string_view className, std::string_view detail)
{
    std::string text(className);
    for (char& c : text)
        if (c == '/')
            c = '.';
    text += ": ";
    text += detail;
    g_pending = newThrowable(className, fromUtf8(text));
}

std::wstring environmentText(const wchar_t* name)
{
    std::wstring value(256, L'\0');
    for (;;) {
        const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (length == 0)
            return {};
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        value.resize(length);
    }
}

std::string toUtf8(std::u16string_view text)
{
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned long code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (code < 0x80) {
            bytes += static_cast<char>(code);
        } else if (code < 0x800) {
            bytes += static_cast<char>(0xC0 | (code >> 6));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            bytes += static_cast<char>(0xE0 | (code >> 12));
            bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (code >> 18));
            bytes += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return bytes;
}

std::u16string fromUtf8(std::string_view text)
{
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string wide(static_cast<size_t>(length > 0 ? length : 0), u'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                            reinterpret_cast<wchar_t*>(wide.data()), length);
    return wide;
}

std::u16string decodeModifiedUtf8(std::string_view bytes)
{
    std::u16string text;
    for (size_t i = 0; i < bytes.size();) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        auto continuation = [&](size_t at) {
            return at < bytes.size() && (static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80;
        };
        auto bits = [&](size_t at) { return static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) & 0x3F); };
        if (first < 0x80) {
            text += static_cast<char16_t>(first);
            i += 1;
        } else if ((first & 0xE0) == 0xC0 && continuation(i + 1)) {
            text += static_cast<char16_t>(((first & 0x1F) << 6) | bits(i + 1));
            i += 2;
        } else if ((first & 0xF0) == 0xE0 && continuation(i + 1) && continuation(i + 2)) {
            text += static_cast<char16_t>(((first & 0x0F) << 12) | (bits(i + 1) << 6) | bits(i + 2));
            i += 3;
        } else {
            // Not modified UTF-8 (four-byte forms included): what the launcher must not send.
            text += u'\uFFFD';
            i += 1;
        }
    }
    return text;
}

std::string encodeModifiedUtf8(std::u16string_view text)
{
    std::string bytes;
    for (char16_t unit : text) {
        if (unit != 0 && unit < 0x80) {
            bytes += static_cast<char>(unit);
        } else if (unit < 0x800) {
            bytes += static_cast<char>(0xC0 | (unit >> 6));
            bytes += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            bytes += static_cast<char>(0xE0 | (unit >> 12));
            bytes += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return bytes;
}

std::string ansiToUtf8(std::string_view text)
{
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return std::string(text);
    std::u16string wide(static_cast<size_t>(length), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<wchar_t*>(wide.data()),
                        length);
    return toUtf8(wide);
}

} // namespace standin
