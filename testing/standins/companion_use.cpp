// The VM library variant that imports sldkcompanion.dll: Windows must find that library in
// the runtime's bin folder before the VM library can load at all.
extern "C" __declspec(dllimport) int sldkCompanionValue();

namespace {
const int g_companionValue = sldkCompanionValue();
} // namespace

int companionValue() { return g_companionValue; }
