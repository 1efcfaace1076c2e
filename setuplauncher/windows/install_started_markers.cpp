#include "setuplauncher/windows/install_started_markers.h"

#include <string>

#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/wide_format.h"
#include "launchcore/windows/state/launcher_state.h"

namespace {

constexpr const wchar_t* kMarkerKey = L"SOFTWARE\\brenmark\\vexon\\";
constexpr const wchar_t* kGlobalMarker = L"InstallStarted";

std::wstring markerName(bool perProcess)
{
    return perProcess ? formatWide(L"%s_%d", kGlobalMarker, static_cast<int>(GetCurrentProcessId())) : kGlobalMarker;
}

void writeMarker(HKEY key, bool set, bool perProcess)
{
    const std::wstring name = markerName(perProcess);
    if (set) {
        const DWORD one = 1;
        RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    } else {
        RegDeleteValueW(key, name.c_str());
    }
}

} // namespace

void setInstallStartedMarkers(bool set, bool perProcess, bool global)
{
    if (languageRestart())
        return;
    unique_hkey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kMarkerKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
        return;
    if (perProcess)
        writeMarker(key.get(), set, true);
    if (global)
        writeMarker(key.get(), set, false);
}

DWORD readInstallStartedMarker(bool perProcess)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kMarkerKey, markerName(perProcess).c_str(), RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
        return 0;
    return value;
}
