#include "launchcore/windows/jvm_library.h"

#include <vector>

#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/java_version_text.h"
#include "launchcore/windows/base/environment.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/dll_search.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/process_paths.h"

namespace {

// The VM reads PATH for java.library.path; nullopt removes the variable.
void setPath(const std::optional<std::string>& value)
{
    const std::string shown = value.value_or(std::string());
    if (setPathVariable(value))
        logLine(L"Setting PATH %S", shown.c_str());
    else
        logLine(L"Setting PATH %S failed with error %d", shown.c_str(), static_cast<int>(GetLastError()));
}

// Takes back the DLL directory and the PATH change of one attempt.
void undoChanges(const JvmLibrary& loaded)
{
    removeDllDirectory(loaded.dllDirectory);
    setPath(loaded.previousPath);
}

JvmLibrary loadFromBinDirectory(const std::string& javaExe)
{
    const std::string bin = binDirectoryOf(javaExe);
    JvmLibrary loaded;
    loaded.dllDirectory = addDllDirectory(bin);
    // The whole PATH, however long: a cut value would be "restored" as a different PATH.
    loaded.previousPath = environmentVariable("PATH");
    setPath(loaded.previousPath.value_or(std::string()) + ";" + bin);

    std::vector<std::string> vmTypes;
    const std::string configured = configStringCopy(config_entry::kPreferredVmType).substr(0, 199);
    if (!configured.empty())
        vmTypes.push_back(configured);
    for (const char* type : {"hotspot", "client", "server", "classic", "jrockit"})
        vmTypes.emplace_back(type);
    for (const std::string& type : vmTypes) {
        const std::string library = bin + "\\" + type + "\\jvm.dll";
        const bool exists = pathExists(library);
        logLine(L"Trying %S (exists %d)", library.c_str(), exists ? 1 : 0);
        loaded.module = LoadLibraryA(library.c_str());
        if (loaded.module)
            return loaded;
        if (exists)
            logLine(L"Failed with error code %d", static_cast<int>(GetLastError()));
    }
    undoChanges(loaded);
    return {};
}

} // namespace

JvmLibrary loadJvmLibrary(const std::string& javaExe)
{
    logLine(L"Trying to load JVM-DLL from %S", javaExe.c_str());
    if (JvmLibrary loaded = loadFromBinDirectory(javaExe); loaded.module)
        return loaded;
    // A JDK's own bin directory may lack the VM; its private runtime has one.
    return loadFromBinDirectory(binDirectoryOf(javaExe) + "\\..\\jre\\bin\\java.exe");
}

void unloadJvmLibrary(JvmLibrary& library)
{
    if (!library.module)
        return;
    FreeLibrary(library.module);
    undoChanges(library);
    library = {};
}
