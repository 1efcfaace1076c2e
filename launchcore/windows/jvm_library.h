// Loading the VM library (jvm.dll) of a chosen runtime.
#pragma once

#include <windows.h>

#include <string>

// Loads jvm.dll from the executable's bin directory (VM type subdirectories in order), else
// from a JDK's private runtime; PATH and the DLL directory are undone when nothing loads.
HMODULE loadJvmLibrary(const std::string& javaExe);
