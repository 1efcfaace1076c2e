// Changes to the process environment that the runtime library must see as well.
#pragma once

#include <optional>
#include <string>

// Sets PATH (nullopt removes it) in the process environment and, when that worked, in the
// runtime library's own copy, which getenv, spawned children and the VM's java.library.path
// read. False with GetLastError() set when Windows refused the value (one beyond the system
// limit, for example).
bool setPathVariable(const std::optional<std::string>& value);
