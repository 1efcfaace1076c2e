// The single way out of the process after a fatal error or an early end.
#pragma once

// Unless in a language restart, empties and removes a non-empty extraction directory, then
// ends the process with ExitProcess and the code (the log's deletion at exit is skipped).
[[noreturn]] void exitWithCleanup(unsigned code);

// A language restart keeps the extraction directory for the restarted process.
void setLanguageRestart(bool restarting);
bool languageRestart();
