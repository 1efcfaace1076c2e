// Loading the VM library (jvm.dll) of a chosen runtime.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// A loaded VM library and what loading it changed in the process, so that a caller that
// cannot use it can put everything back.
struct JvmLibrary {
    HMODULE module = nullptr;
    void* dllDirectory = nullptr;             // addDllDirectory's cookie for the bin directory
    std::optional<std::string> previousPath;  // PATH before the bin directory was appended; nullopt: unset
};

// Loads jvm.dll from the executable's bin directory (VM type subdirectories in order), else
// from a JDK's private runtime; PATH and the DLL directory are undone when nothing loads.
JvmLibrary loadJvmLibrary(const std::string& javaExe);

// Frees the module, removes its DLL directory and restores PATH; nothing when none loaded.
void unloadJvmLibrary(JvmLibrary& library);
