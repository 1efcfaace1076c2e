// Unique names in the temporary directory.
#pragma once

#include <string>

// A new unique file name in the 8-bit temporary directory (GetTempFileName reserves it as an
// empty file, or a random name stands in when it cannot). Empty when there is no temporary
// directory at all.
std::string tempFileName();
