// Every native whose family is not built yet, in one place. Each one exists, so that the
// export table and the registration are complete, and answers with its family's failure
// value without doing anything: false, null, an error code, or an error text. A family's
// source takes its natives over from here when it is built.
//
// Where a family reports Windows error codes, the code is ERROR_CALL_NOT_IMPLEMENTED.
#include <windows.h>

#include "natives/windows/native_export.h"

namespace {

constexpr jint kNotBuilt = ERROR_CALL_NOT_IMPLEMENTED;

} // namespace

#define SLDK_NOT_BUILT_YET(ReturnType, Class, method) SLDK_NATIVE_EXPORT(ReturnType, Class, method)

// --- Misc, Win32Exec, Win32Handle -----------------------------------------------------------
SLDK_NOT_BUILT_YET(void, Misc, reboot0)(JNIEnv*, jobject) {}
SLDK_NOT_BUILT_YET(jobjectArray, Misc, getRunningModules0)(JNIEnv*, jobject, jboolean) { return nullptr; }
SLDK_NOT_BUILT_YET(jobjectArray, Misc, getEnvVarPairs0)(JNIEnv*, jobject) { return nullptr; }
SLDK_NOT_BUILT_YET(void, Misc, broadcastSettingChange0)(JNIEnv*, jobject) {}
SLDK_NOT_BUILT_YET(jlong, Misc, getPhysicalMemory0)(JNIEnv*, jobject) { return 0; }
SLDK_NOT_BUILT_YET(jlong, Misc, getFreeDiskSpace0)(JNIEnv*, jobject, jstring) { return -1; }
SLDK_NOT_BUILT_YET(jboolean, Misc, moveWithDelayUntilReboot0)(JNIEnv*, jobject, jstring, jstring) { return JNI_FALSE; }
SLDK_NOT_BUILT_YET(void, Misc, toFront0)(JNIEnv*, jobject) {}
// 0: no process could be ended.
SLDK_NOT_BUILT_YET(jint, Misc, terminateProcesses0)(JNIEnv*, jobject, jintArray, jboolean, jint) { return 0; }
// The empty title of a process without windows.
SLDK_NOT_BUILT_YET(jstring, Misc, getWindowTitle0)(JNIEnv* env, jobject, jint) { return newJavaString(env, u""); }
SLDK_NOT_BUILT_YET(void, Misc, setForegroundWindow0)(JNIEnv*, jobject, jlong) {}
SLDK_NOT_BUILT_YET(jobjectArray, Misc, getTopLevelWindows0)(JNIEnv*, jobject, jclass, jint) { return nullptr; }
SLDK_NOT_BUILT_YET(jint, Misc, getPidFromHandle0)(JNIEnv*, jobject, jlong) { return 0; }
SLDK_NOT_BUILT_YET(jint, Win32Exec, launch0)(JNIEnv*, jobject, jstring, jstring) { return kNotBuilt; }
SLDK_NOT_BUILT_YET(jobjectArray, Win32Handle, list0)(JNIEnv*, jobject) { return nullptr; }
SLDK_NOT_BUILT_YET(jboolean, Win32Handle, close0)(JNIEnv*, jobject, jint) { return JNI_FALSE; }
SLDK_NOT_BUILT_YET(jstring, Win32Handle, getDeviceName0)(JNIEnv*, jobject, jstring) { return nullptr; }

// --- ShellLink, VistaFileChooser, VistaTaskDialog, ObjectPicker ------------------------------
SLDK_NOT_BUILT_YET(jboolean, ShellLink, createWide0)(JNIEnv*, jobject, jstring, jstring, jstring, jstring, jstring,
                                                     jboolean, jstring, jint)
{
    return JNI_FALSE;
}
SLDK_NOT_BUILT_YET(jboolean, ShellLink, create0)(JNIEnv*, jobject, jstring, jbyteArray, jbyteArray, jbyteArray,
                                                 jbyteArray, jboolean, jbyteArray)
{
    return JNI_FALSE;
}
SLDK_NOT_BUILT_YET(jboolean, ShellLink, changeNotify0)(JNIEnv*, jobject, jbyteArray, jbyteArray) { return JNI_FALSE; }
SLDK_NOT_BUILT_YET(jboolean, ShellLink, initialize0)(JNIEnv*, jobject) { return JNI_FALSE; }
SLDK_NOT_BUILT_YET(jboolean, ShellLink, uninitialize)(JNIEnv*, jobject) { return JNI_FALSE; }
SLDK_NOT_BUILT_YET(void, VistaFileChooser, initialize0)(JNIEnv*, jobject) {}
SLDK_NOT_BUILT_YET(jobjectArray, VistaFileChooser, displayDialog0)(JNIEnv*, jobject, jlong, jstring, jstring, jstring,
                                                                   jstring, jint, jint, jboolean, jstring,
                                                                   jobjectArray, jobjectArray, jint, jobjectArray,
                                                                   jbooleanArray)
{
    return nullptr;
}
// 0: the task dialog is not available.
SLDK_NOT_BUILT_YET(jint, VistaTaskDialog, show0)(JNIEnv*, jobject, jlong, jstring, jstring, jstring, jint, jint, jint,
                                                 jstring, jobjectArray, jint)
{
    return 0;
}
SLDK_NOT_BUILT_YET(jobjectArray, ObjectPicker, show0)(JNIEnv*, jobject, jboolean, jboolean, jboolean, jboolean,
                                                      jboolean)
{
    return nullptr;
}

