// The launcher's own command-line grammar: double and single quotes, no escape characters,
// only the blank separates (tabs do not). Used for the process command line and for
// argument and option texts of the configuration.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Appends the arguments of text to args.
void splitCommandLine(std::u16string_view text, std::vector<std::u16string>& args);
