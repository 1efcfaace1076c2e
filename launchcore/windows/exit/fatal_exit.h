// The single way out of the process after a fatal error or an early end.
#pragma once

#include <string>

// Unless in a language restart, removes the extraction directory with everything the
// extraction put in it, then ends the process with ExitProcess and the code (the log's
// deletion at exit is skipped).
[[noreturn]] void exitWithCleanup(unsigned code);

// The error display followed by exitWithCleanup(1).
[[noreturn]] void fatalError(const std::wstring& text);
[[noreturn]] void fatalMessage(int id);
[[noreturn]] void fatalMessage(int id, const wchar_t* argument);
[[noreturn]] void fatalMessage(int id, const char* argument);
