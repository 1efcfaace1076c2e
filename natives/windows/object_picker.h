// The steps of the object picker native that stand on their own: the picker made and
// initialised, the window it is shown over, and the selection read from its answer.
#pragma once

#include <windows.h>

#include <ole2.h>
#include <objsel.h>

#include <optional>
#include <vector>

#include "launchcore/windows/base/handles.h"
#include "natives/object_picker_rules.h"

// The picker with its one scope and the "objectSID" attribute; empty when it cannot be made
// or refuses the initialisation.
unique_com<IDsObjectPicker> initializedPicker(const PickerScope& scope, bool multiSelect);

// The window to show the picker over for the process; nullptr when it has none.
HWND pickerParent(DWORD processId);

// The objects of a selection list of size bytes (the picker's global memory block); items
// that would lie past the block are not read, and a SID is taken only from a byte array
// that holds a valid one.
std::vector<PickedObject> pickedObjectsOf(const DS_SELECTION_LIST* list, SIZE_T size);

// The selection the picker's data object hands out; nullopt when it hands out none.
std::optional<std::vector<PickedObject>> selectionOf(IDataObject* data);
