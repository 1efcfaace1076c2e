#include "launchcore/configuration.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "launchcore/diagnostics.h"

namespace {

// Function-local statics: other static initialisers may look entries up.
std::map<int32_t, std::string>& configTable()
{
    static std::map<int32_t, std::string> table;
    return table;
}

std::map<int32_t, std::u16string>& messageTable()
{
    static std::map<int32_t, std::u16string> table;
    return table;
}

struct LocaleCodes {
    char language[3] = {};
    char country[3] = {};
    bool hasLanguage = false;
    bool hasCountry = false;
};

LocaleCodes& localeCodes()
{
    static LocaleCodes codes;
    return codes;
}

// configInt reads an entry through a buffer of this size, so it sees at most 5999 bytes
// (and logs the cut like any other configString caller).
constexpr size_t kConfigIntBuffer = 6000;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

} // namespace

void installConfiguration(std::map<int32_t, std::string> config, std::map<int32_t, std::u16string> messages)
{
    configTable() = std::move(config);
    messageTable() = std::move(messages);
}

// Lookups never insert: other threads read the tables without a lock.
const std::string& configValue(int32_t id)
{
    static const std::string empty;
    const auto& table = configTable();
    const auto it = table.find(id);
    return it == table.end() ? empty : it->second;
}

size_t configString(int32_t id, char* buffer, size_t size)
{
    const std::string& value = configValue(id);
    // size 0 (or no buffer) has room for nothing, not even the terminator.
    const bool writable = buffer != nullptr && size > 0;
    const size_t count = writable ? std::min(value.size(), size - 1) : 0;
    if (count < value.size())
        diagnosticError("config string %d truncated (%d %d)", id, static_cast<int>(size), static_cast<int>(value.size()));
    if (writable) {
        std::memcpy(buffer, value.data(), count);
        buffer[count] = '\0';
    }
    return count;
}

std::string configStringCopy(int32_t id) { return configValue(id); }

int32_t parseConfigInt(std::string_view text)
{
    // strtol reads a C string: it ends at a NUL, and a 6000-byte buffer holds 5999 bytes.
    text = text.substr(0, kConfigIntBuffer - 1);
    text = text.substr(0, text.find('\0'));

    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate the magnitude and saturate just past the 32-bit range; the launcher's
    // strtol has a 32-bit long, so values beyond it clamp.
    constexpr int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit)
            magnitude = limit;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int32_t configInt(int32_t id)
{
    std::array<char, kConfigIntBuffer> buffer;
    const size_t length = configString(id, buffer.data(), buffer.size());
    return parseConfigInt(std::string_view(buffer.data(), length));
}

const std::u16string& messageValue(int32_t id)
{
    static const std::u16string empty;
    const auto& table = messageTable();
    const auto it = table.find(id);
    return it == table.end() ? empty : it->second;
}

std::u16string replaceFirstPlaceholder(std::u16string_view text, std::u16string_view argument)
{
    std::u16string out(text);
    const size_t at = out.find(u"{0}");
    if (at != std::u16string::npos)
        out.replace(at, 3, argument);
    return out;
}

void setLocaleCode(std::string_view localeCode)
{
    LocaleCodes& codes = localeCodes();
    codes = LocaleCodes{};
    if (localeCode.size() >= 2) {
        codes.language[0] = localeCode[0];
        codes.language[1] = localeCode[1];
        codes.hasLanguage = true;
    }
    if (localeCode.size() == 5) {
        codes.country[0] = localeCode[3];
        codes.country[1] = localeCode[4];
        codes.hasCountry = true;
    }
}

bool languageCode(char (&out)[3])
{
    const LocaleCodes& codes = localeCodes();
    if (!codes.hasLanguage)
        return false;
    std::memcpy(out, codes.language, sizeof out);
    return true;
}

bool countryCode(char (&out)[3])
{
    const LocaleCodes& codes = localeCodes();
    if (!codes.hasCountry)
        return false;
    std::memcpy(out, codes.country, sizeof out);
    return true;
}

bool isVexonKind(char kindLetter) { return kindLetter == 'V'; }
