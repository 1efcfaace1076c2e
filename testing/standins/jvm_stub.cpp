// Stand-in for a runtime's jvm.dll: the library's entry point. A file named "refuse-load"
// beside the library makes it refuse to load (DllMain fails), for a runtime that exists but
// cannot be used. The VM itself is in standin_vm.cpp.
#include <windows.h>

#include <string>
#include <vector>

namespace {

bool refuseLoadMarkerBeside(HMODULE module)
{
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return false;
        if (length < buffer.size()) {
            std::string path(buffer.data(), length);
            path = path.substr(0, path.find_last_of('\\') + 1) + "refuse-load";
            return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH && refuseLoadMarkerBeside(instance))
        return FALSE;
    return TRUE;
}
