#include "natives/windows/shell_binding.h"

#include "launchcore/windows/base/late_binding.h"
#include "natives/windows/dll_preload.h"

ShellBinding shellBindingOf(HMODULE module)
{
    ShellBinding binding;
    if (!module)
        return binding;
    binding.changeNotify = reinterpret_cast<ShellChangeNotifyFunction>(GetProcAddress(module, "SHChangeNotify"));
    binding.execute = reinterpret_cast<ShellExecuteFunction>(GetProcAddress(module, "ShellExecuteW"));
    return binding;
}

const ShellBinding& shellBinding()
{
    static const ShellBinding binding = [] {
        preloadSystemLibraries();
        return shellBindingOf(systemLibrary(L"shell32.dll"));
    }();
    return binding;
}

void shellNotify(const ShellBinding& binding, LONG event, UINT flags, LPCVOID item1, LPCVOID item2)
{
    if (binding.ready())
        binding.changeNotify(event, flags, item1, item2);
}

HINSTANCE shellExecute(const ShellBinding& binding, HWND owner, LPCWSTR operation, LPCWSTR file,
                       LPCWSTR parameters, LPCWSTR directory, INT show)
{
    if (!binding.ready())
        return nullptr;
    return binding.execute(owner, operation, file, parameters, directory, show);
}
