// registerNatives, the export through which the VM start binds every native of the module
// it names to its Java class.
#include <windows.h>

#include <jni.h>

#include "natives/registration_table.h"

namespace {

void* moduleExport(void* module, const char* exportName)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), exportName));
}

} // namespace

// The pointers come from the module's export table rather than the linker, so a module
// that registers is one whose exports are complete.
extern "C" JNIEXPORT unsigned char registerNatives(JNIEnv* env, HMODULE module, NativeRegistrationReporter report)
{
    if (!module)
        return 0;
    return registerNativeClasses(env, moduleExport, module, report) ? 1 : 0;
}
