// Rules for the names of included files, which come from the launcher's own configuration
// and end up as paths below the extraction directory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A name stays inside the extraction directory: not empty, no ":" anywhere (drives and NTFS
// alternate streams), no leading "\" or "/", and no ".." component between separators.
bool isSafePayloadName(std::string_view name);

// The directory levels a name needs, shortest first: "a\b\c.jar" gives "a" and "a\b".
// Only "\" separates levels; a "/" stays part of the name.
std::vector<std::string> payloadDirectoryPrefixes(std::string_view name);
