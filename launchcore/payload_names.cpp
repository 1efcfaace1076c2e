#include "launchcore/payload_names.h"

bool isSafePayloadName(std::string_view name)
{
    if (name.empty() || name.find(':') != std::string_view::npos)
        return false;
    if (name.front() == '\\' || name.front() == '/')
        return false;
    // Windows accepts both separators, so a ".." between either of them climbs a level.
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("\\/", start);
        if (end == std::string_view::npos)
            end = name.size();
        if (name.substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    return true;
}

std::vector<std::string> payloadDirectoryPrefixes(std::string_view name)
{
    std::vector<std::string> prefixes;
    for (size_t i = 0; i < name.size(); ++i) {
        // A doubled backslash names the same level again; creating it twice gains nothing.
        if (name[i] == '\\' && i > 0 && name[i - 1] != '\\')
            prefixes.emplace_back(name.substr(0, i));
    }
    return prefixes;
}
