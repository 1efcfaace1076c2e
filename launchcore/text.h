// UTF-16 text in Windows-free code is held in char16_t (wchar_t is 32 bits on Linux);
// the Windows side reinterprets it as wchar_t at the API boundary.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Every byte becomes the UTF-16 unit of the same value (the runtime library's "%S" widening).
std::u16string widenBytes(std::string_view bytes);

// Lossless conversions for tests, tools and log lines; invalid input is replaced with U+FFFD.
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);

// ASCII-only case folding, as the launcher's file-name comparisons need it.
char16_t asciiLower(char16_t c);
char asciiLower(char c);
bool equalsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);
bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b);

// The pieces of a list between separators; empty pieces are skipped, so ";;" counts as one
// separator and a leading or trailing separator adds nothing.
std::vector<std::string> splitSkippingEmpty(std::string_view text, char separator);
std::vector<std::u16string> splitSkippingEmpty(std::u16string_view text, char16_t separator);
