// The process-wide configuration record and message table, filled once at start-up and
// only read afterwards (lookups never insert, so any thread may read them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

// Replaces the tables (start-up only, before a second thread exists).
void installConfiguration(std::map<int32_t, std::string> config,
                          std::map<int32_t, std::u16string> messages);

// The whole value of an entry; empty when absent.
const std::string& configValue(int32_t id);

// Copies at most size - 1 bytes and terminates; returns the bytes copied. A longer value is
// cut and "config string %d truncated (%d %d)" is logged as an error with the id, the size
// and the full length. size 0 copies nothing.
size_t configString(int32_t id, char* buffer, size_t size);

// A copy of the entry ("" when absent).
std::string configStringCopy(int32_t id);

// strtol rules on the first 5999 bytes (blanks and a sign allowed, stops at the first
// non-digit, no digits give 0), clamped to the 32-bit range; absent gives 0.
int32_t configInt(int32_t id);
int32_t parseConfigInt(std::string_view text);

// The message text; empty when absent.
const std::u16string& messageValue(int32_t id);

// "{0}" replaced once by the argument (later occurrences stay); unchanged without "{0}".
std::u16string replaceFirstPlaceholder(std::u16string_view text, std::u16string_view argument);

// The language code is the first two characters of the locale code; the country code is
// characters 4 and 5 when the code has exactly five characters ("de_CH").
void setLocaleCode(std::string_view localeCode);
bool languageCode(char (&out)[3]);
bool countryCode(char (&out)[3]);

// The product kind of entry 2001: "V" is the vexon kind, everything else (including "S"
// and an empty entry) the sealdeck kind.
bool isVexonKind(char kindLetter);
