#include "launchcore/payload_names.h"

#include <array>

#include "launchcore/text.h"

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Windows maps these names to devices in every directory, whatever follows the first dot
// and however many blanks or dots end the base name: "nul.txt" and "COM1 .log" open a
// device, not a file. The superscript digits (code page 1252) count like digits there.
bool isDeviceName(std::string_view component)
{
    std::string_view base = component.substr(0, component.find('.'));
    while (!base.empty() && (base.back() == ' ' || base.back() == '.'))
        base.remove_suffix(1);
    static constexpr std::array<std::string_view, 6> plain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view device : plain)
        if (equalsIgnoreAsciiCase(base, device))
            return true;
    if (base.size() != 4)
        return false;
    const std::string_view stem = base.substr(0, 3);
    if (!equalsIgnoreAsciiCase(stem, "COM") && !equalsIgnoreAsciiCase(stem, "LPT"))
        return false;
    const unsigned char digit = static_cast<unsigned char>(base[3]);
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

} // namespace

bool isSafePayloadName(std::string_view name)
{
    if (name.empty() || name.find(':') != std::string_view::npos)
        return false;
    if (isSeparator(name.front()))
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("\\/", start);
        if (end == std::string_view::npos)
            end = name.size();
        const std::string_view component = name.substr(start, end - start);
        if (component == ".." || isDeviceName(component))
            return false;
        start = end + 1;
    }
    return true;
}

std::vector<std::string> payloadDirectoryPrefixes(std::string_view name)
{
    std::vector<std::string> prefixes;
    for (size_t i = 0; i < name.size(); ++i) {
        // A doubled separator names the same level again; creating it twice gains nothing.
        if (isSeparator(name[i]) && i > 0 && !isSeparator(name[i - 1]))
            prefixes.emplace_back(name.substr(0, i));
    }
    return prefixes;
}
