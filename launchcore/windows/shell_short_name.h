// The command processor's answer for a file's short name.
#pragma once

#include <string>

// Asks cmd.exe for the 8.3 form of path (a for loop with the "%~sI" modifier). Empty when the
// command processor gives no usable answer.
std::string shortNameFromShell(const std::wstring& path);

// The worker behind shortNameFromShell: runs commandLine without a window, its standard
// output and standard error captured through one anonymous pipe, reads at most 6000 bytes
// until end of file, waits up to 5 s for the child (terminating it after that), and returns
// the first line of the output. Empty unless the child exited with 0, printed more than 5
// bytes and ended that first line within the bytes read.
std::string shortNameFromCommand(std::wstring commandLine);
