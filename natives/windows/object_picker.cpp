// The native of the ObjectPicker class: the directory object picker for users, groups and
// well-known principals, answered as ObjectPicker$Result objects with each object's SID.
#include "natives/windows/object_picker.h"

#include <algorithm>
#include <cstddef>
#include <string>

#include "launchcore/windows/base/console_output.h"
#include "launchcore/windows/base/late_binding.h"
#include "natives/windows/native_export.h"

namespace {

using SidToStringFunction = BOOL(WINAPI*)(PSID sid, LPWSTR* text);

SidToStringFunction sidToString()
{
    static const auto function = lateBound<SidToStringFunction>(L"advapi32.dll", "ConvertSidToStringSidW");
    return function;
}

constexpr const wchar_t* kSidAttribute = L"objectSID";

std::optional<std::u16string> textOf(const wchar_t* text)
{
    if (!text)
        return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

// The SID in a fetched attribute: only a one-dimensional byte array that holds a whole,
// valid SID counts; the directory leaves the value empty when it had nothing.
std::optional<std::u16string> sidText(const VARIANT* value)
{
    const SidToStringFunction convert = sidToString();
    if (!convert || !value || value->vt != (VT_ARRAY | VT_UI1) || !value->parray)
        return std::nullopt;
    const SAFEARRAY* array = value->parray;
    if (array->cDims != 1 || array->cbElements != 1 || !array->pvData)
        return std::nullopt;
    const ULONG bytes = array->rgsabound[0].cElements;
    const PSID sid = array->pvData;
    if (bytes < 8 || !IsValidSid(sid) || GetLengthSid(sid) > bytes)
        return std::nullopt;
    unique_local_mem text;
    if (!convert(sid, reinterpret_cast<LPWSTR*>(text.put())) || !text)
        return std::nullopt;
    return textOf(static_cast<const wchar_t*>(text.get()));
}

} // namespace

unique_com<IDsObjectPicker> initializedPicker(const PickerScope& scope, bool multiSelect)
{
    unique_com<IDsObjectPicker> picker;
    if (FAILED(CoCreateInstance(CLSID_DsObjectPicker, nullptr, CLSCTX_INPROC_SERVER, IID_IDsObjectPicker,
                                reinterpret_cast<void**>(picker.put()))))
        return {};
    DSOP_SCOPE_INIT_INFO scopeInfo{};
    static_assert(sizeof scopeInfo == 56 && sizeof(DSOP_INIT_INFO) == 48, "the picker's records as it reads them");
    scopeInfo.cbSize = sizeof scopeInfo;
    scopeInfo.flType = scope.scopeType;
    scopeInfo.flScope = scope.scopeFlags;
    scopeInfo.FilterFlags.Uplevel.flBothModes = scope.upLevelFilter;
    scopeInfo.FilterFlags.flDownlevel = scope.downLevelFilter;
    PCWSTR attributes[] = {kSidAttribute};
    DSOP_INIT_INFO init{};
    init.cbSize = sizeof init;
    init.pwzTargetComputer = nullptr;
    init.cDsScopeInfos = 1;
    init.aDsScopeInfos = &scopeInfo;
    init.flOptions = multiSelect ? DSOP_FLAG_MULTISELECT : 0;
    init.cAttributesToFetch = 1;
    init.apwzAttributeNames = attributes;
    if (FAILED(picker.get()->Initialize(&init)))
        return {};
    return picker;
}

HWND pickerParent(DWORD processId)
{
    // The console's own window, asked for directly: finding it by a temporary title
    // depends on how fast the console host renames it.
    const auto console = reinterpret_cast<uintptr_t>(GetConsoleWindow());
    std::vector<TopLevelWindow> windows;
    EnumWindows(
        [](HWND window, LPARAM list) -> BOOL {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            reinterpret_cast<std::vector<TopLevelWindow>*>(list)->push_back(
                {reinterpret_cast<uintptr_t>(window), owner, IsWindowVisible(window) != FALSE});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return reinterpret_cast<HWND>(pickerParentWindow(windows, processId, console));
}

std::vector<PickedObject> pickedObjectsOf(const DS_SELECTION_LIST* list, SIZE_T size)
{
    std::vector<PickedObject> objects;
    constexpr SIZE_T header = offsetof(DS_SELECTION_LIST, aDsSelection);
    if (!list || size < header)
        return objects;
    const SIZE_T count = std::min<SIZE_T>(list->cItems, (size - header) / sizeof(DS_SELECTION));
    for (SIZE_T i = 0; i < count; ++i) {
        const DS_SELECTION& item = list->aDsSelection[i];
        PickedObject object;
        object.name = textOf(item.pwzName);
        object.adsPath = textOf(item.pwzADsPath);
        object.objectClass = textOf(item.pwzClass);
        object.principalName = textOf(item.pwzUPN);
        if (list->cFetchedAttributes >= 1)
            object.sid = sidText(item.pvarFetchedAttributes);
        objects.push_back(std::move(object));
    }
    return objects;
}

std::optional<std::vector<PickedObject>> selectionOf(IDataObject* data)
{
    if (!data)
        return std::nullopt;
    FORMATETC format{};
    format.cfFormat = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"CFSTR_DSOP_DS_SELECTION_LIST"));
    format.dwAspect = DVASPECT_CONTENT;
    format.lindex = -1;
    format.tymed = TYMED_HGLOBAL;
    STGMEDIUM medium{};
    if (!format.cfFormat || FAILED(data->GetData(&format, &medium)))
        return std::nullopt;
    const on_scope_exit release([&] { ReleaseStgMedium(&medium); });
    if (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal)
        return std::nullopt;
    const auto* list = static_cast<const DS_SELECTION_LIST*>(GlobalLock(medium.hGlobal));
    if (!list)
        return std::nullopt;
    std::vector<PickedObject> objects = pickedObjectsOf(list, GlobalSize(medium.hGlobal));
    GlobalUnlock(medium.hGlobal);
    return objects;
}

SLDK_NATIVE_EXPORT(jobjectArray, ObjectPicker, show0)(JNIEnv* env, jobject, jboolean multiSelect,
                                                      jboolean includeGroups, jboolean includeUsers,
                                                      jboolean includeWellKnownPrincipals, jboolean localComputerOnly)
{
    if (!sidToString())
        return nullptr;
    const HWND parent = pickerParent(GetCurrentProcessId());
    if (!parent) {
        printConsole("could not find window\n");
        return nullptr;
    }
    std::optional<std::vector<PickedObject>> selection;
    {
        const com_scope com;
        if (!com.usable())
            return nullptr;
        const PickerScope scope = pickerScope(includeGroups != JNI_FALSE, includeUsers != JNI_FALSE,
                                              includeWellKnownPrincipals != JNI_FALSE, localComputerOnly != JNI_FALSE);
        if (const unique_com<IDsObjectPicker> picker = initializedPicker(scope, multiSelect != JNI_FALSE)) {
            unique_com<IDataObject> data;
            // S_FALSE is the user's cancel.
            if (picker.get()->InvokeDialog(parent, data.put()) == S_OK)
                selection = selectionOf(data.get());
        }
    }
    flushConsole();
    if (!selection)
        return nullptr;
    return newPickerResults(env, *selection);
}
