// The running processes as "<id> <image path>" entries, in the two ways the system offers:
// the process-status functions (the usual way) and the toolhelp snapshot (for systems
// where the first cannot be bound or lists nothing).
#pragma once

#include <string>
#include <vector>

// An entry holds at most this many characters; a longer one is left out.
inline constexpr size_t kProcessEntryLimit = 4095;

std::vector<std::u16string> processesByStatusFunctions();
// Prints a line to standard output when the snapshot functions cannot be bound.
std::vector<std::u16string> processesBySnapshot();
