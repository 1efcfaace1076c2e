// bin\sldkcompanion.dll of a runtime: the library a runtime's VM library needs from the
// runtime's own bin folder (as a real one needs its C runtime library from there).
#include <windows.h>

extern "C" __declspec(dllexport) int sldkCompanionValue() { return 42; }
