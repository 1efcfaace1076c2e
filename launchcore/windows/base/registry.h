// Registry reads that always give terminated text.
#pragma once

#include <windows.h>

#include <string>

// Reads a string value of at most capacity - 1 bytes. Data that does not fit counts as no
// value; the result never depends on the data carrying its own terminator.
bool readRegString(HKEY root, const std::string& subkey, const std::string& valueName, REGSAM access,
                   size_t capacity, std::string& value);

// The same from a key the caller holds open, for several values of one key.
bool readRegStringValue(HKEY key, const std::string& valueName, size_t capacity, std::string& value);
