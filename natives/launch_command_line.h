// The command line a program start hands to process creation when no application name is
// given. The system then takes the program from the command line and, while the first word
// is unquoted, tries every prefix that ends at a space or tab: "C:\Program Files\App\tool.exe"
// would run C:\Program.exe if someone placed one there.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// The command line quoted when, as a whole, it names an existing file (an unquoted path
// with spaces and no arguments); every other command line is returned as it is.
std::u16string launchCommandLine(std::u16string_view commandLine,
                                 const std::function<bool(std::u16string_view path)>& isExistingFile);
