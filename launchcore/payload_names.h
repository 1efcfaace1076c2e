// Rules for the names of included files, which come from the launcher's own configuration
// and end up as paths below the extraction directory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A name stays inside the extraction directory and names a file: not empty, no ":" anywhere
// (drives and NTFS alternate streams), no leading "\" or "/", no ".." component, and no
// component that Windows takes for a device (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$,
// CONOUT$; any case, with or without an extension). "\" and "/" both separate components.
bool isSafePayloadName(std::string_view name);

// The directory levels a name needs, shortest first: "a\b\c.jar" gives "a" and "a\b".
// "/" separates levels like "\", as it does for Windows itself.
std::vector<std::string> payloadDirectoryPrefixes(std::string_view name);
