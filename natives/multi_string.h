// REG_MULTI_SZ data, as the registry hands it over: UTF-16 strings each ended by a NUL and
// the list by one more, or cut anywhere by whoever wrote the value.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The strings of the data. The scan never leaves the stored bytes, however they are
// terminated: a last string without its NUL is still taken, an odd last byte is ignored, and
// data shorter than two characters holds no strings.
std::vector<std::u16string> multiStrings(const unsigned char* data, size_t size);
