// The service name the commands and the service process act on: entry 101, or the argument
// after a command, or the name the service control manager passes to the service procedure.
// Set while the command line is read (or when the service procedure starts), read after.
#pragma once

#include <string>

// Cut to the longest name the launcher keeps.
void setServiceName(const std::wstring& name);
const std::wstring& serviceName();
