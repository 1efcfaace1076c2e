// The runtime the launcher chose: its home (the java executable's directory followed by
// "..") and its version text. Empty until a runtime is recorded.
#pragma once

#include <string>

void recordSelectedRuntime(const std::string& javaExe, const std::string& version);
const std::string& selectedRuntimeHome();
const std::string& selectedRuntimeVersion();
