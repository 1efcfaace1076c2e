// The fixed mapping from Windows language identifiers to the launcher's locale codes
// ("en", "de_CH", "no_NO_NY"), and the argument rule that picks the format locale.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct LocaleRow {
    uint16_t languageId;
    const char* code;
};

// All rows, in strictly ascending order of the identifier.
std::span<const LocaleRow> localeTable();

// The code of the identifier's own row, else of its primary language (the low ten bits),
// else "en". The text has static storage.
std::string_view localeCodeForLanguageId(uint16_t languageId);

// True when the last argument that sets "-Dsun.locale.formatasdefault=" sets it to exactly
// "true"; false when no argument sets it.
bool formatAsDefault(const std::vector<std::u16string>& arguments);
