#include "launchcore/windows/state/selected_runtime.h"

namespace {
std::string g_home;
std::string g_version;
} // namespace

void recordSelectedRuntime(const std::string& javaExe, const std::string& version)
{
    // Cut at the last backslash whatever the executable is called: a java executable picked
    // by hand need not be named java.exe or javaw.exe.
    const size_t slash = javaExe.find_last_of('\\');
    g_home = (slash == std::string::npos ? std::string() : javaExe.substr(0, slash + 1)) + "..";
    g_version = version;
}

const std::string& selectedRuntimeHome() { return g_home; }
const std::string& selectedRuntimeVersion() { return g_version; }
