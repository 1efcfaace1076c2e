// The command processor's answer for a file's short name.
#pragma once

#include <string>

// Empty when the command processor gives no usable answer.
std::string shortNameFromShell(const std::wstring& path);
