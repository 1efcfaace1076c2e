// What the object picker native decides without Windows: the scope and filters it asks the
// directory picker for, the window it attaches to, and the Java objects it answers with.
#pragma once

#include <jni.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The one scope record's type, flags and filters.
struct PickerScope {
    uint32_t scopeType = 0;
    uint32_t scopeFlags = 0;
    uint32_t upLevelFilter = 0;   // for both mixed and native mode
    uint32_t downLevelFilter = 0;
};

PickerScope pickerScope(bool includeGroups, bool includeUsers, bool includeWellKnownPrincipals,
                        bool localComputerOnly);

struct TopLevelWindow {
    uintptr_t handle = 0;
    uint32_t processId = 0;
    bool visible = false;
};

// The window the picker is shown over: the last visible top-level window of the process in
// enumeration order that is not its console window, else the console window; 0 for none.
uintptr_t pickerParentWindow(const std::vector<TopLevelWindow>& windows, uint32_t processId,
                             uintptr_t consoleWindow);

// One selected directory object; any text may be missing.
struct PickedObject {
    std::optional<std::u16string> name;
    std::optional<std::u16string> adsPath;
    std::optional<std::u16string> objectClass;
    std::optional<std::u16string> principalName;
    std::optional<std::u16string> sid;
};

// The ObjectPicker$Result[] of the objects; null when the class, its constructor, the
// array or an element cannot be made (an exception the VM raised stays pending).
jobjectArray newPickerResults(JNIEnv* env, const std::vector<PickedObject>& objects);
